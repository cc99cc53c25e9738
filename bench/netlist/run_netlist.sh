#!/usr/bin/env bash
# Whole netlists through steiner_route: seeded synthetic netlists in two mixes
# of net sizes (see make_netlist.cpp), routed at each effort.
#
# Usage: bench/netlist/run_netlist.sh [NETS] [THREADS] [MIX ...]
#   NETS     nets per netlist (default 100000)
#   THREADS  threads for the second timing (default all cores)
#   MIX      heavy and/or realistic (default both)
#
# Builds a Release tree in build/bench-release and writes each netlist (seed
# 1). Per mix and effort it prints the wall time of the whole process on one
# thread and on THREADS, the speed-up, nets per second on one thread, the
# total spanning-tree length, the total tree length and how far below the
# spanning trees it lies. Then, per size band (2-3, 4-9, 10-20, 21-50, 51+
# terminals), each band routed alone on one thread: nets per second, total
# length, and for the bands of up to 9 terminals the percent above the
# minimal total, which greedy and best reach. Needs GNU time at
# /usr/bin/time.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build="$root/build/bench-release"
nets=${1:-100000}
threads=${2:-$(nproc)}
shift $(($# < 2 ? $# : 2))
mixes=("$@")
[ ${#mixes[@]} -gt 0 ] || mixes=(heavy realistic)
[[ "$nets" =~ ^[0-9]+$ && "$threads" =~ ^[0-9]+$ ]] ||
    { echo "run_netlist.sh: NETS and THREADS are whole numbers" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "run_netlist.sh: GNU time (/usr/bin/time) is needed" >&2; exit 1; }

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" --target steiner_route >/dev/null
route="$build/bin/steiner_route"
work=$(mktemp -d "${TMPDIR:-/tmp}/steiner_netlist.XXXXXX")
trap 'rm -rf "$work"' EXIT
c++ -O2 -std=c++17 "$root/bench/netlist/make_netlist.cpp" -o "$work/make_netlist"

# Seconds of wall time of steiner_route on a netlist; the output in $work/out.tsv.
run() {
    /usr/bin/time -f '%e' -o "$work/time" "$route" "$1" --effort "$2" --threads "$3" >"$work/out.tsv"
    cat "$work/time"
}

# Totals of $work/out.tsv: nets, spanning trees, tree lengths.
totals() {
    awk -F'\t' 'NR > 1 { nets++; rmst += $3; length_ += $4 }
        END { printf "%d %.0f %.0f\n", nets, rmst, length_ }' "$work/out.tsv"
}

for mix in "${mixes[@]}"; do
    "$work/make_netlist" "$nets" 1 "$mix" >"$work/$mix.txt"
    # The nets of each size band, as netlists of their own.
    awk -v dir="$work" -v mix="$mix" '
        function band(d) { return d <= 3 ? "2-3" : d <= 9 ? "4-9" : d <= 20 ? "10-20" : d <= 50 ? "21-50" : "51+" }
        NR == 1 { next }
        NF == 1 { b = band($1); count[b]++ }
        { print > (dir "/" mix "-" b ".body") }
        END { for (b in count) print b, count[b] > (dir "/" mix ".bands") }
    ' "$work/$mix.txt"
    while read -r band count; do
        { echo "$count"; cat "$work/$mix-$band.body"; } >"$work/$mix-$band.txt"
    done <"$work/$mix.bands"

    printf '\n%s mix, %s nets\n' "$mix" "$nets"
    printf '%-7s %9s %9s %8s %10s %16s %16s %9s\n' effort "1 thr s" "$threads thr s" speed-up \
        "nets/s" "total rmst" "total length" "% < rmst"
    for effort in rmst greedy best; do
        many=$(run "$work/$mix.txt" "$effort" "$threads")
        one=$(run "$work/$mix.txt" "$effort" 1)
        read -r count rmst total < <(totals)
        awk -v e="$effort" -v one="$one" -v many="$many" -v n="$count" -v r="$rmst" -v l="$total" 'BEGIN {
            printf "%-7s %9.2f %9.2f %8.2f %10.0f %16.0f %16.0f %9.3f\n", e, one, many,
                one / (many > 0 ? many : 0.01), n / (one > 0 ? one : 0.01), r, l, 100 * (r - l) / r }'
    done

    printf '\nby size, each band alone on one thread\n'
    printf '%-6s %-7s %7s %10s %16s %12s\n' band effort nets "nets/s" "total length" "% > minimal"
    for band in 2-3 4-9 10-20 21-50 51+; do
        [ -s "$work/$mix-$band.txt" ] || continue
        minimal=""
        for effort in best greedy rmst; do
            seconds=$(run "$work/$mix-$band.txt" "$effort" 1)
            read -r count rmst total < <(totals)
            # Nets of up to 9 terminals get minimal trees at greedy and best.
            [ "$effort" = best ] && [ "$band" != 10-20 ] && [ "$band" != 21-50 ] && [ "$band" != 51+ ] &&
                minimal=$total
            awk -v b="$band" -v e="$effort" -v s="$seconds" -v n="$count" -v l="$total" -v m="$minimal" 'BEGIN {
                above = m == "" ? "-" : sprintf("%.3f", 100 * (l - m) / m)
                printf "%-6s %-7s %7d %10.0f %16.0f %12s\n", b, e, n, n / (s > 0 ? s : 0.01), l, above }'
        done
    done
done
