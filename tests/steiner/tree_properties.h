// What every tree the library returns must satisfy, checked from the outside:
// shared by the tests and the fuzz targets.
#ifndef STEINER_TESTS_TREE_PROPERTIES_H
#define STEINER_TESTS_TREE_PROPERTIES_H

#include <steiner/steiner.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tree_properties {

int64_t distance(const steiner::Point &a, const steiner::Point &b);

// The length of a minimum spanning tree over the points.
int64_t spanning_length(const std::vector<steiner::Point> &points);

// The promises the tree breaks for this net; empty when it keeps them all:
// the library's own check of a tree, then that its terminals are the net's
// in input order and, for a stepwise tree, that each Steiner point shortens
// the tree of the nodes before it (other trees promise no order).
std::vector<std::string> broken(const std::vector<steiner::Point> &net, const steiner::Tree &tree,
                                 bool stepwise = false);

} // namespace tree_properties

#endif
