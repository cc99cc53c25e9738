#include "route.h"

#include "point_file.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <memory>
#include <new>
#include <vector>

using namespace steiner::internal;

namespace {

// Nets are read, routed and written in batches of about this many terminals,
// so memory stays bounded by the batch, not the netlist.
constexpr size_t BATCH_TERMINALS = size_t{1} << 18;
constexpr size_t BATCH_NETS = 1 << 14;

constexpr char TABLE_HEADER[] = "net\tterminals\trmst\tlength\tsteiner_points\n";

} // namespace

void append_number(std::string *text, int64_t value) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    text->append(digits, end);
}

namespace {

void append_point(std::string *text, const steiner::Point &p) {
    *text += '[';
    append_number(text, p.row);
    *text += ',';
    append_number(text, p.column);
    *text += ']';
}

// One output line for net number net (from 1).
void format_net(const steiner::Tree &tree, int64_t net, bool json, std::string *text) {
    if (!json) {
        for (int64_t value : {net, static_cast<int64_t>(tree.terminal_count), tree.rmst_length,
                              tree.length, static_cast<int64_t>(tree.steiner_count())}) {
            append_number(text, value);
            *text += '\t';
        }
        text->back() = '\n';
        return;
    }
    *text += "{\"net\":";
    append_number(text, net);
    *text += ',';
    append_tree_json(tree, text);
    *text += ",\"rmst\":";
    append_number(text, tree.rmst_length);
    *text += ",\"length\":";
    append_number(text, tree.length);
    *text += "}\n";
}

} // namespace

void append_tree_json(const steiner::Tree &tree, std::string *text) {
    *text += "\"terminals\":[";
    for (size_t k = 0; k < tree.nodes.size(); k++) {
        if (k == tree.terminal_count)
            *text += "],\"steiner_points\":[";
        else if (k > 0)
            *text += ',';
        append_point(text, tree.nodes[k]);
    }
    if (tree.steiner_count() == 0)
        *text += "],\"steiner_points\":[";
    *text += "],\"edges\":[";
    for (size_t k = 1; k < tree.nodes.size(); k++) {
        if (k > 1)
            *text += ',';
        *text += '[';
        append_number(text, static_cast<int64_t>(k));
        *text += ',';
        append_number(text, tree.parents[k]);
        *text += ']';
    }
    *text += ']';
}

namespace {

// The reader's fault in this program's words: a netlist, not a point file,
// is what cannot be read or ends early.
std::string netlist_fault_text(const PointFileFault &fault) {
    const std::string line = "line " + std::to_string(fault.line) + ": ";
    switch (fault.kind) {
    case PointFault::Unreadable:
        return line + "the netlist cannot be read.";
    case PointFault::ShortTerminals:
        return line + "the netlist ends after " + std::to_string(fault.pairs) + " of the " +
               std::to_string(fault.expected) + " terminals the net announces.";
    case PointFault::RowWithoutColumn:
        return line + "the netlist ends after a row without its column.";
    default:
        char text[160];
        point_fault_text(fault, text, sizeof text);
        return text;
    }
}

// Routes nets[0..] and writes them as nets first_net, first_net + 1, ...; the
// table's header goes out with net 1, once it is routed.
bool route_batch(const std::vector<std::vector<steiner::Point>> &nets, int64_t first_net,
                 const RouteOptions &options, FILE *out) {
    std::vector<steiner::Tree> trees = route_nets(nets, options);
    std::string text = first_net == 1 && !options.json ? TABLE_HEADER : "";
    for (size_t k = 0; k < nets.size(); k++) {
        format_net(trees[k], first_net + static_cast<int64_t>(k), options.json, &text);
        trees[k] = steiner::Tree();
    }
    return fwrite(text.data(), 1, text.size(), out) == text.size();
}

// The value of --threads, --scale or --effort.
bool parse_value(const std::string &name, const std::string &value, RouteOptions *options,
                 std::string *error) {
    uint64_t threads = 0;
    if (name == "--threads") {
        if (!decimal_parse_unsigned(value.c_str(), 256, &threads) || threads == 0) {
            *error = "--threads must be a whole number from 1 to 256, not \"" + value + "\"";
            return false;
        }
        options->threads = static_cast<int>(threads);
    } else if (name == "--scale") {
        if (value != "1" && value != "10" && value != "100" && value != "1000") {
            *error = "--scale must be 1, 10, 100 or 1000, not \"" + value + "\"";
            return false;
        }
        options->scale = std::stoll(value);
    } else {
        for (const steiner::Effort effort : steiner::efforts)
            if (value == steiner::effort_name(effort)) {
                options->effort = effort;
                return true;
            }
        *error = "--effort must be one of rmst, greedy, best, not \"" + value + "\"";
        return false;
    }
    return true;
}

} // namespace

