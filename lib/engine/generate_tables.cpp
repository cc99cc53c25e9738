// Writes the tables of minimal trees of small nets from the Hanan grid
// recurrence: those of 4 to built_places places as C++ source, and those of
// nine places as the file exact_tables.h lays out; checks such a file.
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
//        generate_tables --nine OUTPUT      (about 11 minutes of one core)
//        generate_tables --check FILE STRIDE
// The check compares the file's families and symmetries with those worked out
// again, and the trees of every STRIDE-th family (the first and last
// included) with those the recurrence finds again.
#include "exact_tables.h"
#include "hanan.h"
#include "parallel.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

// The tables of the families chosen (their indices), on every core; the
// others' stay empty.
std::vector<std::vector<Entry>> solve_some(const std::vector<std::vector<size_t>> &families,
                                           const std::vector<size_t> &chosen) {
    std::vector<std::vector<Entry>> solved(families.size());
    std::atomic<size_t> next{0};
    // One task per core, each with its own recurrence, taking families in
    // turn: a task whose thread cannot start runs after another.
    const auto cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    run_parallel(static_cast<size_t>(cores), cores, [&](size_t) {
        HananRecurrence<CountsCost> recurrence;
        for (size_t k = next++; k < chosen.size(); k = next++)
            solved[chosen[k]] = solve(families[chosen[k]], &recurrence);
    });
    return solved;
}

std::vector<std::vector<Entry>> solve_all(const std::vector<std::vector<size_t>> &families) {
    std::vector<size_t> all(families.size());
    std::iota(all.begin(), all.end(), 0);
    return solve_some(families, all);
}

bool write_file(const char *path, const void *data, size_t size) {
    FILE *out = fopen(path, "wb");
    if (out == nullptr || fwrite(data, 1, size, out) != size || fclose(out) != 0) {
        fprintf(stderr, "generate_tables: cannot write %s\n", path);
        return false;
    }
    return true;
}

void put32(std::vector<unsigned char> *bytes, uint32_t w) {
    for (int k = 0; k < 4; k++)
        bytes->push_back(static_cast<unsigned char>(w >> (8 * k)));
}
void put64(std::vector<unsigned char> *bytes, uint64_t w) {
    put32(bytes, static_cast<uint32_t>(w));
    put32(bytes, static_cast<uint32_t>(w >> 32));
}

constexpr size_t nine = 9;

// The file of nine places.
int write_nine(const char *path) {
    std::vector<std::vector<size_t>> families;
    std::vector<uint32_t> canonical;
    group_into_families(nine, &families, &canonical);
    const std::vector<std::vector<Entry>> solved = solve_all(families);
    std::vector<uint32_t> first_entry{0};
    for (const std::vector<Entry> &table : solved)
        first_entry.push_back(first_entry.back() + static_cast<uint32_t>(table.size()));
    std::vector<unsigned char> bytes;
    for (uint32_t w : {uint32_t{nine}, static_cast<uint32_t>(families.size()), first_entry.back(),
                       uint32_t{0}})
        put32(&bytes, w);
    for (uint32_t w : canonical)
        put32(&bytes, w);
    for (uint32_t w : first_entry)
        put32(&bytes, w);
    if (first_entry.size() % 2 != 0)
        put32(&bytes, 0);
    for (const std::vector<Entry> &table : solved)
        for (const Entry &e : table)
            put64(&bytes, e.counts);
    for (const std::vector<Entry> &table : solved)
        for (const Entry &e : table)
            put64(&bytes, e.points);
    fprintf(stderr, "generate_tables: 9 places: %zu families, %u trees\n", families.size(),
            first_entry.back());
    return write_file(path, bytes.data(), bytes.size()) ? 0 : 1;
}

