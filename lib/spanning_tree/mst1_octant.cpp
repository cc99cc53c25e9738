// Prim's algorithm in O(n log n) with exactly the joins and parents of the
// quadratic loop.
//
// Points at one place are folded into the lowest-numbered of them first: it
// is the one the loop selects (its key equals theirs and its index is lower),
// and the others then join it at length 0 without being selected.
//
// Keys are kept only along the octant graph, every point's edge to its
// nearest point in each of the eight half-open octants around it. Let m be the
// smallest true key among the waiting points, and k a waiting point whose true
// key is m, reached from the joined point j. The nearest point q of k in j's
// octant has |k q| <= m, and unless q is j, |q j| < |k j| = m; a waiting q would
// then have a key below m, so q has joined and k's key along its own octant
// edges is already m. So the waiting points with the smallest graph key are
// exactly those with the smallest true key, and a heap ordered by (key, index)
// selects the point the loop selects.
//
// The loop's parent of a selected point is the earliest-joined point at its
// key's distance, which need not be a graph neighbour. No joined point is
// nearer than the key, so it is the earliest-joined point in the square of
// that radius around the point (a square in the coordinates row + column and
// row - column), found in a tree of boxes that keeps each box's earliest join.
//
// The places are numbered along a Z-order curve, so that a place's graph
// neighbours and index entries lie near it in memory.
#include "mst1_build.h"
#include "mst1_sort.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace steiner::internal {

namespace {

// Join time of a place that has not joined.
constexpr int32_t NEVER = INT32_MAX;

// Up to this many points, octant neighbours are found by comparing every two.
constexpr int32_t OCTANT_SCAN_MAX = 48;

// Places per leaf of the index over the Z-ordered places.
constexpr int32_t LEAF_SIZE = 8;

// Deep enough for a complete binary tree over any int32_t count of leaves.
constexpr int32_t STACK_DEPTH = 64;

// Places a sweep or the Prim loop handles between two looks at the stop
// flag: about a millisecond of work.
constexpr int32_t PLACES_PER_POLL = 4096;

// A point's index with its position on the Z-order curve.
struct Located {
    uint64_t code;
    int32_t index;
};

// A place as an octant sweep reads it, in the sweep's order.
struct Entry {
    uint32_t group; // the sweep's first key, offset; places with equal keys are one group
    int32_t place;
    int32_t row, column;
    int32_t row_rank, column_rank;
};

// An index node: the box of its places in the turned coordinates
// u = row + column and v = row - column, where the rectilinear distance is
// the larger of |du| and |dv|, and the earliest join time below it.
struct Node {
    int32_t lo_u, hi_u, lo_v, hi_v;
    int32_t joined;
};

// Leaves of the index over count places, rounded up to a power of two.
size_t leaf_slots(int32_t count) {
    const size_t leaves = (static_cast<size_t>(count) + LEAF_SIZE - 1) / LEAF_SIZE;
    size_t slots = 1;
    while (slots < leaves)
        slots *= 2;
    return slots;
}

// The scratch arrays, carved from one block; m counts the distinct places.
struct Scratch {
    Located *located;    // n: points by place; its memory later holds words
    uint64_t *words;     // n: (value, place) words being sorted
    Entry *entry;        // n: one sweep order
    uint64_t *fenwick;   // n + 1: prefix minima of (coordinate sum, place), TIED when reached twice
    uint8_t *tied;       // n: octants (bits) where a place's nearest is not alone
    int32_t *nearest;    // 8 n: each octant's nearest place, -1 when empty
    int32_t *reaching;   // 8 n: the places whose octant neighbour a place is
    int64_t *first_edge; // n + 1: start of each place's list in reaching
    int32_t *original;   // n: a place's lowest index
    int32_t *row;        // n
    int32_t *column;     // n
    int32_t *u;          // n: row + column
    int32_t *v;          // n: row - column
    int32_t *row_rank;   // n: dense rank of the row
    int32_t *column_rank; // n: dense rank of the column
    int32_t *time;        // n: join order, NEVER while waiting
    int32_t *heap_place;  // n: waiting places in heap order
    int32_t *heap_slot;   // n: a place's heap position, -1 when not in it
    uint64_t *heap_key;   // n: (key, lowest index) of heap_place's places
    Node *node;           // 2 leaf_slots(n) - 1
    int32_t first_leaf;   // node number of the index's first leaf
};

// Lays arrays out one after another in a block; with no block it only counts
// the bytes.
struct Carver {
    char *block;
    size_t used;

