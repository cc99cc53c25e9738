// Measures scale_steiner_points: tree quality on the proven benchmark nets,
// and time, peak memory and length on random uniform nets.
//
//   scale_bench quality DATA_DIR [MAX_N]   mean % above the optimum per set
//   scale_bench random N [SEED]            one random net of N terminals
//
// Every result is checked the way the router would see it: each point must
// pass the screening and strictly shorten the tree when added in order, and the
// reported length must be the tree length of terminals plus points.
#include "screening.h"
#include "scale.h"

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <unordered_set>
#include <vector>

namespace {

constexpr int THREADS = 2;

struct DynamicDeleter {
    void operator()(Mst1Dynamic *tree) const {
        mst1_dynamic_destroy(tree);
    }
};

// The terminals' tree length, or -1 when the points fail the router's rules.
int64_t check(const std::vector<Point> &terminals, const std::vector<Point> &steiner,
              int64_t claimed, int64_t *spanning) {
    std::vector<Point> all = terminals;
    all.insert(all.end(), steiner.begin(), steiner.end());
    std::unique_ptr<Mst1Dynamic, DynamicDeleter> tree(
        mst1_dynamic_create(static_cast<int32_t>(all.size()), all.data()));
    std::unique_ptr<ScreenIndex, void (*)(ScreenIndex *)> screen(
        screen_index_build(terminals.data(), static_cast<int32_t>(terminals.size())),
        screen_index_free);
    if (tree == nullptr || screen == nullptr)
        return -1;
    int64_t length = 0;
    for (size_t k = 0; k < terminals.size(); k++)
        length = mst1_dynamic_add(tree.get(), static_cast<int32_t>(k));
    *spanning = length;
    for (size_t k = 0; k < steiner.size(); k++) {
        if (!screen_candidate_indexed(screen.get(), steiner[k].row, steiner[k].column))
            return -1;
        const int64_t next = mst1_dynamic_add(tree.get(), static_cast<int32_t>(terminals.size() + k));
        if (next >= length)
            return -1;
        length = next;
    }
    return length == claimed ? length : -1;
}

double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

bool read_net(const std::string &path, std::vector<Point> *points) {
    std::ifstream in(path);
    long count = 0;
    if (!(in >> count) || count < 1)
        return false;
    points->clear();
    for (long k = 0; k < count; k++) {
        long row = 0;
        long column = 0;
        if (!(in >> row >> column))
            return false;
        points->push_back(Point{static_cast<int32_t>(row), static_cast<int32_t>(column)});
    }
    return true;
}

std::string set_of(const std::string &file) {
    if (file.rfind("soukup-chow/", 0) == 0)
        return "SC";
    const size_t at = file.find("estein", file.find('/'));
    return "OR" + file.substr(at + 6, file.rfind('-') - at - 6);
}

int quality(const std::string &dir, long max_n) {
    std::ifstream table(dir + "/lengths.tsv");
    std::string line;
    std::getline(table, line);
    struct Sum {
        int runs = 0;
        int nets = 0; // with a proven optimum
        double above = 0;
        double below = 0;
        int at = 0;
        double time = 0;
        double worst = 0;
    };
    std::map<std::pair<long, std::string>, Sum> sums;
    Sum all;
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string file;
        std::string status;
        long n = 0;
        long rmst = 0;
        long opt = 0;
        fields >> file >> n >> rmst >> opt >> status;
        if (n > max_n)
            continue;
        std::vector<Point> terminals;
        if (!read_net(dir + "/" + file, &terminals)) {
            std::fprintf(stderr, "scale_bench: cannot read %s\n", file.c_str());
            return 1;
        }
        const auto start = std::chrono::steady_clock::now();
        int64_t length = 0;
        const std::vector<Point> steiner =
            scale_steiner_points(terminals.data(), static_cast<int32_t>(terminals.size()),
                                 THREADS, &length, nullptr, nullptr);
        const double time = seconds_since(start);
        int64_t spanning = 0;
        if (check(terminals, steiner, length, &spanning) < 0) {
            std::fprintf(stderr, "scale_bench: %s: the points fail the router's rules\n",
                         file.c_str());
            return 1;
        }
        const std::string set = set_of(file);
        Sum &sum = sums[{set == "SC" ? 0 : std::stol(set.substr(2)), set}];
        for (Sum *s : {&sum, &all}) {
            s->runs++;
            s->below += 100.0 * static_cast<double>(rmst - length) / static_cast<double>(rmst);
            s->time += time;
            s->worst = std::max(s->worst, time);
            if (status == "optimal") {
                s->nets++;
                s->above += 100.0 * static_cast<double>(length - opt) / static_cast<double>(opt);
                s->at += length == opt;
            }
        }
    }
    std::printf("%-7s %5s %9s %9s %8s %8s %8s\n", "set", "nets*", "% > opt", "% < mst", "at opt",
                "mean s", "max s");
    auto row = [](const std::string &name, const Sum &s) {
        std::printf("%-7s %5d %9.3f %9.3f %8d %8.3f %8.3f\n", name.c_str(), s.nets,
                    s.above / s.nets, s.below / s.runs, s.at, s.time / s.runs, s.worst);
    };
    for (const auto &entry : sums)
        row(entry.first.second, entry.second);
    row("all", all);
    return 0;
}

// Distinct uniform points with coordinates 0..9,999,999, from a fixed seed.
std::vector<Point> random_net(long count, uint64_t seed) {
    std::vector<Point> points;
    std::unordered_set<uint64_t> seen;
    uint64_t state = seed;
    auto next = [&state]() {
        // splitmix64
        uint64_t z = (state += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    };
    while (static_cast<long>(points.size()) < count) {
        const auto row = static_cast<int32_t>(next() % 10000000);
        const auto column = static_cast<int32_t>(next() % 10000000);
        const uint64_t key = uint64_t{static_cast<uint32_t>(row)} << 32 | static_cast<uint32_t>(column);
        if (seen.insert(key).second)
            points.push_back(Point{row, column});
    }
    return points;
}

void show(void *, const ScaleProgress &progress) {
    std::fprintf(stderr, "  %-8s %3d %lld\n", progress.phase, progress.round,
                 static_cast<long long>(progress.length));
}

int random(long count, uint64_t seed, bool verbose) {
    const std::vector<Point> terminals = random_net(count, seed);
    const auto start = std::chrono::steady_clock::now();
    int64_t length = 0;
    const std::vector<Point> steiner =
        scale_steiner_points(terminals.data(), static_cast<int32_t>(terminals.size()), THREADS,
                             &length, verbose ? show : nullptr, nullptr);
    const double time = seconds_since(start);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    int64_t spanning = 0;
    if (check(terminals, steiner, length, &spanning) < 0) {
        std::fprintf(stderr, "scale_bench: the points fail the router's rules\n");
        return 1;
    }
    std::printf("%8ld terminals  seed %llu  %9.2f s  %7.1f MiB peak  %zu points  %.3f %% below "
                "the spanning tree\n",
                count, static_cast<unsigned long long>(seed), time,
                static_cast<double>(usage.ru_maxrss) / 1024.0, steiner.size(),
                100.0 * static_cast<double>(spanning - length) / static_cast<double>(spanning));
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "quality" && argc >= 3)
        return quality(argv[2], argc > 3 ? std::atol(argv[3]) : 1000000);
    if (mode == "random" && argc >= 3)
        return random(std::atol(argv[2]), argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 1,
                      std::getenv("SCALE_BENCH_VERBOSE") != nullptr);
    std::fprintf(stderr, "usage: scale_bench quality DATA_DIR [MAX_N] | random N [SEED]\n");
    return 1;
}
