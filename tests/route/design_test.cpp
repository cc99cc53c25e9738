// steiner_route on Bookshelf designs written by the tests: whole standard
// output, standard error (the time masked) and status.
#include <steiner/steiner.h>

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <fstream>
#include <map>
#include <random>
#include <regex>
#include <sstream>
#include <string>

namespace {

struct Outcome {
    int status;
    std::string out;
    std::string err;
};

class DesignTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = ::testing::TempDir() + "steiner_design_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::system(("rm -rf '" + dir_ + "' && mkdir -p '" + dir_ + "'").c_str());
    }
    void write(const std::string &name, const std::string &text) const {
        std::ofstream(dir_ + "/" + name, std::ios::binary) << text;
    }
    // Runs steiner_route in the design's folder; the seconds of the time line become "T".
    Outcome run(const std::string &args) const {
        const std::string command = "cd '" + dir_ + "' && '" STEINER_ROUTE_EXE "' " + args +
                                    " >out.txt 2>err.txt";
        const int raw = std::system(command.c_str());
        const std::string err = read("err.txt");
        return Outcome{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, read("out.txt"),
                       std::regex_replace(err, std::regex("in [0-9]+\\.[0-9]+ s\n"), "in T s\n")};
    }
    std::string read(const std::string &name) const {
        std::stringstream text;
        text << std::ifstream(dir_ + "/" + name, std::ios::binary).rdbuf();
        return text.str();
    }
    std::string dir_;
};

// Eight cells of 4 by 2, one per orientation, all with their lower-left at
// the origin; a movable cell at a fractional place; a fixed terminal and a
// fixed terminal_NI of no size. CR LF line ends and tabs throughout.
const char AUX[] = "RowBasedPlacement : d.nodes d.nets d.wts d.pl d.scl\r\n";
const char NODES[] = "UCLA nodes 1.0\r\n# made by hand\r\n\r\nNumNodes : 11\r\n"
                     "NumTerminals : 2\r\n"
                     "c_N 4 2\r\nc_S 4 2\r\nc_E 4 2\r\nc_W 4 2\r\n"
                     "c_FN 4 2\r\nc_FS 4 2\r\nc_FE 4 2\r\nc_FW\t4\t2\r\n"
                     "m 2 2\r\np 1 1 terminal\r\nq 0 0 terminal_NI\r\n";
const char PL[] = "UCLA pl 1.0\r\n\r\n"
                  "c_N 0 0 : N\r\nc_S 0 0 : S\r\nc_E 0 0 : E\r\nc_W 0 0 : W\r\n"
                  "c_FN 0 0 : FN\r\nc_FS 0 0 : FS\r\nc_FE 0 0 : FE\r\nc_FW 0 0 : FW\r\n"
                  "m 7.25 3 : N\r\np 20 10 : N /FIXED\r\nq -5 -5 : N /FIXED_NI\r\n";
// The offset (1, 0.5) on each turned cell; a cell three times in one net,
// twice on one spot; a net of one pin; an unnamed net of both terminals; a
// net whose pins coincide.
const char NETS[] = "UCLA nets 1.0\r\nNumNets : 5\r\nNumPins : 16\r\n"
                    "NetDegree : 8 turned\r\n"
                    "\tc_N I : 1 0.5\r\n\tc_S I : 1 0.5\r\n\tc_E O : 1 0.5\r\n\tc_W B : 1 0.5\r\n"
                    "\tc_FN I : 1 0.5\r\n\tc_FS I : 1 0.5\r\n\tc_FE I : 1 0.5\r\n"
                    "\tc_FW I : 1.000 0.50\r\n"
                    "NetDegree : 3 repeated\r\n m I\r\n m O : 0 0\r\n m B : 1 -1\r\n"
                    "NetDegree : 1 alone\r\n p B\r\n"
                    "NetDegree : 2\r\n p I\r\n q O\r\n"
                    "NetDegree:2 same\r\n m I : -0.5 0.5\r\n m I : -0.5 0.5\r\n";