// Checks the file of nine places at path as the usage says.
int check_nine(const char *path, size_t stride) {
    std::vector<unsigned char> bytes;
    if (FILE *in = fopen(path, "rb")) {
        unsigned char buffer[1 << 16];
        for (size_t got; (got = fread(buffer, 1, sizeof buffer, in)) > 0;)
            bytes.insert(bytes.end(), buffer, buffer + got);
        fclose(in);
    }
    auto fail = [path](const char *what) {
        fprintf(stderr, "generate_tables: %s: %s\n", path, what);
        return 1;
    };
    const size_t header = 4 * tables::nine_header_words;
    if (bytes.size() < header + 4 * tables::nine_permutations)
        return fail("too short for its header and symmetries");
    const tables::NineTables file = tables::nine_tables(bytes.data());
    std::vector<std::vector<size_t>> families;
    std::vector<uint32_t> canonical;
    group_into_families(nine, &families, &canonical);
    if (file.places != nine || file.families != families.size())
        return fail("not the header of nine places");
    const size_t size = static_cast<size_t>(file.entry_points - bytes.data()) + 8 * size_t{file.trees};
    if (bytes.size() != size)
        return fail("not as long as its header says");
    for (size_t k = 0; k < canonical.size(); k++)
        if (tables::word32(file.canonical, k) != canonical[k])
            return fail("a permutation's family or symmetry differs");
    for (size_t f = 0; f < families.size(); f++)
        if (tables::word32(file.first_entry, f) > tables::word32(file.first_entry, f + 1))
            return fail("a family's trees do not follow the one before");
    if (tables::word32(file.first_entry, 0) != 0 ||
        tables::word32(file.first_entry, families.size()) != file.trees)
        return fail("the families' trees do not cover the file");
    std::vector<size_t> chosen;
    for (size_t f = 0; f < families.size(); f += stride)
        chosen.push_back(f);
    if (chosen.back() != families.size() - 1)
        chosen.push_back(families.size() - 1);
    const std::vector<std::vector<Entry>> solved = solve_some(families, chosen);
    for (size_t f : chosen) {
        const uint32_t first = tables::word32(file.first_entry, f);
        const uint32_t end = tables::word32(file.first_entry, f + 1);
        bool same = solved[f].size() == end - first;
        for (size_t k = 0; same && k < solved[f].size(); k++)
            same = solved[f][k].counts == tables::word64(file.entry_counts, first + k) &&
                   solved[f][k].points == tables::word64(file.entry_points, first + k);
        if (!same) {
            fprintf(stderr, "generate_tables: %s: the trees of family %zu differ\n", path, f);
            return 1;
        }
    }
    fprintf(stderr, "generate_tables: %s: %zu families, %u trees; trees of %zu families solved again, the same\n",
            path, families.size(), file.trees, chosen.size());
    return 0;
}

// The C++ source of the tables of up to built_places places.
int write_source(const char *path) {
    std::string text = "// Made by generate_tables at build time; see that program.\n"
                       "#include \"exact_tables.h\"\n\n"
                       "namespace steiner::internal::exact_tables {\n\n";
    std::vector<uint32_t> canonical_all;
    std::vector<uint32_t> first_entry_all;
    std::vector<Entry> entries_all;
    std::vector<uint32_t> family_start(tables::built_places + 2, 0);
    std::vector<uint32_t> canonical_start(tables::built_places + 2, 0);
    for (size_t n = tables::min_places; n <= tables::built_places; n++) {
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
    canonical_start[tables::built_places + 1] = static_cast<uint32_t>(canonical_all.size());
    family_start[tables::built_places + 1] = static_cast<uint32_t>(first_entry_all.size());
    first_entry_all.push_back(static_cast<uint32_t>(entries_all.size()));
    std::vector<uint64_t> counts, points;
    for (const Entry &e : entries_all) {
        counts.push_back(e.counts);
        points.push_back(e.points);
    }

    auto list = [&text](const char *declaration, const auto &values) {
        text += declaration;
        text += " = {";
        for (size_t k = 0; k < values.size(); k++) {
            text += k % 8 == 0 ? "\n    " : " ";
            text += std::to_string(values[k]) + "u,";
        }
        text += "\n};\n\n";
    };
    list("const uint32_t canonical_start[]", canonical_start);
    list("const uint32_t family_start[]", family_start);
    list("const uint32_t canonical[]", canonical_all);
    list("const uint32_t first_entry[]", first_entry_all);
    list("const uint64_t entry_counts[]", counts);
    list("const uint64_t entry_points[]", points);
    text += "} // namespace steiner::internal::exact_tables\n";
    return write_file(path, text.data(), text.size()) ? 0 : 1;
}

} // namespace

int main(int argc, char **argv) {
    if (argc == 2 && argv[1][0] != '-')
        return write_source(argv[1]);
    if (argc == 3 && std::strcmp(argv[1], "--nine") == 0)
        return write_nine(argv[2]);
    if (argc == 4 && std::strcmp(argv[1], "--check") == 0 && std::atoi(argv[3]) > 0)
        return check_nine(argv[2], static_cast<size_t>(std::atoi(argv[3])));
    fprintf(stderr, "usage: generate_tables OUTPUT.cpp\n"
                    "       generate_tables --nine OUTPUT\n"
                    "       generate_tables --check FILE STRIDE\n");
    return 1;
}
