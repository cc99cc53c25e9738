// The report plotter: reads the standard output of steiner_router, checks it,
// and draws the tree as one SVG document. steiner_plot.cpp is a thin main over
// plot_main; the tests call these functions in-process.
//
// Drawing rules, fixed so that output is byte-for-byte reproducible:
//  - Canvas: PLOT_WIDTH x PLOT_HEIGHT user units. The plot area is the square
//    [PLOT_MARGIN, PLOT_MARGIN + PLOT_AREA] on both axes; the caption lies below it.
//  - Mapping: columns run left to right, rows top to bottom, one scale for both:
//    scale = PLOT_AREA / max(column span, row span) (1 when both spans are 0),
//    x = PLOT_MARGIN + (PLOT_AREA - column span * scale) / 2 + (column - min column) * scale,
//    y = PLOT_MARGIN + (PLOT_AREA - row span * scale) / 2 + (row - min row) * scale.
//    The box spans cover every node and every candidate drawn; the drawing is
//    centred on the shorter axis. Computed in double; printed with two decimals.
//  - Bend rule: the edge from a node to its parent runs horizontally first,
//    along the node's row to the parent's column, then vertically to the parent:
//    the bend sits at (node row, parent column). SVG: "M xn yn H xp V yp".
#ifndef STEINER_PLOT_H
#define STEINER_PLOT_H

#include "mst1.h"

#include <cstdint>
#include <cstdio>
#include <istream>
#include <ostream>
#include <string>
#include <vector>

using steiner::internal::Point;

constexpr double PLOT_WIDTH = 800.0;  // canvas width
constexpr double PLOT_HEIGHT = 880.0; // canvas height: plot area, margins, caption and legend
constexpr double PLOT_MARGIN = 40.0;  // space left, right and above the plot area
constexpr double PLOT_AREA = 720.0;   // side of the square plot area

// What the plotter takes from one router report.
struct PlotReport {
    std::vector<Point> nodes;    // Node #1.. in report order; nodes[0] is the root
    std::vector<Point> parents;  // parent coordinates of each node, as printed
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
bool plot_parse_candidates(FILE *file, const PlotReport &report, std::vector<Point> *candidates,
                           std::string *error);

// Returns the whole SVG document for report, with candidates as faint dots.
// report must have passed plot_parse_report.
std::string plot_render_svg(const PlotReport &report, const std::vector<Point> &candidates);

// The program: arguments (argv[0] is the program name), report on in, SVG on
// out, at most one line on err. Writes nothing to out unless everything
// succeeds. Returns the exit status: 0 on success, 1 on any failure.
int plot_main(int argc, const char *const *argv, std::istream &in, std::ostream &out,
              std::ostream &err);

#endif
