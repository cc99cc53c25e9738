// Report parsing and SVG rendering for steiner_plot. See plot.h for the
// drawing rules.
#include "plot.h"

#include "point_file.h"
#include "screening.h"

#include <steiner/steiner.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <new>
#include <utility>

using namespace steiner::internal;

namespace {

const char USAGE[] = "usage: steiner_plot [--candidates FILE] < report > tree.svg";

// A read position in one line. Every match either consumes what it matched
// or leaves the position where it was.
class Cursor {
  public:
    explicit Cursor(const std::string &text) : text_(text) {}

    bool literal(const char *expected) {
        const size_t len = strlen(expected);
        if (text_.compare(pos_, len, expected) != 0)
            return false;
        pos_ += len;
        return true;
    }

    // An optional minus sign and one or more decimal digits, within [minimum, maximum].
    bool integer(int64_t minimum, int64_t maximum, int64_t *value) {
        size_t at = pos_;
        const bool negative = at < text_.size() && text_[at] == '-';
        if (negative)
            at++;
        const size_t digits_start = at;
        uint64_t magnitude = 0;
        while (at < text_.size() && text_[at] >= '0' && text_[at] <= '9') {
            // Past 2^63 the value is out of every range asked for; stop before overflow.
            if (magnitude > (uint64_t{1} << 63) / 10)
                return false;
            magnitude = magnitude * 10 + static_cast<uint64_t>(text_[at] - '0');
            at++;
        }
        if (at == digits_start || magnitude > (uint64_t{1} << 63))
            return false;
        int64_t number = 0;
        if (negative)
            number =
                magnitude == (uint64_t{1} << 63) ? INT64_MIN : -static_cast<int64_t>(magnitude);
        else if (magnitude > static_cast<uint64_t>(INT64_MAX))
            return false;
        else
            number = static_cast<int64_t>(magnitude);
        if (number < minimum || number > maximum)
            return false;
        *value = number;
        pos_ = at;
        return true;
    }

    bool coordinate(int32_t *value) {
        int64_t number = 0;
        if (!integer(MST1_COORD_MIN, MST1_COORD_MAX, &number))
            return false;
        *value = static_cast<int32_t>(number);
        return true;
    }

    bool at_end() const {
        return pos_ == text_.size();
    }

