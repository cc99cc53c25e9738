// Timings of the tree package: the build (the vectorised quadratic pass below
// MST1_OCTANT_FROM points, the octant graph from there), the octant graph
// alone, the plain two-pass Prim loop they replaced, and the incremental
// tree's trials.
#include "insertion.h"
#include "mst1.h"
#include "mst1_handle.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <vector>

using namespace steiner::internal;

namespace {

std::vector<Point> random_points(int32_t count, uint32_t seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int32_t> coordinate(0, 1000000);
    std::vector<Point> points(static_cast<size_t>(count));
    for (Point &p : points)
        p = Point{coordinate(random), coordinate(random)};
    return points;
}

// Candidates in the router's manner: the row of one terminal and the column
// of another.
std::vector<Point> with_candidates(std::vector<Point> terminals, int32_t candidates,
                                   uint32_t seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<size_t> pick(0, terminals.size() - 1);
    for (int32_t k = 0; k < candidates; k++)
        terminals.push_back(Point{terminals[pick(random)].row, terminals[pick(random)].column});
    return terminals;
}

void BM_BuildTree(benchmark::State &state) {
    auto n = static_cast<int32_t>(state.range(0));
    std::vector<Point> points = random_points(n, 1);
    std::vector<int32_t> parent(points.size());
    for (auto _ : state)
        benchmark::DoNotOptimize(mst1_build_tree(n, points.data(), parent.data()));
}
BENCHMARK(BM_BuildTree)->Arg(1000)->Arg(4000)->Arg(16000)->Unit(benchmark::kMillisecond);

void BM_BuildTreePlain(benchmark::State &state) {
    auto n = static_cast<int32_t>(state.range(0));
    std::vector<Point> points = random_points(n, 1);
    std::vector<int32_t> parent(points.size());
    for (auto _ : state)
        benchmark::DoNotOptimize(mst1_build_tree_reference(n, points.data(), parent.data()));
}
BENCHMARK(BM_BuildTreePlain)->Arg(1000)->Arg(4000)->Arg(16000)->Unit(benchmark::kMillisecond);

void BM_BuildTreeOctant(benchmark::State &state) {
    auto n = static_cast<int32_t>(state.range(0));
    std::vector<Point> points = random_points(n, 1);
    std::vector<int32_t> parent(points.size());
    for (auto _ : state)
        benchmark::DoNotOptimize(mst1_build_tree_octant(n, points.data(), parent.data()));
}
BENCHMARK(BM_BuildTreeOctant)
    ->Arg(1000)
    ->Arg(4000)
    ->Arg(16000)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond);

// Candidates per trial benchmark, tried in turn.
constexpr int32_t TRIAL_CANDIDATES = 4096;

// A working set of state.range(0) random points in an incremental tree,
// followed in points by TRIAL_CANDIDATES candidates; no tree (the benchmark
// marked as failed) when memory runs out.
struct TrialSet {
    int32_t working;
    std::vector<Point> points;
    Mst1DynamicPtr tree;
};

TrialSet trial_set(benchmark::State &state) {
    TrialSet set{static_cast<int32_t>(state.range(0)), {}, nullptr};
    set.points = with_candidates(random_points(set.working, 2), TRIAL_CANDIDATES, 3);
    set.tree.reset(mst1_dynamic_create(static_cast<int32_t>(set.points.size()), set.points.data()));
    if (set.tree == nullptr)
        state.SkipWithError("out of memory");
    else
        mst1_dynamic_start(set.tree.get(), set.working);
    return set;
}

// One trial on a working set of state.range(0) points: add one candidate,
// read the length, roll back.
void BM_DynamicTrial(benchmark::State &state) {
    TrialSet set = trial_set(state);
    if (set.tree == nullptr)
        return;
    int32_t next = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(mst1_dynamic_add(set.tree.get(), set.working + next));
        mst1_dynamic_rollback(set.tree.get());
        next = next + 1 == TRIAL_CANDIDATES ? 0 : next + 1;
    }
}
BENCHMARK(BM_DynamicTrial)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);

// One rejected trial through the router's entry point: add_if_shorter on a
// working set of state.range(0) points, for candidates known not to shorten
// the tree (chosen before timing), so nothing is added or undone.
void BM_RejectedTrialDecision(benchmark::State &state) {
    TrialSet set = trial_set(state);
    if (set.tree == nullptr)
        return;
    Mst1Dynamic *tree = set.tree.get();
    const int64_t length = mst1_dynamic_length(tree);
    std::vector<int32_t> rejected;
    for (int32_t k = set.working; k < set.working + TRIAL_CANDIDATES; k++) {
        if (mst1_dynamic_add(tree, k) >= length)
            rejected.push_back(k);
        mst1_dynamic_rollback(tree);
    }
    size_t next = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(mst1_dynamic_add_if_shorter(tree, rejected[next]));
        next = next + 1 == rejected.size() ? 0 : next + 1;
    }
}
BENCHMARK(BM_RejectedTrialDecision)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMicrosecond);

// A whole insertion phase: 10,000 terminals, then 100,000 candidates tried in
// blocks of state.range(0) by the insertion engine the router uses.
void BM_InsertionSequence(benchmark::State &state) {
    const int32_t terminals = 10000;
    const int32_t candidates = 100000;
    auto block = static_cast<int32_t>(state.range(0));
    std::vector<Point> points = with_candidates(random_points(terminals, 4), candidates, 5);
    const auto count = static_cast<int32_t>(points.size());
    std::vector<Point> tree_points(points.size());
    std::vector<int32_t> parent(points.size());
    for (auto _ : state) {
        std::copy(points.begin(), points.begin() + terminals, tree_points.begin());
        int64_t length = mst1_build_tree(terminals, tree_points.data(), parent.data());
        int32_t removed = 0;
        const int32_t nodes =
            insertion_run(terminals, count, block, points.data(), tree_points.data(), parent.data(),
                          &length, &removed, nullptr, nullptr);
        if (nodes < 0) {
            state.SkipWithError("out of memory");
            return;
        }
        benchmark::DoNotOptimize(length);
    }
}
BENCHMARK(BM_InsertionSequence)
    ->Arg(1)
    ->Arg(100)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

} // namespace

BENCHMARK_MAIN();
