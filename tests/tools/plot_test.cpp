// Unit tests for apps/tools/plot/plot.cpp: report parsing, candidates, SVG rendering and
// the program's exit paths. The SVG is checked by parsing it with the small
// XML checker below, never by eye.
#include "plot.h"

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

using namespace steiner::internal;

namespace {

// ---- A small XML well-formedness checker -----------------------------------

struct XmlElement {
    std::string name;                              // tag name
    std::map<std::string, std::string> attributes; // values with entities decoded
    std::string text;                              // character data directly inside, decoded
    std::vector<XmlElement> children;              // child elements in document order
};

class XmlChecker {
  public:
    explicit XmlChecker(const std::string &doc) : doc_(doc) {}

    // Parses the whole document into *root. Returns "" when it is well-formed,
    // otherwise what is wrong and where.
    std::string parse(XmlElement *root) {
        if (doc_.compare(0, 5, "<?xml") == 0) {
            const size_t end = doc_.find("?>");
            if (end == std::string::npos)
                return fail("unterminated XML declaration");
            pos_ = end + 2;
        }
        skip_misc();
        if (!peek('<'))
            return fail("no root element");
        if (!element(root))
            return error_;
        skip_misc();
        if (!error_.empty())
            return error_;
        if (pos_ != doc_.size())
            return fail("content after the root element");
        return "";
    }

