// steiner_route on a Bookshelf design: read and check it whole, choose the
// scale, then read the nets again in batches and route them.
#include "route.h"

#include "bookshelf.h"

#include <algorithm>
#include <chrono>
#include <future>
#include <memory>
#include <new>

using namespace steiner::internal;

namespace {

// As in route.cpp: memory stays bounded by the batch, not the design.
constexpr size_t BATCH_TERMINALS = size_t{1} << 18;
constexpr size_t BATCH_NETS = 1 << 14;

constexpr char TABLE_HEADER[] = "net\tpins\tplaces\thpwl\trmst\tlength\n";

struct Totals {
    int64_t nets = 0, pins = 0, hpwl = 0, rmst = 0, length = 0;
};

// A batch of nets on the grid, with what the rows show beside the trees.
struct Batch {
    std::vector<std::vector<steiner::Point>> nets;
    std::vector<std::string> names;
    std::vector<int64_t> places, hpwl;
    size_t terminals = 0;

    void clear() {
        nets.clear();
        names.clear();
        places.clear();
        hpwl.clear();
        terminals = 0;
    }
};

void add_net(const BookshelfNet &net, int64_t scale, Batch *batch) {
    std::vector<steiner::Point> points(net.x.size());
    for (size_t k = 0; k < points.size(); k++)
        points[k] = steiner::Point{static_cast<int32_t>(bookshelf_grid(net.x[k], scale)),
                                   static_cast<int32_t>(bookshelf_grid(net.y[k], scale))};
    auto [low_x, high_x] = std::minmax_element(points.begin(), points.end(), [](auto a, auto b) {
        return a.row < b.row;
    });
    auto [low_y, high_y] = std::minmax_element(points.begin(), points.end(), [](auto a, auto b) {
        return a.column < b.column;
    });
    batch->hpwl.push_back(int64_t{high_x->row} - low_x->row + high_y->column - low_y->column);
    std::vector<steiner::Point> places = points;
    auto before = [](auto a, auto b) {
        return a.row != b.row ? a.row < b.row : a.column < b.column;
    };
    auto same = [](auto a, auto b) { return a.row == b.row && a.column == b.column; };
    std::sort(places.begin(), places.end(), before);
    batch->places.push_back(std::unique(places.begin(), places.end(), same) - places.begin());
    batch->names.push_back(net.name);
    batch->terminals += points.size();
    batch->nets.push_back(std::move(points));
}

// A net's name as a JSON string: names hold no white space, but may hold
// quotes, backslashes and control bytes.
void append_json_name(const std::string &name, std::string *text) {
    *text += '"';
    for (char c : name) {
        if (c == '"' || c == '\\') {
            *text += '\\';
            *text += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            static const char hex[] = "0123456789abcdef";
            *text += "\\u00";
            *text += hex[(c >> 4) & 0xf];
            *text += hex[c & 0xf];
        } else {
            *text += c;
        }
    }
    *text += '"';
}

// Adds a routed batch of nets numbered from first_net to the totals and
// writes their rows.
bool write_batch(Batch *batch, const std::vector<steiner::Tree> &trees, int64_t first_net,
                 int64_t scale, const RouteOptions &options, Totals *totals, FILE *out) {
    std::string text;
    for (size_t k = 0; k < trees.size(); k++) {
        const steiner::Tree &tree = trees[k];
        const int64_t net = first_net + static_cast<int64_t>(k);
        const std::string &name = batch->names[k];
        totals->nets++;
        totals->pins += static_cast<int64_t>(tree.terminal_count);
        totals->hpwl += batch->hpwl[k];
        totals->rmst += tree.rmst_length;
        totals->length += tree.length;
        if (options.json) {
            text += "{\"net\":";
            append_number(&text, net);
            text += ",\"name\":";
            name.empty() ? void(text += "null") : append_json_name(name, &text);
        } else {
            name.empty() ? append_number(&text, net) : void(text += name);
        }
        const std::string separator = options.json ? "," : "\t";
        for (auto [label, value, units] :
             {std::tuple{"pins", static_cast<int64_t>(tree.terminal_count), false},
              std::tuple{"places", batch->places[k], false},
              std::tuple{"hpwl", batch->hpwl[k], true}, std::tuple{"rmst", tree.rmst_length, true},
              std::tuple{"length", tree.length, true}}) {
            text += separator;
            if (options.json)
                text += std::string("\"") + label + "\":";
            units ? void(text += bookshelf_units_text(value, scale)) : append_number(&text, value);
        }
        if (options.json) {
            text += ',';
            append_tree_json(tree, &text);
            text += '}';
        }
        text += '\n';
    }
    batch->clear();
    return fwrite(text.data(), 1, text.size(), out) == text.size();
}

std::string totals_line(const Totals &totals, int64_t scale, bool json) {
    const std::string hpwl = bookshelf_units_text(totals.hpwl, scale);
    const std::string rmst = bookshelf_units_text(totals.rmst, scale);
    const std::string length = bookshelf_units_text(totals.length, scale);
    const std::string nets = std::to_string(totals.nets), pins = std::to_string(totals.pins);
    if (json)
        return "{\"nets\":" + nets + ",\"pins\":" + pins + ",\"scale\":" + std::to_string(scale) +
               ",\"hpwl\":" + hpwl + ",\"rmst\":" + rmst + ",\"length\":" + length + "}\n";
    return "# nets=" + nets + " pins=" + pins + " scale=" + std::to_string(scale) +
           " hpwl=" + hpwl + " rmst=" + rmst + " length=" + length + "\n";
}

} // namespace

