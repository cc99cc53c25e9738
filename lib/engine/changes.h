// When the explicit tree changed, and where: what lets the local search and
// the wide windows use work done against an earlier state of the tree.
//
// Every answer errs towards "changed". A clock ticks between the changes
// that matter; a node's time is set whenever one of its edges is added or
// removed or it is taken out, and every place taken or freed is recorded
// with its time, both in a list kept for the current batch and in coarse
// cells kept for the whole search. So a piece of the tree is reported
// unchanged since a time only when its nodes have the edges they had then
// and no place in the region asked about was taken or freed; work found
// against the tree of that time is then the work that would be found now,
// and using it gives the tree that finding it again would give.
#ifndef STEINER_CHANGES_H
#define STEINER_CHANGES_H

#include "mst1.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace steiner::internal {

// Coarse cells over a box of points, each with the last time a place in it
// was taken or freed: a quick answer, erring towards yes, to whether any
// place in a box moved since a given time.
class MovedCells {
  public:
    void cover(const std::vector<Point> &points);
    void mark(const Point &p, uint64_t time);
    // Whether a place in rows row_lo..row_hi, columns column_lo..column_hi
    // may have moved after time since.
    bool moved_since(int32_t row_lo, int32_t row_hi, int32_t column_lo, int32_t column_hi,
                     uint64_t since) const;

  private:
    static constexpr double MAX_ACROSS = 1024;
    static constexpr size_t MAX_CELLS = 256;

    size_t cell(int64_t at, int64_t origin) const;

    int64_t row0_ = 0;
    int64_t column0_ = 0;
    int64_t side_ = 1;
    size_t across_ = 0;
    std::vector<uint64_t> latest_;
};

// The clock, per node the time its edges last changed or it was taken out,
// the places taken or freed in the current batch with their times, and the
// same by coarse cells (covered only while the local search runs).
struct Changes {
    uint64_t clock = 0;
    std::vector<uint64_t> changed;
    std::vector<std::pair<uint64_t, Point>> moved;
    MovedCells cells;

    void node_changed(size_t v) {
        changed[v] = clock;
    }
    void place_moved(const Point &p) {
        moved.emplace_back(clock, p);
        cells.mark(p, clock);
    }
    // Whether none of nodes changed after since.
    bool nodes_unchanged(const std::vector<int32_t> &nodes, uint64_t since) const;
    // Whether no place of this batch on one of rows (sorted) and one of
    // columns (sorted) was taken or freed after since.
    bool lines_unchanged(const std::vector<int32_t> &rows, const std::vector<int32_t> &columns,
                         uint64_t since) const;
};

// The local moves that found nothing, per centre: when, the subtree and the
// box around the candidates, so that a later sweep passes over the centre
// while none of that has changed, as the move would find nothing again.
class Tried {
  public:
    void record(size_t centre, const std::vector<int32_t> &nodes, const std::vector<int32_t> &rows,
                const std::vector<int32_t> &columns, uint64_t at);
    bool again_nothing(const Changes &changes, size_t centre) const;

  private:
    struct Entry {
        uint64_t at = 0; // 0: no move recorded
        size_t first = 0;
        size_t count = 0;
        std::array<int32_t, 4> box{}; // rows from, to; columns from, to
    };
    std::vector<Entry> entries_;
    std::vector<int32_t> nodes_;
};

} // namespace steiner::internal

#endif
