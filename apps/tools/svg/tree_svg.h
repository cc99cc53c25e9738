// The drawing of a tree as one SVG document, shared by steiner_plot and the
// Python package so that both draw a tree the same way, byte for byte.
//
// Drawing rules, fixed so that output is byte-for-byte reproducible:
//  - Canvas: SVG_WIDTH x SVG_HEIGHT user units. The plot area is the square
//    [SVG_MARGIN, SVG_MARGIN + SVG_AREA] on both axes; the caption lies below it.
//  - Mapping: columns run left to right, rows top to bottom, one scale for both:
//    scale = SVG_AREA / max(column span, row span) (1 when both spans are 0),
//    x = SVG_MARGIN + (SVG_AREA - column span * scale) / 2 + (column - min column) * scale,
//    y = SVG_MARGIN + (SVG_AREA - row span * scale) / 2 + (row - min row) * scale.
//    The box spans cover every node and every candidate drawn; the drawing is
//    centred on the shorter axis. Computed in double; printed with two decimals.
//  - Bend rule: the edge from a node to its parent runs horizontally first,
//    along the node's row to the parent's column, then vertically to the parent:
//    the bend sits at (node row, parent column). SVG: "M xn yn H xp V yp".
#ifndef STEINER_TREE_SVG_H
#define STEINER_TREE_SVG_H

#include <steiner/steiner.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr double SVG_WIDTH = 800.0;  // canvas width
constexpr double SVG_HEIGHT = 880.0; // canvas height: plot area, margins, caption and legend
constexpr double SVG_MARGIN = 40.0;  // space left, right and above the plot area
constexpr double SVG_AREA = 720.0;   // side of the square plot area

// A tree as drawn: positions only, so that a tree read back from a report
// draws like the tree it was printed from.
struct TreeDrawing {
    std::vector<steiner::Point> nodes;   // nodes[0] is the root; the terminals come first
    std::vector<steiner::Point> parents; // the position of each node's parent; the root's own
    size_t terminal_count = 0;           // at least 1, at most nodes.size()
    int64_t length_before = 0;           // the terminals' spanning tree, for the caption
    int64_t length_after = 0;            // the tree's length, for the caption
};

// The whole SVG document for tree, with candidates as faint dots. nodes must
// not be empty and parents must be as long as nodes.
std::string tree_svg(const TreeDrawing &tree, const std::vector<steiner::Point> &candidates);

// A count with its noun, "1 terminal" or "5 terminals", as the caption and
// the Python package's description of a tree word it.
std::string tree_svg_count(size_t count, const char *one, const char *many);

#endif
