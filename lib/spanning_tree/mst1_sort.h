// Sorting that looks at a stop flag (see Mst1Stop in mst1.h), for arrays large
// enough that one std::sort would keep a caller waiting: a few hundred
// thousand elements take tens of milliseconds. Short arrays of 64-bit keys,
// which small nets sort by the dozen, go through merges without branches on
// the keys.
#ifndef STEINER_MST1_SORT_H
#define STEINER_MST1_SORT_H

#include "mst1.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <iterator>
#include <type_traits>
#include <utility>
#include <vector>

namespace steiner::internal {

// Elements std::sort takes at once, and elements a partition moves past
// between two looks at the flag: well under a millisecond of work.
constexpr ptrdiff_t MST1_SORT_PIECE = 16384;

// Sorts first..last-1 by less, a strict weak order; elements that compare
// equal may end up in any order, as with std::sort, so where equal elements
// are alike the result is std::sort's. Quicksort partitions ranges down to
// MST1_SORT_PIECE elements, looking at stop while it goes; std::sort sorts
// those pieces, and any range that its partitions fail to split well within
// twice the logarithm of its length. Returns false, the order unspecified,
// once stop is set. Allocates nothing.
template <class Iterator, class Less>
bool mst1_sort(Iterator first, Iterator last, Less less, Mst1Stop stop) {
    int depth = 0;
    for (ptrdiff_t n = last - first; n > 1; n /= 2)
        depth += 2;
    while (last - first > MST1_SORT_PIECE) {
        if (depth-- == 0)
            break;
        // The median of three moves to the front and is the pivot (Hoare's
        // partition): both parts come out non-empty.
        Iterator low = first + 1;
        Iterator middle = first + (last - first) / 2;
        Iterator high = last - 1;
        if (less(*middle, *low))
            std::swap(low, middle);
        if (less(*high, *middle))
            middle = less(*high, *low) ? low : high;
        std::iter_swap(first, middle);
        const auto pivot = *first;
        Iterator i = first - 1;
        Iterator j = last;
        for (ptrdiff_t poll_below = last - first;;) {
            if (j - i <= poll_below) {
                if (mst1_stop_seen(stop))
                    return false;
                poll_below = j - i - MST1_SORT_PIECE;
            }
            do
                --j;
            while (less(pivot, *j));
            do
                ++i;
            while (less(*i, pivot));
            if (i >= j)
                break;
            std::iter_swap(i, j);
        }
        // The shorter part first, the longer one by the loop: a shallow stack.
        const Iterator split = j + 1;
        if (split - first < last - split) {
            if (!mst1_sort(first, split, less, stop))
                return false;
            first = split;
        } else {
            if (!mst1_sort(split, last, less, stop))
                return false;
            last = split;
        }
    }
    std::sort(first, last, less);
    return !mst1_stop_seen(stop);
}

// Keys up to this many are sorted by mst1_sort_keys, on the stack.
constexpr size_t MST1_SORT_KEYS_MOST = 1024;

// Puts a and b in order with conditional moves, a sorting network's step.
inline void mst1_order_keys(uint64_t &a, uint64_t &b) {
    const uint64_t low = std::min(a, b);
    b = std::max(a, b);
    a = low;
}

// Sorts keys[from..to-1] ascending by insertion: for a handful of keys, the
// quickest, mispredictions and all.
inline void mst1_insert_keys(uint64_t *keys, size_t from, size_t to) {
    for (size_t k = from + 1; k < to; k++) {
        const uint64_t key = keys[k];
        size_t j = k;
        for (; j > from && key < keys[j - 1]; j--)
            keys[j] = keys[j - 1];
        keys[j] = key;
    }
}

// Sorts keys[0..count-1] (count at most MST1_SORT_KEYS_MOST) ascending by
// merges that choose with conditional moves: the keys of random places make
// each comparison a coin toss, and std::sort's mispredicted branches cost
// more than its comparisons.
// Kept out of line, so that its scratch costs short arrays nothing.
__attribute__((noinline)) inline void mst1_merge_keys(uint64_t *keys, size_t count) {
    // Runs of four by a sorting network, a shorter tail by insertion.
    size_t run = 0;
    for (; run + 4 <= count; run += 4) {
        uint64_t *k = keys + run;
        mst1_order_keys(k[0], k[1]);
        mst1_order_keys(k[2], k[3]);
        mst1_order_keys(k[0], k[2]);
        mst1_order_keys(k[1], k[3]);
        mst1_order_keys(k[1], k[2]);
    }
    mst1_insert_keys(keys, run, count);
    uint64_t scratch[MST1_SORT_KEYS_MOST];
    uint64_t *from = keys;
    uint64_t *to = scratch;
    for (size_t width = 4; width < count; width *= 2) {
        for (size_t low = 0; low < count; low += 2 * width) {
            const size_t middle = std::min(low + width, count);
            const size_t high = std::min(low + 2 * width, count);
            size_t i = low;
            size_t j = middle;
            size_t out = low;
            while (i < middle && j < high) {
                const uint64_t a = from[i];
                const uint64_t b = from[j];
                const auto second = static_cast<size_t>(b < a);
                to[out++] = second != 0 ? b : a;
                i += second ^ 1;
                j += second;
            }
            // Short tails: a loop costs less than a call to copy them.
            while (i < middle)
                to[out++] = from[i++];
            while (j < high)
                to[out++] = from[j++];
        }
        std::swap(from, to);
    }
    if (from != keys)
        std::copy(from, from + count, keys);
}

// The bits needed to write value.
inline unsigned mst1_bit_width(uint64_t value) {
    return value == 0 ? 0 : 64 - static_cast<unsigned>(__builtin_clzll(value));
}

// Sorts keys[0..count-1] (count at most MST1_SORT_KEYS_MOST) ascending by
// digits of at most eight bits, the least first; from about a hundred keys
// a pass over them costs less than a merge's. A key orders as the pair of its
// halves, so each half less its least value keeps the order, and the pair
// then packs into the bits that vary: a net's places, offset from the least
// coordinate, change every byte of both halves (rows and columns near zero
// straddle a carry), yet span a few thousand units, some twenty bits.
__attribute__((noinline)) inline void mst1_radix_keys(uint64_t *keys, size_t count) {
    uint32_t high_least = UINT32_MAX;
    uint32_t high_most = 0;
    uint32_t low_least = UINT32_MAX;
    uint32_t low_most = 0;
    for (size_t k = 0; k < count; k++) {
        const auto high = static_cast<uint32_t>(keys[k] >> 32);
        const auto low = static_cast<uint32_t>(keys[k]);
        high_least = std::min(high_least, high);
        high_most = std::max(high_most, high);
        low_least = std::min(low_least, low);
        low_most = std::max(low_most, low);
    }
    const unsigned low_bits = mst1_bit_width(low_most - low_least);
    const unsigned bits = mst1_bit_width(high_most - high_least) + low_bits;
    if (bits == 0)
        return;
    for (size_t k = 0; k < count; k++)
        keys[k] = ((keys[k] >> 32) - high_least) << low_bits |
                  (static_cast<uint32_t>(keys[k]) - low_least);
    // Equal digits: 20 bits take three passes of 7 bits, not 8, 8 and 4.
    const unsigned passes = (bits + 7) / 8;
    const unsigned width = (bits + passes - 1) / passes;
    const uint64_t digit = (uint64_t{1} << width) - 1;
    uint64_t scratch[MST1_SORT_KEYS_MOST];
    uint64_t *from = keys;
    uint64_t *to = scratch;
    for (unsigned shift = 0; shift < bits; shift += width) {
        uint32_t start[256];
        std::fill(start, start + digit + 1, 0u);
        for (size_t k = 0; k < count; k++)
            start[from[k] >> shift & digit]++;
        uint32_t sum = 0;
        for (size_t d = 0; d <= digit; d++) {
            const uint32_t here = start[d];
            start[d] = sum;
            sum += here;
        }
        for (size_t k = 0; k < count; k++)
            to[start[from[k] >> shift & digit]++] = from[k];
        std::swap(from, to);
    }
    const uint64_t low_mask = (uint64_t{1} << low_bits) - 1;
    for (size_t k = 0; k < count; k++)
        keys[k] = ((from[k] >> low_bits) + high_least) << 32 | ((from[k] & low_mask) + low_least);
}

// Sorts keys[0..count-1] (count at most 8) ascending by a sorting network of
// 19 comparators, the missing keys standing in as the largest.
inline void mst1_network_keys(uint64_t *keys, size_t count) {
    uint64_t k[8];
    for (size_t i = 0; i < 8; i++)
        k[i] = i < count ? keys[i] : UINT64_MAX;
    auto order = [&k](int a, int b) { mst1_order_keys(k[a], k[b]); };
    order(0, 2), order(1, 3), order(4, 6), order(5, 7);
    order(0, 4), order(1, 5), order(2, 6), order(3, 7);
    order(0, 1), order(2, 3), order(4, 5), order(6, 7);
    order(2, 4), order(3, 5);
    order(1, 4), order(3, 6);
    order(1, 2), order(3, 4), order(5, 6);
    std::copy(k, k + count, keys);
}

// Sorts keys[0..count-1] (count at most MST1_SORT_KEYS_MOST) ascending: up
// to four by insertion, up to eight by a network, up to a hundred or so by
// the merges, more by their digits.
inline void mst1_sort_keys(uint64_t *keys, size_t count) {
    if (count <= 4)
        mst1_insert_keys(keys, 0, count);
    else if (count <= 8)
        mst1_network_keys(keys, count);
    else if (count < 96)
        mst1_merge_keys(keys, count);
    else
        mst1_radix_keys(keys, count);
}

// Moves the distinct keys of the sorted keys[0..count-1] to its front, in
// order, and returns how many there are: std::unique's result, but every key
// is written and the count advances by the comparison, as repeats among a
// net's medians follow no pattern a branch could learn.
inline size_t mst1_unique_keys(uint64_t *keys, size_t count) {
    if (count == 0)
        return 0;
    size_t kept = 1;
    for (size_t k = 1; k < count; k++) {
        const uint64_t key = keys[k];
        const bool fresh = key != keys[kept - 1];
        keys[kept] = key;
        kept += fresh;
    }
    return kept;
}

// Moves the distinct keys of keys[0..count-1] (count at most
// MST1_SORT_KEYS_MOST, no key UINT64_MAX) to its front, in ascending order,
// and returns how many there are. Repeats are dropped through a table of
// open addressing first: a net's medians repeat one another, and a sort of
// the distinct ones costs less than one of all.
__attribute__((noinline)) inline size_t mst1_distinct_keys(uint64_t *keys, size_t count) {
    constexpr uint64_t empty = UINT64_MAX;
    uint64_t table[2 * MST1_SORT_KEYS_MOST];
    size_t slots = 16;
    while (slots < 2 * count)
        slots *= 2;
    std::fill(table, table + slots, empty);
    size_t kept = 0;
    for (size_t k = 0; k < count; k++) {
        const uint64_t key = keys[k];
        size_t at = static_cast<size_t>((key * 0x9e3779b97f4a7c15u) >> 32) & (slots - 1);
        while (table[at] != empty && table[at] != key)
            at = (at + 1) & (slots - 1);
        const bool fresh = table[at] == empty;
        table[at] = key;
        keys[kept] = key;
        kept += fresh;
    }
    mst1_sort_keys(keys, kept);
    return kept;
}

// In ascending order; up to MST1_SORT_KEYS_MOST 64-bit keys in an array or
// a vector by mst1_sort_keys.
template <class Iterator> bool mst1_sort(Iterator first, Iterator last, Mst1Stop stop) {
    if constexpr (std::is_same_v<Iterator, uint64_t *> ||
                  std::is_same_v<Iterator, std::vector<uint64_t>::iterator>)
        if (const auto count = static_cast<size_t>(last - first); count <= MST1_SORT_KEYS_MOST) {
            if (count > 1)
                mst1_sort_keys(&*first, count);
            return !mst1_stop_seen(stop);
        }
    return mst1_sort(first, last, std::less<>(), stop);
}

} // namespace steiner::internal

#endif
