#include "insertion.h"

#include <algorithm>

namespace steiner::internal {

namespace {

// The tree lengths of the working set plus trial points, found one of two ways.
// With the incremental tree, trial points are added to it and then either
// committed or rolled back; with rebuilding, tree_points is measured afresh.
struct Trials {
    TrialMethod method;
    Mst1Dynamic *tree;                   // incremental only
    const Point *tree_points;            // rebuild only
    int32_t *parent_array;               // rebuild only
    std::vector<int64_t> *trial_lengths; // optional record of every trial
};

// The length of the working set plus point_array[first..first+count-1], which
// the caller has also placed in tree_points[0..working+count-1]; for a single
// candidate that does not make the tree shorter than before, before instead:
// only the decision matters then, and the incremental tree finds it without
// computing that length.
int64_t trial_length(Trials *trials, int32_t working, int32_t first, int32_t count,
                     int64_t before) {
    int64_t length = 0;
    if (trials->method == TrialMethod::Rebuild) {
        length =
            mst1_build_tree_reference(working + count, trials->tree_points, trials->parent_array);
        if (count == 1)
            length = std::min(length, before);
    } else if (count == 1) {
        length = mst1_dynamic_add_if_shorter(trials->tree, first);
    } else {
        for (int32_t k = 0; k < count; k++)
            length = mst1_dynamic_add(trials->tree, first + k);
    }
    if (trials->trial_lengths != nullptr)
        trials->trial_lengths->push_back(length);
    return length;
}

void settle_trial(Trials *trials, bool kept) {
    if (trials->method == TrialMethod::Incremental) {
        if (kept)
            mst1_dynamic_commit(trials->tree);
        else
            mst1_dynamic_rollback(trials->tree);
    }
}

} // namespace

int32_t insertion_run(int32_t num_pts, int32_t total_pts, int32_t block, const Point *point_array,
                      Point *tree_points, int32_t *parent_array, int64_t *wirelength,
                      int32_t *removed, InsertionListener listener, void *context,
                      TrialMethod method, std::vector<int64_t> *trial_lengths) {
    const int32_t c = total_pts - num_pts;
    // A block below 1 would never move past the first candidate.
    if (block < 1)
        block = 1;
    Trials trials{method, nullptr, tree_points, parent_array, trial_lengths};
    if (method == TrialMethod::Incremental && c > 0) {
        trials.tree = mst1_dynamic_create(total_pts, point_array);
        if (trials.tree == nullptr)
            return -1;
        mst1_dynamic_start(trials.tree, num_pts);
    }

    // 64-bit so that stepping past the last block cannot wrap.
    for (int64_t i64 = 0; i64 < c; i64 += block) {
        const auto i = static_cast<int32_t>(i64);
        int64_t prev_length = *wirelength;
        int32_t j = 0;
        while (i + j < c && j < block) {
            tree_points[num_pts + i + j - *removed] = point_array[num_pts + i + j];
            j++;
        }
        *wirelength = trial_length(&trials, num_pts + i - *removed, num_pts + i, j, prev_length);
        const bool block_kept = *wirelength < prev_length;
        settle_trial(&trials, block_kept);
        if (block_kept) {
            if (listener != nullptr)
                listener(context, InsertionEvent{true, block, i, i + j - 1, prev_length,
                                                 *wirelength, point_array[num_pts + i]});
            continue;
        }
        *wirelength = prev_length;
        // A lone candidate on its own would be the same point set again: its
        // outcome is known.
        if (j == 1 && method == TrialMethod::Incremental) {
            if (trial_lengths != nullptr)
                trial_lengths->push_back(trial_lengths->back());
            ++*removed;
            continue;
        }
        for (j = 0; i + j < c && j < block; j++) {
            prev_length = *wirelength;
            const int32_t slot = num_pts + i + j - *removed;
            tree_points[slot] = point_array[num_pts + i + j];
            *wirelength = trial_length(&trials, slot, num_pts + i + j, 1, prev_length);
            const bool kept = *wirelength < prev_length;
            settle_trial(&trials, kept);
            if (kept) {
                if (listener != nullptr)
                    listener(context, InsertionEvent{false, block, i + j, i + j, prev_length,
                                                     *wirelength, tree_points[slot]});
            } else {
                ++*removed;
                *wirelength = prev_length;
            }
        }
    }
    mst1_dynamic_destroy(trials.tree);
    return total_pts - *removed;
}

} // namespace steiner::internal
