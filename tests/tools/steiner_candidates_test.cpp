// Runs the real steiner_candidates executable and checks what a user sees:
// the file it writes, its status and its messages.
#include "candidates.h"

#include <steiner/steiner.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

using namespace steiner::internal;

namespace {

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

TEST_F(SteinerCandidatesTest, SeededRunsAreRepeatableAndReadByTheRouter) {
    const std::vector<std::string> args{"--random", "30", "--grid",  "100",
                                        "--limit",  "40", "--order", "shuffle"};
    const RunResult result = run(args);
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(run(args).out, result.out) << "same seed, same file";
    std::vector<std::string> reseeded = args;
    reseeded.insert(reseeded.end(), {"--seed", "2"});
    EXPECT_NE(run(reseeded).out, result.out);

    write_text("input.data", result.out);
    const std::string command = "cd '" + dir_ + "' && printf '1\\n2147483647\\n\\n\\n' | '" +
                                STEINER_ROUTER_EXE + "' >router.txt 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << read_file(dir_ + "/router.txt");
    const std::string report = read_file(dir_ + "/router.txt");
    EXPECT_NE(report.find("Number of total Potential Steiner points: 40\n"), std::string::npos)
        << report;
}

TEST_F(SteinerCandidatesTest, LimitCutsTheOrderedList) {
    const std::vector<std::string> args{"--random", "20", "--grid", "300"};
    const std::string all = run(args).out;
    std::vector<std::string> capped = args;
    capped.insert(capped.end(), {"--limit", "3"});
    const std::string three = run(capped).out;
    // 1 count line, 20 terminals, 3 candidates: a prefix of the full file.
    EXPECT_EQ(std::count(three.begin(), three.end(), '\n'), 24);
    EXPECT_EQ(all.compare(0, three.size(), three), 0);
}

TEST_F(SteinerCandidatesTest, TerminalFileIsEchoedInOrder) {
    // Of the Hanan points only (5,5) has neighbours in its row and its column
    // and a terminal opposite; the pairs after the announced four are ignored.
    const RunResult result =
        run({write_text("t.data", "4\n0 5\n10 5\n5 0\n5 0\n77 77\n88 88\nnot numbers")});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "4\n0 5\n10 5\n5 0\n5 0\n5 5\n");
}

TEST_F(SteinerCandidatesTest, LocalOrderIsTheSameOnAnyThreadsAndTheRouterKeepsItAll) {
    const std::vector<std::string> args{"--random", "600", "--grid", "100000", "--seed", "4"};
    std::vector<std::string> one = args;
    one.insert(one.end(), {"--threads", "1"});
    std::vector<std::string> two = args;
    two.insert(two.end(), {"--threads", "2"});
    const RunResult result = run(one);
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "") << "no progress when standard error is no terminal";
    EXPECT_EQ(run(two).out, result.out);

    write_text("input.data", result.out);
    const std::string command = "cd '" + dir_ + "' && printf '1\\n2147483647\\n\\n\\n' | '" +
                                STEINER_ROUTER_EXE + "' >router.txt 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const std::string report = read_file(dir_ + "/router.txt");
    const auto lines = std::count(result.out.begin(), result.out.end(), '\n');
    const size_t written = static_cast<size_t>(lines) - 601;
    EXPECT_GT(written, 100u);
    EXPECT_NE(report.find("Number of nodes in our minimum RMST is " +
                          std::to_string(600 + written) + ".\n"),
              std::string::npos)
        << "every written point is kept";
    // Every Steiner point of the router's tree has three edges or more.
    std::map<std::pair<long, long>, int> degree;
    std::vector<std::pair<long, long>> steiner_points;
    std::istringstream report_lines(report);
    std::string line;
    while (std::getline(report_lines, line)) {
        long node = 0, row = 0, column = 0, up_row = 0, up_column = 0;
        if (sscanf(line.c_str(), "Node #%ld: %ld, %ld.    Parent Node: %ld, %ld.", &node, &row,
                   &column, &up_row, &up_column) != 5)
            continue;
        if (node > 600)
            steiner_points.emplace_back(row, column);
        if (node > 1) {
            degree[{row, column}]++;
            degree[{up_row, up_column}]++;
        }
    }
    ASSERT_EQ(steiner_points.size(), written);
    for (const auto &p : steiner_points)
        EXPECT_GE(degree[p], 3) << "Steiner point " << p.first << ", " << p.second;

    // The library's stepwise tree over the same terminals is the router's.
    std::vector<Point> terminals;
    candidates_random_terminals(600, 100000, 4, &terminals);
    std::vector<steiner::Point> net;
    for (const Point &t : terminals)
        net.push_back(steiner::Point{t.row, t.column});
    steiner::Options options;
    options.stepwise = true;
    const steiner::Tree tree = steiner::route(net, options);
    EXPECT_EQ(tree.steiner_count(), written);
    const std::string total = "Total wirelength is: ";
    const size_t at = report.find(total);
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(std::stoll(report.substr(at + total.size())), tree.length);
}

TEST_F(SteinerCandidatesTest, FailuresWriteOneLineAndNothingElse) {
    write_text("short.data", "3\n1 1\n2 2\n");
    write_text("far.data", "1\n0 600000000\n");
    std::string wide = "6000\n";
    for (int k = 0; k < 6000; k++)
        wide += std::to_string(k) + " " + std::to_string(k) + "\n";
    write_text("wide.data", wide);
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"missing.data"},
        {"."},
        {"short.data"},
        {"far.data"},
        {"a.data", "b.data"},
        {"short.data", "--random", "5", "--grid", "9"},
        {"--random", "5"},
        {"short.data", "--grid", "9"},
        {"--random", "0", "--grid", "9"},
        {"--random", "2147483648", "--grid", "70000"},
        {"--random", "5", "--grid", "536870913"},
        {"--random", "10", "--grid", "3"},
        {"short.data", "--seed", "18446744073709551616"},
        {"short.data", "--limit", "-1"},
        {"short.data", "--limit"},
        {"short.data", "--seed", "1", "--seed", "2"},
        {"short.data", "--order", "best"},
        {"short.data", "--order"},
        {"wide.data", "--order", "rows"},
        {"short.data", "--threads", "0"},
        {"short.data", "--order", "local", "--order", "rows"},
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

} // namespace