    template <class T> T *take(size_t entries) {
        T *array = block == nullptr ? nullptr : reinterpret_cast<T *>(block + used);
        used += entries * sizeof(T);
        return array;
    }
};

// The arrays for n points, widest alignment first, in block (or counted only,
// when block is null; *bytes receives the size).
Scratch carve(int32_t n, char *block, size_t *bytes) {
    const size_t count = static_cast<size_t>(n);
    Carver c{block, 0};
    Scratch s{};
    s.located = c.take<Located>(count);
    s.words = reinterpret_cast<uint64_t *>(s.located);
    s.fenwick = c.take<uint64_t>(count + 1);
    s.heap_key = c.take<uint64_t>(count);
    s.first_edge = c.take<int64_t>(count + 1);
    s.entry = c.take<Entry>(count);
    s.nearest = c.take<int32_t>(8 * count);
    s.reaching = c.take<int32_t>(8 * count);
    s.original = c.take<int32_t>(count);
    s.row = c.take<int32_t>(count);
    s.column = c.take<int32_t>(count);
    s.u = c.take<int32_t>(count);
    s.v = c.take<int32_t>(count);
    s.row_rank = c.take<int32_t>(count);
    s.column_rank = c.take<int32_t>(count);
    s.time = c.take<int32_t>(count);
    s.heap_place = c.take<int32_t>(count);
    s.heap_slot = c.take<int32_t>(count);
    s.node = c.take<Node>(2 * leaf_slots(n) - 1);
    s.tied = c.take<uint8_t>(count);
    *bytes = c.used;
    return s;
}

// Spreads the low 32 bits of x over the even bits of a 64-bit word.
uint64_t spread(uint64_t x) {
    x &= 0xffffffffu;
    x = (x | (x << 16)) & 0x0000ffff0000ffffu;
    x = (x | (x << 8)) & 0x00ff00ff00ff00ffu;
    x = (x | (x << 4)) & 0x0f0f0f0f0f0f0f0fu;
    x = (x | (x << 2)) & 0x3333333333333333u;
    x = (x | (x << 1)) & 0x5555555555555555u;
    return x;
}

// A value within +-2^31 in the high half and a place in the low half, so that
// sorted words order places by value.
uint64_t word(int64_t value, int32_t place) {
    return static_cast<uint64_t>(value + (int64_t{1} << 31)) << 32 | static_cast<uint32_t>(place);
}

int32_t word_place(uint64_t w) {
    return static_cast<int32_t>(w & 0xffffffffu);
}

// Numbers the distinct places along the Z-order curve: fills original, row,
// column, u and v, sets parent[k] for every point k that is not the lowest at
// its place to that lowest one, and returns the count of places, or -1 once
// stop is set. *root becomes point 0's place.
int32_t fold_places(int32_t n, const Point *points, int32_t *parent, Scratch &s, int32_t *root,
                    Mst1Stop stop) {
    for (int32_t k = 0; k < n; k++) {
        // Offsets from the least accepted coordinate fit 31 bits, so the code
        // is exact: equal codes are equal points.
        const auto row = static_cast<uint64_t>(int64_t{points[k].row} - MST1_COORD_MIN);
        const auto column = static_cast<uint64_t>(int64_t{points[k].column} - MST1_COORD_MIN);
        s.located[k] = Located{spread(row) << 1 | spread(column), k};
    }
    const auto by_code = [](const Located &a, const Located &b) {
        return a.code != b.code ? a.code < b.code : a.index < b.index;
    };
    if (!mst1_sort(s.located, s.located + n, by_code, stop))
        return -1;
    int32_t m = 0;
    for (int32_t k = 0; k < n; k++) {
        if (k % PLACES_PER_POLL == PLACES_PER_POLL - 1 && mst1_stop_seen(stop))
            return -1;
        const int32_t index = s.located[k].index;
        if (k > 0 && s.located[k].code == s.located[k - 1].code) {
            parent[index] = s.original[m - 1];
            continue;
        }
        s.original[m] = index;
        s.row[m] = points[index].row;
        s.column[m] = points[index].column;
        s.u[m] = points[index].row + points[index].column;
        s.v[m] = points[index].row - points[index].column;
        if (index == 0)
            *root = m;
        m++;
    }
    return m;
}

// Dense ranks of values[0..m-1] into rank; returns the count of distinct
// values, or -1 once stop is set.
int32_t dense_ranks(int32_t m, const int32_t *values, int32_t *rank, uint64_t *words,
                    Mst1Stop stop) {
    for (int32_t p = 0; p < m; p++)
        words[p] = word(values[p], p);
    if (!mst1_sort(words, words + m, stop))
        return -1;
    int32_t next = -1;
    for (int32_t k = 0; k < m; k++) {
        if (k % PLACES_PER_POLL == PLACES_PER_POLL - 1 && mst1_stop_seen(stop))
            return -1;
        if (k == 0 || words[k] >> 32 != words[k - 1] >> 32)
            next++;
        rank[word_place(words[k])] = next;
    }
    return next + 1;
}

// Lays the places out in s.entry in increasing row - column (by_sum false)
// or row + column; false, unfinished, once stop is set.
bool order_entries(int32_t m, Scratch &s, bool by_sum, Mst1Stop stop) {
    for (int32_t p = 0; p < m; p++)
        s.words[p] = word(by_sum ? s.u[p] : s.v[p], p);
    if (!mst1_sort(s.words, s.words + m, stop))
        return false;
    for (int32_t k = 0; k < m; k++) {
        if (k % PLACES_PER_POLL == PLACES_PER_POLL - 1 && mst1_stop_seen(stop))
            return false;
        const int32_t p = word_place(s.words[k]);
        s.entry[k] = Entry{static_cast<uint32_t>(s.words[k] >> 32),
                           p,
                           s.row[p],
                           s.column[p],
                           s.row_rank[p],
                           s.column_rank[p]};
    }
    return true;
}

// One octant as a sweep over the entries sees it. Turned by a quarter turn
// or more into {u > v >= 0} or {v >= u > 0}, the octant around k holds the
// places p whose first key exceeds k's (or equals it, for the second shape)
// and whose slot is at most k's (below it, for the second shape); its
// distance from k is sum(p) - sum(k).
struct Octant {
    bool backward;             // the first key falls along the entries
    bool strict_first;         // the first shape
    bool by_row;               // the slot comes from the row rank (else the column rank)
    bool slot_reversed;        // the slot falls as the rank rises
    int row_sign, column_sign; // sum(p) = row_sign * row + column_sign * column
};

// A word's low half holds a place, below 2^31, and this flag: another place
// reaches the same sum.
constexpr uint64_t TIED = uint64_t{1} << 31;

// Writes each entry's nearest place in octant o to found[entry], with TIED
// set when another place is as near, and UINT32_MAX when there is none:
// entries in decreasing first key, a group of equal keys queried before it
// joins the prefix minima when the first key is strict and after it otherwise.
// False, found[] unfinished, once stop is set.
bool sweep(int32_t m, const Scratch &s, const Octant &o, int32_t slots, uint32_t *found,
           Mst1Stop stop) {
    uint64_t *fenwick = s.fenwick;
    std::fill(fenwick, fenwick + slots + 1, UINT64_MAX);
    auto slot_of = [&](const Entry &e) {
        const int32_t rank = o.by_row ? e.row_rank : e.column_rank;
        return o.slot_reversed ? slots - 1 - rank : rank;
    };
    // Any of the nearest places will do, so a tie keeps the word it finds.
    auto merge = [](uint64_t *into, uint64_t value) {
        if (value >> 32 == *into >> 32)
            *into |= TIED;
        else if (value < *into)
            *into = value;
    };
    auto insert = [&](const Entry &e) {
        const uint64_t value =
            word(int64_t{o.row_sign} * e.row + int64_t{o.column_sign} * e.column, e.place);
        for (int32_t i = slot_of(e) + 1; i <= slots; i += i & -i)
            merge(&fenwick[i], value);
    };
    // A prefix is the union of disjoint ranges, so merging them finds a tie
    // within one range or across two.
    auto query = [&](const Entry &e) {
        uint64_t best = UINT64_MAX;
        for (int32_t i = slot_of(e) + (o.strict_first ? 1 : 0); i > 0; i -= i & -i)
            if (fenwick[i] != UINT64_MAX)
                merge(&best, fenwick[i]);
        return static_cast<uint32_t>(best);
    };
    int32_t next_poll = PLACES_PER_POLL;
    for (int32_t begin = 0; begin < m;) {
        if (begin >= next_poll) {
            if (mst1_stop_seen(stop))
                return false;
            next_poll = begin + PLACES_PER_POLL;
        }
        const int32_t first = o.backward ? m - 1 - begin : begin;
        int32_t end = begin + 1;
        while (end < m && s.entry[o.backward ? m - 1 - end : end].group == s.entry[first].group)
            end++;
        for (int pass = 0; pass < 2; pass++) {
            const bool querying = (pass == 0) == o.strict_first;
            for (int32_t k = begin; k < end; k++) {
                const int32_t at = o.backward ? m - 1 - k : k;
                if (querying)
                    found[at] = query(s.entry[at]);
                else
                    insert(s.entry[at]);
            }
        }
        begin = end;
    }
    return true;
}

// Fills nearest[8 * p + o] for every place p and octant o; false, unfinished,
// once stop is set.
bool find_octant_neighbours(int32_t m, Scratch &s, Mst1Stop stop) {
    const int32_t rows = dense_ranks(m, s.row, s.row_rank, s.words, stop);
    const int32_t columns = rows < 0 ? -1 : dense_ranks(m, s.column, s.column_rank, s.words, stop);
    if (columns < 0)
        return false;
    // Quadrant q turns (row, column) into (u, v) = (row, column), (column,
    // -row), (-row, -column), (-column, row); each holds {u > v >= 0}, first
    // key u - v and slot from v, and {v >= u > 0}, first key v - u and slot
    // from u. The first keys are plus or minus row - column in quadrants 0 and
    // 2, and plus or minus row + column in 1 and 3.
    const Octant by_difference[4] = {
        {true, true, false, true, 1, 1},     // u - v = row - column, v = column
        {false, false, true, true, 1, 1},    // v - u = column - row, u = row
        {false, true, false, false, -1, -1}, // u - v = column - row, v = -column
        {true, false, true, false, -1, -1},  // v - u = row - column, u = -row
    };
    const Octant by_sum[4] = {
        {true, true, true, false, -1, 1},   // u - v = row + column, v = -row
        {false, false, false, true, -1, 1}, // v - u = -row - column, u = column
        {false, true, true, true, 1, -1},   // u - v = -row - column, v = row
        {true, false, false, false, 1, -1}, // v - u = row + column, u = -column
    };
    const int octant_of_difference[4] = {0, 1, 4, 5};
    const int octant_of_sum[4] = {2, 3, 6, 7};
    // One octant's answers in entry order.
    auto *found = reinterpret_cast<uint32_t *>(s.heap_place);
    std::fill(s.tied, s.tied + m, 0);
    for (int order = 0; order < 2; order++) {
        if (!order_entries(m, s, order == 1, stop))
            return false;
        for (int k = 0; k < 4; k++) {
            const Octant &o = order == 0 ? by_difference[k] : by_sum[k];
            const size_t octant =
                static_cast<size_t>(order == 0 ? octant_of_difference[k] : octant_of_sum[k]);
            if (!sweep(m, s, o, o.by_row ? rows : columns, found, stop))
                return false;
            for (int32_t e = 0; e < m; e++) {
                const auto p = static_cast<size_t>(s.entry[e].place);
                if (found[e] == UINT32_MAX) {
                    s.nearest[8 * p + octant] = -1;
                    continue;
                }
                s.nearest[8 * p + octant] = static_cast<int32_t>(found[e] & ~TIED);
                if ((found[e] & TIED) != 0)
                    s.tied[p] |= static_cast<uint8_t>(1u << octant);
            }
        }
    }
    return true;
}

// For every place q, the places that have q as an octant neighbour:
// reaching[first_edge[q] .. first_edge[q + 1] - 1]. False, unfinished, once
// stop is set.
bool invert_neighbours(int32_t m, Scratch &s, Mst1Stop stop) {
    std::fill(s.first_edge, s.first_edge + m + 1, 0);
    for (size_t e = 0; e < 8 * static_cast<size_t>(m); e++) {
        if (e % (8 * PLACES_PER_POLL) == 0 && mst1_stop_seen(stop))
            return false;
        if (s.nearest[e] >= 0)
            s.first_edge[s.nearest[e] + 1]++;
    }
    for (int32_t q = 0; q < m; q++)
        s.first_edge[q + 1] += s.first_edge[q];
    // The next free position of each list; up to 8 n, beyond int32_t.
    auto *fill = reinterpret_cast<int64_t *>(s.heap_key);
    std::copy(s.first_edge, s.first_edge + m, fill);
    for (int32_t p = 0; p < m; p++) {
        if (p % PLACES_PER_POLL == 0 && mst1_stop_seen(stop))
            return false;
        for (size_t o = 0; o < 8; o++) {
            const int32_t q = s.nearest[8 * static_cast<size_t>(p) + o];
            if (q >= 0)
                s.reaching[fill[q]++] = p;
        }
    }
    return true;
}

// ---- Earliest joined place within a distance ----------------------------------
//
// A complete binary tree in array order (children of node i at 2i + 1 and
// 2i + 2) whose leaves hold LEAF_SIZE consecutive places each; consecutive
// places on the Z-order curve lie close together, so the boxes stay small.

void build_index(int32_t m, Scratch &s) {
    const auto leaves = static_cast<int32_t>(leaf_slots(m));
    const int32_t first_leaf = leaves - 1;
    s.first_leaf = first_leaf;
    for (int32_t leaf = 0; leaf < leaves; leaf++) {
        Node node{INT32_MAX, INT32_MIN, INT32_MAX, INT32_MIN, NEVER};
        const int32_t end = std::min(m, (leaf + 1) * LEAF_SIZE);
        for (int32_t p = leaf * LEAF_SIZE; p < end; p++) {
            node.lo_u = std::min(node.lo_u, s.u[p]);
            node.hi_u = std::max(node.hi_u, s.u[p]);
            node.lo_v = std::min(node.lo_v, s.v[p]);
            node.hi_v = std::max(node.hi_v, s.v[p]);
        }
        s.node[first_leaf + leaf] = node;
    }
    for (int32_t i = first_leaf - 1; i >= 0; i--) {
        const Node &a = s.node[2 * i + 1];
        const Node &b = s.node[2 * i + 2];
        s.node[i] = Node{std::min(a.lo_u, b.lo_u), std::max(a.hi_u, b.hi_u),
                         std::min(a.lo_v, b.lo_v), std::max(a.hi_v, b.hi_v), NEVER};
    }
}

void mark_joined(Scratch &s, int32_t place, int32_t time) {
    s.time[place] = time;
    // Join times only grow, so a node that already has one keeps it, and so do
    // all nodes above it.
    for (int32_t i = s.first_leaf + place / LEAF_SIZE; s.node[i].joined == NEVER; i = (i - 1) / 2) {
        s.node[i].joined = time;
        if (i == 0)
            break;
    }
}

// The earliest-joined place within distance radius of place p, knowing that
// place known is one.
int32_t earliest_within(const Scratch &s, int32_t m, int32_t p, int32_t radius, int32_t known) {
    const int64_t lo_u = int64_t{s.u[p]} - radius, hi_u = int64_t{s.u[p]} + radius;
    const int64_t lo_v = int64_t{s.v[p]} - radius, hi_v = int64_t{s.v[p]} + radius;
    int32_t best = known;
    int32_t best_time = s.time[known];
    int32_t stack[STACK_DEPTH];
    int32_t depth = 0;
    stack[depth++] = 0;
    while (depth > 0) {
        const int32_t i = stack[--depth];
        const Node &node = s.node[i];
        if (node.joined >= best_time || node.hi_u < lo_u || node.lo_u > hi_u || node.hi_v < lo_v ||
            node.lo_v > hi_v)
            continue;
        if (i < s.first_leaf) {
            stack[depth++] = 2 * i + 2;
            stack[depth++] = 2 * i + 1;
            continue;
        }
        const int32_t begin = (i - s.first_leaf) * LEAF_SIZE;
        const int32_t end = std::min(m, begin + LEAF_SIZE);
        for (int32_t q = begin; q < end; q++)
            if (s.time[q] < best_time && s.u[q] >= lo_u && s.u[q] <= hi_u && s.v[q] >= lo_v &&
                s.v[q] <= hi_v) {
                best_time = s.time[q];
                best = q;
            }
    }
    return best;
}

// The earliest-joined place at distance radius from p, which has no joined
// place nearer. An octant that holds a joined place at that distance has its
// nearest place there too, joined (a waiting one would be nearer to the joined
// one than radius); when that nearest place is alone at its distance, no other
// place of the octant needs looking at.
int32_t parent_of(const Scratch &s, int32_t m, int32_t p, int32_t radius) {
    int32_t best = -1;
    bool alone = true;
    for (size_t o = 0; o < 8; o++) {
        const int32_t q = s.nearest[8 * static_cast<size_t>(p) + o];
        if (q < 0 || s.time[q] == NEVER ||
            rect_dist(s.row[q], s.column[q], s.row[p], s.column[p]) != radius)
            continue;
        if (best < 0 || s.time[q] < s.time[best])
            best = q;
        if ((s.tied[p] >> o & 1u) != 0)
            alone = false;
    }
    return alone ? best : earliest_within(s, m, p, radius, best);
}

// ---- Waiting places by (key, lowest index) ---------------------------------------

struct Heap {
    int32_t *place;
    int32_t *slot;
    uint64_t *key;
    int32_t size;

