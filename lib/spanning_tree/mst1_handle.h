// The tree package for C++ callers that report running out of memory by
// throwing std::bad_alloc, and a call given up for its stop flag by throwing
// Stopped: an owning handle for the incremental tree and a build into a
// vector.
#ifndef STEINER_MST1_HANDLE_H
#define STEINER_MST1_HANDLE_H

#include "mst1.h"

#include <cstdint>
#include <exception>
#include <memory>
#include <new>
#include <vector>

namespace steiner::internal {

// A call that gave up because its caller's stop flag was set.
struct Stopped : std::exception {
    const char *what() const noexcept override {
        return "stopped";
    }
};

// Throws Stopped when tree has given up a step for its stop flag.
inline void mst1_dynamic_check(const Mst1Dynamic *tree) {
    if (mst1_dynamic_stopped(tree))
        throw Stopped();
}

struct Mst1DynamicDeleter {
    void operator()(Mst1Dynamic *tree) const {
        mst1_dynamic_destroy(tree);
    }
};
using Mst1DynamicPtr = std::unique_ptr<Mst1Dynamic, Mst1DynamicDeleter>;

// An empty incremental tree over points, which must outlive it unchanged,
// as is the flag stop.
inline Mst1DynamicPtr mst1_dynamic_make(const std::vector<Point> &points, Mst1Stop stop = nullptr) {
    Mst1DynamicPtr tree(
        mst1_dynamic_create(static_cast<int32_t>(points.size()), points.data(), stop));
    if (tree == nullptr)
        throw std::bad_alloc();
    mst1_dynamic_check(tree.get());
    return tree;
}

// mst1_dynamic_start, throwing Stopped for its flag.
inline int64_t mst1_dynamic_begin(Mst1Dynamic *tree, int32_t count) {
    const int64_t length = mst1_dynamic_start(tree, count);
    mst1_dynamic_check(tree);
    return length;
}

// The minimum spanning tree of points, node 0 the root: *parent filled,
// length returned.
inline int64_t mst1_build_tree_into(const std::vector<Point> &points, std::vector<int32_t> *parent,
                                    Mst1Stop stop = nullptr) {
    parent->resize(points.size());
    const int64_t length = mst1_build_tree_reentrant(static_cast<int32_t>(points.size()),
                                                     points.data(), parent->data(), stop);
    if (length == MST1_STOPPED)
        throw Stopped();
    if (length < 0)
        throw std::bad_alloc();
    return length;
}

} // namespace steiner::internal

#endif
