// Report and point-file reading for steiner_plot; the drawing is tree_svg's.
#include "plot.h"

#include "point_file.h"
#include "screening.h"
#include "tree_svg.h"

#include <steiner/steiner.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <new>
#include <utility>

using steiner::internal::Point;

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
        if (!integer(steiner::internal::MST1_COORD_MIN, steiner::internal::MST1_COORD_MAX, &number))
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

// The points of list sorted, for binary_search with steiner::internal::point_less.
std::vector<Point> sorted_points(std::vector<Point> list) {
    std::sort(list.begin(), list.end(), steiner::internal::point_less);
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
    if (!steiner::internal::point_equal(report.parents[0], report.nodes[0])) {
        *error = "node #1, the root, does not name itself as its parent";
        return false;
    }
    std::vector<std::pair<Point, size_t>> by_position;
    for (size_t k = 0; k < n; k++)
        by_position.emplace_back(report.nodes[k], k);
    std::stable_sort(by_position.begin(), by_position.end(),
                     [](const auto &a, const auto &b) { return steiner::internal::point_less(a.first, b.first); });
    steiner::Tree tree;
    tree.parents.push_back(0);
    for (size_t k = 1; k < n; k++) {
        const Point &p = report.parents[k];
        const auto at = std::lower_bound(by_position.begin(), by_position.end(), p,
                                         [](const std::pair<Point, size_t> &a, const Point &b) {
                                             return steiner::internal::point_less(a.first, b);
                                         });
        if (at == by_position.end() || !steiner::internal::point_equal(at->first, p)) {
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

// What the lines read so far have said.
struct ReportScan {
    int64_t points = 0;       // "Point #" lines seen
    int64_t candidates = -1;  // printed candidate count; -1 until seen
    bool have_before = false; // the "before" wirelength line was seen
    int64_t node_count = -1;  // printed node count; -1 until seen
    bool have_total = false;  // the final wirelength line was seen
};

// One report line and where its fault goes.
struct ReportLine {
    const std::string &text; // the line, without its line end
    int64_t number;          // counted from 1
    std::string *error;      // receives the fault

    bool fault(const char *what) const {
        *error = line_error(number, what, text);
        return false;
    }
};

bool read_point_line(const ReportLine &line, ReportScan *scan) {
    Cursor cursor(line.text);
    int64_t number = 0;
    int32_t row = 0;
    int32_t column = 0;
    if (!(cursor.literal(POINT_PREFIX) && cursor.integer(1, INT32_MAX, &number) &&
          cursor.literal(": Row is ") && cursor.coordinate(&row) &&
          cursor.literal(", and Column is ") && cursor.coordinate(&column) && cursor.at_end()))
        return line.fault("point line does not parse");
    if (number != scan->points + 1)
        return line.fault("point lines are not numbered 1, 2, ...");
    scan->points++;
    return true;
}

bool read_candidate_count(const ReportLine &line, ReportScan *scan) {
    Cursor cursor(line.text);
    int64_t number = 0;
    if (!(cursor.literal(CANDIDATES_PREFIX) && cursor.integer(0, INT32_MAX, &number) &&
          cursor.at_end()))
        return line.fault("candidate count does not parse");
    if (scan->candidates >= 0)
        return line.fault("candidate count printed twice");
    scan->candidates = number;
    return true;
}

bool read_length_before(const ReportLine &line, ReportScan *scan, PlotReport *report) {
    Cursor cursor(line.text);
    int64_t number = 0;
    if (!(cursor.literal(BEFORE_PREFIX) && cursor.integer(0, INT64_MAX, &number) &&
          cursor.at_end()))
        return line.fault("wirelength does not parse");
    if (scan->have_before)
        return line.fault("wirelength before insertion printed twice");
    scan->have_before = true;
    report->length_before = number;
    return true;
}

bool read_node_count(const ReportLine &line, ReportScan *scan) {
    Cursor cursor(line.text);
    int64_t number = 0;
    if (!(cursor.literal(COUNT_PREFIX) && cursor.integer(0, INT32_MAX, &number) &&
          cursor.literal(".") && cursor.at_end()))
        return line.fault("node count does not parse");
    if (scan->node_count >= 0)
        return line.fault("node count printed twice");
    scan->node_count = number;
    return true;
}

bool read_node_line(const ReportLine &line, const ReportScan &scan, PlotReport *report) {
    Cursor cursor(line.text);
    int64_t number = 0;
    Point node{0, 0};
    Point parent{0, 0};
    if (!(cursor.literal(NODE_PREFIX) && cursor.integer(1, INT32_MAX, &number) &&
          cursor.literal(": ") && cursor.coordinate(&node.row) && cursor.literal(", ") &&
          cursor.coordinate(&node.column) && cursor.literal(".    Parent Node: ") &&
          cursor.coordinate(&parent.row) && cursor.literal(", ") &&
          cursor.coordinate(&parent.column) && cursor.literal(".") && cursor.at_end()))
        return line.fault("node line does not parse");
    if (scan.node_count < 0)
        return line.fault("node line before the node count");
    const auto expected = static_cast<int64_t>(report->nodes.size()) + 1;
    if (expected > scan.node_count)
        return line.fault("more node lines than the node count");
    if (number != expected)
        return line.fault("node lines are not numbered 1, 2, ...");
    report->nodes.push_back(node);
    report->parents.push_back(parent);
    return true;
}

bool read_total(const ReportLine &line, ReportScan *scan, PlotReport *report) {
    Cursor cursor(line.text);
    int64_t number = 0;
    if (!(cursor.literal(TOTAL_PREFIX) && cursor.integer(0, INT64_MAX, &number) && cursor.at_end()))
        return line.fault("wirelength does not parse");
    scan->have_total = true;
    report->length_after = number;
    return true;
}

// Any line the plotter does not use (prompts, pauses, insertion messages, the
// run time) passes.
bool read_report_line(const ReportLine &line, ReportScan *scan, PlotReport *report) {
    if (starts_with(line.text, POINT_PREFIX))
        return read_point_line(line, scan);
    if (starts_with(line.text, CANDIDATES_PREFIX))
        return read_candidate_count(line, scan);
    if (starts_with(line.text, BEFORE_PREFIX))
        return read_length_before(line, scan, report);
    if (starts_with(line.text, COUNT_PREFIX))
        return read_node_count(line, scan);
    if (starts_with(line.text, NODE_PREFIX))
        return read_node_line(line, *scan, report);
    if (starts_with(line.text, TOTAL_PREFIX))
        return read_total(line, scan, report);
    return true;
}

// Reads lines up to and including the final wirelength line, or to the end
// of in.
bool read_report_lines(std::istream &in, ReportScan *scan, PlotReport *report, std::string *error) {
    std::string text;
    int64_t line_number = 0;
    while (!scan->have_total) {
        const LineRead read = read_line(in, &text);
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
            return true;
        line_number++;
        if (!read_report_line(ReportLine{text, line_number, error}, scan, report))
            return false;
    }
    return true;
}

// The lines a report cannot lack, and counts that agree with each other.
bool check_complete(const ReportScan &scan, PlotReport *report, std::string *error) {
    if (scan.node_count <= 0 && report->nodes.empty()) {
        *error = "no node lines";
        return false;
    }
    if (static_cast<int64_t>(report->nodes.size()) < scan.node_count) {
        *error = "truncated: " + std::to_string(report->nodes.size()) + " of " +
                 std::to_string(scan.node_count) + " node lines";
        return false;
    }
    if (!scan.have_total) {
        *error = "truncated: no \"Total wirelength is:\" line";
        return false;
    }
    if (scan.candidates < 0 || !scan.have_before) {
        *error = scan.candidates < 0 ? "no \"Number of total Potential Steiner points\" line"
                                     : "no \"Total wirelength before adding\" line";
        return false;
    }
    const int64_t terminals = scan.points - scan.candidates;
    if (terminals < 1 || terminals > scan.node_count) {
        *error = "counts do not add up: " + std::to_string(scan.points) + " points echoed, " +
                 std::to_string(scan.candidates) + " candidates, " +
                 std::to_string(scan.node_count) + " nodes";
        return false;
    }
    report->terminal_count = static_cast<int32_t>(terminals);
    report->candidate_count = static_cast<int32_t>(scan.candidates);
    return true;
}

} // namespace

bool plot_parse_report(std::istream &in, PlotReport *report, std::string *error) {
    *report = PlotReport();
    ReportScan scan;
    if (!read_report_lines(in, &scan, report, error) || !check_complete(scan, report, error))
        return false;
    // The report ends with the run time and a pause; reading stops there, so
    // nothing that follows the report is read.
    std::string line;
    for (int k = 0; k < 2; k++)
        if (read_line(in, &line) != LineRead::Line || starts_with(line, PAUSE_PREFIX))
            break;
    return check_tree(*report, error);
}

namespace {

// One line for a point-file fault in *error; always false.
bool point_file_fault(const steiner::internal::PointFileFault &fault, std::string *error) {
    char text[160];
    steiner::internal::point_fault_text(fault, text, sizeof text);
    *error = text;
    return false;
}

// The count and the terminals that open the file, which must be the report's, in order.
bool read_report_terminals(steiner::internal::PointReader *reader, const PlotReport &report,
                           std::string *error) {
    steiner::internal::PointFileFault fault{};
    int32_t terminal_count = 0;
    if (!steiner::internal::point_reader_count(reader, &terminal_count, &fault))
        return point_file_fault(fault, error);
    if (terminal_count != report.terminal_count) {
        *error = "announces " + std::to_string(terminal_count) + " terminals, the report has " +
                 std::to_string(report.terminal_count);
        return false;
    }
    Point pair{0, 0};
    for (size_t k = 0; k < static_cast<size_t>(terminal_count); k++) {
        if (steiner::internal::point_reader_pair(reader, &pair, &fault) !=
            steiner::internal::PointRead::Pair)
            return point_file_fault(fault, error);
        if (!steiner::internal::point_equal(pair, report.nodes[k])) {
            *error = "terminal #" + std::to_string(k + 1) + " is " + std::to_string(pair.row) +
                     ", " + std::to_string(pair.column) + " but the report has " +
                     std::to_string(report.nodes[k].row) + ", " +
                     std::to_string(report.nodes[k].column);
            return false;
        }
    }
    return true;
}

// The candidates the router took are those that pass its screening, up to
// the count in the report. One at a node's position either stayed or is
// covered by the node's marker, so it is left out; repeats are drawn once.
bool read_accepted_candidates(steiner::internal::PointReader *reader, const PlotReport &report,
                              std::vector<Point> *candidates, std::string *error) {
    const std::unique_ptr<steiner::internal::ScreenIndex,
                          void (*)(steiner::internal::ScreenIndex *)>
        index(steiner::internal::screen_index_build(report.nodes.data(), report.terminal_count),
              steiner::internal::screen_index_free);
    if (index == nullptr)
        throw std::bad_alloc();
    std::vector<Point> covered = sorted_points(report.nodes);
    steiner::internal::PointFileFault fault{};
    Point pair{0, 0};
    int32_t accepted = 0;
    while (accepted < report.candidate_count && !steiner::internal::point_reader_at_end(reader)) {
        if (steiner::internal::point_reader_pair(reader, &pair, &fault) !=
            steiner::internal::PointRead::Pair)
            return point_file_fault(fault, error);
        if (!steiner::internal::screen_candidate_indexed(index.get(), pair.row, pair.column))
            continue;
        accepted++;
        const auto at = std::lower_bound(covered.begin(), covered.end(), pair, steiner::internal::point_less);
        if (at == covered.end() || !steiner::internal::point_equal(*at, pair)) {
            covered.insert(at, pair);
            candidates->push_back(pair);
        }
    }
    if (accepted < report.candidate_count) {
        *error = "holds " + std::to_string(accepted) +
                 " candidates that the router accepts, the report counts " +
                 std::to_string(report.candidate_count);
        return false;
    }
    return true;
}

} // namespace

bool plot_parse_candidates(FILE *file, const PlotReport &report, std::vector<Point> *candidates,
                           std::string *error) {
    steiner::internal::PointReader *reader = steiner::internal::point_reader_open(file);
    if (reader == nullptr) {
        fclose(file);
        throw std::bad_alloc();
    }
    const std::unique_ptr<steiner::internal::PointReader,
                          void (*)(steiner::internal::PointReader *)>
        owner(reader, steiner::internal::point_reader_close);
    return read_report_terminals(reader, report, error) &&
           read_accepted_candidates(reader, report, candidates, error);
}

std::string plot_render_svg(const PlotReport &report, const std::vector<Point> &candidates) {
    TreeDrawing tree;
    for (const Point &node : report.nodes)
        tree.nodes.push_back(steiner::Point{node.row, node.column});
    for (const Point &parent : report.parents)
        tree.parents.push_back(steiner::Point{parent.row, parent.column});
    tree.terminal_count = static_cast<size_t>(report.terminal_count);
    tree.length_before = report.length_before;
    tree.length_after = report.length_after;
    std::vector<steiner::Point> dots;
    for (const Point &c : candidates)
        dots.push_back(steiner::Point{c.row, c.column});
    return tree_svg(tree, dots);
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
