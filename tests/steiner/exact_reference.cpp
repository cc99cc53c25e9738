#include "exact_reference.h"

#include <algorithm>
#include <stdexcept>

namespace exact_reference {

namespace {

int64_t distance(const steiner::Point &a, const steiner::Point &b) {
    const int64_t rows = int64_t{a.row} - b.row;
    const int64_t columns = int64_t{a.column} - b.column;
    return (rows < 0 ? -rows : rows) + (columns < 0 ? -columns : columns);
}

bool before(const steiner::Point &a, const steiner::Point &b) {
    return a.row != b.row ? a.row < b.row : a.column < b.column;
}

bool same(const steiner::Point &a, const steiner::Point &b) {
    return a.row == b.row && a.column == b.column;
}

} // namespace

// Some minimal tree has all its Steiner points on the Hanan grid (every
// terminal row crossed with every terminal column), and the shortest path
// between two grid points along grid lines is their rectilinear distance. So
// the Dreyfus-Wagner recurrence over the grid points, with plain distances
// standing in for shortest paths, gives the exact length:
//   best[S][v] = the shortest tree joining the terminals in S and grid point v.
int64_t steiner_length(const std::vector<steiner::Point> &terminals) {
    std::vector<steiner::Point> net = terminals;
    std::sort(net.begin(), net.end(), before);
    net.erase(std::unique(net.begin(), net.end(), same), net.end());
    if (net.empty())
        throw std::invalid_argument("exact_reference: the net has no terminals");
    if (net.size() > max_terminals)
        throw std::invalid_argument("exact_reference: too many terminals");
    if (net.size() == 1)
        return 0;

    std::vector<steiner::Point> grid;
    for (const steiner::Point &r : net)
        for (const steiner::Point &c : net)
            grid.push_back(steiner::Point{r.row, c.column});
    const size_t points = grid.size();

    // The last terminal is where every tree is finally joined, so subsets
    // range over the others only.
    const size_t k = net.size() - 1;
    const size_t subsets = size_t{1} << k;
    std::vector<std::vector<int64_t>> best(subsets, std::vector<int64_t>(points, INT64_MAX));
    for (size_t t = 0; t < k; t++)
        for (size_t v = 0; v < points; v++)
            best[size_t{1} << t][v] = distance(net[t], grid[v]);

    std::vector<int64_t> merged(points);
    for (size_t set = 1; set < subsets; set++) {
        if ((set & (set - 1)) == 0)
            continue; // a single terminal, filled in above
        // Two subtrees meet at u...
        for (size_t u = 0; u < points; u++) {
            merged[u] = INT64_MAX;
            for (size_t part = (set - 1) & set; part > 0; part = (part - 1) & set)
                merged[u] = std::min(merged[u], best[part][u] + best[set ^ part][u]);
        }
        // ...and a path leads from u to v.
        for (size_t v = 0; v < points; v++)
            for (size_t u = 0; u < points; u++)
                best[set][v] = std::min(best[set][v], merged[u] + distance(grid[u], grid[v]));
    }
    const steiner::Point &last = net[k];
    int64_t length = INT64_MAX;
    for (size_t v = 0; v < points; v++)
        length = std::min(length, best[subsets - 1][v] + distance(grid[v], last));
    return length;
}

} // namespace exact_reference