TEST_F(DesignTest, RowsAndTotalsInDesignUnits) {
    write("d.aux", AUX);
    write("d.nodes", NODES);
    write("d.pl", PL);
    write("d.nets", NETS);
    const Outcome table = run("d.aux --threads 1");
    EXPECT_EQ(table.status, 0);
    EXPECT_EQ(table.err, "steiner_route: 5 nets routed in T s\n");
    EXPECT_EQ(table.out, "net\tpins\tplaces\thpwl\trmst\tlength\n"
                         "turned\t8\t8\t5.00\t9.00\t7.00\n"
                         "repeated\t3\t2\t2.00\t2.00\t2.00\n"
                         "alone\t1\t1\t0.00\t0.00\t0.00\n"
                         "4\t2\t2\t41.00\t41.00\t41.00\n"
                         "same\t2\t1\t0.00\t0.00\t0.00\n"
                         "# nets=5 pins=16 scale=100 hpwl=48.00 rmst=52.00 length=50.00\n");
    EXPECT_EQ(run("--bookshelf d.aux --threads 2").out, table.out);
    // The pins of the turned cells, on the grid of thousandths: N (3, 1.5),
    // S (1, 0.5), E (1.5, 1), W (0.5, 3), FN (1, 1.5), FS (3, 0.5),
    // FE (1.5, 3), FW (0.5, 1).
    const Outcome json = run("--json --scale 1000 --effort rmst d.aux");
    EXPECT_EQ(json.status, 0);
    EXPECT_EQ(json.out.substr(0, json.out.find('\n') + 1),
              "{\"net\":1,\"name\":\"turned\",\"pins\":8,\"places\":8,\"hpwl\":5.000,"
              "\"rmst\":9.000,\"length\":9.000,\"terminals\":[[3000,1500],[1000,500],"
              "[1500,1000],[500,3000],[1000,1500],[3000,500],[1500,3000],[500,1000]],"
              "\"steiner_points\":[],\"edges\":[[1,5],[2,1],[3,4],[4,1],[5,0],[6,3],[7,1]]}\n");
    EXPECT_EQ(json.out.substr(json.out.rfind('{')),
              "{\"nets\":5,\"pins\":16,\"scale\":1000,\"hpwl\":48.000,\"rmst\":52.000,"
              "\"length\":52.000}\n");
}

TEST_F(DesignTest, EachFaultIsOneLineAndNothingIsWritten) {
    struct Case {
        std::vector<std::pair<const char *, std::string>> files; // texts instead of the design's
        std::string err;                                          // after "steiner_route: "
        const char *args = "d.aux";
    };
    const std::string nets = NETS;
    const Case cases[] = {
        {{}, "missing.aux: cannot be opened: No such file or directory.", "missing.aux"},
        {{{"d.aux", "RowBasedPlacement : d.nodes d.nets\n"}}, "d.aux: names no .pl file."},
        {{{"d.aux", "RowBasedPlacement : d.nodes d.nets x.pl\n"}},
         "x.pl: cannot be opened: No such file or directory."},
        {{{"d.nodes", std::string(NODES) + "c_N 1 1\n"}},
         "d.nodes: line 17: the object \"c_N\" is listed twice."},
        {{{"d.nodes", std::string(NODES) + "z 1 1 terminal\n"}},
         "d.nodes: line 4: NumNodes is 11 but the file has 12 objects."},
        {{{"d.pl", std::string(PL) + "zz 1 1 : N\n"}},
         "d.pl: line 14: the object \"zz\" is not in the .nodes file."},
        {{{"d.pl", std::string(PL) + "c_N 1 1 : NE\n"}},
         "d.pl: line 14: a place must read \"NAME X Y : ORIENTATION [/FIXED|/FIXED_NI]\" with at"
         " most three decimals and an orientation of N, S, E, W, FN, FS, FE or FW."},
        {{{"d.nets", nets + "NetDegree : 1\n zz\n"}},
         "d.nets: line 26: the object \"zz\" is not in the .nodes file."},
        {{{"d.nets", nets + "NetDegree : 3\n m\n m\n"}},
         "d.nets: line 25: the net has 2 pins but its NetDegree is 3."},
        {{{"d.nets", nets + "NetDegree : 1\n m\n m\n"}},
         "d.nets: line 27: the net has more pins than its NetDegree says."},
        {{{"d.nets", nets + "NetDegree : 0 empty\n"}}, "d.nets: line 25: the net has no pins."},
        {{{"d.nets", nets + "NetDegree : 1\n m : 0.0001 0\n"}},
         "d.nets: line 26: a pin must read \"OBJECT [DIRECTION] [: DX DY]\" with at most three"
         " decimals."},
        {{{"d.nets", nets + "NetDegree : 1\n q\n"}},
         "d.nets: line 2: NumNets is 5 but the file has 6 nets."},
        {{{"d.nets", "NumNets : 1\nNumPins : 3\nNetDegree : 2\n m\n m\n"}},
         "d.nets: line 2: NumPins is 3 but the file has 2 pins."},
        {{{"d.nets", "NetDegree : 1\n p : 536870911 0\n"}},
         "d.nets: line 1: a pin of the net lies at 536870931.5, which is 5368709315 at scale 10,"
         " outside -536870911 to 536870911."},
        {{{"d.nets", "NetDegree : 1\n p : 0 0\n"}},
         "d.nets: line 1: a pin of the net lies at 20.5, which is not whole at scale 1.",
         "--scale 1 d.aux"},
        {{{"d.nodes", "h 0.001 1\n"}, {"d.pl", "h 0 0\n"}, {"d.nets", "NetDegree : 1\n h\n"}},
         "d.nets: line 1: a pin of the net lies at 0.0005, which no scale up to 1000 makes whole."},
    };
    for (const Case &c : cases) {
        write("d.aux", AUX);
        write("d.nodes", NODES);
        write("d.pl", PL);
        write("d.nets", NETS);
        for (const auto &[file, text] : c.files)
            write(file, text);
        const Outcome outcome = run(c.args);
        EXPECT_EQ(outcome.status, 1) << c.err;
        EXPECT_EQ(outcome.out, "") << c.err;
        EXPECT_EQ(outcome.err, "steiner_route: " + c.err + "\n");
    }
}

