// Runs the real steiner_candidates executable and checks what a user sees:
// the file it writes, its status and its messages.
#include "router.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <utility>
#include <vector>

namespace {

using Pair = std::pair<int32_t, int32_t>;

struct RunResult {
    int status;      // exit status, or -1 when the program did not exit normally
    std::string out; // standard output
    std::string err; // standard error
};

std::string read_file(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class SteinerCandidatesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/steiner_candidates_test.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        std::system(("rm -rf '" + dir_ + "'").c_str());
    }

    std::string write_text(const std::string &name, const std::string &text) {
        std::ofstream(dir_ + "/" + name, std::ios::binary) << text;
        return dir_ + "/" + name;
    }

    // Arguments are single-quoted for the shell; none of the tests' contain a quote.
    RunResult run(const std::vector<std::string> &args) {
        std::string command = "cd '" + dir_ + "' && '" STEINER_CANDIDATES_EXE "'";
        for (const std::string &arg : args)
            command += " '" + arg + "'";
        command += " >out.txt 2>err.txt";
        const int raw = std::system(command.c_str());
        RunResult result;
        result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        result.out = read_file(dir_ + "/out.txt");
        result.err = read_file(dir_ + "/err.txt");
        return result;
    }

    std::string dir_;
};

// A point file split into its terminals and its candidates; fails the test on
// anything but "count\n" followed by "row column\n" lines.
void parse_point_file(const std::string &text, std::vector<Pair> *terminals,
                      std::vector<Pair> *candidates) {
    std::istringstream in(text);
    std::string line;
    ASSERT_TRUE(std::getline(in, line));
    const int count = std::stoi(line);
    ASSERT_EQ(std::to_string(count), line);
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        Pair p;
        ASSERT_TRUE(fields >> p.first >> p.second) << line;
        ASSERT_EQ(std::to_string(p.first) + " " + std::to_string(p.second), line);
        (static_cast<int>(terminals->size()) < count ? terminals : candidates)->push_back(p);
    }
    ASSERT_EQ(terminals->size(), static_cast<size_t>(count));
}

TEST_F(SteinerCandidatesTest, RandomTerminalsGiveScreenedHananCandidates) {
    const RunResult result = run({"--random", "80", "--grid", "300", "--seed", "4"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    std::vector<Pair> terminals;
    std::vector<Pair> candidates;
    parse_point_file(result.out, &terminals, &candidates);
    ASSERT_EQ(terminals.size(), 80u);
    std::set<int32_t> rows;
    std::set<int32_t> columns;
    std::vector<Point> points;
    for (const Pair &t : terminals) {
        rows.insert(t.first);
        columns.insert(t.second);
        points.push_back(Point{t.first, t.second});
    }
    std::set<Pair> seen;
    for (const Pair &c : candidates) {
        EXPECT_TRUE(rows.count(c.first) == 1 && columns.count(c.second) == 1)
            << c.first << " " << c.second << " is off the Hanan grid";
        EXPECT_TRUE(screen_candidate(c.first, c.second, points.data(), 80));
        EXPECT_TRUE(seen.insert(c).second) << "repeated " << c.first << " " << c.second;
    }
    EXPECT_GT(candidates.size(), 1000u);

    EXPECT_EQ(run({"--random", "80", "--grid", "300", "--seed", "4"}).out, result.out)
        << "same seed, same file";
    const RunResult other = run({"--random", "80", "--grid", "300", "--seed", "5"});
    EXPECT_NE(other.out, result.out);

    const RunResult capped =
        run({"--limit", "25", "--random", "80", "--grid", "300", "--seed", "4"});
    ASSERT_EQ(capped.status, 0) << capped.err;
    std::vector<Pair> capped_terminals;
    std::vector<Pair> capped_candidates;
    parse_point_file(capped.out, &capped_terminals, &capped_candidates);
    EXPECT_EQ(capped_terminals, terminals);
    EXPECT_EQ(capped_candidates, std::vector<Pair>(candidates.begin(), candidates.begin() + 25));
}

TEST_F(SteinerCandidatesTest, TerminalFileIsEchoedInOrder) {
    const std::string path =
        write_text("t.data", "4\n0 5\n10 5\n5 0\n5 0\n77 77\n88 88\nnot even numbers");
    const RunResult result = run({path});
    ASSERT_EQ(result.status, 0) << result.err;
    std::vector<Pair> terminals;
    std::vector<Pair> candidates;
    parse_point_file(result.out, &terminals, &candidates);
    EXPECT_EQ(terminals, (std::vector<Pair>{{0, 5}, {10, 5}, {5, 0}, {5, 0}}));
    // Of the Hanan points only (5,5) has neighbours in its row and column with
    // a terminal opposite; the extra pairs in the file are no terminals.
    EXPECT_EQ(candidates, (std::vector<Pair>{{5, 5}}));
}

TEST_F(SteinerCandidatesTest, LargeGridCappedRun) {
    const RunResult result =
        run({"--random", "3000", "--grid", "30000", "--limit", "500", "--seed", "2"});
    ASSERT_EQ(result.status, 0) << result.err;
    std::vector<Pair> terminals;
    std::vector<Pair> candidates;
    parse_point_file(result.out, &terminals, &candidates);
    EXPECT_EQ(terminals.size(), 3000u);
    EXPECT_EQ(candidates.size(), 500u);
}

TEST_F(SteinerCandidatesTest, RouterReadsTheFile) {
    const RunResult generated = run({"--random", "30", "--grid", "100", "--limit", "40"});
    ASSERT_EQ(generated.status, 0) << generated.err;
    write_text("input.data", generated.out);
    const std::string command = "cd '" + dir_ + "' && printf '1\\n2147483647\\n\\n\\n' | '" +
                                STEINER_ROUTER_EXE + "' >router.txt 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << read_file(dir_ + "/router.txt");
    const std::string report = read_file(dir_ + "/router.txt");
    EXPECT_NE(report.find("Number of total Potential Steiner points: 40\n"), std::string::npos)
        << report;
}

TEST_F(SteinerCandidatesTest, FailuresWriteOneLineAndNothingElse) {
    write_text("short.data", "3\n1 1\n2 2\n");
    write_text("letters.data", "2\n1 1\n2 b\n");
    write_text("zero.data", "0\n");
    write_text("far.data", "1\n0 600000000\n");
    write_text("empty.data", "");
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"missing.data"},
        {"short.data"},
        {"letters.data"},
        {"zero.data"},
        {"far.data"},
        {"empty.data"},
        {"."},
        {"short.data", "--limit", "x"},
        {"--random", "10", "--grid", "3"},
        {"--random", "10"},
        {"--bogus"},
    };
    for (const auto &args : cases) {
        std::string shown;
        for (const std::string &arg : args)
            shown += arg + " ";
        const RunResult result = run(args);
        EXPECT_EQ(result.status, 1) << shown;
        EXPECT_EQ(result.out, "") << shown;
        ASSERT_FALSE(result.err.empty()) << shown;
        EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << shown << ": " << result.err;
        EXPECT_EQ(result.err.rfind("steiner_candidates: ", 0), 0u) << result.err;
    }
}

TEST_F(SteinerCandidatesTest, HelpGoesToStandardOutput) {
    const RunResult result = run({"--help"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out.rfind("usage: steiner_candidates", 0), 0u);
    EXPECT_EQ(result.err, "");
}

} // namespace
