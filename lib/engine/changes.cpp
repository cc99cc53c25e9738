#include "changes.h"

#include <algorithm>
#include <cmath>

namespace steiner::internal {

void MovedCells::cover(const std::vector<Point> &points) {
    int64_t row_hi = INT64_MIN;
    int64_t column_hi = INT64_MIN;
    row0_ = column0_ = INT64_MAX;
    for (const Point &p : points) {
        row0_ = std::min<int64_t>(row0_, p.row);
        row_hi = std::max<int64_t>(row_hi, p.row);
        column0_ = std::min<int64_t>(column0_, p.column);
        column_hi = std::max<int64_t>(column_hi, p.column);
    }
    // About one point a cell.
    const auto across = static_cast<int64_t>(
        std::min<double>(MAX_ACROSS, std::sqrt(static_cast<double>(points.size())) + 1));
    side_ = std::max<int64_t>(1, (std::max(row_hi - row0_, column_hi - column0_) + 1) / across + 1);
    across_ = static_cast<size_t>(across + 1);
    latest_.assign(across_ * across_, 0);
}

void MovedCells::mark(const Point &p, uint64_t time) {
    if (!latest_.empty())
        latest_[cell(p.row, row0_) * across_ + cell(p.column, column0_)] = time;
}

bool MovedCells::moved_since(int32_t row_lo, int32_t row_hi, int32_t column_lo, int32_t column_hi,
                             uint64_t since) const {
    if (row_lo > row_hi || column_lo > column_hi)
        return false;
    const size_t r0 = cell(row_lo, row0_);
    const size_t r1 = cell(row_hi, row0_);
    const size_t c0 = cell(column_lo, column0_);
    const size_t c1 = cell(column_hi, column0_);
    if ((r1 - r0 + 1) * (c1 - c0 + 1) > MAX_CELLS)
        return true;
    for (size_t r = r0; r <= r1; r++)
        for (size_t c = c0; c <= c1; c++)
            if (latest_[r * across_ + c] > since)
                return true;
    return false;
}

size_t MovedCells::cell(int64_t at, int64_t origin) const {
    const int64_t k = (at - origin) / side_;
    return static_cast<size_t>(
        std::min<int64_t>(std::max<int64_t>(k, 0), static_cast<int64_t>(across_) - 1));
}

bool Changes::nodes_unchanged(const std::vector<int32_t> &nodes, uint64_t since) const {
    return std::all_of(nodes.begin(), nodes.end(), [this, since](int32_t v) {
        return changed[static_cast<size_t>(v)] <= since;
    });
}

bool Changes::lines_unchanged(const std::vector<int32_t> &rows, const std::vector<int32_t> &columns,
                              uint64_t since) const {
    return std::none_of(moved.begin(), moved.end(), [&](const std::pair<uint64_t, Point> &entry) {
        return entry.first > since &&
               std::binary_search(rows.begin(), rows.end(), entry.second.row) &&
               std::binary_search(columns.begin(), columns.end(), entry.second.column);
    });
}

void Tried::record(size_t centre, const std::vector<int32_t> &nodes,
                   const std::vector<int32_t> &rows, const std::vector<int32_t> &columns,
                   uint64_t at) {
    if (entries_.size() <= centre)
        entries_.resize(centre + 1);
    Entry &entry = entries_[centre];
    entry.at = at;
    entry.first = nodes_.size();
    entry.count = nodes.size();
    nodes_.insert(nodes_.end(), nodes.begin(), nodes.end());
    // No candidate lines: an empty box.
    entry.box = {1, 0, 1, 0};
    if (!rows.empty() && !columns.empty())
        entry.box = {rows.front(), rows.back(), columns.front(), columns.back()};
}

bool Tried::again_nothing(const Changes &changes, size_t centre) const {
    if (centre >= entries_.size() || entries_[centre].at == 0)
        return false;
    const Entry &entry = entries_[centre];
    for (size_t k = entry.first; k < entry.first + entry.count; k++)
        if (changes.changed[static_cast<size_t>(nodes_[k])] > entry.at)
            return false;
    return !changes.cells.moved_since(entry.box[0], entry.box[1], entry.box[2], entry.box[3],
                                      entry.at);
}

} // namespace steiner::internal
