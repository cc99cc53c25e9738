#!/usr/bin/env bash
# Time per net and distance from the optimum of steiner::route by net size,
# at each effort, on one thread.
#
# Usage: bench/sizes/run_sizes.sh [OPTION VALUE ...]
#   Options go to size_bench (its --help lists them): --sizes, --nets, --kinds,
#   --efforts, --sets none|small|all, --data (default bench/quality/data).
#
# Builds a Release tree in build/bench-sizes and runs size_bench, which
# prints two markdown tables. First random nets, 300 of each size (4, 6, 9,
# 12, 15, 20, 30, 50 and 100 terminals) and kind: uniform (distinct points in
# a 1,000 x 1,000 box) and clustered (pins on cell rows a pitch apart, in a few
# clusters, with runs along rows and pins above one another), seeded. Then
# the public nets with proven optima of bench/quality/data: Soukup-Chow and
# OR-Library 10 to 100 (--sets all adds 250, 500 and 1000, slow at best).
# Per effort: microseconds per net, the fastest of 3 measurements of whole
# passes over the nets lasting at least 0.2 s each; that time as a multiple of
# rmst's on the same nets; the mean percent above the optimum (exact for
# random nets of up to 12 terminals, "-" above) and the nets at it.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build="$root/build/bench-sizes"

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSTEINER_BUILD_BENCH=ON \
    -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" --target size_bench >/dev/null
# A --data among the arguments comes later and wins.
exec "$build/bin/size_bench" --data "$root/bench/quality/data" "$@"
