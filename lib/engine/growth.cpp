// Candidates, their gains, and the lazy greedy that keeps them.
#include "engine.h"
#include "greedy.h"

#include "mst1_dense.h"
#include "mst1_handle.h"
#include "mst1_sort.h"
#include "parallel.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <new>

namespace steiner::internal {

namespace {

// Neighbours per point that take part in medians: the nearest ones in the
// octant graph. Eight covers a point's octant neighbours in a uniform net;
// more adds candidates that rarely win. Greedy takes the nearest five: a
// third of the medians and 7 to 16% fewer instructions, for trees within
// 0.01% on uniform nets of 15 to 100 terminals and at most 0.13% longer on
// clustered ones (0.01% at 15 and 20 terminals, most at 100), where its
// lead over other heuristics is widest.
constexpr size_t NEIGHBOURS = 8;
constexpr size_t GREEDY_NEIGHBOURS = 5;

// Rounds of forming candidates and keeping the best of them, at most. Later
// rounds find little; the cap bounds the time on any net.
constexpr int GROW_ROUNDS = 12;

// Up to this many points a gain is read from a dense tree with all path
// maxima (a scan of the points); beyond, from the incremental tree, whose
// searches and path queries grow with the logarithm of the points.
constexpr size_t DENSE_MAX = 128;

bool dense_suits(size_t points) {
    return points <= DENSE_MAX;
}

// Candidates a worker takes at a time in a gain pass over an incremental tree.
constexpr size_t CHUNK = 4096;

// Candidates dropped from contention between two reports of a large growth.
constexpr size_t ROUND_REPORT = 16384;

// Points or candidates between two looks at the stop flag in loops over a
// whole set: well under a millisecond of work.
constexpr size_t POLL_EVERY = 256;

Point key_point(uint64_t key) {
    return Point{static_cast<int32_t>(static_cast<int64_t>(key >> 32) + MST1_COORD_MIN),
                 static_cast<int32_t>(static_cast<int64_t>(key & 0xffffffffu) + MST1_COORD_MIN)};
}

// A small working set's tree while candidates join it; kept lists those
// that joined, in order.
class DenseGrowth {
  public:
    DenseGrowth(Mst1Dense *tree, const std::vector<Point> &candidates)
        : tree_(tree), candidates_(candidates) {}
    bool full() const {
        return tree_->size() == tree_->capacity();
    }
    int64_t gain(int32_t k) {
        return tree_->gain(candidates_[static_cast<size_t>(k)]);
    }
    void add(int32_t k) {
        tree_->add(candidates_[static_cast<size_t>(k)]);
        kept.push_back(k);
    }

    std::vector<int32_t> kept;

  protected:
    Mst1Dense *tree_;
    const std::vector<Point> &candidates_;
};

// The same for the lazy greedy, measuring the leader with the contenders
// just behind it in one walk of the tree (Mst1Dense::gains) and keeping their
// gains until the next point joins.
class LeadingGrowth : public DenseGrowth {
  public:
    LeadingGrowth(Mst1Dense *tree, const std::vector<Point> &candidates)
        : DenseGrowth(tree, candidates), measured_(candidates.size(), 0),
          gains_(candidates.size()) {}
    void measure_ahead(int32_t k, const Ranked *leading, size_t count) {
        if (measured_[static_cast<size_t>(k)] == joins_)
            return;
        int32_t which[Mst1Dense::lanes] = {k};
        Point places[Mst1Dense::lanes] = {candidates_[static_cast<size_t>(k)]};
        size_t batch = 1;
        for (size_t h = 0; h < count && batch < Mst1Dense::lanes; h++) {
            const int32_t next = leading[h].index;
            if (measured_[static_cast<size_t>(next)] != joins_) {
                which[batch] = next;
                places[batch++] = candidates_[static_cast<size_t>(next)];
            }
        }
        int64_t found[Mst1Dense::lanes];
        tree_->gains(places, batch, found);
        for (size_t b = 0; b < batch; b++) {
            measured_[static_cast<size_t>(which[b])] = joins_;
            gains_[static_cast<size_t>(which[b])] = found[b];
        }
    }
    int64_t gain(int32_t k) {
        return measured_[static_cast<size_t>(k)] == joins_ ? gains_[static_cast<size_t>(k)]
                                                           : DenseGrowth::gain(k);
    }
    void add(int32_t k) {
        DenseGrowth::add(k);
        joins_++;
    }

