// Steiner points for small nets: greedy growth over the whole screened Hanan
// grid with exact gains, restarted from several first choices.
//
// The tree is rebuilt from scratch (a dense Prim) whenever a point joins or
// leaves; while it is built, the longest edge on the tree path between every
// two points is filled in, since each joining point is a leaf of the tree so
// far. A candidate's gain then needs no trial insertion: the candidate can
// only gain edges to its nearest point in each octant, and over any set S of
// points the spanning tree changes by (spanning tree of S under longest-edge
// weights) minus (the same with the candidate and its edges added) -- the two
// graphs have the same components at every length threshold except where
// the candidate's edges merge them, in both in the same way.
#include "small.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

namespace steiner::internal {

namespace {

// A greedy that starts wrong rarely recovers, so on nets of up to
// FEW_TERMINALS growth starts from each of the FIRST_CHOICES best first
// points, keeping the shortest result; on larger nets the time is better
// spent elsewhere.
constexpr size_t FEW_TERMINALS = 12;
constexpr size_t FIRST_CHOICES = 4;

// Terminals near each terminal whose medians with it are candidates. Fewer
// miss Steiner points; more add candidates that seldom win.
constexpr size_t NEAREST = 6;

int32_t distance(const Point &a, const Point &b) {
    return std::abs(a.row - b.row) + std::abs(a.column - b.column);
}

bool point_less(const Point &a, const Point &b) {
    return a.row != b.row ? a.row < b.row : a.column < b.column;
}

bool point_equal(const Point &a, const Point &b) {
    return a.row == b.row && a.column == b.column;
}

// Weight of a minimum spanning tree of count (at most 9) points with edge
// weights weight[i][j]: a dense Prim on the stack over the points still
// waiting to join.
int64_t tiny_tree(size_t count, const int32_t (*weight)[9]) {
    int32_t key[9] = {};
    size_t waiting[9] = {};
    for (size_t k = 1; k < count; k++) {
        key[k] = weight[0][k];
        waiting[k - 1] = k;
    }
    int64_t total = 0;
    for (size_t left = count - 1; left > 0;) {
        size_t slot = 0;
        for (size_t s = 1; s < left; s++)
            slot = key[waiting[s]] < key[waiting[slot]] ? s : slot;
        const size_t next = waiting[slot];
        waiting[slot] = waiting[--left];
        total += key[next];
        for (size_t s = 0; s < left; s++) {
            const size_t k = waiting[s];
            key[k] = std::min(key[k], weight[next][k]);
        }
    }
    return total;
}

// The terminals and the Steiner points joined so far, with their minimum
// spanning tree (rooted at point 0) and the longest tree edge between every
// two points.
class Tree {
  public:
    Tree(std::vector<Point> terminals, size_t capacity)
        : points_(std::move(terminals)), terminals_(points_.size()), stride_(capacity),
          key_(capacity), parent_(capacity), waiting_(capacity), degree_(capacity),
          order_(capacity), first_child_(capacity + 1), children_(capacity), mark_(capacity, 0),
          longest_(capacity * capacity) {
        points_.reserve(capacity);
        rebuild();
    }

    bool full() const {
        return points_.size() == stride_;
    }
    size_t terminals() const {
        return terminals_;
    }
    int64_t length() const {
        return length_;
    }
    int degree(size_t k) const {
        return degree_[k];
    }

