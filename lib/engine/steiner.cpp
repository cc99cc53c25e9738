#include "steiner/steiner.h"

#include "engine.h"
#include "mst1.h"
#include "mst1_handle.h"
#include "parallel.h"

#include <algorithm>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>

namespace steiner {

namespace {

static_assert(coordinate_min == internal::MST1_COORD_MIN &&
                  coordinate_max == internal::MST1_COORD_MAX,
              "the library takes the coordinates the tree package takes");

void check_input(const Point *terminals, size_t count, const Options &options) {
    if (count == 0)
        throw std::invalid_argument("steiner::route: the net has no terminals");
    if (count > max_terminals)
        throw std::invalid_argument("steiner::route: the net has " + std::to_string(count) +
                                    " terminals; at most 1073741823 are allowed");
    if (effort_name(options.effort) == nullptr)
        throw std::invalid_argument("steiner::route: effort is " +
                                    std::to_string(static_cast<int>(options.effort)) +
                                    "; it must be rmst, greedy or best");
    if (options.threads < 1 || options.threads > max_threads)
        throw std::invalid_argument("steiner::route: threads is " +
                                    std::to_string(options.threads) + "; it must be from 1 to " +
                                    std::to_string(max_threads));
    for (size_t k = 0; k < count; k++) {
        const Point &p = terminals[k];
        if (p.row < coordinate_min || p.row > coordinate_max || p.column < coordinate_min ||
            p.column > coordinate_max)
            throw std::invalid_argument(
                "steiner::route: terminal " + std::to_string(k) + " (row " + std::to_string(p.row) +
                ", column " + std::to_string(p.column) +
                ") lies outside the coordinate range -536870911 to 536870911");
    }
}

int64_t distance(const Point &a, const Point &b) {
    return internal::rect_dist_points(internal::Point{a.row, a.column},
                                      internal::Point{b.row, b.column});
}

// One, two or three terminals: the optimal tree directly. For three it joins
// them at their median, which is a terminal when one lies in the bounding box
// of the other two.
Tree closed_form(const Point *terminals, size_t count) {
    Tree tree;
    tree.nodes.assign(terminals, terminals + count);
    tree.terminal_count = count;
    tree.parents.assign(count, 0);
    if (count == 2)
        tree.length = tree.rmst_length = distance(terminals[0], terminals[1]);
    if (count != 3)
        return tree;
    const int64_t ab = distance(terminals[0], terminals[1]);
    const int64_t ac = distance(terminals[0], terminals[2]);
    const int64_t bc = distance(terminals[1], terminals[2]);
    tree.rmst_length = ab + ac + bc - std::max({ab, ac, bc});
    const Point center{
        internal::median3(terminals[0].row, terminals[1].row, terminals[2].row),
        internal::median3(terminals[0].column, terminals[1].column, terminals[2].column)};
    int32_t hub = 3;
    for (int32_t k = 0; k < 3; k++)
        if (terminals[k].row == center.row && terminals[k].column == center.column)
            hub = k;
    if (hub == 3)
        tree.nodes.push_back(center);
    tree.parents.assign(tree.nodes.size(), hub);
    // Rooted at node 0: the hub hangs from it unless it is node 0.
    tree.parents[0] = 0;
    tree.parents[static_cast<size_t>(hub)] = 0;
    for (const Point &node : tree.nodes)
        tree.length += distance(node, center);
    return tree;
}

void report_progress(void *context, const internal::SearchStep &step) {
    const auto *progress = static_cast<const std::function<void(const Progress &)> *>(context);
    (*progress)(Progress{step.phase, step.round, step.length, step.done});
}

void poll(const Options &options) {
    if (internal::mst1_stop_seen(options.stop))
        throw stopped();
}

// A tree built on the stack as the engine's Tree.
Tree from_few(const internal::FewTree &few, size_t count) {
    Tree tree;
    tree.terminal_count = count;
    tree.length = few.length;
    tree.rmst_length = few.terminal_length;
    tree.nodes.resize(few.size);
    for (size_t k = 0; k < few.size; k++)
        tree.nodes[k] = Point{few.points[k].row, few.points[k].column};
    tree.parents.assign(few.parents, few.parents + few.size);
    return tree;
}

// route for input already checked; the engine gives up with internal::Stopped.
// Nets of a few places take paths without the heap: the tables' minimal
// tree, and at greedy, a little past the tables' places, two pieces the
// tables solve, which best's search must beat to be kept.
Tree route_checked(const Point *terminals, size_t count, const Options &options) {
    if (count <= 2 || (count == 3 && options.effort != Effort::rmst))
        return closed_form(terminals, count);

    internal::FewTree few;
    bool split = false;
    if (options.effort != Effort::rmst && count <= internal::FEW_MAX_TERMINALS) {
        internal::Point net[internal::FEW_MAX_TERMINALS];
        for (size_t k = 0; k < count; k++)
            net[k] = internal::Point{terminals[k].row, terminals[k].column};
        bool served = internal::few_places_tree(net, count, options.stepwise, &few);
        if (!served && !options.stepwise) {
            split = internal::split_places_tree(net, count, &few);
            served = split && options.effort == Effort::greedy;
        }
        if (served) {
            if (options.progress)
                options.progress(Progress{"order", 1, few.length, 1});
            return from_few(few, count);
        }
    }
    std::vector<internal::Point> points(count);
    for (size_t k = 0; k < count; k++)
        points[k] = internal::Point{terminals[k].row, terminals[k].column};
    Tree tree;
    tree.terminal_count = count;
    std::vector<int32_t> parents;
    if (options.effort == Effort::rmst) {
        tree.rmst_length = tree.length =
            internal::mst1_build_tree_into(points, &parents, options.stop);
    } else {
        // The search takes a mutable context; the caller's options stay untouched.
        std::function<void(const Progress &)> progress = options.progress;
        internal::SearchOptions search;
        search.threads = options.threads;
        search.improve = options.effort == Effort::best;
        search.stepwise = options.stepwise;
        search.listener = progress ? report_progress : nullptr;
        search.context = &progress;
        search.stop = options.stop;
        internal::SearchResult found =
            internal::search_steiner_points(points.data(), static_cast<int32_t>(count), search);
        points = std::move(found.points);
        parents = std::move(found.parents);
        tree.length = found.length;
        tree.rmst_length = found.terminal_length;
        if (split && few.length < tree.length)
            return from_few(few, count);
    }
    tree.parents = std::move(parents);
    tree.nodes.resize(points.size());
    for (size_t k = 0; k < points.size(); k++)
        tree.nodes[k] = Point{points[k].row, points[k].column};
    return tree;
}

} // namespace

int machine_threads() {
    const unsigned cores = std::thread::hardware_concurrency();
    return static_cast<int>(std::clamp(cores, 1u, static_cast<unsigned>(max_threads)));
}

const char *effort_name(Effort effort) {
    switch (effort) {
    case Effort::rmst:
        return "rmst";
    case Effort::greedy:
        return "greedy";
    case Effort::best:
        return "best";
    }
    return nullptr;
}

Tree route(const Point *terminals, size_t count, const Options &options) {
    check_input(terminals, count, options);
    poll(options);
    try {
        return route_checked(terminals, count, options);
    } catch (const internal::Stopped &) {
        throw stopped();
    }
}

Tree route(const std::vector<Point> &terminals, const Options &options) {
    return route(terminals.data(), terminals.size(), options);
}

std::vector<Tree> route_many(const std::vector<std::vector<Point>> &nets, const Options &options) {
    for (size_t k = 0; k < nets.size(); k++) {
        try {
            check_input(nets[k].data(), nets[k].size(), options);
        } catch (const std::invalid_argument &e) {
            std::string message = e.what();
            message.replace(0, std::string("steiner::route: ").size(),
                            "steiner::route_many: net " + std::to_string(k) + ": ");
            throw std::invalid_argument(message);
        }
    }
    // A large net gains from every thread; small ones are many enough to share them.
    constexpr size_t large = 4096;
    std::vector<Tree> trees(nets.size());
    Options alone = options;
    alone.threads = 1;
    alone.progress = nullptr;
    // Larger nets first, so that no thread is left with a long one while the
    // others have finished.
    std::vector<size_t> order(nets.size());
    for (size_t k = 0; k < nets.size(); k++)
        order[k] = k;
    std::stable_sort(order.begin(), order.end(),
                     [&nets](size_t a, size_t b) { return nets[a].size() > nets[b].size(); });
    poll(options);
    internal::run_parallel(nets.size(), options.threads, [&](size_t j) {
        const size_t k = order[j];
        if (nets[k].size() < large)
            trees[k] = route(nets[k], alone);
    });
    for (size_t k = 0; k < nets.size(); k++)
        if (nets[k].size() >= large)
            trees[k] = route(nets[k], options);
    return trees;
}

} // namespace steiner
