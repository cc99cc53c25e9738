#include "router.h"
#include "screening.h"

#include <cstdlib>

using steiner::internal::screen_candidate_indexed;
using steiner::internal::screen_index_build;
using steiner::internal::screen_index_free;
using steiner::internal::ScreenIndex;

// Messages name the file by the name the driver opens.
static void print_fault(const PointFileFault &fault) {
    char text[160];
    point_fault_text(fault, text, sizeof text);
    printf("input.data: %s\n", text);
}

bool read_num_pts(PointReader *input_file, int32_t *num_pts) {
    PointFileFault fault;
    if (point_reader_count(input_file, num_pts, &fault))
        return true;
    print_fault(fault);
    return false;
}

// Grows both arrays to capacity entries. A failed step leaves the caller's
// pointers on valid arrays.
static bool grow_arrays(Point **point_array, int32_t **parent_array, int64_t capacity) {
    if (capacity > INT32_MAX)
        return false;
    auto count = static_cast<size_t>(capacity);
    void *points = realloc(*point_array, count * sizeof(Point));
    if (points == nullptr)
        return false;
    *point_array = static_cast<Point *>(points);
    void *parents = realloc(*parent_array, count * sizeof(int32_t));
    if (parents == nullptr)
        return false;
    *parent_array = static_cast<int32_t *>(parents);
    return true;
}

// Reads one pair; on a fault prints it and returns false. The reader ends a
// file that stops short of the terminals with a fault.
static bool read_pair(PointReader *input_file, Point *pair) {
    PointFileFault fault;
    if (point_reader_pair(input_file, pair, &fault) == PointRead::Pair)
        return true;
    print_fault(fault);
    return false;
}

static void store_point(Point *point_array, int32_t i, Point pair) {
    printf("Point #%i: Row is %i, and Column is %i\n", i + 1, pair.row, pair.column);
    point_array[i] = pair;
}

int32_t load_points(PointReader *input_file, int32_t num_pts, int32_t PotentialSteiners,
                    Point **point_array, int32_t **parent_array, int32_t *growth_factor) {
    // The arrays start with room for twice the terminals, so these never grow them.
    Point pair{0, 0};
    for (int32_t i = 0; i < num_pts; i++) {
        if (!read_pair(input_file, &pair))
            return LOAD_BAD_FILE;
        store_point(*point_array, i, pair);
    }

    int32_t i = num_pts;
    const int64_t bound = int64_t{num_pts} + PotentialSteiners;
    if (i >= bound || point_reader_at_end(input_file))
        return i;
    ScreenIndex *index = screen_index_build(*point_array, num_pts);
    if (index == nullptr)
        return LOAD_NO_MEMORY;
    int32_t result = i;
    while (i < bound && !point_reader_at_end(input_file)) {
        if (i >= int64_t{num_pts} * *growth_factor) {
            if (!grow_arrays(point_array, parent_array, int64_t{num_pts} * (*growth_factor + 1))) {
                result = LOAD_NO_MEMORY;
                break;
            }
            ++*growth_factor;
        }
        if (!read_pair(input_file, &pair)) {
            result = LOAD_BAD_FILE;
            break;
        }
        if (screen_candidate_indexed(index, pair.row, pair.column)) {
            store_point(*point_array, i, pair);
            result = ++i;
        }
    }
    screen_index_free(index);
    return result;
}