    // Adds c, which coincides with no point. The new tree holds the old one
    // and c's edges to its nearest point in each octant; each of those edges
    // after the shortest closes a cycle whose longest edge goes.
    void push(const Point &c) {
        int32_t near[8];
        size_t index[8];
        const size_t count = nearest(c, near, index);
        const size_t v = points_.size();
        points_.push_back(c);
        if (v == 0) {
            finish();
            return;
        }
        // At most eight entries: an insertion sort, shortest first, then by index.
        size_t by_length[8] = {};
        for (size_t i = 0; i < count; i++) {
            size_t at = i;
            for (; at > 0; at--) {
                const size_t j = by_length[at - 1];
                if (near[j] < near[i] || (near[j] == near[i] && index[j] < index[i]))
                    break;
                by_length[at] = j;
            }
            by_length[at] = i;
        }
        parent_[v] = index[by_length[0]];
        key_[v] = near[by_length[0]];
        length_ += near[by_length[0]];
        for (size_t i = 1; i < count; i++) {
            const size_t u = index[by_length[i]];
            const int32_t d = near[by_length[i]];
            stamp_++;
            for (size_t k = v;; k = parent_[k]) {
                mark_[k] = stamp_;
                if (k == 0)
                    break;
            }
            // Longest edge (named by its lower end) on the path from u up to
            // the meeting point, then from v up to it.
            size_t meet = u;
            size_t cut = u;
            int32_t widest = -1;
            for (; mark_[meet] != stamp_; meet = parent_[meet]) {
                if (key_[meet] > widest) {
                    widest = key_[meet];
                    cut = meet;
                }
            }
            bool cut_below_v = false;
            for (size_t k = v; k != meet; k = parent_[k]) {
                if (key_[k] > widest) {
                    widest = key_[k];
                    cut = k;
                    cut_below_v = true;
                }
            }
            if (widest <= d)
                continue;
            length_ += int64_t{d} - widest;
            // The part cut off hangs from the new edge: reverse the parent
            // links from its end of the new edge up to the cut.
            size_t previous = cut_below_v ? u : v;
            int32_t previous_key = d;
            for (size_t k = cut_below_v ? v : u;;) {
                const size_t up = parent_[k];
                const int32_t up_key = key_[k];
                parent_[k] = previous;
                key_[k] = previous_key;
                if (k == cut)
                    break;
                previous = k;
                previous_key = up_key;
                k = up;
            }
        }
        finish();
    }
    void erase(size_t k) {
        points_.erase(points_.begin() + static_cast<std::ptrdiff_t>(k));
        rebuild();
    }
    // Keeps the terminals and puts the given points after them.
    void assign(const std::vector<Point> &steiner) {
        points_.resize(terminals_);
        points_.insert(points_.end(), steiner.begin(), steiner.end());
        rebuild();
    }

    // How much the tree shortens when c joins (or 0 when it cannot); c
    // coincides with no point.
    int64_t gain(const Point &c) const {
        int32_t near[8];
        size_t index[8];
        const size_t count = nearest(c, near, index);
        // A point of degree two or less in the tree never shortens it.
        if (count < 3)
            return 0;
        // Node count stands for c.
        int32_t weight[9][9];
        // Each edge of c beyond its shortest takes out at most one tree edge,
        // no longer than the longest on a path from its end to another end:
        // a cheap bound that many points miss.
        int64_t bound = 0;
        size_t shortest = 0;
        for (size_t i = 0; i < count; i++) {
            const int32_t *row = &longest_[index[i] * stride_];
            int32_t widest = 0;
            for (size_t j = 0; j < count; j++) {
                weight[i][j] = row[index[j]];
                widest = std::max(widest, weight[i][j]);
            }
            weight[i][count] = near[i];
            weight[count][i] = near[i];
            bound += std::max(0, widest - near[i]);
            if (near[i] < near[shortest])
                shortest = i;
        }
        weight[count][count] = 0;
        if (bound - near[shortest] <= 0)
            return 0;
        const int64_t before = tiny_tree(count, weight);
        const int64_t after = tiny_tree(count + 1, weight);
        return before - after;
    }

  private:
    // The nearest point to c in each closed octant around it that holds one:
    // distances in near, points in index; returns how many.
    size_t nearest(const Point &c, int32_t *near, size_t *index) const {
        std::fill(near, near + 8, INT32_MAX);
        for (size_t k = 0; k < points_.size(); k++) {
            const int32_t rows = points_[k].row - c.row;
            const int32_t columns = points_[k].column - c.column;
            const int32_t row_span = std::abs(rows);
            const int32_t column_span = std::abs(columns);
            // Each point goes to one closed octant around c; within one, the
            // nearest point is never farther from the others than c is.
            const size_t octant =
                size_t{rows < 0} * 4 + size_t{columns < 0} * 2 + size_t{row_span < column_span};
            const int32_t d = row_span + column_span;
            if (d < near[octant]) {
                near[octant] = d;
                index[octant] = k;
            }
        }
        size_t count = 0;
        for (size_t o = 0; o < 8; o++) {
            if (near[o] != INT32_MAX) {
                near[count] = near[o];
                index[count] = index[o];
                count++;
            }
        }
        return count;
    }

    // Dense Prim from point 0 over a shrinking list of the points still
    // waiting to join.
    void rebuild() {
        const size_t m = points_.size();
        length_ = 0;
        size_t waiting = m == 0 ? 0 : m - 1;
        for (size_t k = 1; k < m; k++) {
            waiting_[k - 1] = k;
            key_[k] = distance(points_[0], points_[k]);
            parent_[k] = 0;
        }
        while (waiting > 0) {
            size_t slot = 0;
            int32_t best = key_[waiting_[0]];
            for (size_t s = 1; s < waiting; s++) {
                if (key_[waiting_[s]] < best) {
                    best = key_[waiting_[s]];
                    slot = s;
                }
            }
            const size_t next = waiting_[slot];
            waiting_[slot] = waiting_[--waiting];
            length_ += best;
            const Point joined = points_[next];
            for (size_t s = 0; s < waiting; s++) {
                const size_t k = waiting_[s];
                const int32_t d = distance(joined, points_[k]);
                if (d < key_[k]) {
                    key_[k] = d;
                    parent_[k] = next;
                }
            }
        }
        finish();
    }