    void put(int32_t at, int32_t p, uint64_t k) {
        place[at] = p;
        key[at] = k;
        slot[p] = at;
    }
    // Adds p with key k, or lowers p's key to k.
    void lower(int32_t p, uint64_t k) {
        int32_t at = slot[p] < 0 ? size++ : slot[p];
        while (at > 0) {
            const int32_t up = (at - 1) / 2;
            if (key[up] <= k)
                break;
            put(at, place[up], key[up]);
            at = up;
        }
        put(at, p, k);
    }
    int32_t pop() {
        const int32_t top = place[0];
        slot[top] = -1;
        size--;
        if (size == 0)
            return top;
        const int32_t last = place[size];
        const uint64_t last_key = key[size];
        int32_t at = 0;
        for (;;) {
            int32_t child = 2 * at + 1;
            if (child >= size)
                break;
            if (child + 1 < size && key[child + 1] < key[child])
                child++;
            if (key[child] >= last_key)
                break;
            put(at, place[child], key[child]);
            at = child;
        }
        put(at, last, last_key);
        return top;
    }
};

} // namespace

size_t octant_scratch_bytes(int32_t n) {
    size_t bytes = 0;
    carve(n, nullptr, &bytes);
    return bytes;
}

int64_t octant_build(int32_t n, const Point *points, int32_t *parent, int32_t *key, void *scratch,
                     Mst1Stop stop) {
    if (n < 1)
        return 0;
    size_t bytes = 0;
    Scratch s = carve(n, static_cast<char *>(scratch), &bytes);
    int32_t root = 0;
    const int32_t m = fold_places(n, points, parent, s, &root, stop);
    if (m < 0 || !find_octant_neighbours(m, s, stop) || !invert_neighbours(m, s, stop))
        return MST1_STOPPED;
    build_index(m, s);
    for (int32_t p = 0; p < m; p++) {
        key[p] = INT32_MAX;
        s.time[p] = NEVER;
        s.heap_slot[p] = -1;
    }
    Heap heap{s.heap_place, s.heap_slot, s.heap_key, 0};
    int64_t total = 0;
    int32_t joined = 0;
    for (int32_t p = root;;) {
        if (joined % PLACES_PER_POLL == PLACES_PER_POLL - 1 && mst1_stop_seen(stop))
            return MST1_STOPPED;
        mark_joined(s, p, joined++);
        for (int64_t e = s.first_edge[p]; e < s.first_edge[p + 1]; e++) {
            const int32_t k = s.reaching[e];
            if (s.time[k] != NEVER)
                continue;
            const int32_t d = rect_dist(s.row[k], s.column[k], s.row[p], s.column[p]);
            if (d < key[k]) {
                key[k] = d;
                heap.lower(k,
                           static_cast<uint64_t>(d) << 32 | static_cast<uint32_t>(s.original[k]));
            }
        }
        if (heap.size == 0)
            break;
        p = heap.pop();
        total += key[p];
        parent[s.original[p]] = s.original[parent_of(s, m, p, key[p])];
    }
    parent[0] = 0;
    return total;
}

