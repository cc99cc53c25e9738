// Some minimal tree has all its Steiner points on the Hanan grid (every
// terminal row crossed with every terminal column), and a path along grid
// lines between two grid points is as short as their distance. So the
// Dreyfus-Wagner recurrence over the grid is exact: best[S][v], the shortest
// tree joining the terminals of S and grid point v, is either two such trees
// for a split of S meeting at v, or one of them at a grid point u with the
// path from u to v. The second is a distance transform, done along each row
// and then each column, as the distance is the sum of the two moves.
#include "exact.h"

#include <algorithm>
#include <cstdlib>

namespace steiner::internal {

namespace {

// Above every tree length in the accepted range, and safe to add twice.
constexpr int64_t FAR = INT64_MAX / 4;

bool point_less(const Point &a, const Point &b) {
    return a.row != b.row ? a.row < b.row : a.column < b.column;
}

bool point_equal(const Point &a, const Point &b) {
    return a.row == b.row && a.column == b.column;
}

// The grid and the recurrence's table.
struct Grid {
    std::vector<int32_t> rows;    // distinct terminal rows, ascending
    std::vector<int32_t> columns; // distinct terminal columns, ascending
    size_t width;                 // columns.size()
    size_t nodes;                 // rows.size() * width; node = row index * width + column index
    std::vector<int64_t> best;    // best[mask * nodes + v]

    Point point(size_t v) const {
        return Point{rows[v / width], columns[v % width]};
    }
    size_t node(const Point &p) const {
        const auto r =
            static_cast<size_t>(std::lower_bound(rows.begin(), rows.end(), p.row) - rows.begin());
        const auto c = static_cast<size_t>(
            std::lower_bound(columns.begin(), columns.end(), p.column) - columns.begin());
        return r * width + c;
    }
    const int64_t *at(size_t mask) const {
        return &best[mask * nodes];
    }
    int64_t *at(size_t mask) {
        return &best[mask * nodes];
    }
};

// The cheapest meeting of two subtrees of mask at v; FAR when mask is one
// terminal.
int64_t split(const Grid &grid, size_t mask, size_t v, size_t *part) {
    const size_t low = mask & (~mask + 1);
    int64_t least = FAR;
    for (size_t a = (mask - 1) & mask; a > 0; a = (a - 1) & mask) {
        if ((a & low) == 0)
            continue;
        const int64_t cost = grid.at(a)[v] + grid.at(mask ^ a)[v];
        if (cost < least) {
            least = cost;
            *part = a;
        }
    }
    return least;
}

// Lowers each value to a neighbour's along the line plus the gap, both ways.
void transform_line(int64_t *value, size_t count, size_t stride, const int32_t *line) {
    for (size_t k = 1; k < count; k++)
        value[k * stride] =
            std::min(value[k * stride], value[(k - 1) * stride] + (int64_t{line[k]} - line[k - 1]));
    for (size_t k = count - 1; k-- > 0;)
        value[k * stride] =
            std::min(value[k * stride], value[(k + 1) * stride] + (int64_t{line[k + 1]} - line[k]));
}

} // namespace

int64_t exact_steiner_tree(const Point *points, size_t count, std::vector<Point> *steiner) {
    std::vector<Point> net(points, points + count);
    std::sort(net.begin(), net.end(), point_less);
    net.erase(std::unique(net.begin(), net.end(), point_equal), net.end());
    steiner->clear();
    if (net.size() < 2)
        return 0;

    Grid grid;
    for (const Point &p : net) {
        grid.rows.push_back(p.row);
        grid.columns.push_back(p.column);
    }
    for (std::vector<int32_t> *line : {&grid.rows, &grid.columns}) {
        std::sort(line->begin(), line->end());
        line->erase(std::unique(line->begin(), line->end()), line->end());
    }
    grid.width = grid.columns.size();
    grid.nodes = grid.rows.size() * grid.width;
    // The last terminal is where every tree is finally joined, so masks range
    // over the others only.
    const size_t joined = net.size() - 1;
    const size_t masks = size_t{1} << joined;
    grid.best.assign(masks * grid.nodes, FAR);
    for (size_t t = 0; t < joined; t++)
        for (size_t v = 0; v < grid.nodes; v++)
            grid.at(size_t{1} << t)[v] = rect_dist_points(net[t], grid.point(v));
    for (size_t mask = 3; mask < masks; mask++) {
        if ((mask & (mask - 1)) == 0)
            continue;
        int64_t *out = grid.at(mask);
        const size_t low = mask & (~mask + 1);
        for (size_t a = (mask - 1) & mask; a > 0; a = (a - 1) & mask) {
            if ((a & low) == 0)
                continue;
            const int64_t *x = grid.at(a);
            const int64_t *y = grid.at(mask ^ a);
            for (size_t v = 0; v < grid.nodes; v++)
                out[v] = std::min(out[v], x[v] + y[v]);
        }
        for (size_t r = 0; r < grid.rows.size(); r++)
            transform_line(out + r * grid.width, grid.width, 1, grid.columns.data());
        for (size_t c = 0; c < grid.width; c++)
            transform_line(out + c, grid.rows.size(), grid.width, grid.rows.data());
    }
    const size_t root = grid.node(net[joined]);
    const int64_t length = grid.at(masks - 1)[root];

    // Back from the root: along a path while a neighbour's value plus the gap
    // accounts for a node's, to where two subtrees meet.
    std::vector<std::pair<size_t, size_t>> work{{masks - 1, root}};
    std::vector<size_t> meetings;
    while (!work.empty()) {
        auto [mask, v] = work.back();
        work.pop_back();
        if ((mask & (mask - 1)) == 0)
            continue;
        for (;;) {
            size_t part = 0;
            const int64_t value = grid.at(mask)[v];
            if (split(grid, mask, v, &part) == value) {
                meetings.push_back(v);
                work.emplace_back(part, v);
                work.emplace_back(mask ^ part, v);
                break;
            }
            const size_t r = v / grid.width;
            const size_t c = v % grid.width;
            const int64_t *here = grid.at(mask);
            // A value that no split gives came from a neighbour on a shortest
            // path from the split that gives it.
            if (c > 0 && here[v - 1] + (grid.columns[c] - grid.columns[c - 1]) == value)
                v = v - 1;
            else if (c + 1 < grid.width &&
                     here[v + 1] + (grid.columns[c + 1] - grid.columns[c]) == value)
                v = v + 1;
            else if (r > 0 && here[v - grid.width] + (grid.rows[r] - grid.rows[r - 1]) == value)
                v = v - grid.width;
            else
                v = v + grid.width;
        }
    }
    std::sort(meetings.begin(), meetings.end());
    meetings.erase(std::unique(meetings.begin(), meetings.end()), meetings.end());
    for (size_t v : meetings) {
        const Point p = grid.point(v);
        if (!std::binary_search(net.begin(), net.end(), p, point_less))
            steiner->push_back(p);
    }
    return length;
}

} // namespace steiner::internal