std::vector<steiner::Tree> route_nets(const std::vector<std::vector<steiner::Point>> &nets,
                                      const RouteOptions &options) {
    steiner::Options route_options;
    route_options.effort = options.effort;
    route_options.threads = options.threads;
    route_options.stepwise = options.stepwise;
    return steiner::route_many(nets, route_options);
}

void RouteProgress::update(int64_t routed, int64_t total) {
    if (!show_ || std::chrono::steady_clock::now() - started_ <= std::chrono::seconds(2))
        return;
    fprintf(err_, "\rsteiner_route: %lld of %lld nets routed", static_cast<long long>(routed),
            static_cast<long long>(total));
    fflush(err_);
    shown_ = true;
}

void RouteProgress::end() {
    if (shown_)
        fputc('\n', err_);
    shown_ = false;
}

const char *route_usage() {
    return "usage: steiner_route [--threads N] [--effort E] [--stepwise] [--json] [--] [NETLIST]\n"
           "       steiner_route [options] [--bookshelf] [--scale S] DESIGN.aux\n"
           "Routes every net of a netlist (a file, or standard input when NETLIST is\n"
           "missing or -): the number of nets, then each net as its terminal count and\n"
           "that many row/column pairs. Writes one line per net, in input order.\n"
           "Or routes every net of a Bookshelf placement (its .aux file, or any name\n"
           "with --bookshelf) and writes per net its name, pins, distinct places,\n"
           "half-perimeter, spanning-tree length and length in design units, then\n"
           "the totals; the time taken goes to standard error.\n"
           "  --threads N  threads, 1 to 256 (default: the machine's cores); the output\n"
           "               does not depend on it\n"
           "  --effort E   rmst (spanning tree only), greedy, or best (default)\n"
           "  --stepwise   only Steiner points that each shorten the tree in turn, so\n"
           "               that adding them one at a time keeps them all; the tree may\n"
           "               be a little longer\n"
           "  --json       one JSON object per net with its terminals, Steiner points,\n"
           "               edges (node index pairs), spanning-tree length and length,\n"
           "               instead of the table: net terminals rmst length steiner_points\n"
           "  --bookshelf  read NETLIST as a Bookshelf design's .aux file\n"
           "  --scale S    routes a design on a grid of 1/S units, S one of 1, 10, 100,\n"
           "               1000 (default: the smallest that makes every pin whole)\n"
           "  --           ends the options: a NETLIST after it may begin with -\n"
           "Each option may be given once.\n";
}

bool route_parse_args(int argc, const char *const *argv, RouteOptions *options,
                      std::string *error) {
    *options = RouteOptions();
    options->threads = steiner::machine_threads();
    const std::string known[] = {"--help",   "--json",   "--stepwise", "--threads",
                                 "--effort", "--scale", "--bookshelf"};
    std::vector<std::string> given;
    bool have_input = false;
    bool options_ended = false;
    for (int k = 1; k < argc; k++) {
        const std::string arg = argv[k];
        if (!options_ended && arg == "--") {
            options_ended = true;
            continue;
        }
        // A lone "-" is standard input, not an option.
        if (!options_ended && arg.size() > 1 && arg[0] == '-') {
            const std::string name = arg == "-h" ? "--help" : arg;
            if (std::find(std::begin(known), std::end(known), name) == std::end(known)) {
                *error = "unknown option \"" + arg + "\" (see --help)";
                return false;
            }
            if (std::find(given.begin(), given.end(), name) != given.end()) {
                *error = arg + " is given more than once";
                return false;
            }
            given.push_back(name);
            if (name == "--help" || name == "--json" || name == "--stepwise" ||
                name == "--bookshelf") {
                bool *flag = name == "--help"        ? &options->help
                             : name == "--json"      ? &options->json
                             : name == "--bookshelf" ? &options->bookshelf
                                                     : &options->stepwise;
                *flag = true;
                continue;
            }
            if (k + 1 == argc) {
                *error = arg + " needs a value";
                return false;
            }
            if (!parse_value(name, argv[++k], options, error))
                return false;
            continue;
        }
        // An empty name would otherwise read standard input unasked.
        if (arg.empty()) {
            *error = "the netlist name is empty (- stands for standard input)";
            return false;
        }
        if (have_input) {
            *error = "more than one netlist given (\"" + options->input + "\" and \"" + arg + "\")";
            return false;
        }
        options->input = arg;
        have_input = true;
    }
    if (options->help)
        return true;
    const std::string &input = options->input;
    options->bookshelf |= input.size() > 4 && input.compare(input.size() - 4, 4, ".aux") == 0;
    if (options->scale > 0 && !options->bookshelf) {
        *error = "--scale applies to Bookshelf designs only";
        return false;
    }
    if (options->bookshelf && input == "-") {
        *error = "a Bookshelf design is read from its .aux file, not standard input";
        return false;
    }
    return true;
}

