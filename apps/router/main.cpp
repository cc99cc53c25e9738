// The run driver: console dialogue, the run's arrays, the phases in order and
// the final report.
#include "router.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

static_assert(sizeof(long) >= sizeof(int64_t), "lengths are printed with %li");

// A second build of this driver rebuilds the whole tree for every trial, so
// that the incremental tree can be checked and timed against it.
#ifdef STEINER_REBUILD_TRIALS
constexpr TrialMethod trial_method = TrialMethod::Rebuild;
#else
constexpr TrialMethod trial_method = TrialMethod::Incremental;
#endif

static int64_t now_ms() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Allocates count elements of size bytes each; nullptr when the heap refuses
// it or the count cannot be represented: points are counted and indexed in 32
// bits, so no array may hold more than INT32_MAX entries.
static void *allocate_array(int64_t count, size_t size) {
    if (count < 1 || count > INT32_MAX)
        return nullptr;
    return malloc(static_cast<size_t>(count) * size);
}

static int out_of_memory(Point *point_array, int32_t *parent_array, Point *tree_points) {
    printf("Could not allocate memory for point array or parent array... Exitting program.\n");
    free(point_array);
    free(parent_array);
    free(tree_points);
    return -1;
}

int main() {
    int32_t block = 0;
    int32_t PotentialSteiners = 0;

    printf("Please input block size value:\n");
    fflush(stdout);
    if (!read_answer(stdin, 1, &block)) {
        printf("Block size must be a whole number from 1 to 2147483647.\n");
        return 1;
    }
    printf("Please input number of Potential Steiner points to check:\n");
    fflush(stdout);
    if (!read_answer(stdin, 0, &PotentialSteiners)) {
        printf("Number of Potential Steiner points must be a whole number from 0 to 2147483647.\n");
        return 1;
    }

    FILE *file = fopen("input.data", "rb");
    if (file == nullptr) {
        printf("Cannot find input.data\n");
        return 1;
    }
    PointReader *input_file = point_reader_open(file);
    if (input_file == nullptr) {
        fclose(file);
        return out_of_memory(nullptr, nullptr, nullptr);
    }
    int32_t num_pts = 0;
    if (!read_num_pts(input_file, &num_pts)) {
        point_reader_close(input_file);
        return 1;
    }
    int32_t growth_factor = 2;
    auto *point_array =
        static_cast<Point *>(allocate_array(int64_t{num_pts} * growth_factor, sizeof(Point)));
    auto *parent_array =
        static_cast<int32_t *>(allocate_array(int64_t{num_pts} * growth_factor, sizeof(int32_t)));
    if (point_array == nullptr || parent_array == nullptr) {
        point_reader_close(input_file);
        return out_of_memory(point_array, parent_array, nullptr);
    }

    int32_t total_pts = load_points(input_file, num_pts, PotentialSteiners, &point_array,
                                    &parent_array, &growth_factor);
    point_reader_close(input_file);
    if (total_pts == LOAD_NO_MEMORY)
        return out_of_memory(point_array, parent_array, nullptr);
    if (total_pts == LOAD_BAD_FILE) {
        free(point_array);
        free(parent_array);
        return 1;
    }
    wait_for_enter();

    auto *tree_points =
        static_cast<Point *>(allocate_array(int64_t{num_pts} * growth_factor, sizeof(Point)));
    if (tree_points == nullptr)
        return out_of_memory(point_array, parent_array, nullptr);
    int64_t start = now_ms();
    int32_t removed = 0;

    printf("\nNumber of total Potential Steiner points: %i\n", total_pts - num_pts);
    for (int32_t k = 0; k < num_pts; k++)
        tree_points[k] = point_array[k];
    int64_t wirelength = mst1_build_tree(num_pts, tree_points, parent_array);
    printf("\nTotal wirelength before adding potential Steiner nodes is: %li\n",
           static_cast<long>(wirelength));

    int32_t node_count = insert_steiner_points(num_pts, total_pts, block, point_array, tree_points,
                                               parent_array, &wirelength, &removed, trial_method);
    if (node_count < 0)
        return out_of_memory(point_array, parent_array, tree_points);

    printf("\nNumber of nodes in our minimum RMST is %i.\n", node_count);
    wirelength = mst1_build_tree(node_count, tree_points, parent_array);
    int64_t end = now_ms();

    for (int32_t k = 0; k < node_count; k++) {
        const Point &node = tree_points[k];
        const Point &parent = tree_points[parent_array[k]];
        printf("Node #%i: %i, %i.    Parent Node: %i, %i.\n", k + 1, node.row, node.column,
               parent.row, parent.column);
    }
    printf("Total wirelength is: %li\n", static_cast<long>(wirelength));
    printf("Run time of execution: %.2f seconds\n", static_cast<double>(end - start) / 1000.0);

    wait_for_enter();
    free(point_array);
    free(tree_points);
    free(parent_array);
    // A report that never reached its reader is no success.
    if (fflush(stdout) != 0 || ferror(stdout)) {
        fprintf(stderr, "Could not write the report to standard output.\n");
        return 1;
    }
    return 0;
}
