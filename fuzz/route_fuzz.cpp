// The library's route, fed small nets with ties, coincident terminals and
// coordinates out to the ends of the range: the tree is the same on any
// number of threads, keeps every promise a tree makes (a stepwise one too),
// and on a net of up to 9 terminals has the exact minimal length at greedy
// and best.
#include "exact_reference.h"
#include "tree_properties.h"

#include <steiner/steiner.h>

#include <cstdint>
#include <vector>

namespace {

// The library's trees of nets of up to this many terminals are minimal.
constexpr size_t minimal_up_to = 9;

void check(bool promise) {
    if (!promise)
        __builtin_trap();
}

// Reads one coordinate in the chosen layout; false when the bytes run out.
bool coordinate(const uint8_t *data, size_t size, size_t *at, uint8_t layout, int32_t side,
                int32_t *value) {
    const size_t widths[] = {1, 2, 4, 1};
    if (size - *at < widths[layout])
        return false;
    uint32_t bytes = 0;
    for (size_t k = 0; k < widths[layout]; k++)
        bytes = bytes << 8 | data[*at + k];
    *at += widths[layout];
    switch (layout) {
    case 0: // a tiny grid: ties and coincident terminals everywhere
        *value = static_cast<int32_t>(bytes % static_cast<uint32_t>(side)) - side / 2;
        break;
    case 1: // a wider grid where ties are rarer
        *value = static_cast<int32_t>(bytes);
        break;
    case 2: // anywhere in the range
        *value = static_cast<int32_t>(bytes % (uint32_t{steiner::coordinate_max} * 2 + 1)) -
                 steiner::coordinate_max;
        break;
    default: // coarse steps that reach both ends of the range
        *value = (static_cast<int32_t>(bytes % 255) - 127) * (steiner::coordinate_max / 127);
        break;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1)
        return 0;
    const steiner::Effort efforts[] = {steiner::Effort::rmst, steiner::Effort::greedy,
                                       steiner::Effort::best};
    const steiner::Effort effort = efforts[data[0] % 3];
    const auto layout = static_cast<uint8_t>(data[0] / 3 % 4);
    const int32_t side = 2 + data[0] / 12 % 7;
    std::vector<steiner::Point> net;
    size_t at = 1;
    steiner::Point p{};
    while (net.size() < 12 && coordinate(data, size, &at, layout, side, &p.row) &&
           coordinate(data, size, &at, layout, side, &p.column))
        net.push_back(p);
    if (net.empty())
        return 0;

    steiner::Options options;
    options.effort = effort;
    const steiner::Tree tree = steiner::route(net, options);
    options.threads = 3;
    check(tree == steiner::route(net, options));
    check(tree_properties::broken(net, tree).empty());
    check(effort != steiner::Effort::rmst || tree.steiner_count() == 0);
    options.threads = 1;
    options.stepwise = true;
    const steiner::Tree stepwise = steiner::route(net, options);
    check(tree_properties::broken(net, stepwise, true).empty());
    if (net.size() <= minimal_up_to) {
        const int64_t optimum = exact_reference::steiner_length(net);
        check(effort == steiner::Effort::rmst ? tree.length >= optimum : tree.length == optimum);
        check(stepwise.length >= optimum);
    }
    return 0;
}
