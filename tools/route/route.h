// The batch command steiner_route: a netlist in, one tree per net out. The
// thin main in steiner_route.cpp calls these; the tests call them too.
//
// A netlist is white-space separated decimal integers: the number of nets,
// then each net as its terminal count and that many row/column pairs (the
// point file's syntax, ranges and line numbers). What follows the last net is
// never read.
#ifndef STEINER_ROUTE_H
#define STEINER_ROUTE_H

#include <steiner/steiner.h>

#include <cstdio>
#include <string>
#include <vector>

struct RouteOptions {
    std::string input;      // netlist file; empty or "-" for standard input
    int threads;            // --threads N, default the machine's cores
    steiner::Effort effort; // --effort E, default best
    bool json;              // --json: JSON Lines instead of the table
    bool help;              // -h or --help
};

// All cores, at most 256: the default of --threads.
int route_default_threads();

// Routes every net on up to threads threads (at least 1) and returns the trees
// in input order; they never depend on threads. Small nets go one per thread,
// a large one alone on all of them. Throws what steiner::route throws for the
// first net that fails; which one that is may depend on the threads.
std::vector<steiner::Tree> route_nets(const std::vector<std::vector<steiner::Point>> &nets,
                                      steiner::Effort effort, int threads);

// The usage text, several lines ending in a line feed.
const char *route_usage();

// Parses argv[1..argc-1]. On a bad argument returns false with a one-line
// message (no line end) in *error.
bool route_parse_args(int argc, const char *const *argv, RouteOptions *options, std::string *error);

// Routes every net of in (which it closes) and writes one line per net to out,
// in input order, whatever the threads. On a malformed net, after the lines of the nets before
// it, writes one "steiner_route: net K: line N: ..." line to err and returns 1;
// likewise when out cannot be written or memory runs out. Shows progress on
// err when progress is set. Returns 0 otherwise.
int route_run(const RouteOptions &options, FILE *in, FILE *out, FILE *err, bool progress);

#endif
