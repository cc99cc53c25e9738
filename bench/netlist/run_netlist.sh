#!/usr/bin/env bash
# Whole netlists through steiner_route: a seeded synthetic netlist with the
# degree mix of real designs (see make_netlist.cpp), routed at each effort.
#
# Usage: bench/netlist/run_netlist.sh [NETS] [THREADS]   (default 100000, all cores)
#
# Builds a Release tree in build/bench-release, writes the netlist (seed 1),
# then prints per effort the wall time, nets per second, the total spanning-tree
# length, the total tree length and how far the total lies below the spanning
# trees. Needs GNU time at /usr/bin/time.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build="$root/build/bench-release"
nets=${1:-100000}
threads=${2:-$(nproc)}
[[ "$nets" =~ ^[0-9]+$ && "$threads" =~ ^[0-9]+$ ]] ||
    { echo "run_netlist.sh: NETS and THREADS are whole numbers" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "run_netlist.sh: GNU time (/usr/bin/time) is needed" >&2; exit 1; }

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" --target steiner_route >/dev/null
work=$(mktemp -d "${TMPDIR:-/tmp}/steiner_netlist.XXXXXX")
trap 'rm -rf "$work"' EXIT
c++ -O2 -std=c++17 "$root/bench/netlist/make_netlist.cpp" -o "$work/make_netlist"
"$work/make_netlist" "$nets" 1 >"$work/netlist.txt"

printf '%-7s %7s %8s %9s %12s %16s %16s %9s\n' effort nets threads "wall s" "nets/s" \
    "total rmst" "total length" "% < rmst"
for effort in rmst greedy best; do
    /usr/bin/time -f '%e' -o "$work/time" "$root/build/bench-release/bin/steiner_route" \
        "$work/netlist.txt" --effort "$effort" --threads "$threads" >"$work/out.tsv"
    awk -F'\t' -v effort="$effort" -v threads="$threads" -v wall="$(cat "$work/time")" '
        NR > 1 { nets++; rmst += $3; length_ += $4 }
        END {
            printf "%-7s %7d %8d %9.2f %12.0f %16.0f %16.0f %9.3f\n", effort, nets, threads, wall,
                nets / (wall > 0 ? wall : 0.01), rmst, length_, 100 * (rmst - length_) / rmst
        }' "$work/out.tsv"
done
