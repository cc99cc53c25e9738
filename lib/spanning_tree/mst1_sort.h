// Sorting that looks at a stop flag (see Mst1Stop in mst1.h), for arrays large
// enough that one std::sort would keep a caller waiting: a few hundred
// thousand elements take tens of milliseconds.
#ifndef STEINER_MST1_SORT_H
#define STEINER_MST1_SORT_H

#include "mst1.h"

#include <algorithm>
#include <cstddef>
#include <functional>
#include <iterator>
#include <utility>

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

template <class Iterator> bool mst1_sort(Iterator first, Iterator last, Mst1Stop stop) {
    return mst1_sort(first, last, std::less<>(), stop);
}

} // namespace steiner::internal

#endif
