// The Dreyfus-Wagner recurrence for rectilinear Steiner minimal trees over a
// Hanan grid, for any kind of cost; generate_tables runs it with the counts
// of edges across every gap between neighbouring grid lines, so that a table
// holds the trees minimal for some lengths of those gaps.
//
// Some minimal tree has all its Steiner points on the Hanan grid (every
// terminal row crossed with every terminal column), and a path along grid
// lines between two grid points is as short as their distance. So the
// recurrence over the grid is exact: best[S][v], the cheapest trees joining
// the terminals of S and grid point v, are either two such trees for a split
// of S meeting at v, or one of them at a grid point u with the path from u to
// v. The second is a distance transform, done along each row and then each
// column, as a path's cost is the sum of its moves along the two.
//
// A Cost supplies:
//   using Value        what best[S][v] holds (one length, or a set of costs)
//   using Element      one cost within a Value
//   Value far()        no tree at all
//   Value path(t, v)   the path from terminal node t to node v
//   void meet(Value *into, x, y)         lower *into by x and y joined
//   void step(Value *into, from, axis, g) lower *into by from plus gap g
//                                         (between lines g and g + 1) on axis
//                                         (0: along a row, 1: along a column)
//   void each(value, f)                  f(element) for each element
//   Element join(a, b), Element plus(e, axis, g), bool same(a, b)
//   bool keep(mask, v, Value *value)     whether best[mask][v] can still be
//                                         part of a minimal tree; when not, it
//                                         may be set to far()
// Splits are tried only where both parts are kept.
#ifndef STEINER_HANAN_H
#define STEINER_HANAN_H

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace steiner::internal {

// A grid of rows x columns nodes (node = row * columns + column) and the
// distinct nodes of the terminals; the last one is the root.
struct HananGrid {
    size_t rows;
    size_t columns;
    std::vector<size_t> terminals;
};

template <class Cost> class HananRecurrence {
  public:
    using Value = typename Cost::Value;
    using Element = typename Cost::Element;

    // Fills the recurrence's table for grid (at least two terminals).
    void solve(const HananGrid &grid, const Cost &cost) {
        grid_ = &grid;
        nodes_ = grid.rows * grid.columns;
        words_ = (nodes_ + 63) / 64;
        const size_t joined = grid.terminals.size() - 1;
        masks_ = size_t{1} << joined;
        best_.assign(masks_ * nodes_, cost.far());
        kept_.assign(masks_ * words_, 0);
        for (size_t t = 0; t < joined; t++) {
            const size_t mask = size_t{1} << t;
            for (size_t v = 0; v < nodes_; v++) {
                at(mask)[v] = cost.path(grid.terminals[t], v);
                mark(cost, mask, v);
            }
        }
        for (size_t mask = 3; mask < masks_; mask++) {
            if ((mask & (mask - 1)) == 0)
                continue;
            Value *out = at(mask);
            const size_t low = mask & (~mask + 1);
            bool met = false;
            for (size_t a = (mask - 1) & mask; a > 0; a = (a - 1) & mask) {
                if ((a & low) == 0)
                    continue;
                const Value *x = at(a);
                const Value *y = at(mask ^ a);
                const uint64_t *x_kept = &kept_[a * words_];
                const uint64_t *y_kept = &kept_[(mask ^ a) * words_];
                for (size_t w = 0; w < words_; w++)
                    for (uint64_t both = x_kept[w] & y_kept[w]; both != 0; both &= both - 1) {
                        const size_t v = 64 * w + static_cast<size_t>(__builtin_ctzll(both));
                        cost.meet(&out[v], x[v], y[v]);
                        met = true;
                    }
            }
            // No two kept parts meet anywhere: no tree of the mask is kept.
            if (!met)
                continue;
            for (size_t r = 0; r < grid.rows; r++)
                transform(cost, out + r * grid.columns, grid.columns, 1, 0);
            for (size_t c = 0; c < grid.columns; c++)
                transform(cost, out + c, grid.rows, grid.columns, 1);
            for (size_t v = 0; v < nodes_; v++)
                mark(cost, mask, v);
        }
    }

    // The cheapest trees over every terminal.
    const Value &result() const {
        return best_[(masks_ - 1) * nodes_ + grid_->terminals.back()];
    }

    // A tree of cost target, an element of result(): the nodes where
    // subtrees meet (its Steiner points, and possibly terminals), and edges
    // between them and the terminals, each standing for a shortest path.
    struct Tree {
        std::vector<size_t> meetings;
        std::vector<std::pair<size_t, size_t>> edges;
    };
    Tree tree(const Cost &cost, const Element &target) const {
        Tree found;
        struct Item {
            size_t mask, node, from;
            Element want;
        };
        std::vector<Item> work{
            {masks_ - 1, grid_->terminals.back(), grid_->terminals.back(), target}};
        while (!work.empty()) {
            Item item = work.back();
            work.pop_back();
            for (;;) {
                if ((item.mask & (item.mask - 1)) == 0) {
                    size_t t = 0;
                    while ((item.mask >> t) != 1)
                        t++;
                    found.edges.emplace_back(item.from, grid_->terminals[t]);
                    break;
                }
                size_t part = 0;
                Element left{}, right{};
                if (split_of(cost, item.mask, item.node, item.want, &part, &left, &right)) {
                    found.meetings.push_back(item.node);
                    if (item.node != item.from)
                        found.edges.emplace_back(item.from, item.node);
                    work.push_back({part, item.node, item.node, left});
                    work.push_back({item.mask ^ part, item.node, item.node, right});
                    break;
                }
                // Not made here: it came along a shortest path from where it
                // was made, through a neighbour.
                if (!step_back(cost, item.mask, &item.node, &item.want))
                    break;
            }
        }
        return found;
    }

  private:
    void mark(const Cost &cost, size_t mask, size_t v) {
        if (cost.keep(mask, v, &at(mask)[v]))
            kept_[mask * words_ + v / 64] |= uint64_t{1} << (v % 64);
    }
    const Value *at(size_t mask) const {
        return &best_[mask * nodes_];
    }
    Value *at(size_t mask) {
        return &best_[mask * nodes_];
    }

    // Lowers each value along a line by its neighbours' plus the gap, both ways.
    static void transform(const Cost &cost, Value *line, size_t count, size_t stride, size_t axis) {
        for (size_t k = 1; k < count; k++)
            cost.step(&line[k * stride], line[(k - 1) * stride], axis, k - 1);
        for (size_t k = count - 1; k-- > 0;)
            cost.step(&line[k * stride], line[(k + 1) * stride], axis, k);
    }

    bool split_of(const Cost &cost, size_t mask, size_t v, const Element &want, size_t *part,
                  Element *left, Element *right) const {
        const size_t low = mask & (~mask + 1);
        for (size_t a = (mask - 1) & mask; a > 0; a = (a - 1) & mask) {
            if ((a & low) == 0)
                continue;
            bool found = false;
            cost.each(at(a)[v], [&](const Element &x) {
                cost.each(at(mask ^ a)[v], [&](const Element &y) {
                    if (!found && cost.same(cost.join(x, y), want)) {
                        found = true;
                        *left = x;
                        *right = y;
                    }
                });
            });
            if (found) {
                *part = a;
                return true;
            }
        }
        return false;
    }

    bool step_back(const Cost &cost, size_t mask, size_t *v, Element *want) const {
        const size_t r = *v / grid_->columns;
        const size_t c = *v % grid_->columns;
        const struct {
            bool exists;
            size_t node;
            size_t axis;
            size_t gap;
        } neighbours[4] = {{c > 0, *v - 1, 0, c - 1},
                           {c + 1 < grid_->columns, *v + 1, 0, c},
                           {r > 0, *v - grid_->columns, 1, r - 1},
                           {r + 1 < grid_->rows, *v + grid_->columns, 1, r}};
        for (const auto &n : neighbours) {
            if (!n.exists)
                continue;
            bool found = false;
            Element before{};
            cost.each(at(mask)[n.node], [&](const Element &e) {
                if (!found && cost.same(cost.plus(e, n.axis, n.gap), *want)) {
                    found = true;
                    before = e;
                }
            });
            if (found) {
                *v = n.node;
                *want = before;
                return true;
            }
        }
        return false;
    }

    const HananGrid *grid_ = nullptr;
    size_t nodes_ = 0;
    size_t words_ = 0;
    size_t masks_ = 0;
    std::vector<Value> best_;
    std::vector<uint64_t> kept_; // words_ bits a mask: nodes kept
};

} // namespace steiner::internal

#endif
