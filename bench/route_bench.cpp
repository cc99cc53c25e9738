// Time per net of steiner::route at each effort, on nets drawn like a
// realistic netlist's but all of one size: distinct terminals in a box of
// side about 200 sqrt(terminals) plus 1 to 400 on a 100,000 x 100,000 die,
// 20,000 nets of each size, every net routed in turn.
#include <steiner/steiner.h>

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <set>
#include <utility>
#include <vector>

namespace {

std::vector<std::vector<steiner::Point>> nets_of(size_t terminals) {
    std::mt19937_64 random(terminals);
    std::vector<std::vector<steiner::Point>> nets(20000);
    for (std::vector<steiner::Point> &net : nets) {
        const auto side = static_cast<int32_t>(200.0 * std::sqrt(static_cast<double>(terminals))) +
                          1 + static_cast<int32_t>(random() % 400);
        const auto row0 = static_cast<int32_t>(random() % static_cast<uint64_t>(100000 - side));
        const auto column0 = static_cast<int32_t>(random() % static_cast<uint64_t>(100000 - side));
        std::set<std::pair<int32_t, int32_t>> taken;
        while (net.size() < terminals) {
            const int32_t row = row0 + static_cast<int32_t>(random() % static_cast<uint64_t>(side));
            const int32_t column =
                column0 + static_cast<int32_t>(random() % static_cast<uint64_t>(side));
            if (taken.insert({row, column}).second)
                net.push_back(steiner::Point{row, column});
        }
    }
    return nets;
}

void route_each(benchmark::State &state, steiner::Effort effort) {
    const std::vector<std::vector<steiner::Point>> nets =
        nets_of(static_cast<size_t>(state.range(0)));
    steiner::Options options;
    options.effort = effort;
    size_t next = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(steiner::route(nets[next], options).length);
        next = next + 1 == nets.size() ? 0 : next + 1;
    }
}

void BM_RouteGreedy(benchmark::State &state) {
    route_each(state, steiner::Effort::greedy);
}

void BM_RouteBest(benchmark::State &state) {
    route_each(state, steiner::Effort::best);
}

void sizes(benchmark::internal::Benchmark *benchmark) {
    for (int terminals : {2, 3, 4, 6, 9, 15, 30})
        benchmark->Arg(terminals);
    benchmark->Unit(benchmark::kMicrosecond);
}

BENCHMARK(BM_RouteGreedy)->Apply(sizes);
BENCHMARK(BM_RouteBest)->Apply(sizes);

} // namespace

BENCHMARK_MAIN();