  private:
    const std::string &text_; // the line; outlives the cursor
    size_t pos_ = 0;          // next unread character
};

bool starts_with(const std::string &text, const char *prefix) {
    return text.compare(0, strlen(prefix), prefix) == 0;
}

// "report line N: what: "line text"", the line cut to 60 characters.
std::string line_error(int64_t line_number, const char *what, const std::string &line) {
    std::string shown = line.size() > 60 ? line.substr(0, 60) + "..." : line;
    return "line " + std::to_string(line_number) + ": " + what + ": \"" + shown + "\"";
}

bool same_point(const Point &a, const Point &b) {
    return a.row == b.row && a.column == b.column;
}

bool point_less(const Point &a, const Point &b) {
    return a.row != b.row ? a.row < b.row : a.column < b.column;
}

// The points of list sorted, for binary_search with point_less.
std::vector<Point> sorted_points(std::vector<Point> list) {
    std::sort(list.begin(), list.end(), point_less);
    return list;
}

enum class LineRead { Line, End, TooLong, Unreadable };

// No line of a report is longer than this.
constexpr size_t LONGEST_LINE = 4096;

// Reads one line without its line end (a carriage return before it is
// dropped too). A last line without its line end counts as no line.
LineRead read_line(std::istream &in, std::string *line) {
    line->clear();
    std::streambuf *buffer = in.rdbuf();
    if (buffer == nullptr)
        return LineRead::Unreadable;
    // A file buffer throws when the descriptor cannot be read (a folder, a
    // closed descriptor).
    try {
        using traits = std::char_traits<char>;
        for (auto c = buffer->sbumpc(); !traits::eq_int_type(c, traits::eof());
             c = buffer->sbumpc()) {
            if (c == '\n') {
                if (!line->empty() && line->back() == '\r')
                    line->pop_back();
                return LineRead::Line;
            }
            if (line->size() == LONGEST_LINE)
                return LineRead::TooLong;
            line->push_back(traits::to_char_type(c));
        }
    } catch (const std::exception &) {
        return LineRead::Unreadable;
    }
    return LineRead::End;
}

// Node k's parent is the first node at its parent's position. The tree the
// links then make must be a tree in the library's sense, every node a
// terminal: one tree rooted at node #1, its edges adding up to the total,
// which is the length of a minimum spanning tree of the nodes.
bool check_tree(const PlotReport &report, std::string *error) {
    const size_t n = report.nodes.size();
    if (!same_point(report.parents[0], report.nodes[0])) {
        *error = "node #1, the root, does not name itself as its parent";
        return false;
    }
    std::vector<std::pair<Point, size_t>> by_position;
    for (size_t k = 0; k < n; k++)
        by_position.emplace_back(report.nodes[k], k);
    std::stable_sort(by_position.begin(), by_position.end(),
                     [](const auto &a, const auto &b) { return point_less(a.first, b.first); });
    steiner::Tree tree;
    tree.parents.push_back(0);
    for (size_t k = 1; k < n; k++) {
        const Point &p = report.parents[k];
        const auto at = std::lower_bound(by_position.begin(), by_position.end(), p,
                                         [](const std::pair<Point, size_t> &a, const Point &b) {
                                             return point_less(a.first, b);
                                         });
        if (at == by_position.end() || !same_point(at->first, p)) {
            *error = "the parent " + std::to_string(p.row) + ", " + std::to_string(p.column) +
                     " of node #" + std::to_string(k + 1) + " is not a node";
            return false;
        }
        tree.parents.push_back(static_cast<int32_t>(at->second));
    }
    for (const Point &node : report.nodes)
        tree.nodes.push_back(steiner::Point{node.row, node.column});
    tree.terminal_count = n;
    tree.length = tree.rmst_length = report.length_after;
    const std::string fault = steiner::tree_fault(tree);
    if (!fault.empty()) {
        *error = "the nodes do not make a tree (counted from node 0 for node #1): " + fault;
        return false;
    }
    return true;
}

// The report lines the plotter uses. Each appears at most once except points and nodes.
const char POINT_PREFIX[] = "Point #";
const char CANDIDATES_PREFIX[] = "Number of total Potential Steiner points: ";
const char BEFORE_PREFIX[] = "Total wirelength before adding potential Steiner nodes is: ";
const char COUNT_PREFIX[] = "Number of nodes in our minimum RMST is ";
const char NODE_PREFIX[] = "Node #";
const char TOTAL_PREFIX[] = "Total wirelength is: ";
const char PAUSE_PREFIX[] = "Press ENTER to continue";

} // namespace

