// Exact trees of small nets: two or three places in closed form, four to
// nine from the tables.
#include "exact.h"

#include "exact_tables.h"
#include "points.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

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

// The entry of first..end-1 whose tree is shortest (the first of equals)
// and its length: each entry's length is the sum of its crossing counts, 4
// bits a gap, times the gaps, gaps[0..7] those of rows and gaps[8..15] those
// of columns (0 beyond the net's).
struct Shortest {
    uint32_t entry;
    int64_t length;
};

Shortest shortest_entry_generic(const unsigned char *entry_counts, uint32_t first, uint32_t end,
                                const uint64_t *gaps) {
    Shortest shortest{first, INT64_MAX};
    for (uint32_t e = first; e < end; e++) {
        const uint64_t counts = exact_tables::word64(entry_counts, e);
        uint64_t sum = 0;
        for (unsigned g = 0; g < 16; g++)
            sum += ((counts >> (4 * g)) & 15u) * gaps[g];
        if (static_cast<int64_t>(sum) < shortest.length)
            shortest = Shortest{e, static_cast<int64_t>(sum)};
    }
    return shortest;
}

#if defined(__x86_64__)
// Sixteen counts at once: a gap is below 2^32 and a count below 16, so each
// product is exact in the vector unit's 32 x 32 -> 64-bit multiply.
__attribute__((target("avx2"))) Shortest shortest_entry_avx2(const unsigned char *entry_counts,
                                                             uint32_t first, uint32_t end,
                                                             const uint64_t *gaps) {
    __m256i lane_gaps[4];
    __m256i shifts[4];
    for (int k = 0; k < 4; k++) {
        lane_gaps[k] = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(gaps + 4 * k));
        shifts[k] = _mm256_setr_epi64x(16 * k, 16 * k + 4, 16 * k + 8, 16 * k + 12);
    }
    const __m256i nibble = _mm256_set1_epi64x(15);
    Shortest shortest{first, INT64_MAX};
    for (uint32_t e = first; e < end; e++) {
        const __m256i counts =
            _mm256_set1_epi64x(static_cast<long long>(exact_tables::word64(entry_counts, e)));
        __m256i sum = _mm256_setzero_si256();
        for (int k = 0; k < 4; k++)
            sum = _mm256_add_epi64(
                sum,
                _mm256_mul_epu32(_mm256_and_si256(_mm256_srlv_epi64(counts, shifts[k]), nibble),
                                 lane_gaps[k]));
        const __m128i half =
            _mm_add_epi64(_mm256_castsi256_si128(sum), _mm256_extracti128_si256(sum, 1));
        const int64_t length =
            _mm_cvtsi128_si64(_mm_add_epi64(half, _mm_unpackhi_epi64(half, half)));
        if (length < shortest.length)
            shortest = Shortest{e, length};
    }
    return shortest;
}
#endif

using ShortestEntry = Shortest (*)(const unsigned char *, uint32_t, uint32_t, const uint64_t *);

// The default build targets any x86-64; wider vectors are used only where the
// processor has them.
ShortestEntry choose_shortest_entry() {
#if defined(__x86_64__)
    if (MST1_VECTOR_LOOPS && __builtin_cpu_supports("avx2"))
        return shortest_entry_avx2;
#endif
    return shortest_entry_generic;
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
    // The gaps in the family frame, rows' then columns', at their counts'
    // places: a frame's rows are the net's rows or columns, in order or
    // reversed, as the symmetry maps them.
    uint64_t gaps[16] = {};
    static_assert(tables::column_count_shift(0) == 4 * 8 && tables::row_count_shift(1) == 4,
                  "the counts are 4 bits a gap, rows before columns");
    for (size_t g = 0; g + 1 < n; g++) {
        const int64_t row = int64_t{rows[g + 1]} - rows[g];
        const int64_t column = int64_t{columns[g + 1]} - columns[g];
        const auto [r, c] = tables::apply(symmetry, n, g, g);
        const auto [r_next, c_next] = tables::apply(symmetry, n, g + 1, g + 1);
        // The frame's row from line g and g + 1 of the net (of its rows,
        // unless the symmetry swaps rows and columns), and its column likewise.
        const bool swapped = symmetry >= 4;
        gaps[std::min(r, r_next)] = static_cast<uint64_t>(swapped ? column : row);
        gaps[8 + std::min(c, c_next)] = static_cast<uint64_t>(swapped ? row : column);
    }
    static const ShortestEntry shortest_entry = choose_shortest_entry();
    const auto [best, length] =
        shortest_entry(sized.entry_counts, tables::word32(sized.first_entry, family),
                       tables::word32(sized.first_entry, family + 1), gaps);
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
    // Windows ask for a tree thousands of times a net: their places are
    // sorted on the stack.
    Point on_stack[2 * EXACT_MAX_PLACES];
    std::vector<Point> on_heap;
    Point *net = on_stack;
    if (count > std::size(on_stack)) {
        on_heap.resize(count);
        net = on_heap.data();
    }
    std::copy(points, points + count, net);
    std::sort(net, net + count, point_less);
    const auto places = static_cast<size_t>(std::unique(net, net + count, point_equal) - net);
    steiner->clear();
    if (places < 3)
        return places < 2 ? 0
                          : std::abs(int64_t{net[0].row} - net[1].row) +
                                std::abs(int64_t{net[0].column} - net[1].column);
    if (places == 3) {
        // Three places meet at their median, as short as the half perimeter
        // of their box.
        int32_t rows[3] = {net[0].row, net[1].row, net[2].row};
        int32_t columns[3] = {net[0].column, net[1].column, net[2].column};
        std::sort(rows, rows + 3);
        std::sort(columns, columns + 3);
        const Point median{rows[1], columns[1]};
        if (!std::binary_search(net, net + places, median, point_less))
            steiner->push_back(median);
        return int64_t{rows[2]} - rows[0] + int64_t{columns[2]} - columns[0];
    }
    static_assert(exact_tables::max_places == EXACT_MAX_PLACES, "the tables serve as announced");
    Point found[EXACT_TABLE_STEINER];
    size_t count_found = 0;
    const int64_t length = exact_table_tree(net, places, found, &count_found);
    steiner->assign(found, found + count_found);
    return length;
}

} // namespace steiner::internal
