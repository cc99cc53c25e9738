// The greedy that keeps Steiner points, over any tree that measures exact
// gains: the dense and the incremental tree of the search, the small tree of
// the path without the heap. One rule decides which candidate joins, so every
// path keeps the same points in the same order. The lazy form serves every
// path but one; the eager form, which measures every candidate at every step,
// serves the exact windows, whose points must each save most when they join.
//
// A Growth offers gain(k), candidate k's gain against the tree as it is;
// add(k), k joins; and full(), no room for another.
#ifndef STEINER_GREEDY_H
#define STEINER_GREEDY_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace steiner::internal {

// A candidate in contention: the largest gain leads, then the lowest index.
struct Ranked {
    int64_t gain;
    int32_t index;
};

struct RankedLess {
    bool operator()(const Ranked &a, const Ranked &b) const {
        return a.gain != b.gain ? a.gain < b.gain : a.index > b.index;
    }
};

// Whether a Growth offers measure_ahead(k, leading, count): a chance to
// measure candidate k together with some of the contenders leading[0..count-1]
// (a heap, the leader first) against the tree as it is, before gain(k) is
// asked. Contenders near the top of the heap are mostly measured afresh before
// the next point joins, and a tree that measures several candidates in one
// walk serves them for little more than one; gain(k) must still give what it
// would have measured alone, so the greedy's choices do not change.
template <class Growth, class = void> struct MeasuresAhead : std::false_type {};
template <class Growth>
struct MeasuresAhead<Growth, std::void_t<decltype(&Growth::measure_ahead)>> : std::true_type {};

// The lazy greedy over contenders[0..count-1], candidates whose positive
// gains were measured against the tree: the leader is measured afresh and
// joins while its gain is positive and still leads the others' last measured
// gains; a gain only falls as points join, except near them, where a later
// round or pass looks again. dropped(left) hears of each contender whose gain
// fell to nothing, with the number still in contention. The contenders are
// reordered. Returns how many joined.
template <class Growth, class Dropped>
size_t lazy_greedy(Growth *growth, Ranked *contenders, size_t count, Dropped dropped) {
    const RankedLess less;
    std::make_heap(contenders, contenders + count, less);
    size_t joined = 0;
    while (count > 0 && !growth->full()) {
        std::pop_heap(contenders, contenders + count, less);
        Ranked top = contenders[--count];
        if constexpr (MeasuresAhead<Growth>::value)
            growth->measure_ahead(top.index, contenders, count);
        top.gain = growth->gain(top.index);
        if (top.gain <= 0) {
            dropped(count);
            continue;
        }
        if (count == 0 || !less(top, contenders[0])) {
            growth->add(top.index);
            joined++;
        } else {
            contenders[count++] = top;
            std::push_heap(contenders, contenders + count, less);
        }
    }
    return joined;
}

// Passes of the lazy greedy over candidates 0..count-1, each measuring the
// gains of those not yet joined against the tree as it is, until a pass
// keeps none. joined[k] must be set by growth->add(k); room holds count
// contenders.
template <class Growth, class Flag>
void greedy_passes(Growth *growth, size_t count, const Flag *joined, Ranked *room) {
    for (;;) {
        size_t contenders = 0;
        for (size_t k = 0; k < count; k++) {
            if (joined[k])
                continue;
            if (const int64_t gain = growth->gain(static_cast<int32_t>(k)); gain > 0)
                room[contenders++] = Ranked{gain, static_cast<int32_t>(k)};
        }
        if (lazy_greedy(growth, room, contenders, [](size_t) {}) == 0)
            return;
    }
}

// The eager greedy over candidates 0..count-1: every step measures the gain
// of each one not yet joined, and the leader by the lazy greedy's rule joins
// while its gain is positive. Each candidate joined shortens the tree of
// those before it by the most any of the others would. joined[k] must be set
// by growth->add(k).
template <class Growth, class Flag>
void eager_greedy(Growth *growth, size_t count, const Flag *joined) {
    const RankedLess less;
    while (!growth->full()) {
        Ranked leader{0, -1};
        for (size_t k = 0; k < count; k++) {
            if (joined[k])
                continue;
            const Ranked next{growth->gain(static_cast<int32_t>(k)), static_cast<int32_t>(k)};
            if (next.gain > 0 && (leader.index < 0 || less(leader, next)))
                leader = next;
        }
        if (leader.index < 0)
            return;
        growth->add(leader.index);
    }
}

} // namespace steiner::internal

#endif
