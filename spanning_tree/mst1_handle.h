// The tree package for C++ callers that report running out of memory by
// throwing std::bad_alloc: an owning handle for the incremental tree and a
// build into a vector.
#ifndef STEINER_MST1_HANDLE_H
#define STEINER_MST1_HANDLE_H

#include "mst1.h"

#include <cstdint>
#include <memory>
#include <new>
#include <vector>

namespace steiner::internal {

struct Mst1DynamicDeleter {
    void operator()(Mst1Dynamic *tree) const {
        mst1_dynamic_destroy(tree);
    }
};
using Mst1DynamicPtr = std::unique_ptr<Mst1Dynamic, Mst1DynamicDeleter>;

// An empty incremental tree over points, which must outlive it unchanged.
inline Mst1DynamicPtr mst1_dynamic_make(const std::vector<Point> &points) {
    Mst1DynamicPtr tree(mst1_dynamic_create(static_cast<int32_t>(points.size()), points.data()));
    if (tree == nullptr)
        throw std::bad_alloc();
    return tree;
}

// The minimum spanning tree of points, node 0 the root: *parent filled,
// length returned.
inline int64_t mst1_build_tree_into(const std::vector<Point> &points,
                                    std::vector<int32_t> *parent) {
    parent->resize(points.size());
    const int64_t length = mst1_build_tree_reentrant(static_cast<int32_t>(points.size()),
                                                     points.data(), parent->data());
    if (length < 0)
        throw std::bad_alloc();
    return length;
}

} // namespace steiner::internal

#endif
