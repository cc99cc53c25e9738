// The search as a whole: the greedy growth, restarted from several first
// choices on small nets; for the best effort, rounds of local search, finish
// and growth on top of it, then wide windows. Each result goes through the
// finish (growth.cpp), which prunes it and orders a stepwise one.
#include "engine.h"
#include "exact.h"

#include "mst1_handle.h"
#include "mst1_sort.h"

#include <algorithm>
#include <new>

namespace steiner::internal {

namespace {

// Growth starts from each of the GREEDY_STARTS best first points on nets of
// up to GREEDY_STARTS_TERMINALS, and from each of the IMPROVED_STARTS best
// when the local search follows on nets of up to IMPROVED_STARTS_TERMINALS;
// on larger nets the time is better spent elsewhere.
constexpr size_t GREEDY_STARTS_TERMINALS = 12;
constexpr size_t GREEDY_STARTS = 4;
constexpr size_t IMPROVED_STARTS_TERMINALS = 100;
constexpr size_t IMPROVED_STARTS = 16;

// Sweeps of exact windows, at most.
constexpr int WINDOW_SWEEPS = 8;
constexpr int GREEDY_WINDOW_SWEEPS = 1;

// Rounds of local search, finish and growth; each round must shorten the tree
// to be followed by another. On nets of more than IMPROVED_STARTS_TERMINALS
// a round costs a sweep over the whole tree, and the rounds after the first
// find next to nothing that wide windows would not find anyway: they have
// one round.
constexpr int MAX_ROUNDS = 8;

size_t distinct_places(const Point *points, size_t count, Mst1Stop stop) {
    std::vector<uint64_t> places(count);
    for (size_t k = 0; k < count; k++)
        places[k] = point_key(points[k]);
    if (!mst1_sort(places.begin(), places.end(), stop))
        throw Stopped();
    return mst1_unique_keys(places.data(), places.size());
}

// A minimal tree of a net of few places, through the finish. Returns the
// minimal length, which the result falls short of when a stepwise finish
// left out points that shorten it only together.
int64_t minimal_tree(const NetJob &net, SearchResult *result) {
    std::vector<Point> steiner;
    const int64_t minimal = exact_steiner_tree(net.terminals, net.count, &steiner);
    std::vector<Point> &points = result->points;
    points.assign(net.terminals, net.terminals + net.count);
    points.insert(points.end(), steiner.begin(), steiner.end());
    result->length = finish(net, &points, false, &result->parents);
    return minimal;
}

// A tree and its length.
struct Trial {
    std::vector<Point> points;
    std::vector<int32_t> parents;
    int64_t length = 0;
};

// Exact windows over the greedy's points, then the finish. The greedy effort
// sweeps them once: further sweeps moved the total length of 100 random
// nets by at most 0.005% at 15 to 100 terminals, for 5 to 7% of its time.
// And it centres them on branching nodes alone: a window around a leaf or a
// node of two edges mostly repeats one around the branching node next to
// it. On 300 random nets of each of 15 to 100 terminals that took 10 to 25%
// of greedy's work (callgrind's instructions and mispredicted branches) for
// trees 0.007 to 0.09% longer.
Trial windowed(const NetJob &net, const SearchOptions &options, std::vector<Point> greedy) {
    int64_t windows_length = 0;
    const std::vector<Point> improved =
        after_exact_windows(net, greedy, options.improve ? WINDOW_SWEEPS : GREEDY_WINDOW_SWEEPS,
                            !options.improve, &windows_length);
    Trial trial;
    trial.points = std::move(greedy);
    trial.points.resize(net.count);
    trial.points.insert(trial.points.end(), improved.begin(), improved.end());
    trial.length = finish(net, &trial.points, false, &trial.parents);
    return trial;
}

// Rounds of local search, finish and growth from the greedy's tree, then wide
// windows over the result.
Trial improved(Search *search, const Trial &greedy) {
    const NetJob &net = search->net;
    std::vector<Point> points = greedy.points;
    Trial result;
    std::vector<Point> &best = result.points;
    best = greedy.points;
    std::vector<int32_t> scratch;
    int64_t best_length = greedy.length;
    int64_t improved_length = INT64_MAX;
    for (int round = 0; round < MAX_ROUNDS; round++) {
        int64_t layout_length = 0;
        const std::vector<Point> rest = after_local_search(search, points, &layout_length);
        search->report("improve", layout_length);
        // The search came back to a set it had already reached.
        if (layout_length >= improved_length)
            break;
        improved_length = layout_length;
        points.assign(net.terminals, net.terminals + net.count);
        points.insert(points.end(), rest.begin(), rest.end());
        finish(net, &points, false, &scratch);
        const int64_t current = grow(search, &points, form_pool(search, points, 0), -1);
        if (current >= best_length)
            break;
        best = points;
        best_length = current;
        if (net.count > IMPROVED_STARTS_TERMINALS)
            break;
    }
    result.length = finish(net, &best, true, &result.parents);
    if (search->options.wide && net.count > WIDE_PLACES) {
        int64_t windows_length = 0;
        const std::vector<Point> rest = after_wide_windows(search, best, &windows_length);
        // A stepwise finish may leave out points of the new pieces.
        if (windows_length < result.length) {
            Trial widened;
            widened.points.assign(net.terminals, net.terminals + net.count);
            widened.points.insert(widened.points.end(), rest.begin(), rest.end());
            widened.length = finish(net, &widened.points, false, &widened.parents);
            if (widened.length < result.length)
                result = std::move(widened);
        }
    }
    // Pruning what growth left can cost length, rarely; the greedy's tree
    // is as good a start.
    return result.length > greedy.length ? greedy : result;
}

// The greedy growth with exact windows over its tree, then, when options
// ask for it, rounds of local search and wide windows: the points, parents
// and length of *result. A greedy that starts wrong rarely recovers, so
// small nets start growth from several of the best first points. The local
// search is costly, and a start shorter after its windows nearly always ends
// shorter, so only the shortest start is improved.
void search_heuristically(const NetJob &net, const SearchOptions &options, SearchResult *result) {
    Search search(net, options);
    const std::vector<Point> terminals(net.terminals, net.terminals + net.count);
    const Pool pool = form_pool(&search, terminals, 0);
    size_t choices = 1;
    if (options.improve && net.count <= IMPROVED_STARTS_TERMINALS)
        choices = IMPROVED_STARTS;
    else if (!options.improve && net.count <= GREEDY_STARTS_TERMINALS)
        choices = GREEDY_STARTS;
    Trial best;
    if (options.improve) {
        best.length = INT64_MAX;
        std::vector<int64_t> grown;
        for (int32_t first : best_by_gain(pool.gains, choices)) {
            std::vector<Point> greedy = terminals;
            const int64_t length = grow(&search, &greedy, pool, first);
            // Starts of one length are nearly always one tree.
            if (std::find(grown.begin(), grown.end(), length) != grown.end())
                continue;
            grown.push_back(length);
            Trial trial = windowed(net, options, std::move(greedy));
            if (trial.length < best.length)
                best = std::move(trial);
        }
        best = improved(&search, grown.empty() ? windowed(net, options, terminals) : best);
    } else {
        std::vector<Point> greedy = terminals;
        int64_t greedy_length = INT64_MAX;
        for (int32_t first : best_by_gain(pool.gains, choices)) {
            std::vector<Point> trial = terminals;
            const int64_t length = grow(&search, &trial, pool, first);
            if (length < greedy_length) {
                greedy_length = length;
                greedy = std::move(trial);
            }
        }
        best = windowed(net, options, std::move(greedy));
    }
    result->points = std::move(best.points);
    result->parents = std::move(best.parents);
    result->length = best.length;
}

} // namespace

SearchResult search_steiner_points(const Point *terminals, int32_t count,
                                   const SearchOptions &options) {
    const NetJob net{terminals, static_cast<size_t>(count), options.threads, options.stepwise,
                     options.stop};
    SearchResult result;
    std::vector<int32_t> scratch;
    result.terminal_length = mst1_build_tree_into(std::vector<Point>(terminals, terminals + count),
                                                  &scratch, options.stop);
    const bool few = distinct_places(terminals, net.count, options.stop) <= EXACT_MAX_PLACES;
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
