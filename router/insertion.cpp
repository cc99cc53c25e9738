#include "router.h"

int32_t insert_steiner_points(int32_t num_pts, int32_t total_pts, int32_t block,
                              const Point *point_array, Point *tree_points, int32_t *parent_array,
                              int64_t *wirelength, int32_t *removed) {
    (void)num_pts;
    (void)total_pts;
    (void)block;
    (void)point_array;
    (void)tree_points;
    (void)parent_array;
    (void)wirelength;
    (void)removed;
    return num_pts;
}
