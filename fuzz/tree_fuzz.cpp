// The tree package, fed arbitrary point lists in the accepted range with
// coincident points and ties common: the returned length is the length of the
// returned parent tree, every parent chain reaches the root, and the length is
// that of a minimum spanning tree, and the octant-graph build gives the same
// parents. The incremental tree, driven through adds,
// commits and rollbacks chosen by the same bytes, always reports the length of
// a full build over the points it holds.
#include "mst1.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

using namespace steiner::internal;

namespace {

void check(bool promise) {
    if (!promise)
        __builtin_trap();
}

// Plain Prim over 64-bit keys, sharing nothing with the package but the distance.
int64_t reference_length(const std::vector<Point> &points) {
    const size_t n = points.size();
    std::vector<int64_t> key(n, INT64_MAX);
    std::vector<bool> joined(n, false);
    key[0] = 0;
    int64_t total = 0;
    for (size_t step = 0; step < n; step++) {
        size_t best = n;
        for (size_t k = 0; k < n; k++) {
            if (!joined[k] && (best == n || key[k] < key[best]))
                best = k;
        }
        joined[best] = true;
        total += key[best];
        for (size_t k = 0; k < n; k++) {
            if (!joined[k])
                key[k] = std::min<int64_t>(key[k], rect_dist_points(points[k], points[best]));
        }
    }
    return total;
}

// Adds the points in order; after each add the bytes decide whether to commit,
// roll back or keep going.
void check_incremental(const std::vector<Point> &points, const uint8_t *data, size_t size) {
    const auto n = static_cast<int32_t>(std::min<size_t>(points.size(), 64));
    Mst1Dynamic *tree = mst1_dynamic_create(n, points.data());
    check(tree != nullptr);
    std::vector<Point> held;
    size_t committed = 0;
    std::vector<int32_t> parent(size_t(n) + 1);
    for (int32_t k = 0; k < n; k++) {
        const int64_t length = mst1_dynamic_add(tree, k);
        held.push_back(points[size_t(k)]);
        check(length ==
              mst1_build_tree(static_cast<int32_t>(held.size()), held.data(), parent.data()));
        const uint8_t choice = data[size_t(k) % size] >> 4;
        if (choice < 6) {
            mst1_dynamic_commit(tree);
            committed = held.size();
        } else if (choice < 10) {
            mst1_dynamic_rollback(tree);
            held.resize(committed);
            check(mst1_dynamic_length(tree) ==
                  mst1_build_tree(static_cast<int32_t>(held.size()), held.data(), parent.data()));
        }
    }
    mst1_dynamic_destroy(tree);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1)
        return 0;
    // The first byte picks the scale: a tiny grid where points often coincide,
    // or steps that reach the ends of the accepted range.
    const int32_t scale = data[0] % 2 == 0 ? 1 : MST1_COORD_MAX / 127;
    const int32_t grid = data[0] % 2 == 0 ? 1 + data[0] % 7 : 255;
    std::vector<Point> points;
    for (size_t k = 1; k + 1 < size && points.size() < 300; k += 2) {
        const int32_t row = (data[k] % grid - grid / 2) * scale;
        const int32_t column = (data[k + 1] % grid - grid / 2) * scale;
        points.push_back(Point{row, column});
    }
    if (points.empty())
        return 0;
    const auto n = static_cast<int32_t>(points.size());
    std::vector<int32_t> parent(points.size(), -1);
    const int64_t total = mst1_build_tree(n, points.data(), parent.data());

    check(parent[0] == 0);
    int64_t sum = 0;
    for (int32_t k = 1; k < n; k++) {
        const int32_t p = parent[size_t(k)];
        check(p >= 0 && p < n && p != k);
        sum += rect_dist_points(points[size_t(k)], points[size_t(p)]);
        int32_t at = k;
        for (int32_t steps = 0; at != 0; steps++) {
            check(steps < n);
            at = parent[size_t(at)];
        }
    }
    check(sum == total);
    check(total == reference_length(points));
    // Below its threshold the build runs the quadratic loop; the octant graph
    // must give the very same parents.
    std::vector<int32_t> octant_parent(points.size(), -1);
    check(mst1_build_tree_octant(n, points.data(), octant_parent.data()) == total);
    check(octant_parent == parent);
    check_incremental(points, data, size);
    return 0;
}
