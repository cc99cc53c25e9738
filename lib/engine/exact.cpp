// Exact trees of small nets: two or three places in closed form, four to
// nine from the tables.
#include "exact.h"

#include "exact_tables.h"
#include "points.h"

#include <algorithm>
#include <cstdlib>

namespace steiner::internal {

namespace {

// One size's tables as bytes, read by exact_tables::word32 and word64: the
// generated arrays and the file of nine places alike.
struct SizeTables {
    const unsigned char *canonical;
    const unsigned char *first_entry;
    const unsigned char *entry_counts;
    const unsigned char *entry_points;
};

SizeTables tables_of(size_t n) {
    namespace tables = exact_tables;
    if (n > tables::built_places) {
        const tables::NineTables nine = tables::nine_tables(tables::nine_tables_file());
        return {nine.canonical, nine.first_entry, nine.entry_counts, nine.entry_points};
    }
    auto bytes = [](const auto *array) { return reinterpret_cast<const unsigned char *>(array); };
    return {bytes(tables::canonical + tables::canonical_start[n]),
            bytes(tables::first_entry + tables::family_start[n]), bytes(tables::entry_counts),
            bytes(tables::entry_points)};
}

} // namespace

int64_t exact_table_tree(const Point *net, size_t n, Point *steiner, size_t *found) {
    namespace tables = exact_tables;
    // Rows in order of the places; columns ranked, ties by row.
    int32_t rows[tables::max_places];
    int32_t columns[tables::max_places];
    size_t by_column[tables::max_places];
    size_t rank[tables::max_places];
    // By column, ties by row: an insertion sort, as there are a handful.
    for (size_t i = 0; i < n; i++) {
        rows[i] = net[i].row;
        size_t at = i;
        for (; at > 0 && net[by_column[at - 1]].column > net[i].column; at--)
            by_column[at] = by_column[at - 1];
        by_column[at] = i;
    }
    for (size_t j = 0; j < n; j++) {
        rank[by_column[j]] = j;
        columns[j] = net[by_column[j]].column;
    }
    const SizeTables sized = tables_of(n);
    const uint32_t canonical = tables::word32(sized.canonical, tables::lehmer_rank(rank, n));
    const uint32_t family = canonical >> 3;
    const unsigned symmetry = canonical & 7u;
    // The gaps in the family frame: a frame's rows are the net's rows or
    // columns, in order or reversed, as the symmetry maps them.
    int64_t row_gap[tables::max_places - 1];
    int64_t column_gap[tables::max_places - 1];
    for (size_t g = 0; g + 1 < n; g++) {
        const int64_t row = int64_t{rows[g + 1]} - rows[g];
        const int64_t column = int64_t{columns[g + 1]} - columns[g];
        const auto [r, c] = tables::apply(symmetry, n, g, g);
        const auto [r_next, c_next] = tables::apply(symmetry, n, g + 1, g + 1);
        // The frame's row from line g and g + 1 of the net (of its rows,
        // unless the symmetry swaps rows and columns), and its column likewise.
        const bool swapped = symmetry >= 4;
        row_gap[std::min(r, r_next)] = swapped ? column : row;
        column_gap[std::min(c, c_next)] = swapped ? row : column;
    }
    uint32_t best = 0;
    int64_t length = INT64_MAX;
    const uint32_t end = tables::word32(sized.first_entry, family + 1);
    for (uint32_t e = tables::word32(sized.first_entry, family); e < end; e++) {
        const uint64_t counts = tables::word64(sized.entry_counts, e);
        int64_t sum = 0;
        for (size_t g = 0; g + 1 < n; g++)
            sum += static_cast<int64_t>((counts >> tables::row_count_shift(g)) & 15u) * row_gap[g] +
                   static_cast<int64_t>((counts >> tables::column_count_shift(g)) & 15u) *
                       column_gap[g];
        if (sum < length) {
            length = sum;
            best = e;
        }
    }
    if (steiner == nullptr)
        return length;
    const uint64_t chosen = tables::word64(sized.entry_points, best);
    const size_t points = (chosen >> tables::count_shift) & 7u;
    const unsigned back = tables::inverse(symmetry);
    *found = 0;
    for (size_t k = 0; k < points; k++) {
        const uint64_t bits = chosen >> tables::point_shift(k);
        const auto [i, j] = tables::apply(back, n, bits & 15u, (bits >> 4) & 15u);
        const Point p{rows[i], columns[j]};
        if (!std::binary_search(net, net + n, p, point_less) &&
            std::none_of(steiner, steiner + *found,
                         [&p](const Point &q) { return point_equal(p, q); }))
            steiner[(*found)++] = p;
    }
    return length;
}

int64_t exact_steiner_tree(const Point *points, size_t count, std::vector<Point> *steiner) {
    std::vector<Point> net(points, points + count);
    std::sort(net.begin(), net.end(), point_less);
    net.erase(std::unique(net.begin(), net.end(), point_equal), net.end());
    steiner->clear();
    if (net.size() < 3)
        return net.size() < 2 ? 0
                              : std::abs(int64_t{net[0].row} - net[1].row) +
                                    std::abs(int64_t{net[0].column} - net[1].column);
    if (net.size() == 3) {
        // Three places meet at their median, as short as the half perimeter
        // of their box.
        int32_t rows[3] = {net[0].row, net[1].row, net[2].row};
        int32_t columns[3] = {net[0].column, net[1].column, net[2].column};
        std::sort(rows, rows + 3);
        std::sort(columns, columns + 3);
        const Point median{rows[1], columns[1]};
        if (!std::binary_search(net.begin(), net.end(), median, point_less))
            steiner->push_back(median);
        return int64_t{rows[2]} - rows[0] + int64_t{columns[2]} - columns[0];
    }
    static_assert(exact_tables::max_places == EXACT_MAX_PLACES, "the tables serve as announced");
    Point found[EXACT_TABLE_STEINER];
    size_t count_found = 0;
    const int64_t length = exact_table_tree(net.data(), net.size(), found, &count_found);
    steiner->assign(found, found + count_found);
    return length;
}

} // namespace steiner::internal
