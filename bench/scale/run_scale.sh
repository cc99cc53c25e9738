#!/usr/bin/env bash
# Time, peak memory and tree quality of scale_steiner_points.
#
# Usage: bench/scale/run_scale.sh [random|quality|all]   (default: all)
#   random   random uniform nets of 1,000, 2,000, 10,000 and 100,000 terminals
#            (coordinates 0..9,999,999, seed 1): wall time, peak memory, points
#            and percent below the terminals' spanning tree
#   quality  the proven nets of bench/quality/data: mean percent above the
#            optimum per set
#
# Builds a Release tree in build/bench-scale first. Every result is checked as
# the router would see it (screening, each point shortening the tree in order,
# the claimed length). The 100,000-terminal net takes minutes.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build="$root/build/bench-scale"
what=${1:-all}
case "$what" in
random | quality | all) ;;
*) echo "run_scale.sh: unknown argument \"$what\" (see the comment at the top)" >&2; exit 1 ;;
esac

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" --target scale_bench >/dev/null
bench="$build/bin/scale_bench"

if [ "$what" != quality ]; then
    for n in 1000 2000 10000 100000; do
        "$bench" random "$n" 1
    done
fi
if [ "$what" != random ]; then
    "$bench" quality "$root/bench/quality/data"
fi
