// The C++ side of run_python.sh: reads a netlist (the number of nets, then each
// net as its terminal count and that many row/column pairs) and prints the best
// of REPEATS passes of steiner::route at EFFORT (rmst, greedy or best) over
// every net, in microseconds per call.
// Usage: time_calls NETLIST REPEATS EFFORT
#include <steiner/steiner.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char **argv) {
    FILE *in = argc == 4 ? fopen(argv[1], "r") : nullptr;
    if (in == nullptr) {
        fprintf(stderr, "usage: time_calls NETLIST REPEATS EFFORT\n");
        return 1;
    }
    const int repeats = atoi(argv[2]);
    steiner::Options options;
    const std::string effort = argv[3];
    options.effort = effort == "rmst"     ? steiner::Effort::rmst
                     : effort == "greedy" ? steiner::Effort::greedy
                                          : steiner::Effort::best;
    int count = 0;
    std::vector<std::vector<steiner::Point>> nets;
    if (fscanf(in, "%d", &count) != 1)
        return 1;
    for (int n = 0; n < count; n++) {
        int size = 0;
        if (fscanf(in, "%d", &size) != 1)
            return 1;
        std::vector<steiner::Point> net(static_cast<size_t>(size));
        for (steiner::Point &p : net)
            if (fscanf(in, "%d %d", &p.row, &p.column) != 2)
                return 1;
        nets.push_back(net);
    }
    fclose(in);
    double best = 1e300;
    long long total = 0;
    for (int r = 0; r < repeats; r++) {
        const auto start = std::chrono::steady_clock::now();
        for (const auto &net : nets)
            total += steiner::route(net, options).length;
        const std::chrono::duration<double, std::micro> spent =
            std::chrono::steady_clock::now() - start;
        best = std::min(best, spent.count() / count);
    }
    // The total keeps the calls from being optimised away.
    printf("%.2f %lld\n", best, total / std::max(repeats, 1));
    return 0;
}
