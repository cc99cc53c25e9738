// The report plotter: reads the standard output of steiner_router, checks it,
// and draws the tree as one SVG document. steiner_plot.cpp is a thin main over
// plot_main; the tests call these functions in-process.
//
// The drawing itself, and its rules, are tree_svg.h's.
#ifndef STEINER_PLOT_H
#define STEINER_PLOT_H

#include "mst1.h"

#include <cstdint>
#include <cstdio>
#include <istream>
#include <ostream>
#include <string>
#include <vector>

// What the plotter takes from one router report.
struct PlotReport {
    std::vector<steiner::internal::Point> nodes; // Node #1.. in report order; nodes[0] is the root
    std::vector<steiner::internal::Point> parents; // parent coordinates of each node, as printed
    int32_t terminal_count = 0;  // echoed points minus candidates; the first nodes
    int32_t candidate_count = 0; // candidates the router accepted
    int64_t length_before = 0;   // wirelength of the terminals' spanning tree
    int64_t length_after = 0;    // final "Total wirelength is" value
};

// Parses a whole report from in. Lines the plotter does not use (prompts,
// pauses, insertion messages, the run time) are skipped; the lines it uses must
// parse exactly, and no line may be longer than a report line can be. Reading
// stops at the pause after the "Total wirelength is:" line (or two lines
// after it), so what follows a report is never read. The parent links must
// join every node to node #1 in one tree whose edges add up to the total, the
// length of a minimum spanning tree of the nodes. Returns true
// on success; otherwise fills *error with one line (no line end) and leaves
// *report unspecified. Throws std::bad_alloc when memory runs out.
bool plot_parse_report(std::istream &in, PlotReport *report, std::string *error);

// Reads the router point file of report from file, which it closes, as the
// router does: the terminals must be the report's, in order; the candidates it
// accepted are those that pass its screening, up to the report's count. Appends
// to *candidates each accepted candidate that is at no node's position, once.
// Returns false with one line in *error when the file does not read or does not
// match. Throws std::bad_alloc when memory runs out.
bool plot_parse_candidates(FILE *file, const PlotReport &report,
                           std::vector<steiner::internal::Point> *candidates, std::string *error);

// Returns the whole SVG document for report, with candidates as faint dots.
// report must have passed plot_parse_report.
std::string plot_render_svg(const PlotReport &report,
                            const std::vector<steiner::internal::Point> &candidates);

// The program: arguments (argv[0] is the program name), report on in, SVG on
// out, at most one line on err. Writes nothing to out unless everything
// succeeds. Returns the exit status: 0 on success, 1 on any failure.
int plot_main(int argc, const char *const *argv, std::istream &in, std::ostream &out,
              std::ostream &err);

#endif
