#include "screening.h"

#include "mst1_sort.h"

#include <algorithm>
#include <cstdlib>

namespace steiner::internal {

bool screen_candidate(int32_t row, int32_t column, const Point *point_array, int32_t num_pts) {
    for (int32_t k = 0; k < num_pts; k++) {
        if (point_array[k].row == row && point_array[k].column == column)
            return false;
    }
    bool same_column_greater_row = false;
    bool same_column_smaller_row = false;
    bool same_row_greater_column = false;
    bool same_row_smaller_column = false;
    for (int32_t k = 0; k < num_pts; k++) {
        const Point &t = point_array[k];
        if (t.column == column) {
            same_column_greater_row |= t.row > row;
            same_column_smaller_row |= t.row < row;
        }
        if (t.row == row) {
            same_row_greater_column |= t.column > column;
            same_row_smaller_column |= t.column < column;
        }
    }
    // Each corner test looks for a terminal in the closed quadrant opposite the
    // two directions in which the candidate has row and column neighbours.
    auto quadrant_has_terminal = [&](bool rows_below, bool columns_below) {
        for (int32_t k = 0; k < num_pts; k++) {
            const Point &t = point_array[k];
            bool row_ok = rows_below ? t.row <= row : t.row >= row;
            bool column_ok = columns_below ? t.column <= column : t.column >= column;
            if (row_ok && column_ok)
                return true;
        }
        return false;
    };
    bool accepted = false;
    if (same_column_greater_row && same_row_smaller_column)
        accepted |= quadrant_has_terminal(true, false);
    if (same_column_greater_row && same_row_greater_column)
        accepted |= quadrant_has_terminal(true, true);
    if (same_column_smaller_row && same_row_smaller_column)
        accepted |= quadrant_has_terminal(false, false);
    if (same_column_smaller_row && same_row_greater_column)
        accepted |= quadrant_has_terminal(false, true);
    return accepted;
}

namespace {

// Up to this many terminals, each a bit of a word, the screening's questions
// are masks: which terminals lie in a row or column, and which at or before
// it. A candidate then costs two searches among the distinct rows and
// columns, with no branch on where the terminals lie.
constexpr int32_t MASK_MOST = 64;

// Slots of an axis's table of values: at most a quarter taken, so that a
// value is nearly always found, or found missing, at its first slot.
constexpr uint32_t AXIS_SLOTS = 4 * MASK_MOST;

// One axis of the masks: the distinct values in order, and for each the
// terminals at it and those at it or below; and the values by a hash, each
// slot the rank of a value plus one, or 0 where free. A candidate's rows and
// columns are looked up by the hash, in two loads, where a search in order
// would take a chain of them.
struct Axis {
    int32_t count;
    int32_t values[MASK_MOST];
    uint64_t here[MASK_MOST];
    uint64_t up_to[MASK_MOST];
    uint8_t slots[AXIS_SLOTS];
};

uint32_t axis_slot(int32_t value) {
    return static_cast<uint32_t>(value) * 0x9e3779b1u >> 24;
}

// The rank of value among axis.values, or -1 where no terminal has it.
int32_t rank_of(const Axis &axis, int32_t value) {
    for (uint32_t at = axis_slot(value);; at = (at + 1) % AXIS_SLOTS) {
        const int32_t rank = axis.slots[at] - 1;
        if (rank < 0 || axis.values[rank] == value)
            return rank;
    }
}

// The axis of values[0..count-1] (coordinates of terminal k at k).
void fill_axis(const int32_t *values, int32_t count, Axis *axis) {
    static_assert(AXIS_SLOTS == 256, "axis_slot takes the top 8 bits of a hash");
    std::copy(values, values + count, axis->values);
    std::sort(axis->values, axis->values + count);
    axis->count =
        static_cast<int32_t>(std::unique(axis->values, axis->values + count) - axis->values);
    std::fill(axis->slots, axis->slots + AXIS_SLOTS, 0);
    for (int32_t r = 0; r < axis->count; r++) {
        uint32_t at = axis_slot(axis->values[r]);
        while (axis->slots[at] != 0)
            at = (at + 1) % AXIS_SLOTS;
        axis->slots[at] = static_cast<uint8_t>(r + 1);
    }
    std::fill(axis->here, axis->here + axis->count, 0);
    for (int32_t k = 0; k < count; k++)
        axis->here[rank_of(*axis, values[k])] |= uint64_t{1} << k;
    uint64_t below = 0;
    for (int32_t r = 0; r < axis->count; r++) {
        below |= axis->here[r];
        axis->up_to[r] = below;
    }
}

} // namespace

// The terminals sorted two ways, with running column extremes along the row
// order, so that each question of the screening is a binary search; for a
// few terminals, the masks of their rows and columns instead.
struct ScreenIndex {
    int32_t count;
    Point *by_row;              // sorted by row, then column
    Point *by_column;           // sorted by column, then row
    int32_t *prefix_min_column; // over by_row[0..k]
    int32_t *prefix_max_column;
    int32_t *suffix_min_column; // over by_row[k..count-1]
    int32_t *suffix_max_column;
    Axis *rows; // with columns, for at most MASK_MOST terminals, else null
    Axis *columns;
};

void screen_index_free(ScreenIndex *index) {
    if (index == nullptr)
        return;
    free(index->rows);
    free(index->columns);
    free(index->by_row);
    free(index->by_column);
    free(index->prefix_min_column);
    free(index->prefix_max_column);
    free(index->suffix_min_column);
    free(index->suffix_max_column);
    free(index);
}

// Function objects rather than functions, so that the searches inline them.
constexpr auto row_then_column = [](const Point &a, const Point &b) {
    return a.row != b.row ? a.row < b.row : a.column < b.column;
};

constexpr auto column_then_row = [](const Point &a, const Point &b) {
    return a.column != b.column ? a.column < b.column : a.row < b.row;
};

ScreenIndex *screen_index_build(const Point *point_array, int32_t num_pts, Mst1Stop stop) {
    auto *index = static_cast<ScreenIndex *>(calloc(1, sizeof(ScreenIndex)));
    if (index == nullptr)
        return nullptr;
    const auto n = static_cast<size_t>(num_pts);
    index->count = num_pts;
    if (num_pts > 0 && num_pts <= MASK_MOST) {
        index->rows = static_cast<Axis *>(malloc(sizeof(Axis)));
        index->columns = static_cast<Axis *>(malloc(sizeof(Axis)));
        if (index->rows == nullptr || index->columns == nullptr) {
            screen_index_free(index);
            return nullptr;
        }
        int32_t values[MASK_MOST];
        for (size_t k = 0; k < n; k++)
            values[k] = point_array[k].row;
        fill_axis(values, num_pts, index->rows);
        for (size_t k = 0; k < n; k++)
            values[k] = point_array[k].column;
        fill_axis(values, num_pts, index->columns);
        if (mst1_stop_seen(stop)) {
            screen_index_free(index);
            return nullptr;
        }
        return index;
    }
    index->by_row = static_cast<Point *>(malloc(n * sizeof(Point)));
    index->by_column = static_cast<Point *>(malloc(n * sizeof(Point)));
    index->prefix_min_column = static_cast<int32_t *>(malloc(n * sizeof(int32_t)));
    index->prefix_max_column = static_cast<int32_t *>(malloc(n * sizeof(int32_t)));
    index->suffix_min_column = static_cast<int32_t *>(malloc(n * sizeof(int32_t)));
    index->suffix_max_column = static_cast<int32_t *>(malloc(n * sizeof(int32_t)));
    if (index->by_row == nullptr || index->by_column == nullptr ||
        index->prefix_min_column == nullptr || index->prefix_max_column == nullptr ||
        index->suffix_min_column == nullptr || index->suffix_max_column == nullptr) {
        screen_index_free(index);
        return nullptr;
    }
    std::copy(point_array, point_array + n, index->by_row);
    std::copy(point_array, point_array + n, index->by_column);
    if (!mst1_sort(index->by_row, index->by_row + n, row_then_column, stop) ||
        !mst1_sort(index->by_column, index->by_column + n, column_then_row, stop)) {
        screen_index_free(index);
        return nullptr;
    }
    for (size_t k = 0; k < n; k++) {
        const int32_t column = index->by_row[k].column;
        index->prefix_min_column[k] =
            k == 0 ? column : std::min(index->prefix_min_column[k - 1], column);
        index->prefix_max_column[k] =
            k == 0 ? column : std::max(index->prefix_max_column[k - 1], column);
    }
    for (size_t k = n; k-- > 0;) {
        const int32_t column = index->by_row[k].column;
        const bool last = k + 1 == n;
        index->suffix_min_column[k] =
            last ? column : std::min(index->suffix_min_column[k + 1], column);
        index->suffix_max_column[k] =
            last ? column : std::max(index->suffix_max_column[k + 1], column);
    }
    return index;
}

namespace {

bool screen_by_masks(const Axis &rows, const Axis &columns, int32_t row, int32_t column) {
    const int32_t r = rank_of(rows, row);
    const int32_t c = rank_of(columns, column);
    if (r < 0 || c < 0)
        return false;
    const uint64_t in_row = rows.here[r];
    const uint64_t in_column = columns.here[c];
    if ((in_row & in_column) != 0)
        return false;
    // Terminals by where they lie against the candidate's row and column.
    const uint64_t rows_up_to = rows.up_to[r];
    const uint64_t rows_below = r > 0 ? rows.up_to[r - 1] : 0;
    const uint64_t columns_up_to = columns.up_to[c];
    const uint64_t columns_below = c > 0 ? columns.up_to[c - 1] : 0;
    const uint64_t all = rows.up_to[rows.count - 1];
    const bool same_column_greater_row = (in_column & ~rows_up_to) != 0;
    const bool same_column_smaller_row = (in_column & rows_below) != 0;
    const bool same_row_greater_column = (in_row & ~columns_up_to) != 0;
    const bool same_row_smaller_column = (in_row & columns_below) != 0;
    const uint64_t rows_from = all & ~rows_below;
    const uint64_t columns_from = all & ~columns_below;
    return (same_column_greater_row && same_row_smaller_column &&
            (rows_up_to & columns_from) != 0) ||
           (same_column_greater_row && same_row_greater_column &&
            (rows_up_to & columns_up_to) != 0) ||
           (same_column_smaller_row && same_row_smaller_column &&
            (rows_from & columns_from) != 0) ||
           (same_column_smaller_row && same_row_greater_column && (rows_from & columns_up_to) != 0);
}

} // namespace

bool screen_candidate_indexed(const ScreenIndex *index, int32_t row, int32_t column) {
    if (index->rows != nullptr)
        return screen_by_masks(*index->rows, *index->columns, row, column);
    const Point *rows = index->by_row;
    const Point *rows_end = rows + index->count;
    const Point *columns = index->by_column;
    const Point *columns_end = columns + index->count;
    const Point candidate{row, column};

    // The terminals in the candidate's row, and those in its column, are each
    // one contiguous run, ordered along the other coordinate.
    const Point *row_first =
        std::lower_bound(rows, rows_end, Point{row, INT32_MIN}, row_then_column);
    const Point *row_end =
        std::upper_bound(row_first, rows_end, Point{row, INT32_MAX}, row_then_column);
    const Point *at = std::lower_bound(row_first, row_end, candidate, row_then_column);
    if (at != row_end && at->column == column)
        return false;
    const Point *column_first =
        std::lower_bound(columns, columns_end, Point{INT32_MIN, column}, column_then_row);
    const Point *column_end =
        std::upper_bound(column_first, columns_end, Point{INT32_MAX, column}, column_then_row);
    if (row_first == row_end || column_first == column_end)
        return false;

    const bool same_column_greater_row = (column_end - 1)->row > row;
    const bool same_column_smaller_row = column_first->row < row;
    const bool same_row_greater_column = (row_end - 1)->column > column;
    const bool same_row_smaller_column = row_first->column < column;

    // Terminals with row <= candidate row are rows[0..row_end); those with
    // row >= candidate row are rows[row_first..count).
    const size_t up = static_cast<size_t>(row_end - rows);     // count of rows <= row
    const size_t down = static_cast<size_t>(row_first - rows); // first index of rows >= row
    const bool any_up = up > 0;
    const bool any_down = down < static_cast<size_t>(index->count);

    bool accepted = false;
    if (same_column_greater_row && same_row_smaller_column)
        accepted |= any_up && index->prefix_max_column[up - 1] >= column;
    if (same_column_greater_row && same_row_greater_column)
        accepted |= any_up && index->prefix_min_column[up - 1] <= column;
    if (same_column_smaller_row && same_row_smaller_column)
        accepted |= any_down && index->suffix_max_column[down] >= column;
    if (same_column_smaller_row && same_row_greater_column)
        accepted |= any_down && index->suffix_min_column[down] <= column;
    return accepted;
}

} // namespace steiner::internal
