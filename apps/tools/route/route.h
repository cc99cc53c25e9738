// The batch command steiner_route: a netlist or a Bookshelf design in, one
// tree per net out. The thin main in steiner_route.cpp calls these; the tests
// call them too.
//
// A netlist is white-space separated decimal integers: the number of nets,
// then each net as its terminal count and that many row/column pairs (the
// point file's syntax, ranges and line numbers). What follows the last net is
// never read.
#ifndef STEINER_ROUTE_H
#define STEINER_ROUTE_H

#include <steiner/steiner.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

struct RouteOptions {
    std::string input = "-"; // netlist file; "-" for standard input
    int threads = 1;         // --threads N; route_parse_args defaults it to the machine's cores
    steiner::Effort effort = steiner::Effort::best; // --effort E
    bool stepwise = false; // --stepwise: Steiner points that each shorten the tree in turn
    bool json = false;     // --json: JSON Lines instead of the table
    bool help = false;     // -h or --help
    bool bookshelf = false; // --bookshelf, or input ending in .aux: a Bookshelf design
    int64_t scale = 0;      // --scale S (1, 10, 100 or 1000); 0 chooses
};

// The usage text, several lines ending in a line feed.
const char *route_usage();

// Parses argv[1..argc-1]. Options and the netlist may come in any order until
// "--", after which every argument is a netlist name. Each option may be given
// once (-h and --help are one option). On a bad argument, an empty netlist
// name, a repeated option, or --scale or standard input where they do not fit
// returns false with a one-line message (no line end) in *error.
bool route_parse_args(int argc, const char *const *argv, RouteOptions *options, std::string *error);

// Routes every net of in (which it closes; options.input names it) and writes
// one line per net to out, in input order, whatever the threads. The table's
// header goes out with the first net, so a netlist refused before its first
// net leaves out untouched. On a malformed net, after the lines of the nets
// before it, writes one "steiner_route: NAME: net K: line N: ..." line to err
// (NAME the file, or "standard input") and returns 1; likewise when out cannot
// be written or memory runs out. Shows progress on err when progress is set.
// Returns 0 otherwise.
int route_run(const RouteOptions &options, FILE *in, FILE *out, FILE *err, bool progress);

// Routes every net of the Bookshelf design options.input (its .aux) and
// writes one row per net to out, in the design's order whatever the threads,
// then the totals; the time taken goes to err. The whole design is read and
// checked before anything is written: on a fault writes one
// "steiner_route: FILE: line N: ..." line to err, nothing to out, and
// returns 1. Shows progress on err when progress is set.
int route_design(const RouteOptions &options, FILE *out, FILE *err, bool progress);

// ---- Shared by both inputs --------------------------------------------------

// The trees of nets at the options' effort, threads and stepwise, in order.
std::vector<steiner::Tree> route_nets(const std::vector<std::vector<steiner::Point>> &nets,
                                      const RouteOptions &options);

void append_number(std::string *text, int64_t value);

// "\"terminals\":[...],\"steiner_points\":[...],\"edges\":[...]" for a JSON line.
void append_tree_json(const steiner::Tree &tree, std::string *text);

// "N of M nets routed" on err, kept on one line, once a run is past 2 s.
class RouteProgress {
  public:
    RouteProgress(FILE *err, bool show) : err_(err), show_(show) {}
    void update(int64_t routed, int64_t total);
    // Ends the progress line, so that a message can follow.
    void end();

  private:
    FILE *err_;
    bool show_;
    bool shown_ = false;
    std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
};

#endif