int route_design(const RouteOptions &options, FILE *out, FILE *err, bool progress) {
    const auto started = std::chrono::steady_clock::now();
    RouteProgress display(err, progress);
    auto fail = [err, &display](const std::string &message) {
        display.end();
        fprintf(err, "steiner_route: %s\n", message.c_str());
        return 1;
    };
    try {
        BookshelfFiles files;
        auto objects = std::make_unique<BookshelfObjects>();
        BookshelfFault fault;
        BookshelfSurvey survey;
        int64_t scale = 1;
        if (!bookshelf_check(options.input, options.scale, steiner::coordinate_min,
                             steiner::coordinate_max, &files, objects.get(), &survey, &scale,
                             &fault))
            return fail(bookshelf_fault_text(fault));
        FILE *file = bookshelf_open_file(files.nets, &fault);
        if (file == nullptr)
            return fail(bookshelf_fault_text(fault));
        BookshelfNets nets(file, files.nets, *objects);
        Totals totals;
        // One batch is routed while the next is read: reading is a good share
        // of the work at greedy and below.
        Batch batch, routed;
        std::future<std::vector<steiner::Tree>> routing;
        auto write_routed = [&]() {
            const bool written = write_batch(&routed, routing.get(), totals.nets + 1, scale,
                                             options, &totals, out);
            display.update(totals.nets, survey.nets);
            return written;
        };
        BookshelfNet net;
        if (!options.json && fputs(TABLE_HEADER, out) < 0)
            return fail("cannot write to standard output");
        for (int64_t read = 0; read < survey.nets; read++) {
            if (!nets.next(&net, &fault))
                return fail(fault.what.empty() ? files.nets + ": the file changed while it was read."
                                               : bookshelf_fault_text(fault));
            add_net(net, scale, &batch);
            if (batch.terminals < BATCH_TERMINALS && batch.nets.size() < BATCH_NETS &&
                read + 1 < survey.nets)
                continue;
            if (routing.valid() && !write_routed())
                return fail("cannot write to standard output");
            std::swap(routed, batch);
            // Deferred as well: without a thread to spare, the batch is routed
            // when its rows are written.
            routing = std::async(std::launch::async | std::launch::deferred,
                                 [&routed, &options] { return route_nets(routed.nets, options); });
        }
        if (routing.valid() && !write_routed())
            return fail("cannot write to standard output");
        const std::string last = totals_line(totals, scale, options.json);
        if (fputs(last.c_str(), out) < 0 || fflush(out) != 0 || ferror(out))
            return fail("cannot write to standard output");
        display.end();
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
        fprintf(err, "steiner_route: %lld nets routed in %.2f s\n",
                static_cast<long long>(totals.nets), took.count());
    } catch (const std::bad_alloc &) {
        fflush(out);
        return fail("out of memory");
    }
    return 0;
}