namespace {

#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("avx2"))) inline int32_t least_lane(__m256i x) {
    __m128i m = _mm_min_epi32(_mm256_castsi256_si128(x), _mm256_extracti128_si256(x, 1));
    m = _mm_min_epi32(m, _mm_shuffle_epi32(m, 0x4e));
    m = _mm_min_epi32(m, _mm_shuffle_epi32(m, 0xb1));
    return _mm_cvtsi128_si32(m);
}

// The scan's first points, eight at a time, as the loop of mst1_octant_scan
// takes them: the least key (distance << 32 | index) per octant into least
// and the first point at centre's place into *same. Each lane keeps its
// nearest point per octant, the first of equally near ones, as it meets its
// points in index order; the lanes' keys then meet in least. Returns the
// points taken, a multiple of eight.
__attribute__((target("avx2"))) int32_t octant_scan_avx2(int32_t n, const Point *points,
                                                         const Point &centre, uint64_t *least,
                                                         int32_t *same) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i centre_row = _mm256_set1_epi32(centre.row);
    const __m256i centre_column = _mm256_set1_epi32(centre.column);
    const __m256i deinterleave = _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7);
    __m256i best[8];
    __m256i which[8];
    for (size_t o = 0; o < 8; o++) {
        best[o] = _mm256_set1_epi32(INT32_MAX);
        which[o] = zero;
    }
    __m256i index = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    const __m256i step = _mm256_set1_epi32(8);
    int32_t k = 0;
    for (; k + 8 <= n; k += 8, index = _mm256_add_epi32(index, step)) {
        const __m256i low = _mm256_permutevar8x32_epi32(
            _mm256_loadu_si256(reinterpret_cast<const __m256i *>(points + k)), deinterleave);
        const __m256i high = _mm256_permutevar8x32_epi32(
            _mm256_loadu_si256(reinterpret_cast<const __m256i *>(points + k + 4)), deinterleave);
        const __m256i drow =
            _mm256_sub_epi32(_mm256_permute2x128_si256(low, high, 0x20), centre_row);
        const __m256i dcolumn =
            _mm256_sub_epi32(_mm256_permute2x128_si256(low, high, 0x31), centre_column);
        const __m256i d = _mm256_add_epi32(_mm256_abs_epi32(drow), _mm256_abs_epi32(dcolumn));
        const __m256i at_centre = _mm256_cmpeq_epi32(d, zero);
        if (*same < 0)
            if (const auto mask =
                    static_cast<uint32_t>(_mm256_movemask_ps(_mm256_castsi256_ps(at_centre))))
                *same = k + __builtin_ctz(mask);
        // mst1_octant_of, lane by lane.
        const __m256i first =
            _mm256_andnot_si256(_mm256_cmpgt_epi32(zero, dcolumn), _mm256_cmpgt_epi32(drow, zero));
        const __m256i second = _mm256_andnot_si256(first, _mm256_cmpgt_epi32(dcolumn, zero));
        const __m256i third =
            _mm256_andnot_si256(_mm256_or_si256(first, second), _mm256_cmpgt_epi32(zero, drow));
        const __m256i minus_row = _mm256_sub_epi32(zero, drow);
        const __m256i minus_column = _mm256_sub_epi32(zero, dcolumn);
        __m256i quadrant = _mm256_set1_epi32(3);
        quadrant = _mm256_blendv_epi8(quadrant, _mm256_set1_epi32(2), third);
        quadrant = _mm256_blendv_epi8(quadrant, _mm256_set1_epi32(1), second);
        quadrant = _mm256_blendv_epi8(quadrant, zero, first);
        __m256i u = _mm256_blendv_epi8(minus_column, minus_row, third);
        u = _mm256_blendv_epi8(u, dcolumn, second);
        u = _mm256_blendv_epi8(u, drow, first);
        __m256i v = _mm256_blendv_epi8(drow, minus_column, third);
        v = _mm256_blendv_epi8(v, minus_row, second);
        v = _mm256_blendv_epi8(v, dcolumn, first);
        const __m256i octant =
            _mm256_add_epi32(_mm256_add_epi32(quadrant, quadrant),
                             _mm256_andnot_si256(_mm256_cmpgt_epi32(u, v), _mm256_set1_epi32(1)));
        // A point at centre's place lies in no octant: its octant becomes 8.
        const __m256i lane_octant = _mm256_or_si256(octant, _mm256_and_si256(at_centre, step));
        for (int o = 0; o < 8; o++) {
            const __m256i closer =
                _mm256_and_si256(_mm256_cmpeq_epi32(lane_octant, _mm256_set1_epi32(o)),
                                 _mm256_cmpgt_epi32(best[o], d));
            best[o] = _mm256_blendv_epi8(best[o], d, closer);
            which[o] = _mm256_blendv_epi8(which[o], index, closer);
        }
    }
    // The least distance over the lanes, then the least index among the
    // lanes at it.
    for (size_t o = 0; o < 8; o++) {
        const int32_t nearest = least_lane(best[o]);
        if (nearest == INT32_MAX)
            continue;
        const int32_t first =
            least_lane(_mm256_blendv_epi8(_mm256_set1_epi32(INT32_MAX), which[o],
                                          _mm256_cmpeq_epi32(best[o], _mm256_set1_epi32(nearest))));
        least[o] = static_cast<uint64_t>(nearest) << 32 | static_cast<uint32_t>(first);
    }
    return k;
}

