#include "router.h"

static void print_kept(void *, const InsertionEvent &event) {
    if (event.whole_block)
        printf("Block size of %i from Potential Steiner point %i to %i made wirelength "
               "decrease from %li to %li.\n",
               event.block, event.first + 1, event.last + 1, static_cast<long>(event.before),
               static_cast<long>(event.after));
    else
        printf("Wirelength decreased to %li.  Steiner Point %i, %i kept.\n",
               static_cast<long>(event.after), event.point.row, event.point.column);
}

int32_t insert_steiner_points(int32_t num_pts, int32_t total_pts, int32_t block,
                              const Point *point_array, Point *tree_points, int32_t *parent_array,
                              int64_t *wirelength, int32_t *removed, TrialMethod method) {
    return insertion_run(num_pts, total_pts, block, point_array, tree_points, parent_array,
                         wirelength, removed, print_kept, nullptr, method);
}
