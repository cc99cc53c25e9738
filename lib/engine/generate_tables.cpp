// Writes the tables of minimal trees for nets of 4 to TABLE_MAX_PLACES places,
// as C++ source, from the Hanan grid recurrence.
//
// Sort a net's places by row and number them; their columns, ranked, form a
// permutation. Every tree on the Hanan grid has a length that is a sum of the
// gaps between neighbouring rows and neighbouring columns, each counted as
// often as tree edges cross it: a vector of counts. A permutation's table
// lists the vectors of trees that are minimal for some gaps (every vector
// no other is below in every count), each with the Steiner points of such a
// tree; a net's minimal length is then the least of their sums over its own
// gaps, and ties among rows or columns are the limit of gaps shrinking to 0.
// The recurrence finds them with sets of vectors for costs.
//
// Before it runs, the four outermost lines are folded in: the one place on
// the first row is joined straight to the second row in some minimal tree
// (moving everything else on the first row one row in is never longer), and
// likewise the last row and the outermost columns. The eight symmetries of
// the square map permutations onto each other with their tables, so only the
// least permutation of each family is solved.
//
// Usage: generate_tables OUTPUT.cpp
#include "exact_tables.h"
#include "hanan.h"
#include "parallel.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

namespace {

using steiner::internal::HananGrid;
using steiner::internal::HananRecurrence;
using steiner::internal::run_parallel;
namespace tables = steiner::internal::exact_tables;

// Counts of edges across each gap: lane g of rows for the gap between rows g
// and g + 1, and lane 8 + g for columns; a lane never exceeds 127 here.
struct Counts {
    uint64_t rows, columns;
};

Counts unit(size_t axis, size_t gap) {
    const uint64_t bit = uint64_t{1} << (8 * gap);
    return axis == 1 ? Counts{bit, 0} : Counts{0, bit};
}

Counts add(Counts a, Counts b) {
    return Counts{a.rows + b.rows, a.columns + b.columns};
}

// Every lane of a at most that of b.
bool below(Counts a, Counts b) {
    const uint64_t high = 0x8080808080808080ull;
    return (((b.rows | high) - a.rows) & high) == high &&
           (((b.columns | high) - a.columns) & high) == high;
}

// Sets of counts, none below another; the folded lines' gaps are numbered as
// on the whole grid, one more than on the folded one.
struct CountsCost {
    using Element = Counts;
    using Value = std::vector<Counts>;

    static void keep(Value *set, Counts c) {
        for (const Counts &d : *set)
            if (below(d, c))
                return;
        set->erase(
            std::remove_if(set->begin(), set->end(), [&c](const Counts &d) { return below(c, d); }),
            set->end());
        set->push_back(c);
    }

