#!/usr/bin/env bash
# Large random nets end to end: steiner_candidates (default order) writes the
# point file, steiner_router runs it with block size 1 and every candidate.
#
# Usage: bench/scale/run_scale.sh [--seed S] [N ...]
#   (default: seed 1; 1000 2000 10000 100000)
#
# Each net is N distinct terminals drawn uniformly with rows and columns in
# 0..9,999,999 (--random N --grid 10000000 --seed S). Builds a Release tree in
# build/bench-release, then prints per net the generator's and the router's
# wall time and peak memory, the Steiner points written, the router's final
# length and the percent below the terminals' spanning tree. The router must
# keep every point written and report the length the generator aimed for.
# Needs GNU time at /usr/bin/time. The 100,000-terminal net takes minutes.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build="$root/build/bench-release"
seed=1
if [ "${1:-}" = --seed ]; then
    seed=${2:?--seed needs a value}
    [[ "$seed" =~ ^[0-9]+$ ]] || { echo "run_scale.sh: \"$seed\" is no seed" >&2; exit 1; }
    shift 2
fi
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(1000 2000 10000 100000)
for n in "${sizes[@]}"; do
    [[ "$n" =~ ^[0-9]+$ ]] || { echo "run_scale.sh: \"$n\" is no terminal count" >&2; exit 1; }
done
[ -x /usr/bin/time ] || { echo "run_scale.sh: GNU time (/usr/bin/time) is needed" >&2; exit 1; }

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" >/dev/null
generator="$build/bin/steiner_candidates"
router="$build/bin/steiner_router"
work=$(mktemp -d "${TMPDIR:-/tmp}/steiner_scale.XXXXXX")
trap 'rm -rf "$work"' EXIT

printf '%9s %9s %9s %9s %9s %8s %14s %11s\n' terminals "gen s" "gen MiB" "route s" \
    "route MiB" points length "% < RMST"
for n in "${sizes[@]}"; do
    /usr/bin/time -f '%e %M' -o "$work/gen.time" "$generator" --random "$n" --grid 10000000 \
        --seed "$seed" >"$work/input.data"
    (cd "$work" && printf '1\n2147483647\n\n\n' |
        /usr/bin/time -f '%e %M' -o route.time "$router" >report.txt)
    read -r gen_s gen_kb <"$work/gen.time"
    read -r route_s route_kb <"$work/route.time"
    points=$(($(wc -l <"$work/input.data") - 1 - n))
    nodes=$(sed -n 's/^Number of nodes in our minimum RMST is \([0-9]*\)\./\1/p' "$work/report.txt")
    rmst=$(sed -n 's/^Total wirelength before adding potential Steiner nodes is: //p' "$work/report.txt")
    length=$(sed -n 's/^Total wirelength is: //p' "$work/report.txt")
    if [ "$nodes" -ne $((n + points)) ]; then
        echo "run_scale.sh: the router kept $((nodes - n)) of the $points points written" >&2
        exit 1
    fi
    awk -v n="$n" -v gs="$gen_s" -v gk="$gen_kb" -v rs="$route_s" -v rk="$route_kb" \
        -v points="$points" -v length_="$length" -v rmst="$rmst" 'BEGIN {
        printf "%9d %9.2f %9.1f %9.2f %9.1f %8d %14.0f %11.3f\n", n, gs, gk / 1024, rs, rk / 1024,
            points, length_, 100 * (rmst - length_) / rmst }'
done
