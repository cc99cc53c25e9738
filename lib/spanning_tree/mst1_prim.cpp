// The reentrant builds: every scratch array is the call's own.
#include "mst1.h"
#include "mst1_build.h"
#include "mst1_small.h"

#include <algorithm>
#include <cstdlib>

namespace steiner::internal {

namespace {

// Points per block of a Prim pass. The pass keeps each block's smallest key
// on the fly; only the block holding the overall smallest is scanned again for
// its first position, which keeps the lowest-index rule without carrying
// indices through the vector loop.
constexpr int32_t PASS_BLOCK = 1024;

// The points still waiting to join, packed in index order so that a pass
// touches only them; order is kept so that the first smallest key is still
// the lowest index. Position k holds point id[k].
struct Waiting {
    int32_t *row;    // rows, apart from columns so that a pass uses plain vector loads
    int32_t *column; // columns
    int32_t *key;    // distance to the tree; 0 once joined
    int32_t *parent; // nearest joined point so far
    int32_t *id;     // index in the caller's arrays
    int32_t count;   // positions in use
};

// One pass of Prim's algorithm: relaxes every waiting key against the point
// that joined last and returns the first position holding the smallest
// nonzero key, or -1 when no key is nonzero.
inline __attribute__((always_inline)) int32_t
prim_pass_body(const Waiting &w, int32_t joined, int32_t joined_row, int32_t joined_column) {
    uint32_t least = UINT32_MAX;
    int32_t least_block = 0;
    for (int32_t first = 0; first < w.count; first += PASS_BLOCK) {
        int32_t last = w.count - first < PASS_BLOCK ? w.count : first + PASS_BLOCK;
        uint32_t block_least = relax_block(first, last, w.row, w.column, w.key, w.parent, joined,
                                           joined_row, joined_column);
        if (block_least < least) {
            least = block_least;
            least_block = first;
        }
    }
    if (least == UINT32_MAX)
        return -1;
    int32_t k = least_block;
    while (candidate_of(w.key[k]) != least)
        k++;
    return k;
}

#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("avx512f"))) int32_t
prim_pass_avx512(const Waiting &w, int32_t joined, int32_t joined_row, int32_t joined_column) {
    return prim_pass_body(w, joined, joined_row, joined_column);
}

__attribute__((target("avx2"))) int32_t prim_pass_avx2(const Waiting &w, int32_t joined,
                                                       int32_t joined_row, int32_t joined_column) {
    return prim_pass_body(w, joined, joined_row, joined_column);
}
#endif

int32_t prim_pass_generic(const Waiting &w, int32_t joined, int32_t joined_row,
                          int32_t joined_column) {
    return prim_pass_body(w, joined, joined_row, joined_column);
}

using PrimPass = int32_t (*)(const Waiting &, int32_t, int32_t, int32_t);

// The default build targets any x86-64; wider vectors are used only where the
// processor has them.
PrimPass choose_prim_pass() {
#if defined(__x86_64__) || defined(__i386__)
    if (MST1_VECTOR_LOOPS && __builtin_cpu_supports("avx512f"))
        return prim_pass_avx512;
    if (mst1_avx2())
        return prim_pass_avx2;
#endif
    return prim_pass_generic;
}

// Joins between two looks at the stop flag: a pass over the few thousand
// points this loop serves takes a microsecond or two.
constexpr int32_t JOINS_PER_POLL = 256;

// Drops the joined points (key 0) from w, writing their final parents out.
void pack_waiting(Waiting *w, int32_t *parent) {
    int32_t kept = 0;
    for (int32_t k = 0; k < w->count; k++) {
        if (w->key[k] == 0) {
            parent[w->id[k]] = w->parent[k];
            continue;
        }
        w->row[kept] = w->row[k];
        w->column[kept] = w->column[k];
        w->key[kept] = w->key[k];
        w->parent[kept] = w->parent[k];
        w->id[kept] = w->id[k];
        kept++;
    }
    w->count = kept;
}

} // namespace

int64_t prim_build(int32_t n, const Point *points, int32_t *parent, int32_t *key, int32_t *scratch,
                   Mst1Stop stop) {
    // A handful of points span in vector registers, with the same parents;
    // packed arrays and a pass per join through a pointer cost more than the
    // distances there.
    if (n <= static_cast<int32_t>(Mst1Small::capacity)) {
        Mst1Small small;
        for (int32_t k = 0; k < n; k++)
            small.push(points[k]);
        const int64_t total = small.length();
        std::copy(small.parents(), small.parents() + n, parent);
        return total;
    }
    Waiting w{scratch,
              scratch + n,
              key,
              scratch + 2 * static_cast<size_t>(n),
              scratch + 3 * static_cast<size_t>(n),
              n};
    for (int32_t k = 0; k < n; k++) {
        w.row[k] = points[k].row;
        w.column[k] = points[k].column;
        // Above every distance, so that the first pass sets each key to the
        // distance from the root.
        w.key[k] = INT32_MAX;
        w.parent[k] = 0;
        w.id[k] = k;
    }
    w.key[0] = 0;
    PrimPass pass = choose_prim_pass();
    int64_t total = 0;
    int32_t joined = 0;
    Point at = points[0];
    int32_t joined_since_pack = 0;
    int32_t joins = 0;
    // Coincident points join at length 0 without being selected, so fewer
    // selections than points can end the build.
    for (int32_t k = pass(w, joined, at.row, at.column); k >= 0;
         k = pass(w, joined, at.row, at.column)) {
        if (++joins % JOINS_PER_POLL == 0 && mst1_stop_seen(stop))
            return MST1_STOPPED;
        total += w.key[k];
        w.key[k] = 0;
        joined = w.id[k];
        at = Point{w.row[k], w.column[k]};
        // Packing costs about one pass, so it pays once an eighth of the
        // positions are spent.
        if (++joined_since_pack >= w.count / 8) {
            pack_waiting(&w, parent);
            joined_since_pack = 0;
        }
    }
    for (int32_t k = 0; k < w.count; k++)
        parent[w.id[k]] = w.parent[k];
    return total;
}

int64_t mst1_build_tree_octant(int32_t n, const Point *points, int32_t *parent, Mst1Stop stop) {
    if (n < 1)
        return 0;
    // The scratch block starts with 8-byte words, so the keys before it are
    // padded to a multiple of 8 bytes.
    const size_t keys = (static_cast<size_t>(n) * sizeof(int32_t) + 7) / 8 * 8;
    void *scratch = malloc(keys + octant_scratch_bytes(n));
    if (scratch == nullptr)
        return -1;
    const int64_t total = octant_build(n, points, parent, static_cast<int32_t *>(scratch),
                                       static_cast<char *>(scratch) + keys, stop);
    free(scratch);
    return total;
}

int64_t mst1_build_tree_reentrant(int32_t n, const Point *points, int32_t *parent, Mst1Stop stop) {
    if (n < 1)
        return 0;
    if (n >= MST1_OCTANT_FROM)
        return mst1_build_tree_octant(n, points, parent, stop);
    auto *scratch = static_cast<int32_t *>(malloc(5 * static_cast<size_t>(n) * sizeof(int32_t)));
    if (scratch == nullptr)
        return -1;
    const int64_t total =
        prim_build(n, points, parent, scratch + 4 * static_cast<size_t>(n), scratch, stop);
    free(scratch);
    return total;
}

} // namespace steiner::internal
