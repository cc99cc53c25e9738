// What makes a Tree a tree: the one check of every promise the header makes
// of one, and equality. Callers that take trees from outside the library (a
// stored copy, a language binding) check them here rather than trusting them.
#include "steiner/steiner.h"

#include "mst1.h"
#include "mst1_handle.h"

#include <algorithm>
#include <string>
#include <vector>

namespace steiner {

namespace {

std::string node_name(size_t k) {
    return "node " + std::to_string(k);
}

bool in_range(const Point &p) {
    return p.row >= coordinate_min && p.row <= coordinate_max && p.column >= coordinate_min &&
           p.column <= coordinate_max;
}

int64_t edge_length(const Point &a, const Point &b) {
    return internal::rect_dist_points(internal::Point{a.row, a.column},
                                      internal::Point{b.row, b.column});
}

// Parents in range, the root alone its own parent, and every node reaching
// the root: then the links are one tree.
std::string link_fault(const Tree &tree) {
    const size_t m = tree.nodes.size();
    if (tree.parents[0] != 0)
        return "node 0, the root, has parent " + std::to_string(tree.parents[0]) +
               "; it must be its own parent";
    for (size_t k = 1; k < m; k++) {
        const int32_t parent = tree.parents[k];
        if (parent < 0 || static_cast<size_t>(parent) >= m)
            return node_name(k) + " has parent " + std::to_string(parent) + ", which is not a node";
        if (static_cast<size_t>(parent) == k)
            return node_name(k) + " is its own parent; only node 0, the root, may be";
    }
    // 0: not yet seen, 1: on the path being followed, 2: reaches the root.
    std::vector<uint8_t> state(m, 0);
    state[0] = 2;
    std::vector<size_t> path;
    for (size_t k = 1; k < m; k++) {
        size_t at = k;
        while (state[at] == 0) {
            state[at] = 1;
            path.push_back(at);
            at = static_cast<size_t>(tree.parents[at]);
        }
        if (state[at] == 1)
            return node_name(k) + " never reaches the root: its parents form a cycle through " +
                   node_name(at);
        for (const size_t on : path)
            state[on] = 2;
        path.clear();
    }
    return "";
}

bool place_less(const Point &a, const Point &b) {
    return a.row != b.row ? a.row < b.row : a.column < b.column;
}

// Steiner points few enough, at places of their own, each joining three edges.
std::string steiner_point_fault(const Tree &tree) {
    const size_t m = tree.nodes.size();
    const size_t n = tree.terminal_count;
    std::vector<size_t> by_place(m);
    for (size_t k = 0; k < m; k++)
        by_place[k] = k;
    std::stable_sort(by_place.begin(), by_place.end(), [&tree](size_t a, size_t b) {
        return place_less(tree.nodes[a], tree.nodes[b]);
    });
    size_t places = 0;
    for (size_t j = 0; j < m; j++) {
        const size_t k = by_place[j];
        const bool new_place = j == 0 || tree.nodes[k] != tree.nodes[by_place[j - 1]];
        if (new_place) {
            places += k < n ? 1 : 0;
            continue;
        }
        // The sort is stable, so terminals come first at a shared place and
        // a Steiner point there follows a terminal or another Steiner point.
        if (k >= n) {
            const size_t before = by_place[j - 1];
            return "Steiner point " + node_name(k) + " lies on the place of " +
                   (before < n ? "terminal " : "Steiner point ") + node_name(before);
        }
    }
    const size_t allowed = std::max<size_t>(places, 2) - 2;
    if (m - n > allowed)
        return "the tree has " + std::to_string(m - n) +
               (m - n == 1 ? " Steiner point; its " : " Steiner points; its ") +
               std::to_string(places) + " distinct terminal places allow at most " +
               std::to_string(allowed);
    std::vector<size_t> degree(m, 0);
    for (size_t k = 1; k < m; k++) {
        degree[k]++;
        degree[static_cast<size_t>(tree.parents[k])]++;
    }
    for (size_t k = n; k < m; k++)
        if (degree[k] < 3)
            return "Steiner point " + node_name(k) + " has " + std::to_string(degree[k]) +
                   (degree[k] == 1 ? " edge" : " edges") + "; it needs at least three";
    return "";
}

int64_t spanning_length(const std::vector<Point> &nodes, size_t count) {
    std::vector<internal::Point> points(count);
    for (size_t k = 0; k < count; k++)
        points[k] = internal::Point{nodes[k].row, nodes[k].column};
    std::vector<int32_t> parents;
    return internal::mst1_build_tree_into(points, &parents);
}

std::string length_fault(const Tree &tree) {
    const size_t m = tree.nodes.size();
    int64_t sum = 0;
    for (size_t k = 1; k < m; k++)
        sum += edge_length(tree.nodes[k], tree.nodes[static_cast<size_t>(tree.parents[k])]);
    if (sum != tree.length)
        return "the edges add up to " + std::to_string(sum) + ", not to length " +
               std::to_string(tree.length);
    if (tree.length > tree.rmst_length)
        return "length " + std::to_string(tree.length) + " exceeds rmst_length " +
               std::to_string(tree.rmst_length);
    const int64_t nodes_length = spanning_length(tree.nodes, m);
    if (nodes_length != tree.length)
        return "length " + std::to_string(tree.length) +
               " is not that of a minimum spanning tree of the nodes, " +
               std::to_string(nodes_length);
    const int64_t terminals_length = spanning_length(tree.nodes, tree.terminal_count);
    if (terminals_length != tree.rmst_length)
        return "rmst_length " + std::to_string(tree.rmst_length) +
               " is not the length of the terminals' minimum spanning tree, " +
               std::to_string(terminals_length);
    return "";
}

} // namespace

bool operator==(const Tree &a, const Tree &b) {
    return a.terminal_count == b.terminal_count && a.length == b.length &&
           a.rmst_length == b.rmst_length && a.nodes == b.nodes && a.parents == b.parents;
}

bool operator!=(const Tree &a, const Tree &b) {
    return !(a == b);
}

std::string tree_fault(const Tree &tree) {
    const size_t m = tree.nodes.size();
    if (tree.parents.size() != m)
        return "the tree has " + std::to_string(m) + " nodes but " +
               std::to_string(tree.parents.size()) + " parents";
    if (tree.terminal_count == 0)
        return "the tree has no terminal";
    if (tree.terminal_count > m)
        return "terminal_count is " + std::to_string(tree.terminal_count) + " but the tree has " +
               std::to_string(m) + " nodes";
    if (tree.terminal_count > max_terminals)
        return "the tree has " + std::to_string(tree.terminal_count) +
               " terminals; at most 1073741823 are allowed";
    for (size_t k = 0; k < m; k++)
        if (!in_range(tree.nodes[k]))
            return node_name(k) + " (row " + std::to_string(tree.nodes[k].row) + ", column " +
                   std::to_string(tree.nodes[k].column) +
                   ") lies outside the coordinate range -536870911 to 536870911";
    std::string fault = link_fault(tree);
    if (fault.empty())
        fault = steiner_point_fault(tree);
    if (fault.empty())
        fault = length_fault(tree);
    return fault;
}

} // namespace steiner