bool plot_parse_report(std::istream &in, PlotReport *report, std::string *error) {
    *report = PlotReport();
    int64_t points = 0;       // "Point #" lines seen
    int64_t candidates = -1;  // printed candidate count; -1 until seen
    bool have_before = false; // the "before" wirelength line was seen
    int64_t node_count = -1;  // printed node count; -1 until seen
    bool have_total = false;  // the final wirelength line was seen
    int64_t line_number = 0;

    std::string line;
    while (!have_total) {
        const LineRead read = read_line(in, &line);
        if (read == LineRead::Unreadable) {
            *error = "cannot read standard input";
            return false;
        }
        if (read == LineRead::TooLong) {
            *error = "line " + std::to_string(line_number + 1) + " is longer than any report line";
            return false;
        }
        // Only complete lines count: a last line without its line end was cut off.
        if (read == LineRead::End)
            break;
        line_number++;
        Cursor cursor(line);
        int64_t number = 0;
        if (starts_with(line, POINT_PREFIX)) {
            int32_t row = 0;
            int32_t column = 0;
            if (!(cursor.literal(POINT_PREFIX) && cursor.integer(1, INT32_MAX, &number) &&
                  cursor.literal(": Row is ") && cursor.coordinate(&row) &&
                  cursor.literal(", and Column is ") && cursor.coordinate(&column) &&
                  cursor.at_end())) {
                *error = line_error(line_number, "point line does not parse", line);
                return false;
            }
            if (number != points + 1) {
                *error = line_error(line_number, "point lines are not numbered 1, 2, ...", line);
                return false;
            }
            points++;
        } else if (starts_with(line, CANDIDATES_PREFIX)) {
            if (!(cursor.literal(CANDIDATES_PREFIX) && cursor.integer(0, INT32_MAX, &number) &&
                  cursor.at_end())) {
                *error = line_error(line_number, "candidate count does not parse", line);
                return false;
            }
            if (candidates >= 0) {
                *error = line_error(line_number, "candidate count printed twice", line);
                return false;
            }
            candidates = number;
        } else if (starts_with(line, BEFORE_PREFIX)) {
            if (!(cursor.literal(BEFORE_PREFIX) && cursor.integer(0, INT64_MAX, &number) &&
                  cursor.at_end())) {
                *error = line_error(line_number, "wirelength does not parse", line);
                return false;
            }
            if (have_before) {
                *error = line_error(line_number, "wirelength before insertion printed twice", line);
                return false;
            }
            have_before = true;
            report->length_before = number;
        } else if (starts_with(line, COUNT_PREFIX)) {
            if (!(cursor.literal(COUNT_PREFIX) && cursor.integer(0, INT32_MAX, &number) &&
                  cursor.literal(".") && cursor.at_end())) {
                *error = line_error(line_number, "node count does not parse", line);
                return false;
            }
            if (node_count >= 0) {
                *error = line_error(line_number, "node count printed twice", line);
                return false;
            }
            node_count = number;
        } else if (starts_with(line, NODE_PREFIX)) {
            Point node{0, 0};
            Point parent{0, 0};
            if (!(cursor.literal(NODE_PREFIX) && cursor.integer(1, INT32_MAX, &number) &&
                  cursor.literal(": ") && cursor.coordinate(&node.row) && cursor.literal(", ") &&
                  cursor.coordinate(&node.column) && cursor.literal(".    Parent Node: ") &&
                  cursor.coordinate(&parent.row) && cursor.literal(", ") &&
                  cursor.coordinate(&parent.column) && cursor.literal(".") && cursor.at_end())) {
                *error = line_error(line_number, "node line does not parse", line);
                return false;
            }
            if (node_count < 0) {
                *error = line_error(line_number, "node line before the node count", line);
                return false;
            }
            const auto expected = static_cast<int64_t>(report->nodes.size()) + 1;
            if (number != expected || expected > node_count) {
                *error = line_error(line_number,
                                    expected > node_count ? "more node lines than the node count"
                                                          : "node lines are not numbered 1, 2, ...",
                                    line);
                return false;
            }
            report->nodes.push_back(node);
            report->parents.push_back(parent);
        } else if (starts_with(line, TOTAL_PREFIX)) {
            if (!(cursor.literal(TOTAL_PREFIX) && cursor.integer(0, INT64_MAX, &number) &&
                  cursor.at_end())) {
                *error = line_error(line_number, "wirelength does not parse", line);
                return false;
            }
            have_total = true;
            report->length_after = number;
        }
        // Any other line (prompts, pauses, insertion messages, the run time) is not used.
    }

    if (node_count <= 0 && report->nodes.empty()) {
        *error = "no node lines";
        return false;
    }
    if (static_cast<int64_t>(report->nodes.size()) < node_count) {
        *error = "truncated: " + std::to_string(report->nodes.size()) + " of " +
                 std::to_string(node_count) + " node lines";
        return false;
    }
    if (!have_total) {
        *error = "truncated: no \"Total wirelength is:\" line";
        return false;
    }
    if (candidates < 0 || !have_before) {
        *error = candidates < 0 ? "no \"Number of total Potential Steiner points\" line"
                                : "no \"Total wirelength before adding\" line";
        return false;
    }
    const int64_t terminals = points - candidates;
    if (terminals < 1 || terminals > node_count) {
        *error = "counts do not add up: " + std::to_string(points) + " points echoed, " +
                 std::to_string(candidates) + " candidates, " + std::to_string(node_count) +
                 " nodes";
        return false;
    }
    report->terminal_count = static_cast<int32_t>(terminals);

    report->candidate_count = static_cast<int32_t>(candidates);
    // The report ends with the run time and a pause; reading stops there, so
    // nothing that follows the report is read.
    for (int k = 0; k < 2; k++)
        if (read_line(in, &line) != LineRead::Line || starts_with(line, PAUSE_PREFIX))
            break;
    return check_tree(*report, error);
}

