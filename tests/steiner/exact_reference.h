// The length of a rectilinear Steiner minimal tree for small nets, found
// exhaustively. It is slow and kept plain on purpose: tests and fuzz targets
// hold the library's trees against it.
#ifndef STEINER_TESTS_EXACT_REFERENCE_H
#define STEINER_TESTS_EXACT_REFERENCE_H

#include <steiner/steiner.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace exact_reference {

// The most distinct terminals a net may have; coincident terminals count once.
// Twelve take about a tenth of a second.
constexpr size_t max_terminals = 12;

// The shortest rectilinear tree joining the terminals, Steiner points allowed.
// Throws std::invalid_argument for an empty net or more than max_terminals
// distinct terminals.
int64_t steiner_length(const std::vector<steiner::Point> &terminals);

} // namespace exact_reference

#endif
