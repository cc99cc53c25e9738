// The Bookshelf reader fed arbitrary bytes as an .aux, .nodes, .pl and .nets
// file (the input split at lines "%%"): each reading ends in a fault naming a
// line, or in a design whose second reading gives the same nets and pins,
// every pin whole and in range on the chosen scale.
#include "bookshelf.h"

#include <cstring>
#include <string>

using namespace steiner::internal;

namespace {

constexpr int64_t LIMIT = 536870911;

void check(bool promise) {
    if (!promise)
        __builtin_trap();
}

FILE *open_text(const std::string &text) {
    return text.empty() ? nullptr
                        : fmemopen(const_cast<char *>(text.data()), text.size(), "rb");
}

bool faulted(const BookshelfFault &fault) {
    check(!fault.what.empty() && fault.line >= 0);
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string parts[4];
    const std::string input(reinterpret_cast<const char *>(data), size);
    size_t part = 0, start = 0;
    for (size_t at; part < 3 && (at = input.find("\n%%\n", start)) != std::string::npos; part++) {
        parts[part] = input.substr(start, at + 1 - start);
        start = at + 4;
    }
    parts[part] = input.substr(start);
    BookshelfFault fault;
    BookshelfFiles files;
    if (!bookshelf_read_aux(open_text(parts[0]), "a.aux", "", &files, &fault))
        faulted(fault);
    BookshelfObjects objects;
    if (!bookshelf_read_nodes(open_text(parts[1]), "a.nodes", &objects, &fault) ||
        !bookshelf_read_pl(open_text(parts[2]), "a.pl", &objects, &fault))
        return faulted(fault), 0;
    BookshelfSurvey survey;
    int64_t scale = 0;
    {
        BookshelfNets nets(open_text(parts[3]), "a.nets", objects);
        if (!bookshelf_survey(&nets, &survey, &fault) ||
            !bookshelf_scale(survey, 0, -LIMIT, LIMIT, "a.nets", &scale, &fault))
            return faulted(fault), 0;
    }
    BookshelfNets nets(open_text(parts[3]), "a.nets", objects);
    BookshelfNet net;
    int64_t count = 0, pins = 0;
    while (nets.next(&net, &fault)) {
        count++;
        check(!net.x.empty() && net.x.size() == net.y.size());
        for (size_t k = 0; k < net.x.size(); k++) {
            for (int64_t value : {net.x[k], net.y[k]}) {
                check(value * scale % 2000 == 0);
                const int64_t grid = bookshelf_grid(value, scale);
                check(grid >= -LIMIT && grid <= LIMIT);
            }
            pins++;
        }
    }
    check(fault.what.empty() && count == survey.nets && pins == survey.pins);
    return 0;
}
