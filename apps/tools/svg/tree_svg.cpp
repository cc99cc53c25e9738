// The SVG drawing of a tree; see tree_svg.h for the drawing rules.
#include "tree_svg.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

using steiner::Point;

// A number with two decimals, never "-0.00".
std::string num(double value) {
    char buffer[64];
    snprintf(buffer, sizeof buffer, "%.2f", value);
    if (strcmp(buffer, "-0.00") == 0)
        return "0.00";
    return buffer;
}

std::string escape(const std::string &text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

// Grid to canvas, as documented in tree_svg.h.
class Mapping {
  public:
    explicit Mapping(const std::vector<const std::vector<Point> *> &lists) {
        bool first = true;
        for (const std::vector<Point> *list : lists)
            for (const Point &p : *list) {
                if (first) {
                    min_row_ = max_row_ = p.row;
                    min_column_ = max_column_ = p.column;
                    first = false;
                }
                min_row_ = std::min(min_row_, p.row);
                max_row_ = std::max(max_row_, p.row);
                min_column_ = std::min(min_column_, p.column);
                max_column_ = std::max(max_column_, p.column);
            }
        // Differences in 64 bits: spans reach 2 * 536870911, past the 32-bit range.
        const auto row_span = static_cast<double>(int64_t{max_row_} - min_row_);
        const auto column_span = static_cast<double>(int64_t{max_column_} - min_column_);
        const double span = std::max(row_span, column_span);
        scale_ = span > 0 ? SVG_AREA / span : 1.0;
        x0_ = SVG_MARGIN + (SVG_AREA - column_span * scale_) / 2;
        y0_ = SVG_MARGIN + (SVG_AREA - row_span * scale_) / 2;
    }
    double x(int32_t column) const {
        return x0_ + static_cast<double>(int64_t{column} - min_column_) * scale_;
    }
    double y(int32_t row) const {
        return y0_ + static_cast<double>(int64_t{row} - min_row_) * scale_;
    }

  private:
    int32_t min_row_ = 0, max_row_ = 0;       // row extent of everything drawn
    int32_t min_column_ = 0, max_column_ = 0; // column extent of everything drawn
    double scale_ = 1.0;                      // canvas units per grid unit, both axes
    double x0_ = 0.0, y0_ = 0.0;              // canvas position of (min row, min column)
};

const double TERMINAL_SIDE = 8.0;        // side of a terminal's square
const double ROOT_SIDE = 12.0;           // side of the root's square
const double STEINER_RADIUS = 4.5;       // radius of a kept Steiner point's circle
const double CANDIDATE_RADIUS = 3.0;     // radius of a candidate's dot
const char TERMINAL_FILL[] = "#1c7ed6";  // terminals: filled blue squares
const char ROOT_FILL[] = "#e03131";      // the root: a larger red square, black outline
const char STEINER_STROKE[] = "#e8590c"; // kept Steiner points: hollow orange circles
const char CANDIDATE_FILL[] = "#868e96"; // candidates not kept: faint grey dots
const char CANDIDATE_OPACITY[] = "0.5";

std::string node_title(size_t index, const Point &p) {
    return "<title>Node #" + std::to_string(index + 1) + ": " + std::to_string(p.row) + ", " +
           std::to_string(p.column) + "</title>";
}

void add_opening(const TreeDrawing &tree, std::string *svg) {
    *svg += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    const std::string width = std::to_string(static_cast<int>(SVG_WIDTH));
    const std::string height = std::to_string(static_cast<int>(SVG_HEIGHT));
    *svg += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + width + "\" height=\"" + height +
            "\" viewBox=\"0 0 " + width + " " + height + "\" font-family=\"sans-serif\">\n";
    *svg += "<title>Rectilinear Steiner tree: " + tree_svg_count(tree.nodes.size(), "node", "nodes") +
            "</title>\n";
    *svg += "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n";
}

void add_candidates(const std::vector<Point> &candidates, const Mapping &map, std::string *svg) {
    if (candidates.empty())
        return;
    *svg += "<g class=\"candidates\" fill=\"" + std::string(CANDIDATE_FILL) + "\" fill-opacity=\"" +
            CANDIDATE_OPACITY + "\">\n";
    for (const Point &c : candidates)
        *svg += "<circle class=\"candidate\" cx=\"" + num(map.x(c.column)) + "\" cy=\"" +
                num(map.y(c.row)) + "\" r=\"" + num(CANDIDATE_RADIUS) + "\"/>\n";
    *svg += "</g>\n";
}

void add_edges(const TreeDrawing &tree, const Mapping &map, std::string *svg) {
    *svg += "<g class=\"edges\" fill=\"none\" stroke=\"#343a40\" stroke-width=\"1.5\" "
            "stroke-linejoin=\"round\" stroke-linecap=\"square\">\n";
    for (size_t k = 1; k < tree.nodes.size(); k++) {
        const Point &n = tree.nodes[k];
        const Point &p = tree.parents[k];
        *svg += "<path class=\"edge\" d=\"M " + num(map.x(n.column)) + " " + num(map.y(n.row)) +
                " H " + num(map.x(p.column)) + " V " + num(map.y(p.row)) + "\"/>\n";
    }
    *svg += "</g>\n";
}

void add_steiner_points(const TreeDrawing &tree, const Mapping &map, std::string *svg) {
    *svg += "<g class=\"steiner-points\" fill=\"#ffffff\" stroke=\"" + std::string(STEINER_STROKE) +
            "\" stroke-width=\"2\">\n";
    for (size_t k = tree.terminal_count; k < tree.nodes.size(); k++) {
        const Point &n = tree.nodes[k];
        *svg += "<circle class=\"steiner\" cx=\"" + num(map.x(n.column)) + "\" cy=\"" +
                num(map.y(n.row)) + "\" r=\"" + num(STEINER_RADIUS) + "\">" + node_title(k, n) +
                "</circle>\n";
    }
    *svg += "</g>\n";
}

// Drawn after the Steiner points so that a coincident terminal stays visible,
// the root last, on top of everything.
void add_terminals(const TreeDrawing &tree, const Mapping &map, std::string *svg) {
    *svg += "<g class=\"terminals\" fill=\"" + std::string(TERMINAL_FILL) + "\">\n";
    for (size_t k = 1; k < tree.terminal_count; k++) {
        const Point &n = tree.nodes[k];
        *svg += "<rect class=\"terminal\" x=\"" + num(map.x(n.column) - TERMINAL_SIDE / 2) +
                "\" y=\"" + num(map.y(n.row) - TERMINAL_SIDE / 2) + "\" width=\"" +
                num(TERMINAL_SIDE) + "\" height=\"" + num(TERMINAL_SIDE) + "\">" +
                node_title(k, n) + "</rect>\n";
    }
    const Point &root = tree.nodes[0];
    *svg += "<rect class=\"terminal root\" x=\"" + num(map.x(root.column) - ROOT_SIDE / 2) +
            "\" y=\"" + num(map.y(root.row) - ROOT_SIDE / 2) + "\" width=\"" + num(ROOT_SIDE) +
            "\" height=\"" + num(ROOT_SIDE) + "\" fill=\"" + ROOT_FILL +
            "\" stroke=\"#000000\" stroke-width=\"1.5\">" + node_title(0, root) + "</rect>\n";
    *svg += "</g>\n";
}

// The baseline of the caption's first line.
constexpr double CAPTION_TOP = SVG_MARGIN + SVG_AREA + 30;

void add_caption(const TreeDrawing &tree, std::string *svg) {
    const int64_t saved = tree.length_before - tree.length_after;
    const double percent = tree.length_before > 0 ? 100.0 * static_cast<double>(saved) /
                                                        static_cast<double>(tree.length_before)
                                                  : 0.0;
    const size_t steiner = tree.nodes.size() - tree.terminal_count;
    const std::string counts = tree_svg_count(tree.nodes.size(), "node", "nodes") + ": " +
                               tree_svg_count(tree.terminal_count, "terminal", "terminals") + ", " +
                               tree_svg_count(steiner, "Steiner point", "Steiner points") + " kept";
    const std::string lengths = "Wirelength " + std::to_string(tree.length_before) +
                                " before insertion, " + std::to_string(tree.length_after) +
                                " after: reduction " + num(percent) + "%";
    *svg += "<g class=\"caption\" font-size=\"16\" fill=\"#212529\">\n";
    *svg += "<text x=\"" + num(SVG_MARGIN) + "\" y=\"" + num(CAPTION_TOP) + "\">" + escape(counts) +
            "</text>\n";
    *svg += "<text x=\"" + num(SVG_MARGIN) + "\" y=\"" + num(CAPTION_TOP + 22) + "\">" +
            escape(lengths) + "</text>\n";
    *svg += "</g>\n";
}

// On a row of its own. Its shapes carry no class, so they are not node markers.
void add_legend(bool with_candidates, std::string *svg) {
    const double ly = CAPTION_TOP + 50; // centre line of the legend symbols
    const double lx = SVG_MARGIN + 6;
    *svg += "<g class=\"legend\" font-size=\"13\" fill=\"#212529\">\n";
    *svg += "<rect x=\"" + num(lx - ROOT_SIDE / 2) + "\" y=\"" + num(ly - ROOT_SIDE / 2) +
            "\" width=\"" + num(ROOT_SIDE) + "\" height=\"" + num(ROOT_SIDE) + "\" fill=\"" +
            ROOT_FILL + "\" stroke=\"#000000\" stroke-width=\"1.5\"/>\n";
    *svg += "<text x=\"" + num(lx + 12) + "\" y=\"" + num(ly + 5) + "\">root</text>\n";
    *svg += "<rect x=\"" + num(lx + 80 - TERMINAL_SIDE / 2) + "\" y=\"" +
            num(ly - TERMINAL_SIDE / 2) + "\" width=\"" + num(TERMINAL_SIDE) + "\" height=\"" +
            num(TERMINAL_SIDE) + "\" fill=\"" + TERMINAL_FILL + "\"/>\n";
    *svg += "<text x=\"" + num(lx + 92) + "\" y=\"" + num(ly + 5) + "\">terminal</text>\n";
    *svg += "<circle cx=\"" + num(lx + 180) + "\" cy=\"" + num(ly) + "\" r=\"" +
            num(STEINER_RADIUS) + "\" fill=\"#ffffff\" stroke=\"" + STEINER_STROKE +
            "\" stroke-width=\"2\"/>\n";
    *svg +=
        "<text x=\"" + num(lx + 192) + "\" y=\"" + num(ly + 5) + "\">kept Steiner point</text>\n";
    if (with_candidates) {
        *svg += "<circle cx=\"" + num(lx + 330) + "\" cy=\"" + num(ly) + "\" r=\"" +
                num(CANDIDATE_RADIUS) + "\" fill=\"" + CANDIDATE_FILL + "\" fill-opacity=\"" +
                CANDIDATE_OPACITY + "\"/>\n";
        *svg += "<text x=\"" + num(lx + 342) + "\" y=\"" + num(ly + 5) +
                "\">candidate, not kept</text>\n";
    }
    *svg += "</g>\n";
}

} // namespace

std::string tree_svg(const TreeDrawing &tree, const std::vector<steiner::Point> &candidates) {
    const Mapping map({&tree.nodes, &candidates});
    std::string svg;
    add_opening(tree, &svg);
    add_candidates(candidates, map, &svg);
    add_edges(tree, map, &svg);
    add_steiner_points(tree, map, &svg);
    add_terminals(tree, map, &svg);
    add_caption(tree, &svg);
    add_legend(!candidates.empty(), &svg);
    svg += "</svg>\n";
    return svg;
}

std::string tree_svg_count(size_t count, const char *one, const char *many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}