bool plot_parse_candidates(FILE *file, const PlotReport &report, std::vector<Point> *candidates,
                           std::string *error) {
    PointReader *reader = point_reader_open(file);
    if (reader == nullptr) {
        fclose(file);
        throw std::bad_alloc();
    }
    const std::unique_ptr<PointReader, void (*)(PointReader *)> owner(reader, point_reader_close);
    PointFileFault fault{};
    auto fault_line = [&fault, error]() {
        char text[160];
        point_fault_text(fault, text, sizeof text);
        *error = text;
        return false;
    };
    int32_t terminal_count = 0;
    if (!point_reader_count(reader, &terminal_count, &fault))
        return fault_line();
    if (terminal_count != report.terminal_count) {
        *error = "announces " + std::to_string(terminal_count) + " terminals, the report has " +
                 std::to_string(report.terminal_count);
        return false;
    }
    Point pair{0, 0};
    for (size_t k = 0; k < static_cast<size_t>(terminal_count); k++) {
        if (point_reader_pair(reader, &pair, &fault) != PointRead::Pair)
            return fault_line();
        if (!same_point(pair, report.nodes[k])) {
            *error = "terminal #" + std::to_string(k + 1) + " is " + std::to_string(pair.row) +
                     ", " + std::to_string(pair.column) + " but the report has " +
                     std::to_string(report.nodes[k].row) + ", " +
                     std::to_string(report.nodes[k].column);
            return false;
        }
    }
    // The candidates the router took are those that pass its screening, up to
    // the count in the report. One at a node's position either stayed or is
    // covered by the node's marker, so it is left out; repeats are drawn once.
    const std::unique_ptr<ScreenIndex, void (*)(ScreenIndex *)> index(
        screen_index_build(report.nodes.data(), terminal_count), screen_index_free);
    if (index == nullptr)
        throw std::bad_alloc();
    std::vector<Point> covered = sorted_points(report.nodes);
    int32_t accepted = 0;
    while (accepted < report.candidate_count && !point_reader_at_end(reader)) {
        if (point_reader_pair(reader, &pair, &fault) != PointRead::Pair)
            return fault_line();
        if (!screen_candidate_indexed(index.get(), pair.row, pair.column))
            continue;
        accepted++;
        const auto at = std::lower_bound(covered.begin(), covered.end(), pair, point_less);
        if (at == covered.end() || !same_point(*at, pair)) {
            covered.insert(at, pair);
            candidates->push_back(pair);
        }
    }
    if (accepted < report.candidate_count) {
        *error = "holds " + std::to_string(accepted) +
                 " candidates that the router accepts, the "
                 "report counts " +
                 std::to_string(report.candidate_count);
        return false;
    }
    return true;
}

