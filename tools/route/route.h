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

struct RouteOptions {
    std::string input = "-"; // netlist file; "-" for standard input
    int threads = 1;         // --threads N; route_parse_args defaults it to the machine's cores
    steiner::Effort effort = steiner::Effort::best; // --effort E
    bool stepwise = false; // --stepwise: Steiner points that each shorten the tree in turn
    bool json = false;     // --json: JSON Lines instead of the table
    bool help = false;     // -h or --help
};

// The usage text, several lines ending in a line feed.
const char *route_usage();

// Parses argv[1..argc-1]. Options and the netlist may come in any order until
// "--", after which every argument is a netlist name. Each option may be given
// once (-h and --help are one option). On a bad argument, an empty netlist
// name or a repeated option returns false with a one-line message (no line
// end) in *error.
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

#endif