    size_t width;
    Value far() const {
        return {};
    }
    Value path(size_t from, size_t to) const {
        Counts c{0, 0};
        const size_t r0 = from / width, r1 = to / width;
        const size_t c0 = from % width, c1 = to % width;
        for (size_t g = std::min(r0, r1); g < std::max(r0, r1); g++)
            c = add(c, unit(1, g + 1));
        for (size_t g = std::min(c0, c1); g < std::max(c0, c1); g++)
            c = add(c, unit(0, g + 1));
        return {c};
    }
    void meet(Value *into, const Value &x, const Value &y) const {
        for (const Counts &a : x)
            for (const Counts &b : y)
                keep(into, add(a, b));
    }
    void step(Value *into, const Value &from, size_t axis, size_t g) const {
        for (const Counts &a : from)
            keep(into, add(a, unit(axis, g + 1)));
    }
    template <class F> void each(const Value &value, F f) const {
        for (const Counts &c : value)
            f(c);
    }
    Element join(Element a, Element b) const {
        return add(a, b);
    }
    Element plus(Element e, size_t axis, size_t g) const {
        return add(e, unit(axis, g + 1));
    }
    bool same(Element a, Element b) const {
        return a.rows == b.rows && a.columns == b.columns;
    }
    bool keep(size_t, size_t, const Value *value) const {
        return !value->empty();
    }
};

struct Entry {
    uint64_t counts; // tables::count layout
    uint64_t points; // tables::point layout
};

// The table of the permutation perm (place i at row i, column perm[i]).
std::vector<Entry> solve(const std::vector<size_t> &perm, HananRecurrence<CountsCost> *recurrence) {
    const size_t n = perm.size();
    // Fold the outermost lines: the places at rows 0 and n - 1 and columns 0
    // and n - 1 move one line in, and a fixed edge crosses each outer gap.
    std::vector<size_t> row(n), column(n);
    for (size_t i = 0; i < n; i++) {
        row[i] = std::clamp<size_t>(i, 1, n - 2);
        column[i] = std::clamp<size_t>(perm[i], 1, n - 2);
    }
    const size_t inner = n - 2;
    HananGrid grid{inner, inner, {}};
    std::vector<size_t> place_node(n);
    for (size_t i = 0; i < n; i++) {
        place_node[i] = (row[i] - 1) * inner + (column[i] - 1);
        if (std::find(grid.terminals.begin(), grid.terminals.end(), place_node[i]) ==
            grid.terminals.end())
            grid.terminals.push_back(place_node[i]);
    }
    Counts fixed = add(add(unit(1, 0), unit(1, n - 2)), add(unit(0, 0), unit(0, n - 2)));
    std::vector<Counts> found;
    std::vector<std::vector<std::pair<size_t, size_t>>> edges;
    std::vector<size_t> terminal_nodes = grid.terminals;
    if (grid.terminals.size() == 1) {
        found.push_back(Counts{0, 0});
        edges.emplace_back();
    } else {
        const CountsCost cost{inner};
        recurrence->solve(grid, cost);
        for (const Counts &c : recurrence->result()) {
            found.push_back(c);
            edges.push_back(recurrence->tree(cost, c).edges);
        }
    }
    std::vector<Entry> entries;
    for (size_t k = 0; k < found.size(); k++) {
        const Counts total = add(found[k], fixed);
        Entry entry{0, 0};
        for (size_t g = 0; g + 1 < n; g++) {
            entry.counts |= ((total.rows >> (8 * g)) & 0xffu) << tables::row_count_shift(g);
            entry.counts |= ((total.columns >> (8 * g)) & 0xffu) << tables::column_count_shift(g);
        }
        // Steiner points: grid nodes of degree 3 or more in the tree, the
        // folded places' edges to where they moved included; a node of
        // degree 2 is a bend the spanning tree goes round anyway.
        std::vector<std::pair<size_t, size_t>> whole;
        for (const auto &[a, b] : edges[k]) {
            whole.emplace_back(a / inner + 1, a % inner + 1);
            whole.emplace_back(b / inner + 1, b % inner + 1);
        }
        for (size_t i = 0; i < n; i++)
            if (row[i] != i || column[i] != perm[i]) {
                whole.emplace_back(i, perm[i]);
                whole.emplace_back(row[i], column[i]);
            }
        std::vector<std::pair<size_t, size_t>> nodes = whole;
        std::sort(nodes.begin(), nodes.end());
        nodes.erase(std::unique(nodes.begin(), nodes.end()), nodes.end());
        size_t count = 0;
        for (const auto &node : nodes) {
            const bool place = node.second == perm[node.first];
            const auto degree = std::count(whole.begin(), whole.end(), node);
            if (place || degree < 3)
                continue;
            entry.points |= tables::point_bits(node.first, node.second)
                            << tables::point_shift(count);
            count++;
        }
        entry.points |= uint64_t{count} << tables::count_shift;
        entries.push_back(entry);
    }
    return entries;
}

uint32_t rank(const std::vector<size_t> &perm) {
    return tables::lehmer_rank(perm.data(), perm.size());
}

std::vector<size_t> image(const std::vector<size_t> &perm, unsigned symmetry) {
    std::vector<size_t> out(perm.size());
    for (size_t i = 0; i < perm.size(); i++) {
        const auto [x, y] = tables::apply(symmetry, perm.size(), i, perm[i]);
        out[x] = y;
    }
    return out;
}

// The permutations of n places by family: *families gets each family's
// least member, in rank order, and canonical[rank] the family and symmetry
// of each permutation, as exact_tables.h lays them out.
void group_into_families(size_t n, std::vector<std::vector<size_t>> *families,
                         std::vector<uint32_t> *canonical) {
    std::vector<size_t> perm(n);
    std::iota(perm.begin(), perm.end(), 0);
    do {
        // The least rank among the eight images leads the family.
        uint32_t least = UINT32_MAX;
        unsigned to = 0;
        for (unsigned s = 0; s < 8; s++) {
            const uint32_t r = rank(image(perm, s));
            if (r < least) {
                least = r;
                to = s;
            }
        }
        if (least == rank(perm))
            families->push_back(perm);
        canonical->push_back(least << 3 | to);
    } while (std::next_permutation(perm.begin(), perm.end()));
    // Leaders are met in rank order, so a leader's rank finds its family.
    std::vector<uint32_t> family_of_rank(canonical->size(), 0);
    for (size_t f = 0; f < families->size(); f++)
        family_of_rank[rank((*families)[f])] = static_cast<uint32_t>(f);
    for (uint32_t &c : *canonical)
        c = family_of_rank[c >> 3] << 3 | (c & 7u);
}

// The table of every family, on every core.
std::vector<std::vector<Entry>> solve_all(const std::vector<std::vector<size_t>> &families) {
    std::vector<std::vector<Entry>> solved(families.size());
    std::atomic<size_t> next{0};
    // One task per core, each with its own recurrence, taking families in
    // turn: a task whose thread cannot start runs after another.
    const auto cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    run_parallel(static_cast<size_t>(cores), cores, [&](size_t) {
        HananRecurrence<CountsCost> recurrence;
        for (size_t f = next++; f < families.size(); f = next++)
            solved[f] = solve(families[f], &recurrence);
    });
    return solved;
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: generate_tables OUTPUT.cpp\n");
        return 1;
    }
    std::string text = "// Made by generate_tables at build time; see that program.\n"
                       "#include \"exact_tables.h\"\n\n"
                       "namespace steiner::internal::exact_tables {\n\n";
    std::vector<uint32_t> canonical_all;
    std::vector<uint32_t> first_entry_all;
    std::vector<Entry> entries_all;
    std::vector<uint32_t> family_start(tables::max_places + 2, 0);
    std::vector<uint32_t> canonical_start(tables::max_places + 2, 0);
    for (size_t n = tables::min_places; n <= tables::max_places; n++) {
        std::vector<std::vector<size_t>> families;
        std::vector<uint32_t> canonical;
        group_into_families(n, &families, &canonical);
        const std::vector<std::vector<Entry>> solved = solve_all(families);

        canonical_start[n] = static_cast<uint32_t>(canonical_all.size());
        family_start[n] = static_cast<uint32_t>(first_entry_all.size());
        canonical_all.insert(canonical_all.end(), canonical.begin(), canonical.end());
        for (const std::vector<Entry> &table : solved) {
            first_entry_all.push_back(static_cast<uint32_t>(entries_all.size()));
            entries_all.insert(entries_all.end(), table.begin(), table.end());
        }
        fprintf(stderr, "generate_tables: %zu places: %zu families, %zu trees\n", n,
                families.size(), entries_all.size());
    }
    canonical_start[tables::max_places + 1] = static_cast<uint32_t>(canonical_all.size());
    family_start[tables::max_places + 1] = static_cast<uint32_t>(first_entry_all.size());
    first_entry_all.push_back(static_cast<uint32_t>(entries_all.size()));

    auto list = [&text](const char *declaration, const auto &values, auto show) {
        text += declaration;
        text += " = {";
        for (size_t k = 0; k < values.size(); k++) {
            text += k % 8 == 0 ? "\n    " : " ";
            text += show(values[k]);
            text += ",";
        }
        text += "\n};\n\n";
    };
    auto number = [](uint64_t v) { return std::to_string(v) + "u"; };
    list("const uint32_t canonical_start[]", canonical_start, number);
    list("const uint32_t family_start[]", family_start, number);
    list("const uint32_t canonical[]", canonical_all, number);
    list("const uint32_t first_entry[]", first_entry_all, number);
    list("const Entry entries[]", entries_all, [&number](const Entry &e) {
        return "{" + number(e.counts) + ", " + number(e.points) + "}";
    });
    text += "} // namespace steiner::internal::exact_tables\n";
    FILE *out = fopen(argv[1], "w");
    if (out == nullptr || fwrite(text.data(), 1, text.size(), out) != text.size() ||
        fclose(out) != 0) {
        fprintf(stderr, "generate_tables: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
