// Quality of small_steiner_points on the proven nets up to 50 terminals, its
// time per net, and the time of a seeded mix of random nets of 4..50
// terminals. Every result is checked as the router would see it.
#include "scale.h"
#include "screening.h"
#include "small.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

// CPU time of this thread: the machine is shared, and waiting for a core
// is not the code's cost.
struct Clock {
    using time_point = std::chrono::duration<double>;
    static time_point now() {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return time_point(static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec));
    }
};

std::vector<Point> read_net(const std::string &path) {
    std::ifstream in(path);
    int count = 0;
    in >> count;
    std::vector<Point> points;
    for (int k = 0; k < count; k++) {
        Point p{};
        in >> p.row >> p.column;
        points.push_back(p);
    }
    return points;
}

// The router's view: screening, a strictly shorter tree at every point, and
// the claimed final length.
bool router_agrees(const std::vector<Point> &terminals, const std::vector<Point> &steiner,
                   int64_t length) {
    std::vector<Point> all = terminals;
    all.insert(all.end(), steiner.begin(), steiner.end());
    std::unique_ptr<Mst1Dynamic, void (*)(Mst1Dynamic *)> tree(
        mst1_dynamic_create(static_cast<int32_t>(all.size()), all.data()), mst1_dynamic_destroy);
    int64_t current = 0;
    for (size_t k = 0; k < terminals.size(); k++)
        current = mst1_dynamic_add(tree.get(), static_cast<int32_t>(k));
    for (size_t k = 0; k < steiner.size(); k++) {
        if (!screen_candidate(steiner[k].row, steiner[k].column, terminals.data(),
                              static_cast<int32_t>(terminals.size())))
            return false;
        const int64_t next =
            mst1_dynamic_add(tree.get(), static_cast<int32_t>(terminals.size() + k));
        if (next >= current)
            return false;
        current = next;
    }
    return current == length;
}

using Method = std::vector<Point> (*)(const Point *, int32_t, int64_t *);

std::vector<Point> small_method(const Point *t, int32_t n, int64_t *length) {
    return small_steiner_points(t, n, length);
}

std::vector<Point> scale_method(const Point *t, int32_t n, int64_t *length) {
    return scale_steiner_points(t, n, 1, length, nullptr, nullptr);
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: small_bench DATA_DIR [--scale] [--mix N] [--max-degree D]\n");
        return 1;
    }
    const std::string data = argv[1];
    Method method = small_method;
    size_t mix = 25000;
    int max_degree = 50;
    for (int a = 2; a < argc; a++) {
        if (std::strcmp(argv[a], "--scale") == 0)
            method = scale_method;
        else if (std::strcmp(argv[a], "--mix") == 0 && a + 1 < argc)
            mix = std::stoul(argv[++a]);
        else if (std::strcmp(argv[a], "--max-degree") == 0 && a + 1 < argc)
            max_degree = std::stoi(argv[++a]);
    }

    struct Set {
        double percent = 0;
        double micros = 0;
        int nets = 0;
        int optimal = 0;
    };
    std::map<std::string, Set> sets;
    std::vector<std::string> names;
    std::ifstream table(data + "/lengths.tsv");
    std::string line;
    std::getline(table, line);
    bool ok = true;
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string file, status;
        long n = 0, rmst = 0, opt = 0;
        fields >> file >> n >> rmst >> opt >> status;
        if (status != "optimal" || n > 50)
            continue;
        const std::string name = file.rfind("soukup", 0) == 0 ? "SC" : "OR" + std::to_string(n);
        if (!sets.count(name))
            names.push_back(name);
        const std::vector<Point> terminals = read_net(data + "/" + file);
        int64_t length = 0;
        std::vector<Point> steiner;
        int repeats = 0;
        const auto start = Clock::now();
        double seconds = 0;
        do {
            steiner = method(terminals.data(), static_cast<int32_t>(terminals.size()), &length);
            repeats++;
            seconds = std::chrono::duration<double>(Clock::now() - start).count();
        } while (seconds < 0.02);
        if (!router_agrees(terminals, steiner, length)) {
            std::printf("%s: the router disagrees\n", file.c_str());
            ok = false;
        }
        Set &set = sets[name];
        set.percent += 100.0 * static_cast<double>(length - opt) / static_cast<double>(opt);
        set.micros += 1e6 * seconds / repeats;
        set.nets++;
        set.optimal += length == opt;
    }
    std::printf("| set | nets | %% above optimum | at optimum | us per net |\n|---|---|---|---|---|\n");
    for (const std::string &name : names) {
        const Set &s = sets[name];
        std::printf("| %s | %d | %.3f | %d/%d | %.1f |\n", name.c_str(), s.nets, s.percent / s.nets,
                    s.optimal, s.nets, s.micros / s.nets);
    }

    std::mt19937 random(12345);
    std::uniform_int_distribution<int> degree(4, max_degree);
    std::uniform_int_distribution<int32_t> coordinate(0, 999999);
    std::vector<std::vector<Point>> nets(mix);
    size_t terminals = 0;
    for (auto &net : nets) {
        net.resize(static_cast<size_t>(degree(random)));
        for (Point &p : net)
            p = Point{coordinate(random), coordinate(random)};
        terminals += net.size();
    }
    std::vector<int64_t> lengths(mix);
    std::vector<std::vector<Point>> results(mix);
    const auto start = Clock::now();
    for (size_t k = 0; k < mix; k++)
        results[k] = method(nets[k].data(), static_cast<int32_t>(nets[k].size()), &lengths[k]);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    double below = 0;
    for (size_t k = 0; k < mix; k++) {
        if (!router_agrees(nets[k], results[k], lengths[k])) {
            std::printf("mix net %zu: the router disagrees\n", k);
            ok = false;
        }
        std::vector<int32_t> parent(nets[k].size());
        const int64_t spanning = mst1_build_tree_reentrant(static_cast<int32_t>(nets[k].size()),
                                                           nets[k].data(), parent.data());
        below += 100.0 * static_cast<double>(spanning - lengths[k]) / static_cast<double>(spanning);
    }
    std::printf("mix: %zu nets of 4..%d terminals (%.1f mean): %.3f s, %.1f us per net, "
                "%.3f%% below the spanning tree\n",
                mix, max_degree, static_cast<double>(terminals) / static_cast<double>(mix), seconds,
                1e6 * seconds / static_cast<double>(mix), below / static_cast<double>(mix));
    return ok ? 0 : 1;
}
