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
#include "mst1.h"

#include <algorithm>
#include <cstdlib>
#include <new>
#include <vector>

namespace {

// Points per kd-tree leaf: small enough to keep leaf scans short, large enough
// to keep the node array and the descent shallow.
constexpr int32_t LEAF_SIZE = 8;

// Greater than every distance between points in the accepted range.
constexpr int32_t FAR = INT32_MAX;

// Deep enough for a kd tree over any int32_t count of points split at medians.
constexpr int32_t KD_STACK_DEPTH = 64;

// Links and cuts one insertion can make: up to eight links, and a cut before
// each link after the first.
constexpr int64_t STEPS_PER_ADD = 15;

// A kd-tree node over the slots first..last-1 (points in leaf order).
struct KdNode {
    int32_t lo_row, hi_row; // bounding box of every point below, active or not
    int32_t lo_column, hi_column;
    int32_t first, last; // slot range
    int32_t right;       // right child (the left child is the next node), -1 at a leaf
    int32_t up;          // parent node, -1 at the root
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

// A journal step, replayed backwards by a rollback.
struct Step {
    bool linked;         // true: the edge was linked; false: it was cut
    int32_t edge;        // the edge's link node
    int32_t from, to, w; // a cut edge's ends and length, as its node is reused
};

} // namespace

struct Mst1Dynamic {
    int32_t count;        // points that may join
    const Point *points;  // the caller's points[0..count-1]
    int64_t length;       // current tree length
    int64_t saved_length; // length at the last commit or rollback

    std::vector<KdNode> kd;             // node 0 is the root
    std::vector<int32_t> slot_row;      // row of each slot (points in leaf order)
    std::vector<int32_t> slot_column;   // column of each slot
    std::vector<int32_t> slot_point;    // point index of each slot
    std::vector<uint8_t> slot_active;   // whether the slot's point is in the tree
    std::vector<int32_t> slot_of_point; // inverse of slot_point
    std::vector<int32_t> leaf_of_slot;  // kd leaf holding each slot

    // Link nodes: 1..count are the points, count+1..2*count-1 the edge pool.
    std::vector<LinkNode> link;
    std::vector<int32_t> free_edges; // unused edge nodes, used as a stack
    int32_t free_count;
    std::vector<int32_t> splay_path; // scratch for pushing flips down before a splay