  private:
    // Gains measured after the joins_-th join, the first being join 1.
    uint32_t joins_ = 1;
    std::vector<uint32_t> measured_;
    std::vector<int64_t> gains_;
};

// The same for a large set: the incremental tree over the set and the
// candidates, holding the set from the start. Every gain polls stop.
class IncrementalGrowth {
  public:
    IncrementalGrowth(const std::vector<Point> &points, const std::vector<Point> &candidates,
                      Mst1Stop stop)
        : all_(points), base_(points.size()), stop_(stop) {
        all_.insert(all_.end(), candidates.begin(), candidates.end());
        tree_ = mst1_dynamic_make(all_, stop);
        mst1_dynamic_begin(tree_.get(), static_cast<int32_t>(base_));
    }
    bool full() const {
        return false;
    }
    int64_t gain(int32_t k) {
        poll(stop_);
        return mst1_dynamic_gain(tree_.get(), all_[base_ + static_cast<size_t>(k)]);
    }
    void add(int32_t k) {
        mst1_dynamic_add(tree_.get(), static_cast<int32_t>(base_) + k);
        mst1_dynamic_commit(tree_.get());
        mst1_dynamic_check(tree_.get());
        kept.push_back(k);
    }
    int64_t length() const {
        return mst1_dynamic_length(tree_.get());
    }

    std::vector<int32_t> kept;