// Below this many points the lanes' setting up and meeting cost more than
// the scan they save.
constexpr int32_t SCAN_VECTORS_FROM = 32;
#endif

// Up to this many points, octant neighbours come from every pair taken once.
constexpr int32_t PAIRS_MAX = 31;

// mst1_octant_neighbours for n of at most PAIRS_MAX: q lies in octant o of p
// exactly when p lies in the opposite octant, o ^ 4, of q (the octants are
// those of a quarter turn repeated), so each pair is measured once for both.
void octant_pairs(int32_t n, const Point *points, int32_t *nearest) {
    uint64_t least[8 * PAIRS_MAX];
    const auto count = static_cast<size_t>(n);
    std::fill(least, least + 8 * count, UINT64_MAX);
    for (size_t p = 0; p < count; p++)
        for (size_t q = p + 1; q < count; q++) {
            const int32_t drow = points[q].row - points[p].row;
            const int32_t dcolumn = points[q].column - points[p].column;
            if (drow == 0 && dcolumn == 0)
                continue;
            const auto d = static_cast<uint64_t>(rect_dist_points(points[p], points[q])) << 32;
            const auto o = static_cast<size_t>(mst1_octant_of(drow, dcolumn));
            uint64_t &at_p = least[8 * p + o];
            uint64_t &at_q = least[8 * q + (o ^ 4)];
            at_p = std::min(at_p, d | q);
            at_q = std::min(at_q, d | p);
        }
    for (size_t k = 0; k < 8 * count; k++)
        nearest[k] = least[k] == UINT64_MAX ? -1 : static_cast<int32_t>(least[k] & 0xffffffffu);
}

} // namespace

