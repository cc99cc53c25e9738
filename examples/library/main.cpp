// Routes a few nets with the installed library and prints their lengths.
#include <steiner/steiner.h>

#include <cstdio>
#include <vector>

int main() {
    const std::vector<std::vector<steiner::Point>> nets = {
        {{0, 0}, {7, 3}},
        {{0, 5}, {10, 5}, {5, 0}},
        {{10, 5}, {30, 10}, {5, 30}, {20, 0}, {5, 0}},
        {{0, 0}, {0, 40}, {40, 0}, {40, 40}, {20, 10}, {10, 30}, {30, 20}},
    };
    for (const std::vector<steiner::Point> &net : nets) {
        const steiner::Tree tree = steiner::route(net);
        printf("%zu terminals: length %lld (spanning tree %lld), %zu Steiner points\n", net.size(),
               static_cast<long long>(tree.length), static_cast<long long>(tree.rmst_length),
               tree.steiner_count());
    }
    return 0;
}
