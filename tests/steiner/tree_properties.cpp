#include "tree_properties.h"

#include <algorithm>

namespace tree_properties {

int64_t distance(const steiner::Point &a, const steiner::Point &b) {
    const int64_t rows = int64_t{a.row} - b.row;
    const int64_t columns = int64_t{a.column} - b.column;
    return (rows < 0 ? -rows : rows) + (columns < 0 ? -columns : columns);
}

int64_t spanning_length(const std::vector<steiner::Point> &points) {
    const size_t n = points.size();
    std::vector<int64_t> key(n, INT64_MAX);
    std::vector<bool> joined(n, false);
    int64_t total = 0;
    if (n > 0)
        key[0] = 0;
    for (size_t step = 0; step < n; step++) {
        size_t next = n;
        for (size_t k = 0; k < n; k++)
            if (!joined[k] && (next == n || key[k] < key[next]))
                next = k;
        joined[next] = true;
        total += key[next];
        for (size_t k = 0; k < n; k++)
            if (!joined[k])
                key[k] = std::min(key[k], distance(points[k], points[next]));
    }
    return total;
}

std::vector<const char *> broken(const std::vector<steiner::Point> &net, const steiner::Tree &tree,
                                 bool stepwise) {
    const size_t n = net.size();
    const size_t nodes = tree.nodes.size();
    if (tree.terminal_count != n || nodes < n || tree.parents.size() != nodes)
        return {"node and parent counts"};
    for (size_t k = 0; k < nodes; k++)
        if (tree.parents[k] < 0 || static_cast<size_t>(tree.parents[k]) >= nodes)
            return {"parents in range"};
    if (tree.parents[0] != 0)
        return {"root is its own parent"};
    for (size_t k = 1; k < nodes; k++) {
        size_t at = k;
        for (size_t steps = 0; at != 0; steps++) {
            if (steps == nodes)
                return {"every node reaches the root"};
            at = static_cast<size_t>(tree.parents[at]);
        }
    }

    std::vector<const char *> faults;
    for (size_t k = 0; k < n; k++)
        if (tree.nodes[k].row != net[k].row || tree.nodes[k].column != net[k].column) {
            faults.push_back("terminals first in input order");
            break;
        }
    // A minimal tree never needs more; with more, some Steiner point is idle.
    if (nodes - n > std::max<size_t>(n, 2) - 2)
        faults.push_back("at most n-2 Steiner points");

    int64_t sum = 0;
    std::vector<size_t> degree(nodes, 0);
    for (size_t k = 1; k < nodes; k++) {
        const auto parent = static_cast<size_t>(tree.parents[k]);
        sum += distance(tree.nodes[k], tree.nodes[parent]);
        degree[k]++;
        degree[parent]++;
    }
    if (sum != tree.length)
        faults.push_back("edges add up to the length");
    if (std::any_of(degree.begin() + static_cast<std::ptrdiff_t>(n), degree.end(),
                    [](size_t d) { return d < 3; }))
        faults.push_back("Steiner points of degree 3 or more");
    if (tree.length > tree.rmst_length)
        faults.push_back("no longer than the spanning tree");
    if (tree.rmst_length != spanning_length(net))
        faults.push_back("rmst_length is the terminals' spanning tree");
    // The Steiner points that shorten the tree one at a time come first, each
    // shortening it against the nodes before it; the rest, if any, shorten it
    // only together: none of them alone shortens the first ones' tree.
    std::vector<steiner::Point> before(tree.nodes.begin(),
                                       tree.nodes.begin() + static_cast<std::ptrdiff_t>(n));
    size_t first = n;
    int64_t prefix = spanning_length(before);
    for (; first < nodes; first++) {
        before.push_back(tree.nodes[first]);
        const int64_t with = spanning_length(before);
        before.pop_back();
        if (with >= prefix)
            break;
        before.push_back(tree.nodes[first]);
        prefix = with;
    }
    if (stepwise && first < nodes)
        faults.push_back("a stepwise tree's Steiner points each shorten it in turn");
    for (size_t k = first; k < nodes; k++) {
        before.push_back(tree.nodes[k]);
        const bool shortens = spanning_length(before) < prefix;
        before.pop_back();
        if (shortens) {
            faults.push_back("Steiner points that shorten the tree one at a time come first");
            break;
        }
    }
    return faults;
}

} // namespace tree_properties
