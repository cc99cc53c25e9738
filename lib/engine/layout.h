// The explicit spanning tree of a working set that local moves and windows
// change in place, piece by piece.
//
// Every change replaces a connected piece of the tree: its edges go, its
// nodes that no edge leaves and that are not terminals go, and the nodes
// that stay are joined again, with new Steiner points, by their own minimum
// spanning tree. The rest of the tree hangs from the nodes that stay, so the
// live nodes remain one tree, and its length is kept as the sum of its
// edges. Steiner points of degree 2 or less are pruned as they arise.
#ifndef STEINER_LAYOUT_H
#define STEINER_LAYOUT_H

#include "changes.h"
#include "engine.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace steiner::internal {

// A node's neighbours, in the order their edges were made: a few in place,
// more on the heap. Most nodes have one to four, and a tree changed edge by
// edge would otherwise allocate for each of them.
class Edges {
  public:
    const int32_t *begin() const {
        return spilled_ ? more_.data() : here_;
    }
    const int32_t *end() const {
        return begin() + size_;
    }
    size_t size() const {
        return size_;
    }
    bool empty() const {
        return size_ == 0;
    }
    int32_t operator[](size_t k) const {
        return begin()[k];
    }
    void push_back(int32_t v);
    // Takes out v, which must be there; the others keep their order.
    void erase(int32_t v);

  private:
    static constexpr size_t HERE = 4;
    uint32_t size_ = 0;
    bool spilled_ = false; // more_ holds them all
    int32_t here_[HERE] = {};
    std::vector<int32_t> more_;
};

// The places of the live nodes as point keys: open addressing, so that a
// place taken or freed allocates nothing of its own.
class PlaceSet {
  public:
    void insert(uint64_t key);
    void erase(uint64_t key);
    bool contains(uint64_t key) const;
    size_t size() const {
        return count_;
    }

  private:
    size_t home(uint64_t key) const;

    std::vector<uint64_t> slots_; // EMPTY or a key, a power of two of them
    int bits_ = 0;
    size_t count_ = 0;
};

// Marks for one thread's pieces: per node, the piece that last reached it.
struct Marks {
    std::vector<uint32_t> seen;
    uint32_t move = 0;
};

// Nodes taken out stay in the arrays, marked dead.
struct Layout {
    std::vector<Point> points; // the terminals first
    std::vector<uint8_t> alive;
    std::vector<Edges> adjacency;
    PlaceSet taken; // the places of the live nodes
    Marks marks;                        // of exact windows
    size_t terminals = 0;
    int64_t length = 0;
    Changes changes;
    std::vector<int32_t> pruning; // prune's work, kept for its room
};

// The spanning tree of points (the net's terminals first) as a layout with
// every place taken.
Layout layout_of_tree(const NetJob &net, const std::vector<Point> &points);

// The live Steiner points of layout.
std::vector<Point> alive_steiner(const Layout &layout);

// The Steiner points left when change(&layout) has changed the layout of
// the spanning tree of points; *length gets their tree's length.
template <class Change>
std::vector<Point> changed_tree(const NetJob &net, const std::vector<Point> &points,
                                int64_t *length, Change change) {
    Layout layout = layout_of_tree(net, points);
    change(&layout);
    *length = layout.length;
    return alive_steiner(layout);
}

// Takes out Steiner points of degree 1 and 2 (a degree-2 point's two edges
// become one, which is no longer), until none is left, starting from x.
void prune(Layout *layout, int32_t x);

// Prunes from every Steiner point.
void prune_all(Layout *layout);

// Grows a connected piece of the tree breadth first from centre: a neighbour
// v of (*nodes)[k] joins when admit(v, k) says so, in the order met, and is
// reached from nodes[k] alone, the layout being a tree. *nodes gets the
// piece, centre first; the nodes reached carry a fresh mark of *marks.
template <class Admit>
void grow_piece(const Layout &layout, int32_t centre, Marks *marks, std::vector<int32_t> *nodes,
                Admit admit) {
    const uint32_t mark = ++marks->move;
    if (marks->seen.size() < layout.points.size())
        marks->seen.resize(layout.points.size(), 0);
    uint32_t *const seen = marks->seen.data();
    nodes->assign(1, centre);
    seen[centre] = mark;
    for (size_t k = 0; k < nodes->size(); k++) {
        const int32_t at = (*nodes)[k];
        for (int32_t v : layout.adjacency[static_cast<size_t>(at)]) {
            if (seen[v] == mark || !admit(v, k))
                continue;
            seen[v] = mark;
            nodes->push_back(v);
        }
    }
}

// Replaces the piece nodes (connected) by a tree over the nodes that stay
// (kept, at places kept_places) and the new Steiner points added: the edges
// among nodes and the nodes marked gone are taken out, the rest joined by
// their spanning tree, then pruned. Needs the clock set for the change.
void replace_piece(Layout *layout, const std::vector<int32_t> &nodes,
                   const std::vector<uint8_t> &gone, std::vector<Point> kept_places,
                   std::vector<int32_t> kept, const std::vector<Point> &added);

// In a checked build, ends the process with a message unless the live nodes
// form one tree whose edges sum to the layout's length, and the place index
// holds exactly the places of the live nodes. Does nothing otherwise.
#ifdef STEINER_CHECKED
void check_layout(const Layout &layout, const char *after);
#else
inline void check_layout(const Layout &, const char *) {}
#endif

} // namespace steiner::internal

#endif
