#include "tree_properties.h"

#include <algorithm>
#include <string>

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

std::vector<std::string> broken(const std::vector<steiner::Point> &net, const steiner::Tree &tree,
                                bool stepwise) {
    const std::string fault = steiner::tree_fault(tree);
    if (!fault.empty())
        return {fault};
    const size_t n = net.size();
    const size_t nodes = tree.nodes.size();
    std::vector<std::string> faults;
    if (tree.terminal_count != n || !std::equal(net.begin(), net.end(), tree.nodes.begin()))
        return {"terminals first in input order"};
    // A stepwise tree's Steiner points each shorten it against the nodes
    // before them; other trees promise no order.
    if (!stepwise)
        return faults;
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
    if (first < nodes)
        faults.push_back("a stepwise tree's Steiner points each shorten it in turn");
    return faults;
}

} // namespace tree_properties