// Reads net number net of nets into *terminals; returns what is wrong with
// it, naming the net, or an empty string.
static std::string read_net(PointReader *reader, int64_t net, int32_t nets,
                            std::vector<steiner::Point> *terminals) {
    PointFileFault fault{};
    int32_t count = 0;
    std::string problem;
    if (!point_reader_count(reader, &count, &fault)) {
        problem = fault.kind == PointFault::Empty
                      ? "line " + std::to_string(fault.line) + ": the netlist ends after " +
                            std::to_string(net - 1) + " of the " + std::to_string(nets) +
                            " nets it announces."
                      : netlist_fault_text(fault);
    } else if (static_cast<size_t>(count) > steiner::max_terminals) {
        // Refused before its terminals are read, not after gigabytes.
        problem = "line " + std::to_string(point_reader_line(reader)) +
                  ": the number of terminals is " + std::to_string(count) +
                  "; it must be at most " + std::to_string(steiner::max_terminals) + ".";
    }
    Point pair{0, 0};
    // Room for the terminals announced, within reason: a count the file does
    // not bear out must not take memory it never fills.
    terminals->reserve(std::min(static_cast<size_t>(count), size_t{1} << 16));
    for (int32_t k = 0; k < count && problem.empty(); k++) {
        if (point_reader_pair(reader, &pair, &fault) != PointRead::Pair)
            problem = netlist_fault_text(fault);
        terminals->push_back(steiner::Point{pair.row, pair.column});
    }
    return problem.empty() ? problem : "net " + std::to_string(net) + ": " + problem;
}

int route_run(const RouteOptions &options, FILE *in, FILE *out, FILE *err, bool progress) {
    const std::string name = options.input == "-" ? "standard input" : options.input;
    RouteProgress display(err, progress);
    auto fail = [err, &name, &display](const std::string &message, bool about_netlist) {
        // A message must not run on from the progress line.
        display.end();
        fprintf(err, "steiner_route: %s%s\n", about_netlist ? (name + ": ").c_str() : "",
                message.c_str());
        return 1;
    };
    const std::unique_ptr<PointReader, void (*)(PointReader *)> reader(point_reader_open(in),
                                                                       point_reader_close);
    if (reader == nullptr)
        return fail("out of memory", false);
    try {
        PointFileFault fault{};
        int32_t nets = 0;
        bool end = false;
        if (!point_reader_number(reader.get(), &nets, &end, &fault))
            return fail(end ? "line " + std::to_string(point_reader_line(reader.get())) +
                                  ": the netlist is empty; it must begin with the number of nets."
                            : netlist_fault_text(fault),
                        true);
        if (nets < 0)
            return fail("line " + std::to_string(point_reader_line(reader.get())) +
                            ": the number of nets is " + std::to_string(nets) +
                            "; it must be at least 0.",
                        true);
        std::vector<std::vector<steiner::Point>> batch;
        size_t batch_terminals = 0;
        int64_t written = 0;
        std::string problem;
        for (int64_t net = 1; net <= nets; net++) {
            std::vector<steiner::Point> terminals;
            problem = read_net(reader.get(), net, nets, &terminals);
            if (!problem.empty())
                break;
            batch_terminals += terminals.size();
            batch.push_back(std::move(terminals));
            if (batch_terminals < BATCH_TERMINALS && batch.size() < BATCH_NETS && net < nets)
                continue;
            if (!route_batch(batch, written + 1, options, out))
                return fail("cannot write to standard output", false);
            written += static_cast<int64_t>(batch.size());
            batch.clear();
            batch_terminals = 0;
            display.update(written, nets);
        }
        // The nets before a malformed one are still written whole.
        if (!batch.empty() && !route_batch(batch, written + 1, options, out))
            return fail("cannot write to standard output", false);
        // A netlist of no nets is sound: its table is the header alone.
        if (nets == 0 && !options.json && fputs(TABLE_HEADER, out) < 0)
            return fail("cannot write to standard output", false);
        if (fflush(out) != 0 || ferror(out))
            return fail("cannot write to standard output", false);
        if (!problem.empty())
            return fail(problem, true);
        display.end();
    } catch (const std::bad_alloc &) {
        fflush(out);
        return fail("out of memory", false);
    }
    return 0;
}