namespace {

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

std::string count_of(int64_t count, const char *one, const char *many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

// Grid to canvas, as documented in plot.h.
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
        scale_ = span > 0 ? PLOT_AREA / span : 1.0;
        x0_ = PLOT_MARGIN + (PLOT_AREA - column_span * scale_) / 2;
        y0_ = PLOT_MARGIN + (PLOT_AREA - row_span * scale_) / 2;
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

} // namespace

std::string plot_render_svg(const PlotReport &report, const std::vector<Point> &candidates) {
    const Mapping map({&report.nodes, &candidates});
    const size_t terminals = static_cast<size_t>(report.terminal_count);
    const size_t steiner = report.nodes.size() - terminals;
    std::string svg;
    svg += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    const std::string width = std::to_string(static_cast<int>(PLOT_WIDTH));
    const std::string height = std::to_string(static_cast<int>(PLOT_HEIGHT));
    svg += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + width + "\" height=\"" + height +
           "\" viewBox=\"0 0 " + width + " " + height + "\" font-family=\"sans-serif\">\n";
    svg += "<title>Rectilinear Steiner tree: " +
           count_of(int64_t(report.nodes.size()), "node", "nodes") + "</title>\n";
    svg += "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n";

    if (!candidates.empty()) {
        svg += "<g class=\"candidates\" fill=\"" + std::string(CANDIDATE_FILL) +
               "\" fill-opacity=\"" + CANDIDATE_OPACITY + "\">\n";
        for (const Point &c : candidates)
            svg += "<circle class=\"candidate\" cx=\"" + num(map.x(c.column)) + "\" cy=\"" +
                   num(map.y(c.row)) + "\" r=\"" + num(CANDIDATE_RADIUS) + "\"/>\n";
        svg += "</g>\n";
    }

    svg += "<g class=\"edges\" fill=\"none\" stroke=\"#343a40\" stroke-width=\"1.5\" "
           "stroke-linejoin=\"round\" stroke-linecap=\"square\">\n";
    for (size_t k = 1; k < report.nodes.size(); k++) {
        const Point &n = report.nodes[k];
        const Point &p = report.parents[k];
        svg += "<path class=\"edge\" d=\"M " + num(map.x(n.column)) + " " + num(map.y(n.row)) +
               " H " + num(map.x(p.column)) + " V " + num(map.y(p.row)) + "\"/>\n";
    }
    svg += "</g>\n";

    svg += "<g class=\"steiner-points\" fill=\"#ffffff\" stroke=\"" + std::string(STEINER_STROKE) +
           "\" stroke-width=\"2\">\n";
    for (size_t k = terminals; k < report.nodes.size(); k++) {
        const Point &n = report.nodes[k];
        svg += "<circle class=\"steiner\" cx=\"" + num(map.x(n.column)) + "\" cy=\"" +
               num(map.y(n.row)) + "\" r=\"" + num(STEINER_RADIUS) + "\">" + node_title(k, n) +
               "</circle>\n";
    }
    svg += "</g>\n";

    // Terminals after Steiner points so that a coincident terminal stays visible;
    // the root last, on top of everything.
    svg += "<g class=\"terminals\" fill=\"" + std::string(TERMINAL_FILL) + "\">\n";
    for (size_t k = 1; k < terminals; k++) {
        const Point &n = report.nodes[k];
        svg += "<rect class=\"terminal\" x=\"" + num(map.x(n.column) - TERMINAL_SIDE / 2) +
               "\" y=\"" + num(map.y(n.row) - TERMINAL_SIDE / 2) + "\" width=\"" +
               num(TERMINAL_SIDE) + "\" height=\"" + num(TERMINAL_SIDE) + "\">" + node_title(k, n) +
               "</rect>\n";
    }
    const Point &root = report.nodes[0];
    svg += "<rect class=\"terminal root\" x=\"" + num(map.x(root.column) - ROOT_SIDE / 2) +
           "\" y=\"" + num(map.y(root.row) - ROOT_SIDE / 2) + "\" width=\"" + num(ROOT_SIDE) +
           "\" height=\"" + num(ROOT_SIDE) + "\" fill=\"" + ROOT_FILL +
           "\" stroke=\"#000000\" "
           "stroke-width=\"1.5\">" +
           node_title(0, root) + "</rect>\n";
    svg += "</g>\n";

    const int64_t saved = report.length_before - report.length_after;
    const double percent = report.length_before > 0 ? 100.0 * static_cast<double>(saved) /
                                                          static_cast<double>(report.length_before)
                                                    : 0.0;
    const double line1 = PLOT_MARGIN + PLOT_AREA + 30; // first caption baseline
    const std::string caption1 = count_of(int64_t(report.nodes.size()), "node", "nodes") + ": " +
                                 count_of(int64_t(terminals), "terminal", "terminals") + ", " +
                                 count_of(int64_t(steiner), "Steiner point", "Steiner points") +
                                 " kept";
    const std::string caption2 = "Wirelength " + std::to_string(report.length_before) +
                                 " before insertion, " + std::to_string(report.length_after) +
                                 " after: reduction " + num(percent) + "%";
    svg += "<g class=\"caption\" font-size=\"16\" fill=\"#212529\">\n";
    svg += "<text x=\"" + num(PLOT_MARGIN) + "\" y=\"" + num(line1) + "\">" + escape(caption1) +
           "</text>\n";
    svg += "<text x=\"" + num(PLOT_MARGIN) + "\" y=\"" + num(line1 + 22) + "\">" +
           escape(caption2) + "</text>\n";
    svg += "</g>\n";

    // Legend on its own row. Its shapes carry no class, so they are not node markers.
    const double ly = line1 + 50; // centre line of the legend symbols
    const double lx = PLOT_MARGIN + 6;
    svg += "<g class=\"legend\" font-size=\"13\" fill=\"#212529\">\n";
    svg += "<rect x=\"" + num(lx - ROOT_SIDE / 2) + "\" y=\"" + num(ly - ROOT_SIDE / 2) +
           "\" width=\"" + num(ROOT_SIDE) + "\" height=\"" + num(ROOT_SIDE) + "\" fill=\"" +
           ROOT_FILL + "\" stroke=\"#000000\" stroke-width=\"1.5\"/>\n";
    svg += "<text x=\"" + num(lx + 12) + "\" y=\"" + num(ly + 5) + "\">root</text>\n";
    svg += "<rect x=\"" + num(lx + 80 - TERMINAL_SIDE / 2) + "\" y=\"" +
           num(ly - TERMINAL_SIDE / 2) + "\" width=\"" + num(TERMINAL_SIDE) + "\" height=\"" +
           num(TERMINAL_SIDE) + "\" fill=\"" + TERMINAL_FILL + "\"/>\n";
    svg += "<text x=\"" + num(lx + 92) + "\" y=\"" + num(ly + 5) + "\">terminal</text>\n";
    svg += "<circle cx=\"" + num(lx + 180) + "\" cy=\"" + num(ly) + "\" r=\"" +
           num(STEINER_RADIUS) + "\" fill=\"#ffffff\" stroke=\"" + STEINER_STROKE +
           "\" stroke-width=\"2\"/>\n";
    svg +=
        "<text x=\"" + num(lx + 192) + "\" y=\"" + num(ly + 5) + "\">kept Steiner point</text>\n";
    if (!candidates.empty()) {
        svg += "<circle cx=\"" + num(lx + 330) + "\" cy=\"" + num(ly) + "\" r=\"" +
               num(CANDIDATE_RADIUS) + "\" fill=\"" + CANDIDATE_FILL + "\" fill-opacity=\"" +
               CANDIDATE_OPACITY + "\"/>\n";
        svg += "<text x=\"" + num(lx + 342) + "\" y=\"" + num(ly + 5) +
               "\">candidate, not kept</text>\n";
    }
    svg += "</g>\n";
    svg += "</svg>\n";
    return svg;
}

int plot_main(int argc, const char *const *argv, std::istream &in, std::ostream &out,
              std::ostream &err) {
    auto fail = [&err](const std::string &message) {
        err << "steiner_plot: " << message << '\n';
        err.flush();
        return 1;
    };
    const char *candidates_name = nullptr;
    for (int k = 1; k < argc; k++) {
        const std::string arg = argv[k];
        if (arg == "--help" || arg == "-h") {
            out << USAGE << '\n';
            out.flush();
            return out ? 0 : 1;
        }
        const char *name = nullptr;
        if (arg == "--candidates") {
            if (k + 1 >= argc)
                return fail("--candidates needs a file name; " + std::string(USAGE));
            name = argv[++k];
        } else if (starts_with(arg, "--candidates=")) {
            name = argv[k] + strlen("--candidates=");
        } else {
            return fail("unknown argument \"" + arg + "\"; " + USAGE);
        }
        if (candidates_name != nullptr)
            return fail("--candidates given twice; " + std::string(USAGE));
        candidates_name = name;
    }

    PlotReport report;
    std::string error;
    std::string svg;
    try {
        if (!plot_parse_report(in, &report, &error))
            return fail("report: " + error);
        std::vector<Point> candidates;
        if (candidates_name != nullptr) {
            FILE *file = fopen(candidates_name, "rb");
            if (file == nullptr)
                return fail("cannot open candidates file " + std::string(candidates_name));
            if (!plot_parse_candidates(file, report, &candidates, &error))
                return fail("candidates file " + std::string(candidates_name) + ": " + error);
        }
        svg = plot_render_svg(report, candidates);
    } catch (const std::bad_alloc &) {
        return fail("out of memory");
    }
    out.write(svg.data(), static_cast<std::streamsize>(svg.size()));
    out.flush();
    if (!out)
        return fail("cannot write the SVG");
    return 0;
}