  private:
    std::string fail(const std::string &what) {
        if (error_.empty())
            error_ = what + " at byte " + std::to_string(pos_);
        return error_;
    }
    bool peek(char c) const {
        return pos_ < doc_.size() && doc_[pos_] == c;
    }
    bool starts(const char *s) const {
        return doc_.compare(pos_, strlen(s), s) == 0;
    }
    void skip_space() {
        while (pos_ < doc_.size() && isspace(static_cast<unsigned char>(doc_[pos_])))
            pos_++;
    }
    // White space and comments outside the root element.
    void skip_misc() {
        for (;;) {
            skip_space();
            if (!starts("<!--"))
                return;
            if (!comment())
                return;
        }
    }
    bool comment() {
        const size_t end = doc_.find("-->", pos_ + 4);
        if (end == std::string::npos) {
            fail("unterminated comment");
            return false;
        }
        if (doc_.substr(pos_ + 4, end - pos_ - 4).find("--") != std::string::npos) {
            fail("\"--\" inside a comment");
            return false;
        }
        pos_ = end + 3;
        return true;
    }
    static bool name_start(char c) {
        return isalpha(static_cast<unsigned char>(c)) || c == '_' || c == ':';
    }
    static bool name_char(char c) {
        return name_start(c) || isdigit(static_cast<unsigned char>(c)) || c == '-' || c == '.';
    }
    bool name(std::string *out) {
        if (pos_ >= doc_.size() || !name_start(doc_[pos_])) {
            fail("expected a name");
            return false;
        }
        const size_t start = pos_;
        while (pos_ < doc_.size() && name_char(doc_[pos_]))
            pos_++;
        *out = doc_.substr(start, pos_ - start);
        return true;
    }
    // An entity or character reference at pos_ (on '&'), appended decoded.
    bool reference(std::string *out) {
        const size_t end = doc_.find(';', pos_);
        if (end == std::string::npos || end - pos_ > 10) {
            fail("bare '&'");
            return false;
        }
        const std::string ref = doc_.substr(pos_ + 1, end - pos_ - 1);
        static const std::map<std::string, char> named = {
            {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
        if (named.count(ref) != 0) {
            *out += named.at(ref);
        } else if (ref.size() > 1 && ref[0] == '#') {
            const bool hex = ref[1] == 'x';
            const std::string digits = ref.substr(hex ? 2 : 1);
            if (digits.empty() ||
                digits.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789") !=
                    std::string::npos) {
                fail("bad character reference");
                return false;
            }
            *out += '?'; // the tests never look at these characters
        } else {
            fail("unknown entity &" + ref + ";");
            return false;
        }
        pos_ = end + 1;
        return true;
    }
    bool element(XmlElement *out) {
        pos_++; // '<'
        if (!name(&out->name))
            return false;
        for (;;) {
            const size_t before_space = pos_;
            skip_space();
            if (starts("/>")) {
                pos_ += 2;
                return true;
            }
            if (peek('>')) {
                pos_++;
                break;
            }
            if (pos_ == before_space) {
                fail("attributes need white space between them");
                return false;
            }
            std::string attribute;
            if (!name(&attribute))
                return false;
            skip_space();
            if (!peek('=')) {
                fail("attribute " + attribute + " without '='");
                return false;
            }
            pos_++;
            skip_space();
            if (!peek('"') && !peek('\'')) {
                fail("attribute " + attribute + " is not quoted");
                return false;
            }
            const char quote = doc_[pos_++];
            std::string value;
            while (!peek(quote)) {
                if (pos_ >= doc_.size()) {
                    fail("unterminated attribute value");
                    return false;
                }
                if (peek('<')) {
                    fail("'<' in an attribute value");
                    return false;
                }
                if (peek('&')) {
                    if (!reference(&value))
                        return false;
                } else {
                    value += doc_[pos_++];
                }
            }
            pos_++;
            if (out->attributes.count(attribute) != 0) {
                fail("attribute " + attribute + " repeated");
                return false;
            }
            out->attributes[attribute] = value;
        }
        // Content up to the matching end tag.
        for (;;) {
            if (pos_ >= doc_.size()) {
                fail("element " + out->name + " is not closed");
                return false;
            }
            if (starts("</")) {
                pos_ += 2;
                std::string end_name;
                if (!name(&end_name))
                    return false;
                skip_space();
                if (end_name != out->name || !peek('>')) {
                    fail("end tag " + end_name + " does not close " + out->name);
                    return false;
                }
                pos_++;
                return true;
            }
            if (starts("<!--")) {
                if (!comment())
                    return false;
            } else if (peek('<')) {
                out->children.emplace_back();
                if (!element(&out->children.back()))
                    return false;
            } else if (peek('&')) {
                if (!reference(&out->text))
                    return false;
            } else if (peek('>') && pos_ >= 2 && doc_.compare(pos_ - 2, 2, "]]") == 0) {
                fail("\"]]>\" in text");
                return false;
            } else {
                out->text += doc_[pos_++];
            }
        }
    }

    const std::string &doc_; // the document; outlives the checker
    size_t pos_ = 0;         // next unread byte
    std::string error_;      // first problem found
};

void collect(const XmlElement &e, std::vector<const XmlElement *> *all) {
    all->push_back(&e);
    for (const XmlElement &child : e.children)
        collect(child, all);
}

bool has_class(const XmlElement &e, const std::string &name) {
    auto it = e.attributes.find("class");
    if (it == e.attributes.end())
        return false;
    std::istringstream words(it->second);
    std::string word;
    while (words >> word)
        if (word == name)
            return true;
    return false;
}

// A parsed SVG document with its elements listed in document order.
struct Svg {
    XmlElement root;
    std::vector<const XmlElement *> all;

    std::vector<const XmlElement *> with_class(const std::string &name) const {
        std::vector<const XmlElement *> found;
        for (const XmlElement *e : all)
            if (has_class(*e, name))
                found.push_back(e);
        return found;
    }
    std::string all_text() const {
        std::string text;
        for (const XmlElement *e : all)
            text += e->text + "\n";
        return text;
    }
};

// Parses svg and fails the current test when it is not well-formed.
Svg parse_svg(const std::string &svg) {
    Svg parsed;
    const std::string problem = XmlChecker(svg).parse(&parsed.root);
    EXPECT_EQ(problem, "") << svg;
    collect(parsed.root, &parsed.all);
    EXPECT_EQ(parsed.root.name, "svg");
    return parsed;
}

TEST(XmlCheckerTest, RejectsMalformed) {
    // The checker must reject what a careless writer produces, or the SVG tests prove nothing.
    const std::vector<std::string> bad = {
        "",
        "<svg>",
        "<svg></g>",
        "<svg><g></svg></g>",
        "<svg a=1/>",
        "<svg a=\"1/>",
        "<svg a=\"<\"/>",
        "<svg a=\"1\"b=\"2\"/>",
        "<svg a=\"1\" a=\"2\"/>",
        "<svg>a & b</svg>",
        "<svg>a < b</svg>",
        "<svg>&nbsp;</svg>",
        "<svg/><svg/>",
        "<svg/>text",
    };
    for (const std::string &doc : bad) {
        XmlElement root;
        EXPECT_NE(XmlChecker(doc).parse(&root), "") << doc;
    }
    XmlElement root;
    EXPECT_EQ(
        XmlChecker(
            "<?xml version=\"1.0\"?>\n<svg a='1' b=\"&amp;&#38;\"><!-- c --><g/>x &lt; y</svg>\n")
            .parse(&root),
        "");
    EXPECT_EQ(root.attributes.at("b"), "&?");
    EXPECT_EQ(root.text, "x < y");
    EXPECT_EQ(root.children.size(), 1u);
}

// ---- Reports ------------------------------------------------------------------

// A T of three terminals whose centre is kept as a Steiner point.
const char EXAMPLE_REPORT[] =
    "Please input block size value:\n"
    "Please input number of Potential Steiner points to check:\n"
    "Point #1: Row is 0, and Column is 5\n"
    "Point #2: Row is 10, and Column is 5\n"
    "Point #3: Row is 5, and Column is 0\n"
    "Point #4: Row is 5, and Column is 5\n"
    "Press ENTER to continue . . . \n"
    "\n"
    "Number of total Potential Steiner points: 1\n"
    "\n"
    "Total wirelength before adding potential Steiner nodes is: 20\n"
    "Block size of 1 from Potential Steiner point 1 to 1 made wirelength decrease from 20 to 15.\n"
    "\n"
    "Number of nodes in our minimum RMST is 4.\n"
    "Node #1: 0, 5.    Parent Node: 0, 5.\n"
    "Node #2: 10, 5.    Parent Node: 5, 5.\n"
    "Node #3: 5, 0.    Parent Node: 5, 5.\n"
    "Node #4: 5, 5.    Parent Node: 0, 5.\n"
    "Total wirelength is: 15\n"
    "Run time of execution: 0.00 seconds\n"
    "Press ENTER to continue . . . \n";

// A report over the given terminals (no candidates) with the given node lines.
std::string make_report(const std::vector<Point> &terminals, const std::string &node_lines,
                        int node_count, int64_t before, int64_t after) {
    std::string r = "Please input block size value:\n"
                    "Please input number of Potential Steiner points to check:\n";
    for (size_t k = 0; k < terminals.size(); k++)
        r += "Point #" + std::to_string(k + 1) + ": Row is " + std::to_string(terminals[k].row) +
             ", and Column is " + std::to_string(terminals[k].column) + "\n";
    r += "Press ENTER to continue . . . \n\nNumber of total Potential Steiner points: 0\n\n"
         "Total wirelength before adding potential Steiner nodes is: " +
         std::to_string(before) + "\n\nNumber of nodes in our minimum RMST is " +
         std::to_string(node_count) + ".\n" + node_lines +
         "Total wirelength is: " + std::to_string(after) +
         "\nRun time of execution: 0.00 seconds\nPress ENTER to continue . . . \n";
    return r;
}

PlotReport parse_ok(const std::string &text) {
    PlotReport report;
    std::string error;
    std::istringstream in(text);
    EXPECT_TRUE(plot_parse_report(in, &report, &error)) << error;
    return report;
}

std::string replace(std::string text, const std::string &from, const std::string &to) {
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos)
        text.replace(at, from.size(), to);
    return text;
}

// ---- plot_parse_report ----------------------------------------------------------

TEST(ParseReportTest, ExampleReport) {
    const PlotReport report = parse_ok(EXAMPLE_REPORT);
    ASSERT_EQ(report.nodes.size(), 4u);
    ASSERT_EQ(report.parents.size(), 4u);
    EXPECT_EQ(report.terminal_count, 3);
    EXPECT_EQ(report.length_before, 20);
    EXPECT_EQ(report.length_after, 15);
    EXPECT_EQ(report.nodes[1].row, 10);
    EXPECT_EQ(report.nodes[1].column, 5);
    EXPECT_EQ(report.parents[1].row, 5);
    EXPECT_EQ(report.parents[1].column, 5);
}

TEST(ParseReportTest, UnusedLinesAndRunTime) {
    // Insertion messages and the run time do not change the picture.
    const std::string with_messages = replace(
        replace(EXAMPLE_REPORT, "Run time of execution: 0.00", "Run time of execution: 123.45"),
        "\nNumber of nodes",
        "Wirelength decreased to 15.  Steiner Point 5, 5 kept.\n\nNumber of nodes");
    const std::string a = plot_render_svg(parse_ok(EXAMPLE_REPORT), {});
    const std::string b = plot_render_svg(parse_ok(with_messages), {});
    EXPECT_EQ(a, b);
    // Without the run-time and pause lines at all, and with CRLF line ends.
    std::string cut = EXAMPLE_REPORT;
    cut = cut.substr(0, cut.find("Run time"));
    EXPECT_EQ(plot_render_svg(parse_ok(cut), {}), a);
    std::string crlf;
    for (char c : cut)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    EXPECT_EQ(plot_render_svg(parse_ok(crlf), {}), a);
}

TEST(ParseReportTest, CoincidentNodes) {
    // Two nodes at one place; either may be the parent, and a zero-length edge is fine.
    const std::string report = make_report({{3, 3}, {3, 3}, {3, 9}},
                                           "Node #1: 3, 3.    Parent Node: 3, 3.\n"
                                           "Node #2: 3, 3.    Parent Node: 3, 3.\n"
                                           "Node #3: 3, 9.    Parent Node: 3, 3.\n",
                                           3, 6, 6);
    const Svg svg = parse_svg(plot_render_svg(parse_ok(report), {}));
    EXPECT_EQ(svg.with_class("edge").size(), 2u);
}

// ---- plot_render_svg --------------------------------------------------------------

TEST(RenderSvgTest, PathsAndMarkers) {
    const Svg svg = parse_svg(plot_render_svg(parse_ok(EXAMPLE_REPORT), {}));
    // One path per non-root node, one marker per node, exactly one root.
    EXPECT_EQ(svg.with_class("edge").size(), 3u);
    for (const XmlElement *edge : svg.with_class("edge"))
        EXPECT_EQ(edge->name, "path");
    EXPECT_EQ(svg.with_class("terminal").size(), 3u);
    EXPECT_EQ(svg.with_class("steiner").size(), 1u);
    EXPECT_EQ(svg.with_class("root").size(), 1u);
    EXPECT_EQ(svg.with_class("candidate").size(), 0u);
    int paths = 0;
    for (const XmlElement *e : svg.all)
        paths += e->name == "path";
    EXPECT_EQ(paths, 3);
}

TEST(RenderSvgTest, CoordinateMapping) {
    // Rows 0..10 and columns 0..5: scale 720 / 10 = 72; the 360-wide drawing is
    // centred, so column 0 maps to x = 40 + 180 = 220 and row 0 to y = 40.
    const Svg svg = parse_svg(plot_render_svg(parse_ok(EXAMPLE_REPORT), {}));
    const auto edges = svg.with_class("edge");
    ASSERT_EQ(edges.size(), 3u);
    // Node (10, 5) to parent (5, 5): horizontal part empty, then up.
    EXPECT_EQ(edges[0]->attributes.at("d"), "M 580.00 760.00 H 580.00 V 400.00");
    // Node (5, 0) to parent (5, 5): along row 5 to column 5, vertical part empty.
    EXPECT_EQ(edges[1]->attributes.at("d"), "M 220.00 400.00 H 580.00 V 400.00");
    EXPECT_EQ(edges[2]->attributes.at("d"), "M 580.00 400.00 H 580.00 V 40.00");
    const XmlElement &steiner = *svg.with_class("steiner").at(0);
    EXPECT_EQ(steiner.attributes.at("cx"), "580.00");
    EXPECT_EQ(steiner.attributes.at("cy"), "400.00");
    const XmlElement &root = *svg.with_class("root").at(0);
    EXPECT_EQ(root.attributes.at("x"), "574.00"); // 580 - 12 / 2
    EXPECT_EQ(root.attributes.at("y"), "34.00");
    EXPECT_EQ(root.name, "rect");
    const auto terminals = svg.with_class("terminal");
    bool found = false;
    for (const XmlElement *t : terminals)
        found |= t->attributes.at("x") == "216.00" && t->attributes.at("y") == "396.00";
    EXPECT_TRUE(found) << "terminal (5, 0) should be a square centred at (220, 400)";
}

TEST(RenderSvgTest, BendRule) {
    // Bend at (node row, parent column): from (0, 0) to parent (10, 20) the path
    // goes right along row 0 first, then down.
    const std::string report = make_report({{10, 20}, {0, 0}},
                                           "Node #1: 10, 20.    Parent Node: 10, 20.\n"
                                           "Node #2: 0, 0.    Parent Node: 10, 20.\n",
                                           2, 30, 30);
    const Svg svg = parse_svg(plot_render_svg(parse_ok(report), {}));
    // Span 20: scale 36; rows 0..10 take 360, centred: y0 = 40 + 180.
    EXPECT_EQ(svg.with_class("edge").at(0)->attributes.at("d"), "M 40.00 220.00 H 760.00 V 580.00");
}

TEST(RenderSvgTest, SinglePoint) {
    const std::string report =
        make_report({{7, -3}}, "Node #1: 7, -3.    Parent Node: 7, -3.\n", 1, 0, 0);
    const std::string text = plot_render_svg(parse_ok(report), {});
    const Svg svg = parse_svg(text);
    EXPECT_EQ(svg.with_class("edge").size(), 0u);
    ASSERT_EQ(svg.with_class("root").size(), 1u);
    EXPECT_EQ(svg.with_class("root")[0]->attributes.at("x"), "394.00"); // centre 400
    EXPECT_EQ(svg.with_class("root")[0]->attributes.at("y"), "394.00");
    EXPECT_EQ(text.find("nan"), std::string::npos);
    EXPECT_EQ(text.find("inf"), std::string::npos);
    EXPECT_NE(svg.all_text().find("1 node: 1 terminal, 0 Steiner points kept"), std::string::npos);
    EXPECT_NE(svg.all_text().find("reduction 0.00%"), std::string::npos);
}

TEST(RenderSvgTest, ExtremeCoordinates) {
    // The four corners of the coordinate range: spans and length past 32 bits.
    const std::string report =
        make_report({{-536870911, -536870911},
                     {-536870911, 536870911},
                     {536870911, 536870911},
                     {536870911, -536870911}},
                    "Node #1: -536870911, -536870911.    Parent Node: -536870911, -536870911.\n"
                    "Node #2: -536870911, 536870911.    Parent Node: -536870911, -536870911.\n"
                    "Node #3: 536870911, 536870911.    Parent Node: -536870911, 536870911.\n"
                    "Node #4: 536870911, -536870911.    Parent Node: 536870911, 536870911.\n",
                    4, 3221225466, 3221225466);
    const std::string text = plot_render_svg(parse_ok(report), {});
    const Svg svg = parse_svg(text);
    const auto edges = svg.with_class("edge");
    ASSERT_EQ(edges.size(), 3u);
    EXPECT_EQ(edges[0]->attributes.at("d"), "M 760.00 40.00 H 40.00 V 40.00");
    EXPECT_EQ(edges[1]->attributes.at("d"), "M 760.00 760.00 H 760.00 V 40.00");
    EXPECT_EQ(edges[2]->attributes.at("d"), "M 40.00 760.00 H 760.00 V 760.00");
    EXPECT_NE(svg.all_text().find("Wirelength 3221225466 before insertion, 3221225466 after"),
              std::string::npos);
    EXPECT_EQ(text.find("nan"), std::string::npos);
}

TEST(RenderSvgTest, OneColumn) {
    // All nodes in column 7: no horizontal span, the drawing sits at x = 400.
    const std::string report = make_report({{0, 7}, {100, 7}},
                                           "Node #1: 0, 7.    Parent Node: 0, 7.\n"
                                           "Node #2: 100, 7.    Parent Node: 0, 7.\n",
                                           2, 100, 100);
    const Svg svg = parse_svg(plot_render_svg(parse_ok(report), {}));
    EXPECT_EQ(svg.with_class("edge").at(0)->attributes.at("d"), "M 400.00 760.00 H 400.00 V 40.00");
}

TEST(RenderSvgTest, Caption) {
    const Svg svg = parse_svg(plot_render_svg(parse_ok(EXAMPLE_REPORT), {}));
    const std::string text = svg.all_text();
    EXPECT_NE(text.find("4 nodes: 3 terminals, 1 Steiner point kept"), std::string::npos) << text;
    EXPECT_NE(text.find("Wirelength 20 before insertion, 15 after: reduction 25.00%"),
              std::string::npos)
        << text;
}

// ---- plot_main ----------------------------------------------------------------------

struct RunResult {
    int status;      // exit status
    std::string out; // standard output
    std::string err; // standard error
};

RunResult run(const std::vector<std::string> &args, const std::string &input) {
    std::vector<const char *> argv = {"steiner_plot"};
    for (const std::string &a : args)
        argv.push_back(a.c_str());
    std::istringstream in(input);
    std::ostringstream out;
    std::ostringstream err;
    const int status = plot_main(static_cast<int>(argv.size()), argv.data(), in, out, err);
    return {status, out.str(), err.str()};
}

// Status 1, nothing on standard output, exactly one line on standard error.
void expect_failure(const RunResult &r, const std::string &message_part) {
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    ASSERT_FALSE(r.err.empty());
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    EXPECT_EQ(r.err.rfind("steiner_plot: ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find(message_part), std::string::npos) << r.err;
}

// Scratch folder for candidate files, removed after each test.
class PlotMainTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = std::filesystem::path(::testing::TempDir()) /
               (std::string("steiner_plot_") + info->name());
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override {
        std::filesystem::remove_all(dir_);
    }

    std::string write_file(const std::string &name, const std::string &content) {
        const std::filesystem::path path = dir_ / name;
        std::ofstream(path) << content;
        return path.string();
    }

    std::filesystem::path dir_; // this test's scratch folder
};

TEST_F(PlotMainTest, Success) {
    const RunResult r = run({}, EXAMPLE_REPORT);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, plot_render_svg(parse_ok(EXAMPLE_REPORT), {}));
}

TEST_F(PlotMainTest, NoNodeLines) {
    expect_failure(run({}, ""), "no node lines");
    expect_failure(run({}, "Please input block size value:\n"
                           "Please input number of Potential Steiner points to check:\n"
                           "Cannot find input.data\n"),
                   "no node lines");
    expect_failure(run({}, replace(EXAMPLE_REPORT, "RMST is 4.", "RMST is 0.")), "");
}

TEST_F(PlotMainTest, TruncatedReport) {
    // Every cut before the end of the "Total wirelength is:" line fails.
    const std::string full = EXAMPLE_REPORT;
    const size_t needed =
        full.find("Total wirelength is: 15\n") + strlen("Total wirelength is: 15\n");
    for (size_t len = 0; len < needed; len++) {
        SCOPED_TRACE("cut at byte " + std::to_string(len));
        expect_failure(run({}, full.substr(0, len)), "report");
    }
    expect_failure(run({}, full.substr(0, full.find("Node #3"))),
                   "report: truncated: 2 of 4 node lines");
    EXPECT_EQ(run({}, full.substr(0, needed)).status, 0);
}

TEST_F(PlotMainTest, ParentNotANode) {
    expect_failure(run({}, replace(EXAMPLE_REPORT, "5, 0.    Parent Node: 5, 5.",
                                   "5, 0.    Parent Node: 5, 4.")),
                   "the parent 5, 4 of node #3 is not a node");
    expect_failure(run({}, replace(EXAMPLE_REPORT, "Node #1: 0, 5.    Parent Node: 0, 5.",
                                   "Node #1: 0, 5.    Parent Node: 5, 5.")),
                   "root");
}

TEST_F(PlotMainTest, NumbersDoNotParse) {
    const std::vector<std::pair<std::string, std::string>> edits = {
        {"Node #2: 10, 5.", "Node #2: 10, x."},
        {"Node #2: 10, 5.", "Node #2: 10, 5000000000."},
        {"Node #2: 10, 5.", "Node #2: 536870912, 5."},
        {"Node #2: 10, 5.", "Node #2: +10, 5."},
        {"Node #2: 10, 5.    Parent", "Node #2: 10, 5.   Parent"},
        {"Node #2:", "Node #3:"},
        {"Total wirelength is: 15", "Total wirelength is: 1.5"},
        {"Total wirelength is: 15", "Total wirelength is: 99999999999999999999"},
        {"is: 20", "is: twenty"},
        {"Point #4: Row is 5", "Point #4: Row is five"},
        {"Steiner points: 1", "Steiner points: -1"},
        {"RMST is 4.", "RMST is 4"},
    };
    for (const auto &edit : edits) {
        SCOPED_TRACE(edit.second);
        expect_failure(run({}, replace(EXAMPLE_REPORT, edit.first, edit.second)), "report: ");
    }
}

TEST_F(PlotMainTest, InconsistentCounts) {
    // 4 points echoed and 4 candidates leave no terminal.
    expect_failure(run({}, replace(EXAMPLE_REPORT, "Steiner points: 1", "Steiner points: 4")),
                   "counts do not add up");
    expect_failure(run({}, replace(EXAMPLE_REPORT, "RMST is 4.", "RMST is 5.")), "truncated");
    expect_failure(run({}, replace(EXAMPLE_REPORT, "RMST is 4.", "RMST is 3.")),
                   "more node lines than the node count");
}

TEST_F(PlotMainTest, Arguments) {
    expect_failure(run({"--bogus"}, EXAMPLE_REPORT), "unknown argument \"--bogus\"");
    expect_failure(run({"--candidates"}, EXAMPLE_REPORT), "--candidates needs a file name");
    const std::string file = write_file("c.data", "3 0 5 10 5 5 0");
    expect_failure(run({"--candidates", file, "--candidates", file}, EXAMPLE_REPORT), "twice");
    const RunResult help = run({"--help"}, "");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("usage: steiner_plot"), std::string::npos);
}

TEST_F(PlotMainTest, Candidates) {
    // The router accepted (10, 10) and (5, 5), one at a time, and kept (5, 5).
    const std::string report = "Point #1: Row is 10, and Column is 5\n"
                               "Point #2: Row is 30, and Column is 10\n"
                               "Point #3: Row is 5, and Column is 30\n"
                               "Point #4: Row is 20, and Column is 0\n"
                               "Point #5: Row is 5, and Column is 0\n"
                               "Point #6: Row is 10, and Column is 10\n"
                               "Point #7: Row is 5, and Column is 5\n"
                               "Number of total Potential Steiner points: 2\n"
                               "Total wirelength before adding potential Steiner nodes is: 75\n"
                               "Number of nodes in our minimum RMST is 6.\n"
                               "Node #1: 10, 5.    Parent Node: 10, 5.\n"
                               "Node #2: 30, 10.    Parent Node: 20, 0.\n"
                               "Node #3: 5, 30.    Parent Node: 5, 5.\n"
                               "Node #4: 20, 0.    Parent Node: 10, 5.\n"
                               "Node #5: 5, 0.    Parent Node: 5, 5.\n"
                               "Node #6: 5, 5.    Parent Node: 10, 5.\n"
                               "Total wirelength is: 70\n";
    // (7, 7) fails the screening and (40, 40) comes after the count: neither
    // is drawn, nor is the kept (5, 5). The count may carry a sign, as for the router.
    const std::string file =
        write_file("input.data", "+5\r10 5\r30 10\r5 30\r20 0\r5 0\r7 7\r10 10\r5 5\r40 40\r");
    const RunResult r = run({"--candidates", file}, report);
    ASSERT_EQ(r.status, 0) << r.err;
    const Svg svg = parse_svg(r.out);
    const auto dots = svg.with_class("candidate");
    ASSERT_EQ(dots.size(), 1u);
    // Rows 5..30 and columns 0..30 at scale 24, rows centred: y0 = 40 + 60.
    EXPECT_EQ(dots[0]->attributes.at("cx"), "280.00");
    EXPECT_EQ(dots[0]->attributes.at("cy"), "220.00");
    EXPECT_EQ(svg.with_class("steiner").size(), 1u);
    // The same with the --candidates=FILE spelling.
    EXPECT_EQ(run({"--candidates=" + file}, report).out, r.out);
    // A file whose candidates the router would not have taken belongs to another run.
    expect_failure(
        run({"--candidates", write_file("other.data", "5 10 5 30 10 5 30 20 0 5 0 5 5")}, report),
        "holds 1 candidates that the router accepts, the report counts 2");
}

TEST_F(PlotMainTest, BadCandidatesFile) {
    expect_failure(run({"--candidates", (dir_ / "missing.data").string()}, EXAMPLE_REPORT),
                   "cannot open candidates file");
    // Faults are worded as the router words them, with unprintable bytes as '?'.
    const std::vector<std::pair<std::string, std::string>> files = {
        {"", "bad.data: line 1: the file is empty"},
        {"3 0 5 10 5 5 0\n\n7", "bad.data: line 3: the file ends after a row without its column."},
        {"3 0 5 10 5 5 0 \x01x\x7f 1", "line 1: \"?x?\" is not a whole number."},
        {"3 0 5 10 5 5 0 536870912 1", "line 1: coordinate 536870912 is outside the range"},
        {"0", "line 1: the number of terminals is 0; it must be at least 1."},
        {"2 0 5 10 5", "announces 2 terminals, the report has 3"},
        {"3 0 5 10 5", "line 1: the file ends after 2 of the 3 terminals it announces."},
        {"3 0 5 10 5 5 1", "terminal #3 is 5, 1 but the report has 5, 0"},
    };
    for (const auto &file : files) {
        SCOPED_TRACE(file.first);
        const std::string name = write_file("bad.data", file.first);
        expect_failure(run({"--candidates", name}, EXAMPLE_REPORT), file.second);
    }
    // A bad report is named before the candidates file is read.
    expect_failure(run({"--candidates", (dir_ / "missing.data").string()}, ""), "no node lines");
}

TEST_F(PlotMainTest, ParentLinksMustFormTheTree) {
    // Nodes 2 and 4 name each other: every parent is a node, but node #1 is cut off.
    expect_failure(run({}, replace(EXAMPLE_REPORT, "5, 5.    Parent Node: 0, 5.",
                                   "5, 5.    Parent Node: 10, 5.")),
                   "node 1 never reaches the root: its parents form a cycle through node 1");
    expect_failure(
        run({}, replace(EXAMPLE_REPORT, "Total wirelength is: 15", "Total wirelength is: 16")),
        "the edges add up to 15, not to length 16");
}

TEST_F(PlotMainTest, ReadingStopsAtTheEndOfTheReport) {
    // Whatever follows the last pause is never read, however long.
    std::string followed = EXAMPLE_REPORT + std::string(1 << 20, 'y');
    EXPECT_EQ(run({}, followed).status, 0);
    expect_failure(run({}, std::string(5000, 'y') + "\n" + EXAMPLE_REPORT),
                   "line 1 is longer than any report line");
}

} // namespace