    // Degrees, and the longest edge between every two points from the
    // parent links: in breadth-first order each point is a leaf of the
    // points before it, so its path to any of them runs through its parent.
    void finish() {
        const size_t m = points_.size();
        std::fill(degree_.begin(), degree_.begin() + static_cast<std::ptrdiff_t>(m), 0);
        std::fill(first_child_.begin(), first_child_.begin() + static_cast<std::ptrdiff_t>(m + 1),
                  size_t{0});
        for (size_t k = 1; k < m; k++) {
            degree_[k]++;
            degree_[parent_[k]]++;
            first_child_[parent_[k] + 1]++;
        }
        for (size_t k = 0; k < m; k++)
            first_child_[k + 1] += first_child_[k];
        for (size_t k = 1; k < m; k++)
            children_[first_child_[parent_[k]]++] = k;
        // first_child_[k] now ends k's children; the one before begins them.
        size_t filled = m == 0 ? 0 : 1;
        order_[0] = 0;
        for (size_t s = 0; s < filled; s++) {
            const size_t u = order_[s];
            for (size_t c = u == 0 ? 0 : first_child_[u - 1]; c < first_child_[u]; c++)
                order_[filled++] = children_[c];
        }
        if (m > 0)
            longest_[0] = 0;
        for (size_t step = 1; step < m; step++) {
            const size_t next = order_[step];
            const int32_t edge = key_[next];
            int32_t *row = &longest_[next * stride_];
            const int32_t *parent_row = &longest_[parent_[next] * stride_];
            for (size_t s = 0; s < step; s++) {
                const size_t u = order_[s];
                const int32_t value = std::max(parent_row[u], edge);
                row[u] = value;
                longest_[u * stride_ + next] = value;
            }
            row[next] = 0;
        }
    }

