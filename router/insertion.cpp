#include "router.h"

int32_t insert_steiner_points(int32_t num_pts, int32_t total_pts, int32_t block,
                              const Point *point_array, Point *tree_points, int32_t *parent_array,
                              int64_t *wirelength, int32_t *removed) {
    const int32_t c = total_pts - num_pts;
    // A block below 1 would never move past the first candidate.
    if (block < 1)
        block = 1;
    // 64-bit so that stepping past the last block cannot wrap.
    for (int64_t i64 = 0; i64 < c; i64 += block) {
        const auto i = static_cast<int32_t>(i64);
        int64_t prev_length = *wirelength;
        int32_t j = 0;
        while (i + j < c && j < block) {
            tree_points[num_pts + i + j - *removed] = point_array[num_pts + i + j];
            j++;
        }
        *wirelength = mst1_build_tree(num_pts + i + j - *removed, tree_points, parent_array);
        if (*wirelength < prev_length) {
            printf("Block size of %i from Potential Steiner point %i to %i made wirelength "
                   "decrease from %li to %li.\n",
                   block, i + 1, i + j, static_cast<long>(prev_length),
                   static_cast<long>(*wirelength));
            continue;
        }
        *wirelength = prev_length;
        for (j = 0; i + j < c && j < block; j++) {
            prev_length = *wirelength;
            const int32_t slot = num_pts + i + j - *removed;
            tree_points[slot] = point_array[num_pts + i + j];
            *wirelength = mst1_build_tree(slot + 1, tree_points, parent_array);
            if (*wirelength < prev_length) {
                printf("Wirelength decreased to %li.  Steiner Point %i, %i kept.\n",
                       static_cast<long>(*wirelength), tree_points[slot].row,
                       tree_points[slot].column);
            } else {
                ++*removed;
                *wirelength = prev_length;
            }
        }
    }
    return total_pts - *removed;
}
