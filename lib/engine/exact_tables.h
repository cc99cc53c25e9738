// The tables of minimal trees of small nets and how their entries are laid
// out. generate_tables writes those of up to built_places places at build
// time; those of nine places take it minutes, so it wrote them once into a
// file kept with the source (exact_tables_nine.bin.gz), which the build
// unpacks and puts into the library as it stands.
#ifndef STEINER_EXACT_TABLES_H
#define STEINER_EXACT_TABLES_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

namespace steiner::internal::exact_tables {

// Nets of min_places to max_places distinct places have tables.
constexpr size_t min_places = 4;
constexpr size_t built_places = 8;
constexpr size_t max_places = 9;

// One tree of a permutation's table is two words: its counts, how often its
// edges cross each gap (4 bits a gap: rows at row_count_shift, columns at
// column_count_shift), and its points, the Steiner points as (row, column)
// indices into the sorted lines (how many at count_shift, 3 bits, then 8 bits
// a point).

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
// That family's trees are k = first_entry[family_start[n] + family] ..
// first_entry[family_start[n] + family + 1] - 1, each entry_counts[k] with
// entry_points[k], in its least member's frame. The generated source holds
// these arrays for up to built_places places.
extern const uint32_t canonical_start[];
extern const uint32_t family_start[];
extern const uint32_t canonical[];
extern const uint32_t first_entry[];
extern const uint64_t entry_counts[];
extern const uint64_t entry_points[];

// The file of the tables of nine places, little-endian: a header of four
// uint32 (places, families, trees, 0); canonical, 9! uint32 as above with
// family_start and canonical_start 0; first_entry, families + 1 uint32, then
// 4 bytes of 0 when that count is odd; entry_counts, trees uint64; then
// entry_points, trees uint64.
constexpr size_t nine_header_words = 4;
constexpr size_t nine_permutations = 362880;

// A little-endian word of a file's bytes; memcpy keeps the read defined
// whatever the bytes' declared type.
inline uint32_t word32(const unsigned char *bytes, size_t k) {
    uint32_t w;
    std::memcpy(&w, bytes + 4 * k, sizeof w);
    return w;
}
inline uint64_t word64(const unsigned char *bytes, size_t k) {
    uint64_t w;
    std::memcpy(&w, bytes + 8 * k, sizeof w);
    return w;
}
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the tables' file is little-endian");

// The parts of the file of nine places.
struct NineTables {
    uint32_t places, families, trees;
    const unsigned char *canonical;
    const unsigned char *first_entry;
    const unsigned char *entry_counts;
    const unsigned char *entry_points;
};
inline NineTables nine_tables(const unsigned char *file) {
    NineTables t;
    t.places = word32(file, 0);
    t.families = word32(file, 1);
    t.trees = word32(file, 2);
    t.canonical = file + 4 * nine_header_words;
    t.first_entry = t.canonical + 4 * nine_permutations;
    t.entry_counts = t.first_entry + 4 * ((t.families + 2) & ~uint32_t{1});
    t.entry_points = t.entry_counts + 8 * size_t{t.trees};
    return t;
}

// The file of nine places as the library holds it.
const unsigned char *nine_tables_file();

} // namespace steiner::internal::exact_tables

#endif