int32_t mst1_octant_scan(int32_t n, const Point *points, const Point &centre, int32_t *nearest,
                         int32_t *distance) {
    // Per octant the least distance and index as one word, the distance
    // above: the lowest index among equally near points without a branch.
    uint64_t least[8];
    std::fill(least, least + 8, UINT64_MAX);
    int32_t same = -1;
    int32_t k = 0;
#if defined(__x86_64__) || defined(__i386__)
    if (n >= SCAN_VECTORS_FROM && mst1_avx2())
        k = octant_scan_avx2(n, points, centre, least, &same);
#endif
    for (; k < n; k++) {
        const int32_t drow = points[k].row - centre.row;
        const int32_t dcolumn = points[k].column - centre.column;
        if (drow == 0 && dcolumn == 0) {
            same = same < 0 ? k : same;
            continue;
        }
        const auto d = static_cast<uint64_t>(rect_dist_points(points[k], centre));
        uint64_t &slot = least[mst1_octant_of(drow, dcolumn)];
        slot = std::min(slot, d << 32 | static_cast<uint32_t>(k));
    }
    for (size_t o = 0; o < 8; o++) {
        const bool empty = least[o] == UINT64_MAX;
        nearest[o] = empty ? -1 : static_cast<int32_t>(least[o] & 0xffffffffu);
        distance[o] = empty ? -1 : static_cast<int32_t>(least[o] >> 32);
    }
    return same;
}

