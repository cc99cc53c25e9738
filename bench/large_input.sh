#!/usr/bin/env bash
# A large, mostly useless input: 1,000 random terminals followed by PAIRS
# random candidate pairs (default 1,000,000), nearly all of which the screening
# rejects. Runs the Release program with block 1 and every candidate accepted,
# and prints wall time, peak memory and how many candidates were stored; a
# second run with a hundredth of the pairs shows that memory does not grow
# with the number of rejected candidates.
#
# Usage: bench/large_input.sh [PAIRS]
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$root/build/bench-release"
pairs=${1:-1000000}

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/steiner_large.XXXXXX")
trap 'rm -rf "$work"' EXIT

# make_input DIR PAIRS: terminals on a 100,000-wide grid, candidates anywhere
# on it, from a fixed seed.
make_input() {
    mkdir -p "$1"
    awk -v pairs="$2" 'BEGIN {
        srand(7)
        print 1000
        for (k = 0; k < 1000; k++) print int(rand() * 100000), int(rand() * 100000)
        for (k = 0; k < pairs; k++) print int(rand() * 100000), int(rand() * 100000)
    }' >"$1/input.data"
}

printf '%-10s %10s %10s %8s\n' pairs "wall s" "peak MiB" stored
for count in $((pairs / 100)) "$pairs"; do
    dir="$work/$count"
    make_input "$dir" "$count"
    (cd "$dir" && printf '1\n2147483647\n\n\n' |
        /usr/bin/time -f '%e %M' -o time.txt "$build/bin/steiner_router" >report.txt)
    read -r wall kib <"$dir/time.txt"
    stored=$(sed -n 's/^Number of total Potential Steiner points: //p' "$dir/report.txt")
    printf '%-10s %10s %10s %8s\n' "$count" "$wall" "$(awk -v k="$kib" 'BEGIN { printf "%.1f", k / 1024 }')" "$stored"
done
