// Rectilinear Steiner trees for nets of any size.
//
//     #include <steiner/steiner.h>
//     std::vector<steiner::Point> net = {{0, 5}, {10, 5}, {5, 0}};
//     steiner::Tree tree = steiner::route(net);  // tree.length == 15
//
// A net is a list of terminals on an integer grid, each a (row, column) pair;
// distance is rectilinear (|d row| + |d column|). The tree joins the terminals,
// and possibly Steiner points, with edges of that length. Every call is
// independent: no state is shared between calls, so any number of threads may
// route at once, and the same net with the same options always gives the same
// tree, whatever the threads. Nothing is printed and the process is never
// ended: invalid input throws std::invalid_argument naming the fault,
// memory exhaustion std::bad_alloc, and a call stopped through
// Options::stop steiner::stopped.
#ifndef STEINER_STEINER_H
#define STEINER_STEINER_H

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace steiner {

// Coordinates a terminal may have. Within this range every length fits.
constexpr int32_t coordinate_min = -536870911;
constexpr int32_t coordinate_max = 536870911;

// The most terminals a net may have.
constexpr size_t max_terminals = 1073741823;

// The most threads a call may be given.
constexpr int max_threads = 256;

// The threads that use the whole machine: its cores, from 1 to max_threads.
int machine_threads();

struct Point {
    int32_t row;    // first coordinate
    int32_t column; // second coordinate
};

inline bool operator==(const Point &a, const Point &b) {
    return a.row == b.row && a.column == b.column;
}
inline bool operator!=(const Point &a, const Point &b) {
    return !(a == b);
}

// How hard to look for a short tree.
// Nets of up to 9 distinct places get a minimal tree at greedy and best
// (stepwise: when its Steiner points each shorten it in turn; otherwise the
// shorter of its stepwise part and the search's tree).
enum class Effort {
    rmst,   // the terminals' minimum spanning tree: no Steiner points
    greedy, // Steiner points kept greedily by how much each shortens the tree;
            // unless stepwise, nets of 10 to 12 distinct places get instead
            // two minimal trees over places before and after one of them in
            // some order, joined there
    best,   // greedy from several first points on nets of up to 100
            // terminals, then improved by a local search and by pieces of
            // up to 40 terminals (20 on nets of more than 1,000)
            // re-solved as nets of their own:
            // near-optimal, and never longer than greedy
};

// Every effort, from the least work to the most.
inline constexpr Effort efforts[] = {Effort::rmst, Effort::greedy, Effort::best};

// An effort's name as programs and bindings spell it: "rmst", "greedy" or
// "best"; nullptr for a value outside the enum.
const char *effort_name(Effort effort);

// A moment of a long run, for progress displays.
struct Progress {
    const char *phase; // what the run is doing now: "grow", "improve", "windows"
                       // or "order"
    int round;         // counts from 1 each time the run enters the phase
    int64_t length;    // tree length reached so far
    // The share of the round done, from 0 to 1: a long round is heard of
    // more than once, with the same round number, until its share is 1.
    // "grow" rounds of large nets tell how many candidates are out of
    // contention, "improve" rounds how many local moves have been tried,
    // "windows" rounds how much of the tree wide windows have swept.
    double done;
};

// Thrown by route and route_many when their stop flag (Options::stop) was
// seen set. By then every thread the call started has ended and all its
// memory is freed; nothing of the call's work is kept.
class stopped : public std::runtime_error {
  public:
    stopped() : std::runtime_error("steiner: the call was stopped") {}
};

struct Options {
    Effort effort = Effort::best;
    // Threads measuring one large net, or routing many nets: 1 to
    // max_threads. No more threads are started than there are pieces of
    // work, and a thread that cannot be started leaves its work to the
    // others. The tree never depends on it.
    int threads = 1;
    // Only Steiner points that shorten the tree one at a time: each shortens
    // the spanning tree of the nodes before it, so that a program adding them
    // in order, keeping each that shortens its tree, keeps them all. The tree
    // may then be a little longer than without.
    bool stepwise = false;
    // Called from the calling thread between stages of long runs; may be empty.
    std::function<void(const Progress &)> progress;
    // A flag that stops the call when set, from any thread or from a signal
    // handler (a lock-free atomic may be set there), or null. Every thread of
    // the call looks at it every millisecond or so of work (steps that clear
    // or sort memory for a whole net of hundreds of thousands of terminals
    // take up to a few tens of milliseconds) and between nets; once one sees
    // it set, the call throws steiner::stopped. A flag already set stops the
    // call before any work (after the input is checked). The library only
    // reads it; it must outlive the call. A flag rather than a callback: a
    // load costs nothing in the inner loops of every thread, needs no locking
    // and runs no code of the caller on those threads, and one flag can stop
    // many calls at once. Polling never changes a tree.
    const std::atomic<bool> *stop = nullptr;
};

// A rectilinear tree over a net.
struct Tree {
    // The terminals in input order, then the Steiner points. A stepwise
    // tree has them in an order in which each shortens the spanning tree of
    // the nodes before it. Otherwise they come in no promised order: some
    // shorten the tree only together (minimal trees and exact pieces of
    // trees may need such points), and putting the rest in that order would
    // take a tenth or more of the time.
    // Every Steiner point has at least three edges, so a net of n >= 2
    // terminals has at most n - 2 of them.
    std::vector<Point> nodes;
    // The minimum spanning tree of nodes: parents[k] is the index of node k's
    // parent; node 0 is the root and its own parent. Each edge k - parents[k]
    // has the rectilinear length between its ends.
    std::vector<int32_t> parents;
    size_t terminal_count = 0; // the first nodes
    int64_t length = 0;        // the sum of the edge lengths
    int64_t rmst_length = 0;   // the length of the terminals' minimum spanning tree

    size_t steiner_count() const {
        return nodes.size() - terminal_count;
    }
};

// Trees are equal when their nodes, parents, terminal counts and both
// lengths are.
bool operator==(const Tree &a, const Tree &b);
bool operator!=(const Tree &a, const Tree &b);

// The first promise made of a Tree above that tree breaks, as one sentence
// naming the node concerned, or an empty string when it keeps them all:
// as many parents as nodes; at least one terminal and at most max_terminals;
// every coordinate in range; parents that form one tree rooted at node 0,
// node 0 its own parent and no other node; at most d - 2 Steiner points
// (none when d < 3) for d distinct terminal places; Steiner points at places
// of their own, apart from each other and from every terminal, each with at
// least three edges; length the sum of the edge lengths, no more than
// rmst_length, and the length of a minimum spanning tree of the nodes;
// rmst_length that of the terminals. It does not check the order of the
// Steiner points. Every tree route and route_many return keeps them all.
// Costs a sort of the nodes and two spanning trees, of the nodes and of the
// terminals: O(m^2) time below 5,000 nodes and O(m log m) above, and O(m)
// memory. Throws std::bad_alloc when memory runs out.
std::string tree_fault(const Tree &tree);

// Routes one net. Nets of 1 and 2 terminals, and of 3 at efforts greedy and
// best, are answered in closed form and are optimal; at effort rmst, three
// terminals get their spanning tree. Throws std::invalid_argument for no
// terminals, more than max_terminals, a coordinate outside
// coordinate_min..coordinate_max, threads outside 1..max_threads or an
// effort that is none of Effort's values;
// std::bad_alloc when memory runs out; steiner::stopped when options.stop
// was seen set.
Tree route(const Point *terminals, size_t count, const Options &options = Options());
Tree route(const std::vector<Point> &terminals, const Options &options = Options());

// Routes many nets on options.threads threads, one net per thread at a time
// (a net of 4,096 terminals or more alone on every thread), and returns their
// trees in input order: each the tree route gives for that net. Every net is
// checked, in order, before any is routed; the first invalid one throws
// std::invalid_argument naming its index. options.stop is looked at between
// nets and within them; once it is seen set, steiner::stopped is thrown and
// no tree is returned.
std::vector<Tree> route_many(const std::vector<std::vector<Point>> &nets,
                             const Options &options = Options());

} // namespace steiner

#endif