int32_t mst1_octant_neighbours(int32_t n, const Point *points, int32_t *nearest, Mst1Stop stop) {
    if (n < 1)
        return 0;
    // A few points are quicker compared pairwise than swept.
    if (n <= PAIRS_MAX) {
        octant_pairs(n, points, nearest);
        return 0;
    }
    if (n <= OCTANT_SCAN_MAX) {
        int32_t distance[8];
        for (int32_t k = 0; k < n; k++)
            mst1_octant_scan(n, points, points[k], nearest + 8 * static_cast<size_t>(k), distance);
        return 0;
    }
    const auto count = static_cast<size_t>(n);
    // The scratch block starts with 8-byte words, so the two arrays before it
    // are padded to a multiple of 8 bytes.
    const size_t arrays = (2 * count * sizeof(int32_t) + 7) / 8 * 8;
    auto *block = static_cast<char *>(malloc(arrays + octant_scratch_bytes(n)));
    if (block == nullptr)
        return -1;
    auto *lowest = reinterpret_cast<int32_t *>(block);
    int32_t *place_of = lowest + count;
    size_t bytes = 0;
    Scratch s = carve(n, block + arrays, &bytes);
    for (int32_t k = 0; k < n; k++)
        lowest[k] = k;
    int32_t root = 0;
    const int32_t m = fold_places(n, points, lowest, s, &root, stop);
    for (int32_t p = 0; p < m; p++)
        place_of[s.original[p]] = p;
    if (m < 0 || !find_octant_neighbours(m, s, stop)) {
        free(block);
        return MST1_STOPPED;
    }
    for (size_t k = 0; k < count; k++) {
        if (k % PLACES_PER_POLL == 0 && mst1_stop_seen(stop)) {
            free(block);
            return MST1_STOPPED;
        }
        const auto p = static_cast<size_t>(place_of[lowest[k]]);
        for (size_t o = 0; o < 8; o++) {
            const int32_t q = s.nearest[8 * p + o];
            nearest[8 * k + o] = q < 0 ? -1 : s.original[q];
        }
    }
    free(block);
    return 0;
}

} // namespace steiner::internal
