// Incremental rectilinear minimum spanning tree with commit and rollback.
//
// The minimum spanning tree of S plus a new point p lies within the tree of S
// plus, for each of the eight half-open octants around p, the edge from p to
// its nearest point there (a point coinciding with p instead joins it at length
// 0 and changes nothing else). Every other edge from p is strictly the longest
// on a triangle with p's nearest point in the same octant, so it belongs to no
// minimum tree. Each of those at most eight edges is inserted into a link-cut
// forest: it replaces the longest edge on the tree path between its ends when
// that edge is strictly longer. A journal of every link and cut lets a
// rollback replay them backwards.
//
// Whether a point would shorten the tree is often settled without changing
// it. Let q_1..q_k be the octant neighbours at distances d_1..d_k and B(i,j)
// the longest tree edge on the path between q_i and q_j. Kruskal's algorithm
// over the tree plus the new edges shows that the tree gets shorter by
//     MST over q_1..q_k of max(B(i,j), d_i, d_j)  -  (d_1 + ... + d_k),
// and that any upper bounds on the B(i,j) give an upper bound on that gain.
// The distance |q_i q_j| bounds B(i,j) (no minimum tree edge is longer than
// the direct edge it would close a cycle with), and so does a bound on the
// longest tree edge; neighbours at least that far away cannot change anything
// but the length of the first edge, so the search stops there. Only when
// these bounds leave a saving possible are path maxima read from the
// link-cut forest, and only when those leave it possible is the point added.
#include "mst1.h"

#include <algorithm>
#include <new>
#include <vector>

namespace steiner::internal {

namespace {

// Points per kd-tree leaf: small enough to keep leaf scans short, large enough
// to keep the node array and the descent shallow.
constexpr int32_t LEAF_SIZE = 16;

// Greater than every distance between points in the accepted range.
constexpr int32_t FAR = INT32_MAX;

// Deep enough for a kd tree over any int32_t count of points split at medians.
constexpr int32_t KD_STACK_DEPTH = 64;

// Committed points wait in a list, scanned by every search, until a commit
// leaves PENDING_MAX or more of them there; they then join the small recent
// index, which is rebuilt. Once the recent points reach 1 / PACK_SHARE of the packed ones
// (and at least PACK_MIN), all are packed into the large index, which is
// rebuilt too. Each point is so rebuilt into the large index O(1) times on
// average and into the small one O(PACK_MIN + n / PACK_SHARE) / PENDING_MAX.
constexpr int32_t PENDING_MAX = 64;
constexpr int32_t PACK_MIN = 256;
constexpr int32_t PACK_SHARE = 16;

// Building an index or a tree looks at the stop flag at every kd node over
// this many points or more, and every this many points joined: about a
// millisecond of work.
constexpr int32_t POINTS_PER_POLL = 4096;

// Journal entries one insertion can write: a link, then up to seven cuts
// (two entries each) with their links.
constexpr size_t ENTRIES_PER_ADD = 22;

// A point as an index holds it, in leaf order: the coordinates beside the
// index, so that building and searching read slots in sequence.
struct Slot {
    int32_t row, column;
    int32_t point;
};

// A kd-tree node over the slots first..last-1 (points in leaf order).
struct KdNode {
    int32_t lo_row, hi_row; // bounding box of every point below, active or not
    int32_t lo_column, hi_column;
    int32_t first, last; // slot range
    int32_t right;       // right child (the left child is the next node), -1 at a leaf
    int32_t active;      // active points below; 0 lets a search skip the node
};

// A link-cut node: a point or an edge. Index 0 is the empty node.
struct LinkNode {
    int32_t child[2]; // splay-tree children
    int32_t parent;   // splay parent, or the path parent at a splay root
    int32_t weight;   // edge length; -1 for a point, so a path maximum is an edge
    int32_t heaviest; // node of largest weight in this splay subtree
    int32_t end[2];   // an edge's two point nodes
    bool flip;        // children of this subtree still to be swapped
};

// A kd tree over points that are all in the tree, built at once.
struct PointIndex {
    std::vector<KdNode> kd;
    std::vector<Slot> slot;
    int32_t size;
};

} // namespace

struct Mst1Dynamic {
    int32_t count;       // points that may join
    const Point *points; // the caller's points[0..count-1]
    int64_t length;      // current tree length

    // The full index: a kd tree over every point that may join, which counts
    // the points below each node that are in the tree and not packed.
    std::vector<KdNode> kd; // node 0 is the root
    std::vector<Slot> slot;
    std::vector<uint8_t> slot_active;   // whether the slot's point is in the tree, unpacked
    std::vector<int32_t> slot_of_point; // inverse of slot[].point

    // Committed points leave the full index for indexes of their own: when
    // few of the points ever join (candidates tried and turned away),
    // searching the full index means wading through the others, and its
    // nodes do not stay in the cache. The full index keeps only the points
    // added since the last commit.
    PointIndex packed;            // most committed points
    PointIndex recent;            // committed since the last packing
    std::vector<int32_t> pending; // committed since the recent index was built
    int32_t pending_count;
    std::vector<uint8_t> committed; // per point: in one of the three above
    bool indexes_ready;             // their memory was had

