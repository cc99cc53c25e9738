#include "route.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

namespace {

// A netlist of seeded random nets with the given terminal counts.
std::string netlist(const std::vector<int> &sizes, uint32_t seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int32_t> coordinate(0, 99999);
    std::string text = std::to_string(sizes.size()) + "\n";
    for (int size : sizes) {
        text += std::to_string(size) + "\n";
        for (int k = 0; k < size; k++)
            text += std::to_string(coordinate(random)) + " " + std::to_string(coordinate(random)) +
                    "\n";
    }
    return text;
}

// route_run in-process: (status, standard output, standard error).
struct Outcome {
    int status;
    std::string out;
    std::string err;
};

Outcome run_in_process(const std::string &input, int threads, bool json) {
    RouteOptions options{"-", threads, steiner::Effort::best, false, json, false};
    FILE *in = fmemopen(const_cast<char *>(input.data()), input.size(), "rb");
    char *out_text = nullptr;
    size_t out_size = 0;
    char *err_text = nullptr;
    size_t err_size = 0;
    FILE *out = open_memstream(&out_text, &out_size);
    FILE *err = open_memstream(&err_text, &err_size);
    Outcome outcome{route_run(options, in, out, err, false), "", ""};
    fclose(out);
    fclose(err);
    outcome.out.assign(out_text, out_size);
    outcome.err.assign(err_text, err_size);
    free(out_text);
    free(err_text);
    return outcome;
}

TEST(BatchTest, SameOutputOnAnyThreads) {
    std::vector<int> sizes;
    for (int k = 0; k < 120; k++)
        sizes.push_back(k % 10 == 0 ? 40 + k / 4 : 2 + k % 5);
    const std::string input = netlist(sizes, 5);
    const Outcome one = run_in_process(input, 1, true);
    ASSERT_EQ(one.status, 0) << one.err;
    EXPECT_EQ(std::count(one.out.begin(), one.out.end(), '\n'), 120);
    const Outcome four = run_in_process(input, 4, true);
    EXPECT_EQ(four.out, one.out);
    EXPECT_EQ(run_in_process(input, 3, false).out, run_in_process(input, 1, false).out);
}

// The program itself: whole standard output, standard error and status.
class SteinerRouteTest : public ::testing::Test {
  protected:
    Outcome run(const std::string &args, const std::string &input,
                const std::string &out = "out.txt") {
        // Tests run side by side, so each has a folder of its own.
        const std::string dir = ::testing::TempDir() + "steiner_route_" +
                                ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::system(("mkdir -p '" + dir + "'").c_str());
        std::ofstream(dir + "/netlist.txt", std::ios::binary) << input;
        const std::string command = "cd '" + dir + "' && '" STEINER_ROUTE_EXE "' " + args +
                                    " <netlist.txt >" + out + " 2>err.txt";
        const int raw = std::system(command.c_str());
        return Outcome{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, read(dir + "/out.txt"),
                       read(dir + "/err.txt")};
    }
    static std::string read(const std::string &path) {
        std::stringstream text;
        text << std::ifstream(path, std::ios::binary).rdbuf();
        return text.str();
    }
};

const char NETS[] = "3\n2\n0 0\n3 4\n3\n0 5 10 5 5 0\n4\n0 5\r\n10 5\r\n5 0\r\n5 10\n";

TEST_F(SteinerRouteTest, TableAndJsonLines) {
    const Outcome table = run("", NETS);
    EXPECT_EQ(table.status, 0);
    EXPECT_EQ(table.err, "");
    EXPECT_EQ(table.out, "net\tterminals\trmst\tlength\tsteiner_points\n"
                         "1\t2\t7\t7\t0\n"
                         "2\t3\t20\t15\t1\n"
                         "3\t4\t30\t20\t1\n");
    const Outcome json = run("--json --effort best --threads 2", NETS);
    EXPECT_EQ(json.status, 0);
    EXPECT_EQ(json.out,
              "{\"net\":1,\"terminals\":[[0,0],[3,4]],\"steiner_points\":[],\"edges\":[[1,0]],"
              "\"rmst\":7,\"length\":7}\n"
              "{\"net\":2,\"terminals\":[[0,5],[10,5],[5,0]],\"steiner_points\":[[5,5]],"
              "\"edges\":[[1,3],[2,3],[3,0]],\"rmst\":20,\"length\":15}\n"
              "{\"net\":3,\"terminals\":[[0,5],[10,5],[5,0],[5,10]],\"steiner_points\":[[5,5]],"
              "\"edges\":[[1,4],[2,4],[3,4],[4,0]],\"rmst\":30,\"length\":20}\n");
    EXPECT_EQ(run("--effort rmst", NETS).out, "net\tterminals\trmst\tlength\tsteiner_points\n"
                                              "1\t2\t7\t7\t0\n"
                                              "2\t3\t20\t20\t0\n"
                                              "3\t4\t30\t30\t0\n");
    EXPECT_EQ(run("", "0\n").out, "net\tterminals\trmst\tlength\tsteiner_points\n");
    // No one Steiner point shortens this net's spanning tree; its minimal tree takes two.
    const char net[] = "1\n6\n3 0\n3 4\n2 2\n1 4\n1 3\n4 3\n";
    EXPECT_EQ(run("", net).out, "net\tterminals\trmst\tlength\tsteiner_points\n1\t6\t10\t9\t2\n");
    EXPECT_EQ(run("--stepwise", net).out,
              "net\tterminals\trmst\tlength\tsteiner_points\n1\t6\t10\t10\t0\n");
}

// Nothing reaches standard output before the first net is routed.
TEST_F(SteinerRouteTest, AMalformedNetEndsTheRunAfterTheNetsBeforeIt) {
    const std::string header = "net\tterminals\trmst\tlength\tsteiner_points\n";
    const std::string first = header + "1\t2\t7\t7\t0\n";
    struct Case {
        std::string input;
        std::string out;
        std::string err;
    };
    const Case cases[] = {
        {"", "", "line 1: the netlist is empty; it must begin with the number of nets.\n"},
        {"-1", "", "line 1: the number of nets is -1; it must be at least 0.\n"},
        {"2\n2\n0 0\n3 4\n3\n0 5\n10 x\n", first, "net 2: line 7: \"x\" is not a whole number.\n"},
        {"2\n2\n0 0\n3 4\n3\n0 5\n", first,
         "net 2: line 6: the netlist ends after 1 of the 3 terminals the net announces.\n"},
        {"3\n2\n0 0\n3 4\n", first,
         "net 2: line 4: the netlist ends after 1 of the 3 nets it announces.\n"},
        {"2\n2\n0 0\n3 4\n0\n", first,
         "net 2: line 5: the number of terminals is 0; it must be at least 1.\n"},
        {"1\n1073741824\n0 0\n", "",
         "net 1: line 2: the number of terminals is 1073741824; it must be at most 1073741823.\n"},
        {"1\n1\n0 536870912\n", "",
         "net 1: line 3: coordinate 536870912 is outside the range -536870911 to 536870911.\n"},
    };
    for (const Case &c : cases) {
        const Outcome outcome = run("", c.input);
        EXPECT_EQ(outcome.status, 1) << c.input;
        EXPECT_EQ(outcome.out, c.out) << c.input;
        EXPECT_EQ(outcome.err, "steiner_route: standard input: " + c.err) << c.input;
    }
    const Outcome folder = run(".", "1\n1\n0 0\n");
    EXPECT_EQ(folder.status, 1);
    EXPECT_EQ(folder.out, "");
    EXPECT_EQ(folder.err, "steiner_route: .: line 1: the netlist cannot be read.\n");
}

TEST_F(SteinerRouteTest, BadArgumentsAndOutputs) {
    const std::pair<std::string, std::string> cases[] = {
        {"--threads 0",
         "steiner_route: --threads must be a whole number from 1 to 256, not \"0\"\n"},
        {"--effort fast",
         "steiner_route: --effort must be one of rmst, greedy, best, not \"fast\"\n"},
        {"--bogus", "steiner_route: unknown option \"--bogus\" (see --help)\n"},
        {"a b", "steiner_route: more than one netlist given (\"a\" and \"b\")\n"},
        {"''", "steiner_route: the netlist name is empty (- stands for standard input)\n"},
        {"--json - --json", "steiner_route: --json is given more than once\n"},
        {"--stepwise --stepwise", "steiner_route: --stepwise is given more than once\n"},
        {"--help -h", "steiner_route: -h is given more than once\n"},
        {"--scale 5 d.aux", "steiner_route: --scale must be 1, 10, 100 or 1000, not \"5\"\n"},
        {"--scale 10 nets.txt", "steiner_route: --scale applies to Bookshelf designs only\n"},
        {"--bookshelf", "steiner_route: a Bookshelf design is read from its .aux file, not"
                        " standard input\n"},
        {"-- -x", "steiner_route: -x: cannot be opened: No such file or directory\n"},
        {"missing.txt",
         "steiner_route: missing.txt: cannot be opened: No such file or directory\n"},
    };
    for (const auto &[args, err] : cases) {
        const Outcome outcome = run(args, NETS);
        EXPECT_EQ(outcome.status, 1) << args;
        EXPECT_EQ(outcome.out, "") << args;
        EXPECT_EQ(outcome.err, err) << args;
    }
    const Outcome full = run("", NETS, "/dev/full");
    EXPECT_EQ(full.status, 1);
    EXPECT_EQ(full.err, "steiner_route: cannot write to standard output\n");
    const Outcome help = run("--help", "");
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out, route_usage());
}

} // namespace
