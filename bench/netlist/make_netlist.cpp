// Writes a seeded synthetic netlist, in one of two mixes of net sizes:
// - heavy (the default): about half the nets 2 terminals, a quarter 3, the
//   rest 4 to 50, and one in a thousand 51 to 1,000 (log-uniform); each net
//   lies in a box around a random centre of a 1,000,000 x 1,000,000 die,
//   wider for more terminals;
// - realistic: half the nets 2 terminals, a quarter 3, the rest from 4 up,
//   each further terminal with probability 0.8, at most 50; distinct
//   terminals in a box of side about 200 sqrt(terminals) plus 1 to 400, on a
//   100,000 x 100,000 die.
// Usage: make_netlist NETS SEED [heavy|realistic] > netlist.txt
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <utility>

namespace {

// splitmix64: the same numbers on every platform.
uint64_t next(uint64_t *state) {
    uint64_t z = (*state += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

int64_t below(uint64_t *state, int64_t bound) {
    return static_cast<int64_t>(next(state) % static_cast<uint64_t>(bound));
}

// A realistic net: its size, then distinct terminals in a box.
void realistic_net(uint64_t *state) {
    constexpr int64_t die = 100000;
    const int64_t pick = below(state, 4);
    int64_t degree = pick < 2 ? 2 : pick == 2 ? 3 : 4;
    while (pick == 3 && degree < 50 && below(state, 5) < 4)
        degree++;
    const int64_t side = static_cast<int64_t>(200.0 * std::sqrt(static_cast<double>(degree))) +
                         1 + below(state, 400);
    const int64_t row0 = below(state, die - side);
    const int64_t column0 = below(state, die - side);
    printf("%lld\n", static_cast<long long>(degree));
    std::set<std::pair<int64_t, int64_t>> taken;
    while (static_cast<int64_t>(taken.size()) < degree) {
        const std::pair<int64_t, int64_t> p{row0 + below(state, side), column0 + below(state, side)};
        if (taken.insert(p).second)
            printf("%lld %lld\n", static_cast<long long>(p.first),
                   static_cast<long long>(p.second));
    }
}

} // namespace

int main(int argc, char **argv) {
    const std::string mix = argc == 4 ? argv[3] : "heavy";
    if ((argc != 3 && argc != 4) || (mix != "heavy" && mix != "realistic")) {
        fprintf(stderr, "usage: make_netlist NETS SEED [heavy|realistic]\n");
        return 1;
    }
    const long nets = std::strtol(argv[1], nullptr, 10);
    uint64_t state = std::strtoull(argv[2], nullptr, 10);
    constexpr int64_t die = 1000000;
    printf("%ld\n", nets);
    for (long n = 0; n < nets; n++) {
        if (mix == "realistic") {
            realistic_net(&state);
            continue;
        }
        const int64_t pick = below(&state, 1000);
        int64_t degree = 2;
        if (pick >= 999)
            degree = static_cast<int64_t>(51.0 * std::pow(1000.0 / 51.0, below(&state, 1000) / 999.0));
        else if (pick >= 750)
            degree = 4 + below(&state, 47);
        else if (pick >= 500)
            degree = 3;
        const auto side = static_cast<int64_t>(2000.0 * std::sqrt(static_cast<double>(degree)));
        const int64_t row0 = below(&state, die - side);
        const int64_t column0 = below(&state, die - side);
        printf("%lld\n", static_cast<long long>(degree));
        for (int64_t k = 0; k < degree; k++)
            printf("%lld %lld\n", static_cast<long long>(row0 + below(&state, side)),
                   static_cast<long long>(column0 + below(&state, side)));
    }
    return 0;
}
