// The tables of minimal trees of small nets that generate_tables writes at
// build time, and how their entries are laid out.
#ifndef STEINER_EXACT_TABLES_H
#define STEINER_EXACT_TABLES_H

#include <cstddef>
#include <cstdint>
#include <utility>

namespace steiner::internal::exact_tables {

// Nets of min_places to max_places distinct places have tables.
constexpr size_t min_places = 4;
constexpr size_t max_places = 8;

// One tree of a permutation's table: how often its edges cross each gap, and
// its Steiner points as (row, column) indices into the sorted lines.
struct Entry {
    uint64_t counts; // 4 bits a gap: rows at row_count_shift, columns at column_count_shift
    uint64_t points; // how many at count_shift (3 bits), then 8 bits a point
};

constexpr unsigned row_count_shift(size_t gap) {
    return static_cast<unsigned>(4 * gap);
}
constexpr unsigned column_count_shift(size_t gap) {
    return static_cast<unsigned>(32 + 4 * gap);
}
constexpr unsigned count_shift = 0;
constexpr unsigned point_shift(size_t k) {
    return static_cast<unsigned>(3 + 8 * k);
}
constexpr uint64_t point_bits(size_t row, size_t column) {
    return row | column << 4;
}

// The symmetry s of the square (0: none; 1, 2: mirror rows, columns; 3: half
// turn; 4: swap rows and columns; 5, 6: quarter turns; 7: the other
// diagonal) applied to (row, column) on an n x n grid.
constexpr std::pair<size_t, size_t> apply(unsigned s, size_t n, size_t row, size_t column) {
    const size_t r = n - 1 - row;
    const size_t c = n - 1 - column;
    switch (s) {
    case 0:
        return {row, column};
    case 1:
        return {r, column};
    case 2:
        return {row, c};
    case 3:
        return {r, c};
    case 4:
        return {column, row};
    case 5:
        return {c, row};
    case 6:
        return {column, r};
    default:
        return {c, r};
    }
}

// The Lehmer rank of the permutation perm[0..n-1] among those of its size.
inline uint32_t lehmer_rank(const size_t *perm, size_t n) {
    uint32_t rank = 0;
    for (size_t i = 0; i < n; i++) {
        uint32_t smaller = 0;
        for (size_t j = i + 1; j < n; j++)
            smaller += perm[j] < perm[i];
        rank = rank * static_cast<uint32_t>(n - i) + smaller;
    }
    return rank;
}

// The symmetry that undoes s.
constexpr unsigned inverse(unsigned s) {
    return s == 5 ? 6 : s == 6 ? 5 : s;
}

// For places = n: a permutation of Lehmer rank k (rows in order, the places'
// column ranks) belongs to the family whose least member it maps onto by a
// symmetry: canonical[canonical_start[n] + k] is family << 3 | symmetry.
// That family's trees are entries[first_entry[family_start[n] + family] ..
// first_entry[family_start[n] + family + 1] - 1], in its least member's frame.
extern const uint32_t canonical_start[];
extern const uint32_t family_start[];
extern const uint32_t canonical[];
extern const uint32_t first_entry[];
extern const Entry entries[];

} // namespace steiner::internal::exact_tables

#endif