    std::vector<Point> points_;
    size_t terminals_;
    size_t stride_;
    int64_t length_ = 0;
    std::vector<int32_t> key_;    // length of the edge to the parent
    std::vector<size_t> parent_;  // point 0 is the root
    std::vector<size_t> waiting_; // points not yet joined, during a rebuild
    std::vector<int> degree_;
    std::vector<size_t> order_; // breadth-first from point 0
    std::vector<size_t> first_child_;
    std::vector<size_t> children_;
    std::vector<uint32_t> mark_; // stamp_ on the path from a new point up
    uint32_t stamp_ = 0;
    std::vector<int32_t> longest_; // stride_ x stride_
};

// Points of the Hanan grid of the distinct terminals (sorted by row, then
// column) that the router's screening accepts, in row, then column order.
// Per row and column extremes and corner counts answer each of its questions
// in constant time.
std::vector<Point> screened_grid(const std::vector<Point> &terminals) {
    std::vector<int32_t> rows;
    std::vector<int32_t> columns;
    for (const Point &t : terminals) {
        rows.push_back(t.row);
        columns.push_back(t.column);
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    std::sort(columns.begin(), columns.end());
    columns.erase(std::unique(columns.begin(), columns.end()), columns.end());
    const size_t height = rows.size();
    const size_t width = columns.size();

    // below[(i + 1) * (width + 1) + j + 1]: terminals in rows 0..i, columns 0..j.
    std::vector<int32_t> below((height + 1) * (width + 1), 0);
    std::vector<size_t> row_first(height, width);
    std::vector<size_t> row_last(height, 0);
    std::vector<size_t> column_first(width, height);
    std::vector<size_t> column_last(width, 0);
    std::vector<bool> occupied(height * width, false);
    for (const Point &t : terminals) {
        const auto i =
            static_cast<size_t>(std::lower_bound(rows.begin(), rows.end(), t.row) - rows.begin());
        const auto j = static_cast<size_t>(
            std::lower_bound(columns.begin(), columns.end(), t.column) - columns.begin());
        occupied[i * width + j] = true;
        below[(i + 1) * (width + 1) + j + 1]++;
        row_first[i] = std::min(row_first[i], j);
        row_last[i] = std::max(row_last[i], j);
        column_first[j] = std::min(column_first[j], i);
        column_last[j] = std::max(column_last[j], i);
    }
    for (size_t i = 1; i <= height; i++)
        for (size_t j = 1; j <= width; j++)
            below[i * (width + 1) + j] += below[(i - 1) * (width + 1) + j] +
                                          below[i * (width + 1) + j - 1] -
                                          below[(i - 1) * (width + 1) + j - 1];
    // Terminals in rows r0..r1-1 and columns c0..c1-1.
    const auto count = [&](size_t r0, size_t r1, size_t c0, size_t c1) {
        return below[r1 * (width + 1) + c1] - below[r0 * (width + 1) + c1] -
               below[r1 * (width + 1) + c0] + below[r0 * (width + 1) + c0];
    };

    std::vector<Point> grid;
    for (size_t i = 0; i < height; i++) {
        for (size_t j = 0; j < width; j++) {
            if (occupied[i * width + j])
                continue;
            const bool up = column_last[j] > i;
            const bool down = column_first[j] < i;
            const bool right = row_last[i] > j;
            const bool left = row_first[i] < j;
            // A row and a column neighbour, and a terminal in the closed
            // quadrant opposite them.
            const bool accepted = (up && left && count(0, i + 1, j, width) > 0) ||
                                  (up && right && count(0, i + 1, 0, j + 1) > 0) ||
                                  (down && left && count(i, height, j, width) > 0) ||
                                  (down && right && count(i, height, 0, j + 1) > 0);
            if (accepted)
                grid.push_back(Point{rows[i], columns[j]});
        }
    }
    return grid;
}

int32_t median3(int32_t a, int32_t b, int32_t c) {
    return std::max(std::min(a, b), std::min(std::max(a, b), c));
}

// Indices into grid (screened grid points in row, then column order) of the
// medians of every terminal and two of its NEAREST nearest terminals: where
// the shortest tree of three close terminals meets, and so where Steiner
// points that shorten the tree lie; a fraction of the grid.
std::vector<size_t> median_pool(const std::vector<Point> &terminals,
                                const std::vector<Point> &grid) {
    const size_t n = terminals.size();
    std::vector<bool> taken(grid.size(), false);
    const size_t kept = std::min(NEAREST, n - 1);
    for (size_t v = 0; v < n; v++) {
        // The kept nearest so far, by distance, then index.
        int32_t near[NEAREST];
        size_t index[NEAREST];
        size_t found = 0;
        for (size_t u = 0; u < n; u++) {
            if (u == v)
                continue;
            const int32_t d = distance(terminals[v], terminals[u]);
            if (found == kept && d >= near[kept - 1])
                continue;
            size_t at = found < kept ? found++ : kept - 1;
            for (; at > 0 && near[at - 1] > d; at--) {
                near[at] = near[at - 1];
                index[at] = index[at - 1];
            }
            near[at] = d;
            index[at] = u;
        }
        const Point &p = terminals[v];
        for (size_t a = 0; a < found; a++) {
            for (size_t b = a + 1; b < found; b++) {
                const Point &q = terminals[index[a]];
                const Point &r = terminals[index[b]];
                const Point m{median3(p.row, q.row, r.row), median3(p.column, q.column, r.column)};
                const auto at = std::lower_bound(grid.begin(), grid.end(), m, point_less);
                if (at != grid.end() && point_equal(*at, m))
                    taken[static_cast<size_t>(at - grid.begin())] = true;
            }
        }
    }
    std::vector<size_t> pool;
    for (size_t k = 0; k < grid.size(); k++)
        if (taken[k])
            pool.push_back(k);
    return pool;
}

// A candidate in contention: the largest gain leads, then the lowest index.
struct Ranked {
    int64_t gain;
    size_t index;
};

bool ranked_less(const Ranked &a, const Ranked &b) {
    return a.gain != b.gain ? a.gain < b.gain : a.index > b.index;
}

// The search's state: the tree, the screened grid and which grid points are
// in the tree (chosen[k] is the grid point of tree point terminals + k).
struct Search {
    Tree tree;
    std::vector<Point> grid;
    std::vector<bool> used;
    std::vector<size_t> chosen;
    std::vector<size_t> active;
    std::vector<Ranked> heap;

    void add(size_t candidate) {
        tree.push(grid[candidate]);
        used[candidate] = true;
        chosen.push_back(candidate);
    }

    void remove(size_t steiner) {
        used[chosen[steiner]] = false;
        chosen.erase(chosen.begin() + static_cast<std::ptrdiff_t>(steiner));
        tree.erase(tree.terminals() + steiner);
    }

    void reset(const std::vector<size_t> &points) {
        for (size_t c : chosen)
            used[c] = false;
        chosen = points;
        std::vector<Point> steiner;
        for (size_t c : chosen) {
            used[c] = true;
            steiner.push_back(grid[c]);
        }
        tree.assign(steiner);
    }

    // Gains of every free grid point against the current tree, the positive
    // ones in a heap.
    void measure() {
        heap.clear();
        for (size_t k : active) {
            if (used[k])
                continue;
            const int64_t gain = tree.gain(grid[k]);
            if (gain > 0)
                heap.push_back(Ranked{gain, k});
        }
        std::make_heap(heap.begin(), heap.end(), ranked_less);
    }

    // Keeps the grid point that shortens the tree most until none does. Gains
    // are re-measured lazily: the leader is measured afresh and kept while it
    // still leads the others' last measured gains. One more measurement
    // catches gains that rose when a neighbour joined; later ones seldom
    // find anything.
    void grow() {
        for (int pass = 0; pass < 2; pass++) {
            measure();
            size_t added = 0;
            while (!heap.empty() && !tree.full()) {
                std::pop_heap(heap.begin(), heap.end(), ranked_less);
                Ranked top = heap.back();
                heap.pop_back();
                top.gain = tree.gain(grid[top.index]);
                if (top.gain <= 0)
                    continue;
                if (heap.empty() || !ranked_less(top, heap.front())) {
                    add(top.index);
                    added++;
                } else {
                    heap.push_back(top);
                    std::push_heap(heap.begin(), heap.end(), ranked_less);
                }
            }
            if (added == 0 || tree.full())
                return;
        }
    }

    // Steiner points of degree 2 or less never shorten the tree; taking them
    // out leaves it no longer and frees their place.
    void prune() {
        for (size_t k = 0; k < chosen.size();) {
            if (tree.degree(tree.terminals() + k) <= 2) {
                remove(k);
                k = 0;
            } else {
                k++;
            }
        }
    }

    // Puts the chosen points in an order in which each shortens the tree:
    // largest gain first; a point that no longer shortens it is left out.
    void order() {
        std::vector<size_t> rest = chosen;
        reset({});
        while (!rest.empty()) {
            size_t best = 0;
            int64_t best_gain = 0;
            for (size_t k = 0; k < rest.size(); k++) {
                const int64_t gain = tree.gain(grid[rest[k]]);
                if (gain > best_gain) {
                    best_gain = gain;
                    best = k;
                }
            }
            if (best_gain <= 0)
                return;
            add(rest[best]);
            rest.erase(rest.begin() + static_cast<std::ptrdiff_t>(best));
        }
    }
};

} // namespace

std::vector<Point> small_steiner_points(const Point *terminals, int32_t count, int64_t *length) {
    *length = 0;
    if (count < 1)
        return {};
    std::vector<Point> distinct(terminals, terminals + count);
    std::sort(distinct.begin(), distinct.end(), point_less);
    distinct.erase(std::unique(distinct.begin(), distinct.end(), point_equal), distinct.end());
    // A Steiner tree needs fewer Steiner points than terminals; points of
    // degree two or less may join on the way before they are pruned.
    const size_t capacity = 2 * distinct.size();
    Search search{Tree(distinct, capacity), screened_grid(distinct), {}, {}, {}, {}};
    search.used.assign(search.grid.size(), false);
    search.active = median_pool(distinct, search.grid);
    search.measure();
    // Grid points that cannot shorten the terminals' tree seldom help later.
    search.active.clear();
    for (const Ranked &r : search.heap)
        search.active.push_back(r.index);
    std::sort(search.active.begin(), search.active.end());
    std::vector<Ranked> firsts = search.heap;
    std::sort(firsts.begin(), firsts.end(),
              [](const Ranked &a, const Ranked &b) { return ranked_less(b, a); });
    const size_t choices = distinct.size() <= FEW_TERMINALS ? FIRST_CHOICES : 1;
    if (firsts.size() > choices)
        firsts.resize(choices);

    std::vector<size_t> best;
    int64_t best_length = search.tree.length();
    for (const Ranked &first : firsts) {
        search.reset({first.index});
        search.grow();
        search.prune();
        if (search.tree.length() < best_length) {
            best_length = search.tree.length();
            best = search.chosen;
        }
    }
    search.reset(best);
    search.order();
    *length = search.tree.length();
    std::vector<Point> result;
    for (size_t c : search.chosen)
        result.push_back(search.grid[c]);
    return result;
}

} // namespace steiner::internal
