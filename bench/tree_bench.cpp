// Timings of the tree package: the build (the vectorised quadratic pass below
// MST1_OCTANT_FROM points, the octant graph from there), the octant graph
// alone, the plain two-pass Prim loop they replaced, and the incremental
// tree's trials.
#include "insertion.h"
#include "mst1.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <vector>

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

// A tree over points holding their first working ones, or null (the
// benchmark marked as failed) when memory runs out.
Mst1Dynamic *working_tree(benchmark::State &state, const std::vector<Point> &points,
                          int32_t working) {
    Mst1Dynamic *tree = mst1_dynamic_create(static_cast<int32_t>(points.size()), points.data());
    if (tree == nullptr) {
        state.SkipWithError("out of memory");
        return nullptr;
    }
    mst1_dynamic_start(tree, working);
    return tree;
}

// One trial on a working set of state.range(0) points: add one candidate,
// read the length, roll back.
void BM_DynamicTrial(benchmark::State &state) {
    auto working = static_cast<int32_t>(state.range(0));
    const int32_t candidates = 4096;
    std::vector<Point> points = with_candidates(random_points(working, 2), candidates, 3);
    Mst1Dynamic *tree = working_tree(state, points, working);
    if (tree == nullptr)
        return;
    int32_t next = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(mst1_dynamic_add(tree, working + next));
        mst1_dynamic_rollback(tree);
        next = next + 1 == candidates ? 0 : next + 1;
    }
    mst1_dynamic_destroy(tree);
}
BENCHMARK(BM_DynamicTrial)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);

// One rejected trial through the router's entry point: add_if_shorter on a
// working set of state.range(0) points, for candidates known not to shorten
// the tree (chosen before timing), so nothing is added or undone.
void BM_RejectedTrialDecision(benchmark::State &state) {
    auto working = static_cast<int32_t>(state.range(0));
    const int32_t candidates = 4096;
    std::vector<Point> points = with_candidates(random_points(working, 2), candidates, 3);
    Mst1Dynamic *tree = working_tree(state, points, working);
    if (tree == nullptr)
        return;
    const int64_t length = mst1_dynamic_length(tree);
    std::vector<int32_t> rejected;
    for (int32_t k = 0; k < candidates; k++) {
        if (mst1_dynamic_add(tree, working + k) >= length)
            rejected.push_back(working + k);
        mst1_dynamic_rollback(tree);
    }
    size_t next = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(mst1_dynamic_add_if_shorter(tree, rejected[next]));
        next = next + 1 == rejected.size() ? 0 : next + 1;
    }
    mst1_dynamic_destroy(tree);
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