  private:
    std::vector<Point> all_;
    size_t base_;
    Mst1Stop stop_;
    Mst1DynamicPtr tree_;
};

// One round of the lazy greedy (greedy.h) over the candidates with positive
// gains, after forced (-1: none), which joins first. Every ROUND_REPORT
// candidates taken out of contention, share (when not null) hears of the
// share of the first contenders gone.
template <class Growth>
void greedy_round(Growth *growth, const std::vector<int64_t> &gains, int32_t forced,
                  const std::function<void(double)> *share = nullptr) {
    std::vector<Ranked> contenders;
    contenders.reserve(gains.size());
    for (size_t k = 0; k < gains.size(); k++)
        if (gains[k] > 0 && static_cast<int32_t>(k) != forced)
            contenders.push_back(Ranked{gains[k], static_cast<int32_t>(k)});
    if (forced >= 0)
        growth->add(forced);
    const size_t total = contenders.size();
    size_t gone = 0;
    lazy_greedy(growth, contenders.data(), contenders.size(), [&](size_t left) {
        if (share != nullptr && ++gone % ROUND_REPORT == 0)
            (*share)(static_cast<double>(total - left) / static_cast<double>(total));
    });
}

// A growth that also marks the candidates joined, for greedy_passes.
template <class Growth> struct Marking {
    Growth *growth;
    std::vector<uint8_t> joined;

    bool full() const {
        return growth->full();
    }
    int64_t gain(int32_t k) {
        return growth->gain(k);
    }
    void add(int32_t k) {
        growth->add(k);
        joined[static_cast<size_t>(k)] = 1;
    }
};

// For every point, its nearest neighbours in the octant graph (each point's
// nearest point in each octant, both ways), nearest first, at most
// neighbours: near[start[k] .. start[k + 1] - 1].
void octant_graph(const std::vector<Point> &points, size_t neighbours, std::vector<size_t> *start,
                  std::vector<int32_t> *near, Mst1Stop stop) {
    const size_t n = points.size();
    std::vector<int32_t> nearest(8 * n);
    const int32_t found =
        mst1_octant_neighbours(static_cast<int32_t>(n), points.data(), nearest.data(), stop);
    if (found == MST1_STOPPED)
        throw Stopped();
    if (found < 0)
        throw std::bad_alloc();
    std::vector<size_t> first(n + 1, 0);
    for (size_t k = 0; k < n; k++) {
        if (k % POLL_EVERY == 0)
            poll(stop);
        for (size_t o = 0; o < 8; o++)
            if (const int32_t q = nearest[8 * k + o]; q >= 0) {
                first[k + 1]++;
                first[static_cast<size_t>(q) + 1]++;
            }
    }
    for (size_t k = 0; k < n; k++)
        first[k + 1] += first[k];
    // Each edge as its distance above its neighbour's index, both below
    // 2^31: the keys sort as the pairs would.
    std::vector<uint64_t> edges(first[n]);
    std::vector<size_t> fill(first.begin(), first.end() - 1);
    for (size_t k = 0; k < n; k++) {
        if (k % POLL_EVERY == 0)
            poll(stop);
        for (size_t o = 0; o < 8; o++)
            if (const int32_t q = nearest[8 * k + o]; q >= 0) {
                const auto sq = static_cast<size_t>(q);
                const auto d = static_cast<uint64_t>(rect_dist_points(points[k], points[sq]));
                edges[fill[k]++] = d << 32 | sq;
                edges[fill[sq]++] = d << 32 | k;
            }
    }
    start->assign(1, 0);
    start->reserve(n + 1);
    near->clear();
    near->reserve(n * neighbours);
    for (size_t k = 0; k < n; k++) {
        if (k % POLL_EVERY == 0)
            poll(stop);
        uint64_t *const begin = edges.data() + first[k];
        // A point may be the nearest of any number of others.
        if (!mst1_sort(begin, edges.data() + first[k + 1], stop))
            throw Stopped();
        uint64_t *const end = begin + mst1_unique_keys(begin, first[k + 1] - first[k]);
        for (uint64_t *e = begin; e != end && e - begin < static_cast<std::ptrdiff_t>(neighbours);
             ++e)
            near->push_back(static_cast<int32_t>(*e & 0xffffffffu));
        start->push_back(near->size());
    }
}

} // namespace

Search::Search(const NetJob &search_net, const SearchOptions &search_options)
    : net(search_net),
      screen(screen_index_build(search_net.terminals, static_cast<int32_t>(search_net.count),
                                search_net.stop)),
      options(search_options),
      growing(dense_suits(search_net.count) ? 2 * search_net.count + 16 : 0) {
    if (screen == nullptr) {
        poll(net.stop);
        throw std::bad_alloc();
    }
}

void Search::report(const char *step_phase, int64_t length, double done) {
    const bool same = phase != nullptr && std::strcmp(phase, step_phase) == 0;
    if (!same || !open)
        round = same ? round + 1 : 1;
    phase = step_phase;
    open = done < 1;
    if (options.listener != nullptr)
        options.listener(options.context, SearchStep{phase, round, length, done});
}

std::vector<int64_t> measure_gains(const std::vector<Point> &points,
                                   const std::vector<Point> &candidates, int threads,
                                   Mst1Stop stop) {
    std::vector<int64_t> gains(candidates.size(), 0);
    if (candidates.empty())
        return gains;
    if (dense_suits(points.size())) {
        Mst1Dense tree(points.size());
        tree.assign(points.data(), points.size());
        tree.gains(candidates.data(), candidates.size(), gains.data());
        return gains;
    }
    // One tree per worker, each measuring chunks of candidates taken in turn;
    // a gain never depends on the worker that measured it.
    const size_t chunks = (candidates.size() + CHUNK - 1) / CHUNK;
    const size_t workers = std::min(chunks, static_cast<size_t>(std::max(threads, 1)));
    std::atomic<size_t> next{0};
    run_parallel(workers, threads, [&](size_t) {
        const Mst1DynamicPtr tree = mst1_dynamic_make(points, stop);
        mst1_dynamic_begin(tree.get(), static_cast<int32_t>(points.size()));
        for (size_t chunk = next++; chunk < chunks; chunk = next++) {
            const size_t last = std::min(candidates.size(), (chunk + 1) * CHUNK);
            for (size_t k = chunk * CHUNK; k < last; k++) {
                if (k % POLL_EVERY == 0)
                    poll(stop);
                gains[k] = mst1_dynamic_gain(tree.get(), candidates[k]);
            }
        }
    });
    return gains;
}

namespace {

// Appends the medians of p with each two of its neighbours, as keys.
void add_medians(const std::vector<Point> &points, const Point &p, const int32_t *neighbours,
                 size_t count, std::vector<uint64_t> *found) {
    for (size_t a = 0; a < count; a++) {
        const Point &q = points[static_cast<size_t>(neighbours[a])];
        for (size_t b = a + 1; b < count; b++) {
            const Point &r = points[static_cast<size_t>(neighbours[b])];
            found->push_back(point_key(median_point(p, q, r)));
        }
    }
}

// The places of points as keys, in order.
std::vector<uint64_t> occupied_places(const std::vector<Point> &points, Mst1Stop stop) {
    std::vector<uint64_t> occupied(points.size());
    for (size_t k = 0; k < points.size(); k++)
        occupied[k] = point_key(points[k]);
    if (!mst1_sort(occupied.begin(), occupied.end(), stop))
        throw Stopped();
    return occupied;
}

// The places of keys (sorted, without repeats) that are not occupied (as
// occupied_places gives them) and, unless screen is null because the keys
// passed it already, that the screening accepts.
std::vector<Point> free_places(const std::vector<uint64_t> &keys,
                               const std::vector<uint64_t> &occupied, const ScreenIndex *screen,
                               Mst1Stop stop) {
    std::vector<Point> places;
    places.reserve(keys.size());
    // Both lists ascend, so one walk along the occupied places finds them.
    auto taken = occupied.begin();
    for (size_t k = 0; k < keys.size(); k++) {
        if (k % POLL_EVERY == 0)
            poll(stop);
        while (taken != occupied.end() && *taken < keys[k])
            ++taken;
        if (taken != occupied.end() && *taken == keys[k])
            continue;
        const Point c = key_point(keys[k]);
        if (screen == nullptr || screen_candidate_indexed(screen, c.row, c.column))
            places.push_back(c);
    }
    return places;
}

void sort_distinct(std::vector<uint64_t> *keys, Mst1Stop stop) {
    if (keys->size() <= MST1_SORT_KEYS_MOST) {
        keys->resize(mst1_distinct_keys(keys->data(), keys->size()));
        return;
    }
    if (!mst1_sort(keys->begin(), keys->end(), stop))
        throw Stopped();
    keys->resize(mst1_unique_keys(keys->data(), keys->size()));
}

} // namespace

std::vector<Point> candidates_around(const Search &search, const std::vector<Point> &points,
                                     size_t first_new) {
    const size_t n = points.size();
    std::vector<size_t> start;
    std::vector<int32_t> near;
    octant_graph(points, search.options.improve ? NEIGHBOURS : GREEDY_NEIGHBOURS, &start, &near,
                 search.net.stop);
    // Candidates change only near the points that joined: around those
    // points, and around the points whose nearest neighbours they may have
    // become.
    std::vector<uint8_t> focus(n, first_new == 0 ? 1 : 0);
    for (size_t k = first_new; k < n && first_new > 0; k++) {
        focus[k] = 1;
        for (size_t e = start[k]; e < start[k + 1]; e++)
            focus[static_cast<size_t>(near[e])] = 1;
    }
    // Room first: doubling a large array copies it in one step too long to
    // go without polling.
    size_t medians = 0;
    for (size_t u = 0; u < n; u++) {
        const size_t near_count = start[u + 1] - start[u];
        if (focus[u] && near_count > 1)
            medians += near_count * (near_count - 1) / 2;
    }
    std::vector<uint64_t> found;
    found.reserve(medians);
    for (size_t u = 0; u < n; u++) {
        if (u % POLL_EVERY == 0)
            poll(search.net.stop);
        if (focus[u])
            add_medians(points, points[u], near.data() + start[u], start[u + 1] - start[u], &found);
    }
    sort_distinct(&found, search.net.stop);
    return free_places(found, occupied_places(points, search.net.stop), search.screen.get(),
                       search.net.stop);
}

namespace {

// The next round's candidates for a small set, where measuring a candidate
// costs less than forming it: the last round's that saved something and did
// not join (one that saved nothing seldom helps later, unless a point joined
// near it), and the medians of each point that joined with two of its nearest
// points in the octants around it.
std::vector<Point> next_candidates(const Search &search, const std::vector<Point> &points,
                                   size_t first_new, const Pool &last) {
    // New medians are screened here, once each and only where no point is;
    // the last round's candidates passed the screening when they were
    // formed, and are not screened again.
    std::vector<uint64_t> medians;
    // Each point that joined has at most eight neighbours, so 28 pairs.
    medians.reserve(28 * (points.size() - first_new));
    for (size_t k = first_new; k < points.size(); k++) {
        int32_t nearest[8];
        int32_t distance[8];
        mst1_octant_scan(static_cast<int32_t>(points.size()), points.data(), points[k], nearest,
                         distance);
        size_t count = 0;
        for (size_t o = 0; o < 8; o++)
            if (distance[o] >= 0)
                nearest[count++] = nearest[o];
        add_medians(points, points[k], nearest, count, &medians);
    }
    sort_distinct(&medians, search.net.stop);
    // Both lists ascend (a pool's points are in the order of their keys), so
    // they merge rather than sort.
    std::vector<uint64_t> fresh;
    fresh.reserve(medians.size());
    const std::vector<uint64_t> occupied = occupied_places(points, search.net.stop);
    for (const Point &m : free_places(medians, occupied, search.screen.get(), search.net.stop))
        fresh.push_back(point_key(m));
    std::vector<uint64_t> kept;
    kept.reserve(last.points.size());
    for (size_t k = 0; k < last.points.size(); k++)
        if (last.gains[k] > 0)
            kept.push_back(point_key(last.points[k]));
    std::vector<uint64_t> found(fresh.size() + kept.size());
    std::merge(fresh.begin(), fresh.end(), kept.begin(), kept.end(), found.begin());
    found.resize(mst1_unique_keys(found.data(), found.size()));
    return free_places(found, occupied, nullptr, search.net.stop);
}

} // namespace

Pool form_pool(Search *search, const std::vector<Point> &points, size_t first_new) {
    Pool pool;
    pool.points = candidates_around(*search, points, first_new);
    if (!search->grows_in_place(points.size())) {
        pool.gains = measure_gains(points, pool.points, search->net.threads, search->net.stop);
        return pool;
    }
    search->growing.assign(points.data(), points.size());
    pool.gains.resize(pool.points.size());
    search->growing.gains(pool.points.data(), pool.points.size(), pool.gains.data());
    return pool;
}

std::vector<int32_t> best_by_gain(const std::vector<int64_t> &gains, size_t choices) {
    std::vector<int32_t> best;
    for (size_t k = 0; k < gains.size(); k++)
        if (gains[k] > 0)
            best.push_back(static_cast<int32_t>(k));
    choices = std::min(best.size(), choices);
    std::partial_sort(best.begin(), best.begin() + static_cast<std::ptrdiff_t>(choices), best.end(),
                      [&gains](int32_t a, int32_t b) {
                          const int64_t ga = gains[static_cast<size_t>(a)];
                          const int64_t gb = gains[static_cast<size_t>(b)];
                          return ga != gb ? ga > gb : a < b;
                      });
    best.resize(choices);
    return best;
}

size_t join_greedily(std::vector<Point> *points, int64_t *length, const Pool &pool, int32_t forced,
                     Search *progress) {
    std::vector<int32_t> kept;
    if (dense_suits(points->size())) {
        // A greedy seldom keeps more candidates than there are points.
        Mst1Dense tree(points->size() + std::min(pool.points.size(), points->size() + 8));
        tree.assign(points->data(), points->size());
        LeadingGrowth growth(&tree, pool.points);
        greedy_round(&growth, pool.gains, forced);
        kept = std::move(growth.kept);
        *length = tree.length();
    } else {
        IncrementalGrowth growth(*points, pool.points,
                                 progress != nullptr ? progress->net.stop : nullptr);
        const std::function<void(double)> share = [&growth, progress](double done) {
            // A share of 1 would end the round before it has.
            progress->report("grow", growth.length(), std::min(done, 0.99));
        };
        greedy_round(&growth, pool.gains, forced, progress != nullptr ? &share : nullptr);
        kept = std::move(growth.kept);
        *length = growth.length();
    }
    for (int32_t k : kept)
        points->push_back(pool.points[static_cast<size_t>(k)]);
    return kept.size();
}

namespace {

// The passes of join_in_passes on one tree that holds the working set
// throughout: a candidate's index is its place in rest.
template <class Growth>
void passes_on_tree(Growth *growth, std::vector<Point> *points, std::vector<Point> *rest) {
    Marking<Growth> marking{growth, std::vector<uint8_t>(rest->size(), 0)};
    std::vector<Ranked> room(rest->size());
    greedy_passes(&marking, rest->size(), marking.joined.data(), room.data());
    for (int32_t k : growth->kept)
        points->push_back((*rest)[static_cast<size_t>(k)]);
    size_t left = 0;
    for (size_t k = 0; k < rest->size(); k++)
        if (!marking.joined[k])
            (*rest)[left++] = (*rest)[k];
    rest->resize(left);
}

} // namespace

void join_in_passes(std::vector<Point> *points, std::vector<Point> *rest, Mst1Stop stop) {
    if (rest->empty())
        return;
    if (dense_suits(points->size())) {
        Mst1Dense tree(points->size() + rest->size());
        tree.assign(points->data(), points->size());
        DenseGrowth growth(&tree, *rest);
        passes_on_tree(&growth, points, rest);
    } else {
        IncrementalGrowth growth(*points, *rest, stop);
        passes_on_tree(&growth, points, rest);
    }
}

int64_t join_stepwise(Mst1Dense *tree, const std::vector<Point> &candidates,
                      std::vector<Point> *kept) {
    DenseGrowth growth(tree, candidates);
    Marking<DenseGrowth> marking{&growth, std::vector<uint8_t>(candidates.size(), 0)};
    eager_greedy(&marking, candidates.size(), marking.joined.data());
    for (int32_t k : growth.kept)
        kept->push_back(candidates[static_cast<size_t>(k)]);
    return tree->length();
}

int64_t grow(Search *search, std::vector<Point> *points, Pool pool, int32_t forced) {
    if (!search->grows_in_place(points->size())) {
        int64_t length = 0;
        for (int round = 0; round < GROW_ROUNDS; round++) {
            const size_t before = points->size();
            join_greedily(points, &length, pool, forced, search);
            forced = -1;
            search->report("grow", length);
            if (points->size() == before)
                break;
            pool = form_pool(search, *points, before);
            // A tree over every point costs a sweep to build; with no
            // candidate shortening it, the round would keep nothing.
            if (std::none_of(pool.gains.begin(), pool.gains.end(),
                             [](int64_t gain) { return gain > 0; }))
                break;
        }
        return length;
    }
    // One tree through every round: it holds the working set as it grows and
    // measures the next round's candidates. Steiner points seldom outnumber
    // the terminals.
    Mst1Dense &tree = search->growing;
    tree.assign(points->data(), points->size());
    for (int round = 0; round < GROW_ROUNDS && tree.size() < tree.capacity(); round++) {
        const size_t before = points->size();
        LeadingGrowth growth(&tree, pool.points);
        greedy_round(&growth, pool.gains, forced);
        for (int32_t k : growth.kept)
            points->push_back(pool.points[static_cast<size_t>(k)]);
        forced = -1;
        search->report("grow", tree.length());
        if (points->size() == before)
            break;
        pool.points = next_candidates(*search, *points, before, pool);
        pool.gains.resize(pool.points.size());
        tree.gains(pool.points.data(), pool.points.size(), pool.gains.data());
    }
    return tree.length();
}

int64_t finish(const NetJob &net, std::vector<Point> *points, bool ordered,
               std::vector<int32_t> *parents) {
    int64_t length = 0;
    std::vector<Point> rest = kept_after_pruning(net, *points, parents, &length);
    while (rest.size() + net.count < points->size() || (net.stepwise && !ordered)) {
        points->assign(net.terminals, net.terminals + net.count);
        // A stepwise tree takes the points that shorten it in turn, in that
        // order, and leaves out the rest.
        if (net.stepwise)
            join_in_passes(points, &rest, net.stop);
        else
            points->insert(points->end(), rest.begin(), rest.end());
        ordered = true;
        rest = kept_after_pruning(net, *points, parents, &length);
    }
    return length;
}

} // namespace steiner::internal
