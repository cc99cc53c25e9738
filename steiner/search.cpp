// The search as a whole: the greedy growth, restarted from several first
// choices on small nets; for the best effort, rounds of local search, order
// and growth on top of it; and the finish that prunes and orders each result.
#include "engine.h"
#include "exact.h"

#include "mst1_handle.h"

#include <algorithm>
#include <new>

namespace steiner::internal {

namespace {

// A greedy that starts wrong rarely recovers, so on nets of up to
// FEW_TERMINALS growth starts from each of the FIRST_CHOICES best first
// points, keeping the shortest result; on larger nets the time is better
// spent elsewhere.
constexpr size_t FEW_TERMINALS = 12;
constexpr size_t FIRST_CHOICES = 4;

// Rounds of local search, order and growth; each round must shorten the tree
// to be followed by another.
constexpr int MAX_ROUNDS = 8;

size_t distinct_places(const Point *points, size_t count) {
    std::vector<uint64_t> places(count);
    for (size_t k = 0; k < count; k++)
        places[k] = point_key(points[k]);
    std::sort(places.begin(), places.end());
    return static_cast<size_t>(std::unique(places.begin(), places.end()) - places.begin());
}

// A minimal tree of a net of few places, its Steiner points put in order by
// the finish. Returns the minimal length, which the result falls short of
// when a stepwise finish left out points that shorten it only together.
int64_t minimal_tree(const Net &net, SearchResult *result) {
    std::vector<Point> steiner;
    const int64_t minimal = exact_steiner_tree(net.terminals, net.count, &steiner);
    std::vector<Point> &points = result->points;
    points.assign(net.terminals, net.terminals + net.count);
    points.insert(points.end(), steiner.begin(), steiner.end());
    result->length = finish(net, &points, false, &result->parents);
    return minimal;
}

// The greedy growth from the terminals, whose tree has length start: *points
// gets the terminals and the Steiner points kept; returns the tree length.
int64_t grow_greedily(Search *search, int64_t start, std::vector<Point> *points) {
    const std::vector<Point> terminals(search->net.terminals,
                                       search->net.terminals + search->net.count);
    const Pool pool = form_pool(search, terminals, 0);
    std::vector<int32_t> firsts;
    for (size_t k = 0; k < pool.gains.size(); k++)
        if (pool.gains[k] > 0)
            firsts.push_back(static_cast<int32_t>(k));
    const size_t choices =
        std::min(firsts.size(), search->net.count <= FEW_TERMINALS ? FIRST_CHOICES : size_t{1});
    std::partial_sort(firsts.begin(), firsts.begin() + static_cast<std::ptrdiff_t>(choices),
                      firsts.end(), [&pool](int32_t a, int32_t b) {
                          const int64_t ga = pool.gains[static_cast<size_t>(a)];
                          const int64_t gb = pool.gains[static_cast<size_t>(b)];
                          return ga != gb ? ga > gb : a < b;
                      });
    *points = terminals;
    int64_t best = start;
    for (size_t c = 0; c < choices; c++) {
        std::vector<Point> trial = terminals;
        const int64_t length = grow(search, &trial, pool, firsts[c]);
        if (length < best) {
            best = length;
            *points = std::move(trial);
        }
    }
    return best;
}

// The greedy growth with exact windows over its tree, then, when options
// ask for it, rounds of local search: the points, parents and length of
// *result.
void search_heuristically(const Net &net, const SearchOptions &options, SearchResult *result) {
    Search search(net, options);
    std::vector<Point> greedy;
    std::vector<int32_t> greedy_parents;
    grow_greedily(&search, result->terminal_length, &greedy);
    int64_t windows_length = 0;
    const std::vector<Point> windowed = improve_windows(net, greedy, &windows_length);
    greedy.resize(net.count);
    greedy.insert(greedy.end(), windowed.begin(), windowed.end());
    const int64_t greedy_length = finish(net, &greedy, false, &greedy_parents);
    result->points = greedy;
    result->parents = greedy_parents;
    result->length = greedy_length;
    if (options.improve) {
        std::vector<Point> points = greedy;
        std::vector<Point> &best = result->points;
        std::vector<int32_t> scratch;
        int64_t best_length = greedy_length;
        int64_t improved = INT64_MAX;
        for (int round = 0; round < MAX_ROUNDS; round++) {
            int64_t layout_length = 0;
            const std::vector<Point> rest = improve_locally(&search, points, &layout_length);
            search.report("improve", layout_length);
            // The search came back to a set it had already reached.
            if (layout_length >= improved)
                break;
            improved = layout_length;
            points.assign(net.terminals, net.terminals + net.count);
            points.insert(points.end(), rest.begin(), rest.end());
            finish(net, &points, false, &scratch);
            const int64_t current = grow(&search, &points, form_pool(&search, points, 0), -1);
            if (current >= best_length)
                break;
            best = points;
            best_length = current;
        }
        result->length = finish(net, &best, true, &result->parents);
        // Pruning what growth left can cost length, rarely; the greedy's tree
        // is as good a start.
        if (result->length > greedy_length) {
            result->points = greedy;
            result->parents = greedy_parents;
            result->length = greedy_length;
        }
    }
}

} // namespace

SearchResult search_steiner_points(const Point *terminals, int32_t count,
                                   const SearchOptions &options) {
    const Net net{terminals, static_cast<size_t>(count), options.threads, options.stepwise};
    SearchResult result;
    std::vector<int32_t> scratch;
    result.terminal_length =
        mst1_build_tree_into(std::vector<Point>(terminals, terminals + count), &scratch);
    const bool few = distinct_places(terminals, net.count) <= EXACT_MAX_PLACES;
    const int64_t minimal = few ? minimal_tree(net, &result) : 0;
    if (few && result.length == minimal) {
        if (options.listener != nullptr)
            options.listener(options.context, SearchStep{"order", 1, result.length, 1});
        return result;
    }
    // A stepwise finish left out points of the minimal tree; the search may
    // find others that shorten the tree one at a time.
    SearchResult searched;
    searched.terminal_length = result.terminal_length;
    search_heuristically(net, options, &searched);
    if (!few || searched.length < result.length)
        result = std::move(searched);
    if (options.listener != nullptr)
        options.listener(options.context, SearchStep{"order", 1, result.length, 1});
    return result;
}

} // namespace steiner::internal