    // Link nodes: 1..count are the points, count+1..2*count-1 the edge pool.
    std::vector<LinkNode> link;
    int32_t free_edge;               // first unused edge node; each links the next through parent
    std::vector<int32_t> splay_path; // scratch for pushing flips down before a splay
    // Tree edges by bit width of their length (0 for length 0), for a bound
    // on the longest within a factor of two.
    int32_t edges_of_width[32];

    // Links and cuts since the last commit or rollback. A link is its edge
    // node; a cut is its edge's ends, the second negated, so that the entry
    // read first on replay tells the two apart. Grown on demand; when memory
    // for it runs out, journal_lost is set and a rollback rebuilds instead.
    std::vector<int32_t> journal;
    bool journal_lost;
    std::vector<int32_t> added; // points added since the last commit or rollback
    int32_t added_count;
    int32_t active_count; // points in the tree

    Mst1Stop stop; // the caller's flag, or null
    bool stopped;  // a step gave up for it: every later call returns at once
};

namespace {

// ---- kd tree ------------------------------------------------------------------

// Builds a kd tree over slots[first..last-1], reordered into leaf order,
// into kd from node *next_node on, and returns its root, or -1 once stop is
// set. Each node's active count starts at 0, or at its slot count for an
// index whose points are all in the tree.
int32_t build_kd(KdNode *kd, Slot *slots, int32_t first, int32_t last, bool all_active,
                 int32_t *next_node, Mst1Stop stop) {
    if (last - first >= POINTS_PER_POLL && mst1_stop_seen(stop))
        return -1;
    int32_t node = (*next_node)++;
    KdNode box{MST1_COORD_MAX,
               MST1_COORD_MIN,
               MST1_COORD_MAX,
               MST1_COORD_MIN,
               first,
               last,
               -1,
               all_active ? last - first : 0};
    for (int32_t s = first; s < last; s++) {
        box.lo_row = std::min(box.lo_row, slots[s].row);
        box.hi_row = std::max(box.hi_row, slots[s].row);
        box.lo_column = std::min(box.lo_column, slots[s].column);
        box.hi_column = std::max(box.hi_column, slots[s].column);
    }
    kd[node] = box;
    if (last - first <= LEAF_SIZE)
        return node;
    // Split the wider side at its median so both halves keep similar shapes.
    bool by_row = int64_t{box.hi_row} - box.lo_row >= int64_t{box.hi_column} - box.lo_column;
    int32_t middle = first + (last - first) / 2;
    std::nth_element(slots + first, slots + middle, slots + last,
                     [by_row](const Slot &a, const Slot &b) {
                         return by_row ? a.row < b.row : a.column < b.column;
                     });
    if (build_kd(kd, slots, first, middle, all_active, next_node, stop) < 0)
        return -1;
    int32_t right = build_kd(kd, slots, middle, last, all_active, next_node, stop);
    if (right < 0)
        return -1;
    kd[node].right = right;
    return node;
}

// The nodes build_kd makes for count slots, counted level by level: halving
// leaves every subtree of a level with one of two neighbouring sizes.
size_t kd_node_count(int32_t count) {
    int64_t size = count, of_size = 1, of_next = 0; // subtrees of size and of size + 1
    size_t nodes = 0;
    while (of_size + of_next > 0) {
        nodes += static_cast<size_t>(of_size + of_next);
        int64_t split = size > LEAF_SIZE ? of_size : 0;
        int64_t split_next = size + 1 > LEAF_SIZE ? of_next : 0;
        if (size % 2 == 0) {
            of_size = 2 * split + split_next;
            of_next = split_next;
        } else {
            of_size = split;
            of_next = split + 2 * split_next;
        }
        size /= 2;
    }
    return nodes;
}

void set_active(Mst1Dynamic *t, int32_t point, bool active) {
    int32_t slot = t->slot_of_point[static_cast<size_t>(point)];
    t->slot_active[static_cast<size_t>(slot)] = active ? 1 : 0;
    int32_t delta = active ? 1 : -1;
    int32_t node = 0;
    for (;;) {
        KdNode &box = t->kd[static_cast<size_t>(node)];
        box.active += delta;
        if (box.right < 0)
            break;
        node = slot < t->kd[static_cast<size_t>(box.right)].first ? node + 1 : box.right;
    }
    t->active_count += delta;
}

bool allocate_index(PointIndex *index, size_t capacity) {
    try {
        index->kd.resize(kd_node_count(static_cast<int32_t>(capacity)));
        index->slot.resize(capacity);
    } catch (const std::exception &) {
        return false;
    }
    index->size = 0;
    return true;
}

void append(const Mst1Dynamic *t, PointIndex *index, const int32_t *points, int32_t count) {
    for (int32_t k = 0; k < count; k++) {
        const Point &p = t->points[points[k]];
        index->slot[static_cast<size_t>(index->size++)] = Slot{p.row, p.column, points[k]};
    }
}

void append_index(PointIndex *index, const PointIndex &from) {
    std::copy(from.slot.begin(), from.slot.begin() + from.size, index->slot.begin() + index->size);
    index->size += from.size;
}

void rebuild_index(Mst1Dynamic *t, PointIndex *index) {
    int32_t next_node = 0;
    if (build_kd(index->kd.data(), index->slot.data(), 0, index->size, true, &next_node, t->stop) <
        0)
        t->stopped = true;
}

// Files the pending points into the recent index, or everything recent into
// the packed index once the recent points are many enough.
void file_pending(Mst1Dynamic *t) {
    const int32_t recent = t->recent.size + t->pending_count;
    if (recent >= std::max(PACK_MIN, t->packed.size / PACK_SHARE)) {
        append_index(&t->packed, t->recent);
        append(t, &t->packed, t->pending.data(), t->pending_count);
        t->recent.size = 0;
        rebuild_index(t, &t->packed);
    } else {
        append(t, &t->recent, t->pending.data(), t->pending_count);
        rebuild_index(t, &t->recent);
    }
    t->pending_count = 0;
}

// Returns every committed point to the full index.
void uncommit_all(Mst1Dynamic *t) {
    auto back = [t](int32_t point) {
        t->committed[static_cast<size_t>(point)] = 0;
        set_active(t, point, true);
        t->active_count--; // already counted in the tree
    };
    for (int32_t s = 0; s < t->packed.size; s++)
        back(t->packed.slot[static_cast<size_t>(s)].point);
    for (int32_t s = 0; s < t->recent.size; s++)
        back(t->recent.slot[static_cast<size_t>(s)].point);
    for (int32_t k = 0; k < t->pending_count; k++)
        back(t->pending[static_cast<size_t>(k)]);
    t->packed.size = 0;
    t->recent.size = 0;
    t->pending_count = 0;
}

// Octants (bit per octant) holding at least one grid point of the box
// [row_lo, row_hi] x [column_lo, column_hi], given relative to the centre.
// Exact for integer points, so a search never skips a box that could hold an
// answer.
unsigned octants_meeting_box(int32_t row_lo, int32_t row_hi, int32_t column_lo, int32_t column_hi) {
    const int32_t turned[4][4] = {{row_lo, row_hi, column_lo, column_hi},
                                  {column_lo, column_hi, -row_hi, -row_lo},
                                  {-row_hi, -row_lo, -column_hi, -column_lo},
                                  {-column_hi, -column_lo, row_lo, row_hi}};
    unsigned mask = 0;
    for (unsigned q = 0; q < 4; q++) {
        int32_t u_lo = turned[q][0], u_hi = turned[q][1];
        int32_t v_lo = turned[q][2], v_hi = turned[q][3];
        if (u_hi > 0 && v_hi >= 0 && std::max(v_lo, 0) < u_hi)
            mask |= 1u << (2 * q);
        int32_t u = std::max(u_lo, 1);
        if (u <= u_hi && u <= v_hi)
            mask |= 1u << (2 * q + 1);
    }
    return mask;
}

int32_t gap(int32_t value, int32_t lo, int32_t hi) {
    if (value < lo)
        return lo - value;
    if (value > hi)
        return value - hi;
    return 0;
}

// One kd index as a search reads it.
struct IndexView {
    const KdNode *kd;
    const Slot *slot;
    const uint8_t *active; // by slot; null when every point is in the tree
};

// Searches one index for an active point coinciding with centre (returned),
// else lowers distance[o] and sets nearest[o] for nearer active points in
// each octant o; returns -1.
int32_t search_index(const IndexView &index, const Point &centre, int32_t *nearest,
                     int32_t *distance) {
    if (index.kd[0].active == 0)
        return -1;
    int32_t stack[KD_STACK_DEPTH];
    int32_t depth = 0;
    stack[depth++] = 0;
    while (depth > 0) {
        const KdNode &node = index.kd[stack[--depth]];
        int32_t bound = gap(centre.row, node.lo_row, node.hi_row) +
                        gap(centre.column, node.lo_column, node.hi_column);
        unsigned wanted = 0;
        for (unsigned o = 0; o < 8; o++)
            if (distance[o] > bound)
                wanted |= 1u << o;
        if (wanted == 0)
            continue;
        // A box around the centre may hold a coincident point, which lies in
        // no octant.
        if (bound > 0)
            wanted &=
                octants_meeting_box(node.lo_row - centre.row, node.hi_row - centre.row,
                                    node.lo_column - centre.column, node.hi_column - centre.column);
        if (wanted == 0)
            continue;
        if (node.right < 0) {
            for (int32_t s = node.first; s < node.last; s++) {
                if (index.active != nullptr && index.active[s] != 1)
                    continue;
                int32_t drow = index.slot[s].row - centre.row;
                int32_t dcolumn = index.slot[s].column - centre.column;
                if (drow == 0 && dcolumn == 0)
                    return index.slot[s].point;
                int32_t d =
                    rect_dist(index.slot[s].row, index.slot[s].column, centre.row, centre.column);
                int o = mst1_octant_of(drow, dcolumn);
                if (d < distance[o]) {
                    distance[o] = d;
                    nearest[o] = index.slot[s].point;
                }
            }
            continue;
        }
        int32_t left_child = static_cast<int32_t>(&node - index.kd + 1);
        int32_t right_child = node.right;
        const KdNode &left = index.kd[left_child];
        const KdNode &right = index.kd[right_child];
        int32_t left_bound = gap(centre.row, left.lo_row, left.hi_row) +
                             gap(centre.column, left.lo_column, left.hi_column);
        int32_t right_bound = gap(centre.row, right.lo_row, right.hi_row) +
                              gap(centre.column, right.lo_column, right.hi_column);
        // The nearer child goes on top so that it tightens the bounds first.
        int32_t near_child = left_bound <= right_bound ? left_child : right_child;
        int32_t far_child = near_child == left_child ? right_child : left_child;
        // A child no nearer than every wanted octant's best is of no use.
        int32_t reach = 0;
        for (unsigned o = 0; o < 8; o++)
            if ((wanted >> o & 1u) != 0)
                reach = std::max(reach, distance[o]);
        const int32_t far_bound = far_child == left_child ? left_bound : right_bound;
        const int32_t near_bound = far_child == left_child ? right_bound : left_bound;
        if (index.kd[far_child].active > 0 && far_bound < reach)
            stack[depth++] = far_child;
        if (index.kd[near_child].active > 0 && near_bound < reach)
            stack[depth++] = near_child;
    }
    return -1;
}

// Finds an active point coinciding with centre and returns it, or returns -1
// after filling nearest[o] and distance[o] with a nearest active point in each
// octant o closer than limit (-1 and limit where there is none). Among equally
// near points any one will do: each of them keeps the tree exact. A limit of 0
// finds nothing, not even a coinciding point.
int32_t search_octants(const Mst1Dynamic *t, const Point &centre, int32_t limit, int32_t *nearest,
                       int32_t *distance) {
    for (int o = 0; o < 8; o++) {
        nearest[o] = -1;
        distance[o] = limit;
    }
    if (t->active_count == 0 || limit == 0)
        return -1;
    // The packed index first: it holds most points, and the bounds it sets
    // cut the other searches short.
    for (const PointIndex *index : {&t->packed, &t->recent}) {
        if (index->size == 0)
            continue;
        const IndexView view{index->kd.data(), index->slot.data(), nullptr};
        int32_t same = search_index(view, centre, nearest, distance);
        if (same >= 0)
            return same;
    }
    for (int32_t k = 0; k < t->pending_count; k++) {
        const int32_t point = t->pending[static_cast<size_t>(k)];
        const Point &p = t->points[point];
        const int32_t drow = p.row - centre.row;
        const int32_t dcolumn = p.column - centre.column;
        if (drow == 0 && dcolumn == 0)
            return point;
        const int32_t d = rect_dist_points(p, centre);
        const int o = mst1_octant_of(drow, dcolumn);
        if (d < distance[o]) {
            distance[o] = d;
            nearest[o] = point;
        }
    }
    const IndexView full{t->kd.data(), t->slot.data(), t->slot_active.data()};
    return search_index(full, centre, nearest, distance);
}

// ---- link-cut forest ------------------------------------------------------------

bool is_splay_root(const LinkNode *n, int32_t x) {
    int32_t p = n[x].parent;
    return p == 0 || (n[p].child[0] != x && n[p].child[1] != x);
}

void pull(LinkNode *n, int32_t x) {
    int32_t best = x;
    for (int32_t c : n[x].child)
        if (c != 0 && n[n[c].heaviest].weight > n[best].weight)
            best = n[c].heaviest;
    n[x].heaviest = best;
}

void push(LinkNode *n, int32_t x) {
    if (!n[x].flip)
        return;
    std::swap(n[x].child[0], n[x].child[1]);
    for (int32_t c : n[x].child)
        if (c != 0)
            n[c].flip = !n[c].flip;
    n[x].flip = false;
}

void rotate(LinkNode *n, int32_t x) {
    int32_t p = n[x].parent;
    int32_t g = n[p].parent;
    int side = n[p].child[1] == x ? 1 : 0;
    if (!is_splay_root(n, p))
        n[g].child[n[g].child[1] == p ? 1 : 0] = x;
    n[x].parent = g;
    int32_t moved = n[x].child[1 - side];
    n[p].child[side] = moved;
    if (moved != 0)
        n[moved].parent = p;
    n[x].child[1 - side] = p;
    n[p].parent = x;
    pull(n, p);
    pull(n, x);
}

void splay(Mst1Dynamic *t, int32_t x) {
    LinkNode *n = t->link.data();
    int32_t *path = t->splay_path.data();
    int32_t length = 0;
    path[length++] = x;
    for (int32_t y = x; !is_splay_root(n, y); y = n[y].parent)
        path[length++] = n[y].parent;
    while (length > 0)
        push(n, path[--length]);
    while (!is_splay_root(n, x)) {
        int32_t p = n[x].parent;
        if (!is_splay_root(n, p)) {
            int32_t g = n[p].parent;
            bool zigzig = (n[g].child[0] == p) == (n[p].child[0] == x);
            rotate(n, zigzig ? p : x);
        }
        rotate(n, x);
    }
}

void access(Mst1Dynamic *t, int32_t x) {
    LinkNode *n = t->link.data();
    int32_t below = 0;
    for (int32_t y = x; y != 0; y = n[y].parent) {
        splay(t, y);
        n[y].child[1] = below;
        pull(n, y);
        below = y;
    }
    splay(t, x);
}

void make_root(Mst1Dynamic *t, int32_t x) {
    access(t, x);
    t->link[static_cast<size_t>(x)].flip = !t->link[static_cast<size_t>(x)].flip;
}

int bit_width(int32_t w) {
    int width = 0;
    for (auto v = static_cast<uint32_t>(w); v != 0; v >>= 1)
        width++;
    return width;
}

// At least the length of every tree edge.
int32_t longest_edge_bound(const Mst1Dynamic *t) {
    for (int width = 31; width > 0; width--)
        if (t->edges_of_width[width] > 0)
            return static_cast<int32_t>((uint32_t{1} << width) - 1);
    return 0;
}

// Joins the trees of from and to (link nodes) with a new edge node of length w
// and returns that node. from's tree hangs below to, whose root stays the root.
int32_t link_edge(Mst1Dynamic *t, int32_t from, int32_t to, int32_t w) {
    LinkNode *n = t->link.data();
    int32_t e = t->free_edge;
    t->free_edge = n[e].parent;
    n[e] = LinkNode{{0, 0}, to, w, e, {from, to}, false};
    make_root(t, from);
    n[from].parent = e;
    t->length += w;
    t->edges_of_width[bit_width(w)]++;
    return e;
}

// Removes edge node e, whose splay tree must hold the whole tree path through
// it with no path parent above (as make_root then access leave it).
void cut_exposed(Mst1Dynamic *t, int32_t e) {
    LinkNode *n = t->link.data();
    splay(t, e);
    for (int32_t c : n[e].child)
        if (c != 0)
            n[c].parent = 0;
    n[e].child[0] = 0;
    n[e].child[1] = 0;
    t->length -= n[e].weight;
    t->edges_of_width[bit_width(n[e].weight)]--;
    n[e].parent = t->free_edge;
    t->free_edge = e;
}

void cut_edge(Mst1Dynamic *t, int32_t e) {
    const LinkNode &edge = t->link[static_cast<size_t>(e)];
    int32_t from = edge.end[0];
    int32_t to = edge.end[1];
    make_root(t, from);
    access(t, to);
    cut_exposed(t, e);
}

// The caller has made room for the entries (reserve_journal).
void record(Mst1Dynamic *t, bool linked, int32_t e) {
    if (t->journal_lost)
        return;
    if (linked) {
        t->journal.push_back(e);
        return;
    }
    const LinkNode &edge = t->link[static_cast<size_t>(e)];
    t->journal.push_back(edge.end[1]);
    t->journal.push_back(-edge.end[0]);
}

// Makes room for one insertion's entries. When memory runs out the journal is
// given up (and freed) until the next commit or rollback: the tree stays exact,
// and a rollback rebuilds the committed tree instead of replaying.
void reserve_journal(Mst1Dynamic *t) {
    if (t->journal_lost)
        return;
    std::vector<int32_t> &journal = t->journal;
    if (journal.capacity() - journal.size() >= ENTRIES_PER_ADD)
        return;
    try {
        journal.reserve(std::max(2 * journal.capacity(), journal.size() + ENTRIES_PER_ADD));
    } catch (const std::bad_alloc &) {
        std::vector<int32_t>().swap(journal);
        t->journal_lost = true;
    }
}

// Offers edge root-to of length w, where root is the root of the tree that
// holds to: it replaces the longest edge on their tree path when that edge is
// strictly longer. root stays the root.
void offer_edge(Mst1Dynamic *t, int32_t root, int32_t to, int32_t w) {
    LinkNode *n = t->link.data();
    access(t, to);
    int32_t worst = n[to].heaviest;
    if (n[worst].weight <= w)
        return;
    record(t, false, worst);
    cut_exposed(t, worst);
    record(t, true, link_edge(t, to, root, w));
}

// Joins points[index], which must not be in the tree, and writes the links
// and cuts to the journal (room made by the caller).
void insert_point(Mst1Dynamic *t, int32_t index) {
    int32_t nearest[8];
    int32_t distance[8];
    int32_t same = search_octants(t, t->points[index], FAR, nearest, distance);
    set_active(t, index, true);
    int32_t node = index + 1;
    if (same >= 0) {
        record(t, true, link_edge(t, node, same + 1, 0));
        return;
    }
    // Shortest first: the first edge joins the new point, and short edges
    // linked early make the later, longer ones less likely to replace anything.
    int32_t order[8];
    int32_t found = 0;
    for (int o = 0; o < 8; o++) {
        if (nearest[o] < 0)
            continue;
        int32_t k = found++;
        while (k > 0 && distance[order[k - 1]] > distance[o]) {
            order[k] = order[k - 1];
            k--;
        }
        order[k] = o;
    }
    if (found == 0)
        return;
    record(t, true, link_edge(t, node, nearest[order[0]] + 1, distance[order[0]]));
    make_root(t, node);
    for (int32_t k = 1; k < found; k++)
        offer_edge(t, node, nearest[order[k]] + 1, distance[order[k]]);
}

// Takes out the points added[keep..] and builds the tree of the remaining
// ones afresh, without the journal and without allocating; for undoing when
// the journal was given up. The length comes out exact: it does not depend on
// the order in which points join.
void rebuild_without(Mst1Dynamic *t, int32_t keep) {
    uncommit_all(t);
    while (t->added_count > keep)
        set_active(t, t->added[static_cast<size_t>(--t->added_count)], false);
    // 2 marks a slot to join again; searches skip it until it has.
    for (uint8_t &active : t->slot_active)
        active = active != 0 ? 2 : 0;
    for (KdNode &box : t->kd)
        box.active = 0;
    t->active_count = 0;
    for (size_t i = 0; i < t->link.size(); i++)
        t->link[i] = LinkNode{{0, 0}, 0, -1, static_cast<int32_t>(i), {0, 0}, false};
    t->free_edge = 0;
    for (int32_t e = 2 * t->count - 1; e > t->count; e--) {
        t->link[static_cast<size_t>(e)].parent = t->free_edge;
        t->free_edge = e;
    }
    t->length = 0;
    std::fill(std::begin(t->edges_of_width), std::end(t->edges_of_width), 0);
    t->journal_lost = true;
    for (size_t slot = 0; slot < t->slot_active.size(); slot++) {
        if (t->slot_active[slot] != 2)
            continue;
        t->slot_active[slot] = 0;
        insert_point(t, t->slot[slot].point);
    }
    // With uncommitted points still in, only another rebuild can take them out.
    t->journal_lost = keep > 0;
}

// Undoes the additions added[keep..], whose journal entries start at entry.
void undo_to(Mst1Dynamic *t, size_t entry, int32_t keep) {
    if (t->journal_lost) {
        rebuild_without(t, keep);
        return;
    }
    std::vector<int32_t> &journal = t->journal;
    while (journal.size() > entry) {
        int32_t last = journal.back();
        journal.pop_back();
        if (last > 0) {
            cut_edge(t, last);
            continue;
        }
        int32_t to = journal.back();
        journal.pop_back();
        int32_t from = -last;
        link_edge(t, from, to, rect_dist_points(t->points[from - 1], t->points[to - 1]));
    }
    while (t->added_count > keep)
        set_active(t, t->added[static_cast<size_t>(--t->added_count)], false);
}

// The longest tree edges between every two octant neighbours q[0..k-1],
// into longest: make_root and access at q[0] give its row; two others, the
// larger of theirs when they differ (the path maxima of a tree are an
// ultrametric), or else, within each group of equal values, found the same
// way from the group's first member.
void path_maxima(Mst1Dynamic *t, int32_t k, const int32_t *q, int32_t (*longest)[8]) {
    LinkNode *n = t->link.data();
    int32_t group[8];
    int32_t size = k;
    for (int32_t i = 0; i < k; i++)
        group[i] = i;
    // Groups wait as runs of group[]; a run's members are pairwise unknown.
    int32_t pending[8][8];
    int32_t pending_size[8];
    int32_t waiting = 0;
    std::copy(group, group + size, pending[0]);
    pending_size[waiting++] = size;
    while (waiting > 0) {
        waiting--;
        const int32_t *members = pending[waiting];
        const int32_t count = pending_size[waiting];
        int32_t local[8];
        std::copy(members, members + count, local);
        const int32_t first = local[0];
        make_root(t, q[first] + 1);
        int32_t value[8];
        for (int32_t a = 1; a < count; a++) {
            access(t, q[local[a]] + 1);
            value[a] = n[n[q[local[a]] + 1].heaviest].weight;
            longest[first][local[a]] = longest[local[a]][first] = value[a];
        }
        longest[first][first] = 0;
        for (int32_t a = 1; a < count; a++) {
            for (int32_t b = a + 1; b < count; b++)
                if (value[a] != value[b])
                    longest[local[a]][local[b]] = longest[local[b]][local[a]] =
                        std::max(value[a], value[b]);
            // The first member of each group of two or more equal values
            // gathers the group.
            bool leads = true;
            for (int32_t b = 1; b < a; b++)
                leads = leads && value[b] != value[a];
            if (!leads)
                continue;
            int32_t members_found = 0;
            for (int32_t b = a; b < count; b++)
                if (value[b] == value[a])
                    pending[waiting][members_found++] = local[b];
            if (members_found > 1)
                pending_size[waiting++] = members_found;
        }
    }
}

// What adding a point at centre (not in the tree) saves, when that is
// positive; 0 when the bounds show it is not. Without exact, a positive
// answer is only an upper bound, from the longest edges on the paths from
// the first neighbour; with it, the saving itself.
int64_t join_saving(Mst1Dynamic *t, const Point &centre, bool exact) {
    int32_t nearest[8];
    int32_t distance[8];
    // A coinciding point joins at length 0 and changes nothing else.
    const int32_t longest = longest_edge_bound(t);
    if (search_octants(t, centre, longest, nearest, distance) >= 0)
        return 0;
    int32_t q[8];
    int32_t d[8];
    int32_t k = 0;
    for (int o = 0; o < 8; o++) {
        if (nearest[o] < 0)
            continue;
        q[k] = nearest[o];
        d[k++] = distance[o];
    }
    // Only the first edge: it lengthens the tree.
    if (k < 2)
        return 0;
    int32_t bound[8][8];
    for (int32_t i = 0; i < k; i++)
        for (int32_t j = 0; j < k; j++)
            bound[i][j] = std::min(longest, rect_dist_points(t->points[q[i]], t->points[q[j]]));
    if (mst1_join_saving(k, d, bound) <= 0)
        return 0;
    if (exact) {
        path_maxima(t, k, q, bound);
        return std::max<int64_t>(0, mst1_join_saving(k, d, bound));
    }
    // The longest edges on the paths from q[0]: exact for those pairs, and for
    // two others the larger of theirs when they differ, else at most the
    // common value.
    LinkNode *n = t->link.data();
    int32_t path_max[8];
    make_root(t, q[0] + 1);
    for (int32_t i = 1; i < k; i++) {
        access(t, q[i] + 1);
        path_max[i] = n[n[q[i] + 1].heaviest].weight;
        bound[0][i] = bound[i][0] = path_max[i];
    }
    for (int32_t i = 1; i < k; i++)
        for (int32_t j = 1; j < k; j++)
            if (path_max[i] != path_max[j])
                bound[i][j] = std::max(path_max[i], path_max[j]);
            else
                bound[i][j] = std::min(bound[i][j], path_max[i]);
    return std::max<int64_t>(0, mst1_join_saving(k, d, bound));
}

} // namespace

Mst1Dynamic *mst1_dynamic_create(int32_t count, const Point *points, Mst1Stop stop) {
    // Link nodes number up to 2 * count - 1, which must fit int32_t.
    if (count < 0 || count > INT32_MAX / 2 || (count > 0 && points == nullptr))
        return nullptr;
    Mst1Dynamic *t = new (std::nothrow) Mst1Dynamic();
    if (t == nullptr)
        return nullptr;
    t->count = count;
    t->points = points;
    t->stop = stop;
    size_t n = static_cast<size_t>(count);
    try {
        t->kd.resize(kd_node_count(count));
        t->slot.resize(n);
        t->slot_active.assign(n, 0);
        t->slot_of_point.resize(n);
        t->link.resize(2 * n);
        t->splay_path.resize(2 * n + 1);
        t->added.resize(n);
        t->committed.assign(n, 0);
    } catch (const std::exception &) {
        delete t;
        return nullptr;
    }
    // Without the committed points' own indexes every point stays in the full
    // index: slower searches, the same tree.
    try {
        t->pending.resize(n);
        t->indexes_ready = allocate_index(&t->packed, n) &&
                           allocate_index(&t->recent, static_cast<size_t>(PACK_MIN) +
                                                          n / static_cast<size_t>(PACK_SHARE));
    } catch (const std::exception &) {
        t->indexes_ready = false;
    }
    // Room for the largest trees takes a while to clear.
    if (mst1_stop_seen(stop)) {
        t->stopped = true;
        return t;
    }
    // Checked after the allocations, so that a count too large to serve is
    // refused before its points are ever read.
    for (int32_t i = 0; i < count; i++) {
        const Point &p = points[i];
        if (p.row < MST1_COORD_MIN || p.row > MST1_COORD_MAX || p.column < MST1_COORD_MIN ||
            p.column > MST1_COORD_MAX) {
            delete t;
            return nullptr;
        }
    }
    for (int32_t i = 0; i < count; i++)
        t->slot[static_cast<size_t>(i)] = Slot{points[i].row, points[i].column, i};
    if (count > 0) {
        int32_t next_node = 0;
        t->stopped = build_kd(t->kd.data(), t->slot.data(), 0, count, false, &next_node, stop) < 0;
    }
    for (size_t s = 0; s < n; s++)
        t->slot_of_point[static_cast<size_t>(t->slot[s].point)] = static_cast<int32_t>(s);
    for (int32_t i = 0; i < 2 * count; i++)
        t->link[static_cast<size_t>(i)] = LinkNode{{0, 0}, 0, -1, i, {0, 0}, false};
    // A tree over count points has at most count-1 edges: nodes count+1 up.
    t->free_edge = 0;
    for (int32_t e = 2 * count - 1; e > count; e--) {
        t->link[static_cast<size_t>(e)].parent = t->free_edge;
        t->free_edge = e;
    }
    return t;
}

void mst1_dynamic_destroy(Mst1Dynamic *tree) {
    delete tree;
}

bool mst1_dynamic_stopped(const Mst1Dynamic *tree) {
    return tree != nullptr && tree->stopped;
}

namespace {

bool addable(const Mst1Dynamic *tree, int32_t index) {
    return tree != nullptr && !tree->stopped && index >= 0 && index < tree->count &&
           !tree->slot_active[static_cast<size_t>(
               tree->slot_of_point[static_cast<size_t>(index)])] &&
           !tree->committed[static_cast<size_t>(index)];
}

} // namespace

int64_t mst1_dynamic_add(Mst1Dynamic *tree, int32_t index) {
    if (!addable(tree, index))
        return -1;
    reserve_journal(tree);
    tree->added[static_cast<size_t>(tree->added_count++)] = index;
    insert_point(tree, index);
    return tree->length;
}

int64_t mst1_dynamic_add_if_shorter(Mst1Dynamic *tree, int32_t index) {
    if (!addable(tree, index))
        return -1;
    const int64_t before = tree->length;
    if (join_saving(tree, tree->points[index], false) == 0)
        return before;
    const size_t entry = tree->journal.size();
    const int32_t keep = tree->added_count;
    const int64_t after = mst1_dynamic_add(tree, index);
    if (after < before)
        return after;
    undo_to(tree, entry, keep);
    return before;
}

int64_t mst1_dynamic_start(Mst1Dynamic *tree, int32_t count) {
    if (tree != nullptr && tree->stopped)
        return MST1_STOPPED;
    if (tree == nullptr || count < 0 || count > tree->count || tree->active_count != 0)
        return -1;
    std::vector<int32_t> parent;
    int64_t length = -1;
    try {
        parent.resize(static_cast<size_t>(count));
        length = mst1_build_tree_reentrant(count, tree->points, parent.data(), tree->stop);
    } catch (const std::bad_alloc &) {
        length = -1;
    }
    if (length == MST1_STOPPED) {
        tree->stopped = true;
        return MST1_STOPPED;
    }
    auto stopped = [tree](int32_t k) {
        if (k % POINTS_PER_POLL == POINTS_PER_POLL - 1 && mst1_stop_seen(tree->stop))
            tree->stopped = true;
        return tree->stopped;
    };
    if (length < 0) {
        // Joining one by one needs no memory beyond the tree's own.
        for (int32_t k = 0; k < count && !stopped(k); k++)
            mst1_dynamic_add(tree, k);
    } else {
        for (int32_t k = 0; k < count && !stopped(k); k++) {
            set_active(tree, k, true);
            tree->added[static_cast<size_t>(tree->added_count++)] = k;
        }
        for (int32_t k = 1; k < count && !stopped(k); k++) {
            const int32_t up = parent[static_cast<size_t>(k)];
            link_edge(tree, k + 1, up + 1, rect_dist_points(tree->points[k], tree->points[up]));
        }
    }
    mst1_dynamic_commit(tree);
    return tree->stopped ? MST1_STOPPED : tree->length;
}

void mst1_dynamic_commit(Mst1Dynamic *tree) {
    if (tree == nullptr || tree->stopped)
        return;
    tree->journal.clear();
    tree->journal_lost = false;
    if (tree->indexes_ready) {
        for (int32_t k = 0; k < tree->added_count; k++) {
            if (k % POINTS_PER_POLL == POINTS_PER_POLL - 1 && mst1_stop_seen(tree->stop)) {
                tree->stopped = true;
                return;
            }
            const int32_t point = tree->added[static_cast<size_t>(k)];
            set_active(tree, point, false);
            tree->active_count++; // still in the tree
            tree->committed[static_cast<size_t>(point)] = 1;
            tree->pending[static_cast<size_t>(tree->pending_count++)] = point;
        }
        if (tree->pending_count >= PENDING_MAX)
            file_pending(tree);
    }
    tree->added_count = 0;
}

void mst1_dynamic_rollback(Mst1Dynamic *tree) {
    if (tree == nullptr || tree->stopped)
        return;
    undo_to(tree, 0, 0);
}

int64_t mst1_dynamic_length(const Mst1Dynamic *tree) {
    return tree == nullptr ? 0 : tree->length;
}

int64_t mst1_dynamic_gain(Mst1Dynamic *tree, const Point &p) {
    return tree == nullptr || tree->stopped ? 0 : join_saving(tree, p, true);
}

int64_t mst1_join_saving(int32_t k, const int32_t *distance, const int32_t (*longest)[8]) {
    // Prim's algorithm from neighbour 0 over a shrinking list of the
    // neighbours still waiting to join.
    int32_t key[8];
    int32_t waiting[8];
    int32_t left = 0;
    int64_t total = -int64_t{distance[0]};
    for (int32_t i = 1; i < k; i++) {
        key[left] = std::max(longest[0][i], std::max(distance[0], distance[i]));
        waiting[left++] = i;
        total -= distance[i];
    }
    while (left > 0) {
        int32_t slot = 0;
        for (int32_t s = 1; s < left; s++)
            slot = key[s] < key[slot] ? s : slot;
        const int32_t next = waiting[slot];
        total += key[slot];
        left--;
        key[slot] = key[left];
        waiting[slot] = waiting[left];
        for (int32_t s = 0; s < left; s++) {
            const int32_t i = waiting[s];
            key[s] =
                std::min(key[s], std::max(longest[next][i], std::max(distance[next], distance[i])));
        }
    }
    return total;
}

} // namespace steiner::internal