    std::vector<Step> journal; // links and cuts since the last commit or rollback
    int64_t journal_count;
    std::vector<int32_t> added; // points added since the last commit or rollback
    int32_t added_count;
    int32_t active_count; // points in the tree
};

namespace {

// ---- kd tree ------------------------------------------------------------------

int32_t build_kd(Mst1Dynamic *t, int32_t first, int32_t last, int32_t up, int32_t *next_node) {
    int32_t node = (*next_node)++;
    KdNode box{
        MST1_COORD_MAX, MST1_COORD_MIN, MST1_COORD_MAX, MST1_COORD_MIN, first, last, -1, up, 0};
    for (int32_t s = first; s < last; s++) {
        const Point &p = t->points[t->slot_point[static_cast<size_t>(s)]];
        box.lo_row = std::min(box.lo_row, p.row);
        box.hi_row = std::max(box.hi_row, p.row);
        box.lo_column = std::min(box.lo_column, p.column);
        box.hi_column = std::max(box.hi_column, p.column);
    }
    t->kd[static_cast<size_t>(node)] = box;
    if (last - first <= LEAF_SIZE) {
        for (int32_t s = first; s < last; s++)
            t->leaf_of_slot[static_cast<size_t>(s)] = node;
        return node;
    }
    // Split the wider side at its median so both halves keep similar shapes.
    const Point *points = t->points;
    bool by_row = int64_t{box.hi_row} - box.lo_row >= int64_t{box.hi_column} - box.lo_column;
    int32_t middle = first + (last - first) / 2;
    int32_t *slots = t->slot_point.data();
    std::nth_element(slots + first, slots + middle, slots + last, [&](int32_t a, int32_t b) {
        return by_row ? points[a].row < points[b].row : points[a].column < points[b].column;
    });
    build_kd(t, first, middle, node, next_node);
    int32_t right = build_kd(t, middle, last, node, next_node);
    t->kd[static_cast<size_t>(node)].right = right;
    return node;
}

void set_active(Mst1Dynamic *t, int32_t point, bool active) {
    int32_t slot = t->slot_of_point[static_cast<size_t>(point)];
    t->slot_active[static_cast<size_t>(slot)] = active ? 1 : 0;
    int32_t delta = active ? 1 : -1;
    for (int32_t node = t->leaf_of_slot[static_cast<size_t>(slot)]; node >= 0;
         node = t->kd[static_cast<size_t>(node)].up)
        t->kd[static_cast<size_t>(node)].active += delta;
    t->active_count += delta;
}

// Octants around a point, numbered 0..7. Quadrant q (rotated by q quarter
// turns into u > 0, v >= 0) holds octant 2q where v < u and 2q+1 where v >= u.
// The half-open edges make the octants partition the plane minus the point,
// and within one octant two points a, b with |a| <= |b| are strictly closer to
// each other than b is to the centre.
int octant_of(int32_t drow, int32_t dcolumn) {
    int32_t u, v, quadrant;
    if (drow > 0 && dcolumn >= 0) {
        u = drow;
        v = dcolumn;
        quadrant = 0;
    } else if (dcolumn > 0 && drow <= 0) {
        u = dcolumn;
        v = -drow;
        quadrant = 1;
    } else if (drow < 0 && dcolumn <= 0) {
        u = -drow;
        v = -dcolumn;
        quadrant = 2;
    } else {
        u = -dcolumn;
        v = drow;
        quadrant = 3;
    }
    return 2 * quadrant + (v < u ? 0 : 1);
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

// Finds an active point coinciding with centre and returns it, or returns -1
// after filling nearest[o] and distance[o] with a nearest active point in each
// octant o (-1 and FAR where the octant is empty). Among equally near points
// any one will do: each of them keeps the tree exact.
int32_t search_octants(const Mst1Dynamic *t, const Point &centre, int32_t *nearest,
                       int32_t *distance) {
    for (int o = 0; o < 8; o++) {
        nearest[o] = -1;
        distance[o] = FAR;
    }
    if (t->active_count == 0)
        return -1;
    int32_t stack[KD_STACK_DEPTH];
    int32_t depth = 0;
    stack[depth++] = 0;
    while (depth > 0) {
        const KdNode &node = t->kd[static_cast<size_t>(stack[--depth])];
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
                size_t slot = static_cast<size_t>(s);
                if (!t->slot_active[slot])
                    continue;
                int32_t drow = t->slot_row[slot] - centre.row;
                int32_t dcolumn = t->slot_column[slot] - centre.column;
                if (drow == 0 && dcolumn == 0)
                    return t->slot_point[slot];
                int32_t d = std::abs(drow) + std::abs(dcolumn);
                int o = octant_of(drow, dcolumn);
                if (d < distance[o]) {
                    distance[o] = d;
                    nearest[o] = t->slot_point[slot];
                }
            }
            continue;
        }
        int32_t left_child = static_cast<int32_t>(&node - t->kd.data() + 1);
        int32_t right_child = node.right;
        const KdNode &left = t->kd[static_cast<size_t>(left_child)];
        const KdNode &right = t->kd[static_cast<size_t>(right_child)];
        int32_t left_bound = gap(centre.row, left.lo_row, left.hi_row) +
                             gap(centre.column, left.lo_column, left.hi_column);
        int32_t right_bound = gap(centre.row, right.lo_row, right.hi_row) +
                              gap(centre.column, right.lo_column, right.hi_column);
        // The nearer child goes on top so that it tightens the bounds first.
        int32_t near_child = left_bound <= right_bound ? left_child : right_child;
        int32_t far_child = near_child == left_child ? right_child : left_child;
        if (t->kd[static_cast<size_t>(far_child)].active > 0)
            stack[depth++] = far_child;
        if (t->kd[static_cast<size_t>(near_child)].active > 0)
            stack[depth++] = near_child;
    }
    return -1;
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

// Joins the trees of from and to (link nodes) with a new edge node of length w
// and returns that node. from's tree hangs below to, whose root stays the root.
int32_t link_edge(Mst1Dynamic *t, int32_t from, int32_t to, int32_t w) {
    LinkNode *n = t->link.data();
    int32_t e = t->free_edges[static_cast<size_t>(--t->free_count)];
    n[e] = LinkNode{{0, 0}, to, w, e, {from, to}, false};
    make_root(t, from);
    n[from].parent = e;
    t->length += w;
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
    t->free_edges[static_cast<size_t>(t->free_count++)] = e;
}

void cut_edge(Mst1Dynamic *t, int32_t e) {
    const LinkNode &edge = t->link[static_cast<size_t>(e)];
    int32_t from = edge.end[0];
    int32_t to = edge.end[1];
    make_root(t, from);
    access(t, to);
    cut_exposed(t, e);
}

void record(Mst1Dynamic *t, bool linked, int32_t e) {
    const LinkNode &edge = t->link[static_cast<size_t>(e)];
    t->journal[static_cast<size_t>(t->journal_count++)] =
        Step{linked, e, edge.end[0], edge.end[1], edge.weight};
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

} // namespace

Mst1Dynamic *mst1_dynamic_create(int32_t count, const Point *points) {
    // Link nodes number up to 2 * count - 1, which must fit int32_t.
    if (count < 0 || count > INT32_MAX / 2 || (count > 0 && points == nullptr))
        return nullptr;
    Mst1Dynamic *t = new (std::nothrow) Mst1Dynamic();
    if (t == nullptr)
        return nullptr;
    t->count = count;
    t->points = points;
    size_t n = static_cast<size_t>(count);
    try {
        t->kd.resize(std::max<size_t>(2 * n, 1));
        t->slot_row.resize(n);
        t->slot_column.resize(n);
        t->slot_point.resize(n);
        t->slot_active.assign(n, 0);
        t->slot_of_point.resize(n);
        t->leaf_of_slot.resize(n);
        t->link.resize(2 * n);
        t->free_edges.resize(n);
        t->splay_path.resize(2 * n + 1);
        t->journal.resize(static_cast<size_t>(STEPS_PER_ADD) * n);
        t->added.resize(n);
    } catch (const std::exception &) {
        delete t;
        return nullptr;
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
        t->slot_point[static_cast<size_t>(i)] = i;
    if (count > 0) {
        int32_t next_node = 0;
        build_kd(t, 0, count, -1, &next_node);
    }
    for (size_t s = 0; s < n; s++) {
        const Point &p = points[t->slot_point[s]];
        t->slot_row[s] = p.row;
        t->slot_column[s] = p.column;
        t->slot_of_point[static_cast<size_t>(t->slot_point[s])] = static_cast<int32_t>(s);
    }
    for (int32_t i = 0; i < 2 * count; i++)
        t->link[static_cast<size_t>(i)] = LinkNode{{0, 0}, 0, -1, i, {0, 0}, false};
    // A tree over count points has at most count-1 edges.
    t->free_count = count > 0 ? count - 1 : 0;
    for (int32_t k = 0; k < t->free_count; k++)
        t->free_edges[static_cast<size_t>(k)] = 2 * count - 1 - k;
    return t;
}

void mst1_dynamic_destroy(Mst1Dynamic *tree) {
    delete tree;
}

int64_t mst1_dynamic_add(Mst1Dynamic *tree, int32_t index) {
    if (tree == nullptr)
        return -1;
    if (index < 0 || index >= tree->count ||
        tree->slot_active[static_cast<size_t>(tree->slot_of_point[static_cast<size_t>(index)])])
        return -1;
    int32_t nearest[8];
    int32_t distance[8];
    int32_t same = search_octants(tree, tree->points[index], nearest, distance);
    set_active(tree, index, true);
    tree->added[static_cast<size_t>(tree->added_count++)] = index;
    int32_t node = index + 1;
    if (same >= 0) {
        record(tree, true, link_edge(tree, node, same + 1, 0));
        return tree->length;
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
        return tree->length;
    record(tree, true, link_edge(tree, node, nearest[order[0]] + 1, distance[order[0]]));
    make_root(tree, node);
    for (int32_t k = 1; k < found; k++)
        offer_edge(tree, node, nearest[order[k]] + 1, distance[order[k]]);
    return tree->length;
}

void mst1_dynamic_commit(Mst1Dynamic *tree) {
    if (tree == nullptr)
        return;
    tree->journal_count = 0;
    tree->added_count = 0;
    tree->saved_length = tree->length;
}

void mst1_dynamic_rollback(Mst1Dynamic *tree) {
    if (tree == nullptr)
        return;
    while (tree->journal_count > 0) {
        const Step &step = tree->journal[static_cast<size_t>(--tree->journal_count)];
        if (step.linked)
            cut_edge(tree, step.edge);
        else
            link_edge(tree, step.from, step.to, step.w);
    }
    while (tree->added_count > 0)
        set_active(tree, tree->added[static_cast<size_t>(--tree->added_count)], false);
    tree->length = tree->saved_length;
}

int64_t mst1_dynamic_length(const Mst1Dynamic *tree) {
    return tree == nullptr ? 0 : tree->length;
}