// A few hundred nets over seeded random cells in rows, each row N or FS,
// with pins at half units: the totals agree with the half-perimeters of the
// placement and the library's trees computed here.
TEST_F(DesignTest, TotalsOfAGeneratedDesign) {
    std::mt19937 random(29);
    std::uniform_int_distribution<int> width(1, 8), column(0, 400), row(0, 30), pick(0, 199),
        degree(1, 9), half(-4, 4);
    std::string nodes = "NumNodes : 200\n", pl, nets = "NumNets : 300\n";
    std::vector<std::array<int, 4>> cells; // tenths: centre x, y; width; flipped
    for (int k = 0; k < 200; k++) {
        const int w = width(random), x = column(random), r = row(random);
        nodes += "c" + std::to_string(k) + " " + std::to_string(w) + " 10\n";
        pl += "c" + std::to_string(k) + " " + std::to_string(x) + " " + std::to_string(10 * r) +
              (r % 2 ? " : FS\n" : " : N\n");
        cells.push_back({10 * x + 5 * w, 100 * r + 50, w, r % 2});
    }
    int64_t hpwl = 0, length = 0;
    for (int n = 0; n < 300; n++) {
        const int pins = degree(random);
        nets += "NetDegree : " + std::to_string(pins) + "\n";
        std::vector<steiner::Point> points;
        for (int p = 0; p < pins; p++) {
            const auto &cell = cells[static_cast<size_t>(pick(random))];
            const int dx = half(random), dy = half(random);
            nets += "c" + std::to_string(&cell - cells.data()) + " I : " +
                    std::to_string(dx / 2.0) + " " + std::to_string(dy / 2.0) + "\n";
            points.push_back({cell[0] + 5 * dx, cell[1] + (cell[3] ? -5 : 5) * dy});
        }
        auto [low_x, high_x] = std::minmax_element(
            points.begin(), points.end(), [](auto a, auto b) { return a.row < b.row; });
        auto [low_y, high_y] = std::minmax_element(
            points.begin(), points.end(), [](auto a, auto b) { return a.column < b.column; });
        hpwl += high_x->row - low_x->row + high_y->column - low_y->column;
        steiner::Options options;
        options.effort = steiner::Effort::greedy;
        length += steiner::route(points, options).length;
    }
    write("g.aux", "RowBasedPlacement : g.nodes g.nets g.pl\n");
    write("g.nodes", nodes);
    write("g.pl", pl);
    write("g.nets", nets);
    const Outcome outcome = run("--effort greedy g.aux");
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    const std::string totals = outcome.out.substr(outcome.out.rfind('#'));
    auto tenths = [](int64_t value) {
        return std::to_string(value / 10) + "." + std::to_string(value % 10);
    };
    EXPECT_EQ(totals.substr(0, totals.find(" rmst")),
              "# nets=300 pins=" +
                  std::to_string(std::count(nets.begin(), nets.end(), '\n') - 301) +
                  " scale=10 hpwl=" + tenths(hpwl));
    EXPECT_EQ(totals.substr(totals.find(" length")), " length=" + tenths(length) + "\n");
}

} // namespace
