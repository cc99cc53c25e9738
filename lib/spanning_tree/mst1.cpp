// The package's non-reentrant face, for the console router only: the
// package-wide key buffer, the build that ends the process when memory runs
// out, the plain reference loop and the diagnostics.
#include "mst1.h"
#include "mst1_build.h"

#include <cstdio>
#include <cstdlib>

namespace steiner::internal {

namespace {

// Package-wide scratch keys: key[k] is point k's distance to the nearest joined
// point, and 0 once it is joined. Absent between builds.
int32_t *key_buffer = nullptr;
int32_t key_capacity = 0;

} // namespace

void mst1_package_init(int32_t n) {
    if (key_capacity >= n)
        return;
    void *grown = realloc(key_buffer, static_cast<size_t>(n) * sizeof(int32_t));
    if (grown == nullptr)
        fatal_error("Cannot allocate memory in mst1_package_init!");
    key_buffer = static_cast<int32_t *>(grown);
    key_capacity = n;
}

void mst1_package_release() {
    key_capacity = 0;
    if (key_buffer != nullptr) {
        free(key_buffer);
        key_buffer = nullptr;
    }
}

int64_t mst1_build_tree(int32_t n, const Point *points, int32_t *parent) {
    if (n < 1)
        return 0;
    mst1_package_init(n);
    const bool octant = n >= MST1_OCTANT_FROM;
    void *scratch =
        malloc(octant ? octant_scratch_bytes(n) : 4 * static_cast<size_t>(n) * sizeof(int32_t));
    if (scratch == nullptr)
        fatal_error("Cannot allocate memory in mst1_package_init!");
    const int64_t total = octant ? octant_build(n, points, parent, key_buffer, scratch, nullptr)
                                 : prim_build(n, points, parent, key_buffer,
                                              static_cast<int32_t *>(scratch), nullptr);
    free(scratch);
    mst1_package_release();
    return total;
}

void report_error(const char *message) {
    fprintf(stderr, "%s\n", message);
}

void fatal_error(const char *message) {
    fprintf(stderr, "%s\n", message);
    exit(1);
}

int64_t mst1_build_tree_reference(int32_t n, const Point *points, int32_t *parent) {
    if (n < 1)
        return 0;
    mst1_package_init(n);
    int32_t *key = key_buffer;
    const Point root = points[0];
    int32_t max_key = 0;
    for (int32_t i = 0; i < n; i++) {
        parent[i] = 0;
        key[i] = rect_dist(points[i].row, points[i].column, root.row, root.column);
        if (key[i] > max_key)
            max_key = key[i];
    }
    key[0] = 0;
    int64_t total = 0;
    for (int32_t iteration = 1; iteration < n; iteration++) {
        int32_t best = max_key + 1;
        int32_t index = -1;
        for (int32_t k = 0; k < n; k++) {
            if (key[k] != 0 && key[k] < best) {
                best = key[k];
                index = k;
            }
        }
        if (index < 0)
            break;
        total += best;
        key[index] = 0;
        const Point joined = points[index];
        for (int32_t k = 0; k < n; k++) {
            if (key[k] == 0)
                continue;
            int32_t d = rect_dist(points[k].row, points[k].column, joined.row, joined.column);
            if (d < key[k]) {
                key[k] = d;
                parent[k] = index;
            }
        }
    }
    mst1_package_release();
    return total;
}

} // namespace steiner::internal
