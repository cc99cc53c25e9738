#!/usr/bin/env bash
# Whole-program timings of steiner_router.
#
# Usage: bench/run_bench.sh [CASE...]
#   Run from anywhere; CASE numbers (1-6) pick cases from the table below, all by
#   default. Builds a Release tree in build/bench-release, writes each input with
#   steiner_candidates (random terminals on a grid ten times the terminal count,
#   fixed seed), runs the router in a temporary folder with the answers
#   "block, 2147483647" and two Enter presses, and prints one row per case:
#   wall time and peak memory (GNU time), the final wirelength, and the time of
#   the rebuild-every-trial program bin/steiner_router_rebuild with the ratio of
#   the two times.
#
#   The rebuild program costs about k * sum(N^2) over its trials, N being the
#   working-set size. k is calibrated on the smallest case before the table
#   and refined on each case the rebuild program runs; a case whose estimate exceeds BENCH_REBUILD_LIMIT seconds
#   (default 120) is not run and shows "~T s (est.)" instead; without
#   candidates there are no trials, and the rebuild program is not run. Where both
#   programs ran, their reports must match apart from the run-time line, or the
#   script stops with status 1. Without the rebuild program the ratio is skipped.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$root/build/bench-release"
limit_s=${BENCH_REBUILD_LIMIT:-120}

# terminals candidates block
cases=(
    "100 1000 1"
    "1000 10000 1"
    "1000 10000 8"
    "10000 100000 1"
    "100000 1000000 1"
    "1000000 0 1"
)
seed=1

selected=("$@")
if [ ${#selected[@]} -eq 0 ]; then
    mapfile -t selected < <(seq 1 ${#cases[@]})
fi
for c in "${selected[@]}"; do
    if ! [[ "$c" =~ ^[0-9]+$ ]] || [ "$c" -lt 1 ] || [ "$c" -gt ${#cases[@]} ]; then
        echo "run_bench.sh: no case \"$c\"; cases are 1 to ${#cases[@]}" >&2
        exit 1
    fi
done

if [ ! -x /usr/bin/time ]; then
    echo "run_bench.sh: GNU time (/usr/bin/time) is needed for wall time and peak memory" >&2
    exit 1
fi

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" >/dev/null

router="$build/bin/steiner_router"
rebuild="$build/bin/steiner_router_rebuild"
generator="$build/bin/steiner_candidates"
have_rebuild=1
if [ ! -x "$rebuild" ]; then
    have_rebuild=0
    echo "note: $rebuild is missing; the rebuild column and the ratio are skipped."
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/steiner_bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

# run_router EXE DIR BLOCK OUT: runs EXE in DIR, report to OUT, "wall_s peak_kib" to OUT.time.
run_router() {
    if ! (cd "$2" && printf '%s\n2147483647\n\n\n' "$3" |
        /usr/bin/time -f '%e %M' -o "$4.time" "$1" >"$4"); then
        echo "run_bench.sh: $(basename "$1") failed in $2:" >&2
        tail -n 5 "$4" "$4.time" >&2
        exit 1
    fi
}

# report_value OUT PATTERN: the number after PATTERN on its line in the report.
report_value() {
    sed -n "s/^$2 *\([0-9-]*\).*/\1/p" "$1" | tail -n 1
}

# The trials' sum of N^2: with block b, each block is one trial and, at worst,
# each of its candidates one more; N grows from the terminal count n to the
# final node count K, so a trial's N^2 averages (n^2 + nK + K^2) / 3.
sum_n2() {
    awk -v n="$1" -v c="$2" -v b="$3" -v k="$4" 'BEGIN {
        trials = c + (b > 1 ? int((c + b - 1) / b) : 0)
        printf "%.6e", trials * (n * n + n * k + k * k) / 3 }'
}

# Calibrate the rebuild program's cost per N^2 on a small input first, so that
# no case starts a rebuild run that would take hours.
k_per_n2=""
if [ "$have_rebuild" -eq 1 ]; then
    read -r n cand block <<<"${cases[0]}"
    mkdir -p "$work/calibrate"
    "$generator" --random "$n" --grid $((10 * n)) --seed "$seed" --order shuffle --limit "$cand" \
        >"$work/calibrate/input.data"
    run_router "$rebuild" "$work/calibrate" "$block" "$work/calibrate/rebuild.out"
    read -r rwall _ <"$work/calibrate/rebuild.out.time"
    s=$(sum_n2 "$n" "$(report_value "$work/calibrate/rebuild.out" "Number of total Potential Steiner points:")" \
        "$block" "$(report_value "$work/calibrate/rebuild.out" "Number of nodes in our minimum RMST is")")
    k_per_n2=$(awk -v t="$rwall" -v s="$s" 'BEGIN { if (t < 0.01) t = 0.01; printf "%.6e", t / s }')
fi

row() {
    printf '%-4s %9s %10s %5s %9s %9s %14s %16s %14s\n' "$@"
}
row case terminals candidates block "wall s" "peak MiB" wirelength "rebuild s" ratio
for c in "${selected[@]}"; do
    read -r n cand block <<<"${cases[$((c - 1))]}"
    dir="$work/case$c"
    mkdir -p "$dir"
    "$generator" --random "$n" --grid $((10 * n)) --seed "$seed" --order shuffle --limit "$cand" >"$dir/input.data"

    run_router "$router" "$dir" "$block" "$dir/router.out"
    read -r wall kib <"$dir/router.out.time"
    wirelength=$(report_value "$dir/router.out" "Total wirelength is:")
    stored=$(report_value "$dir/router.out" "Number of total Potential Steiner points:")
    nodes=$(report_value "$dir/router.out" "Number of nodes in our minimum RMST is")
    peak=$(awk -v k="$kib" 'BEGIN { printf "%.1f", k / 1024 }')

    rebuild_s="-"
    ratio="-"
    if [ "$have_rebuild" -eq 1 ] && [ "$stored" -gt 0 ]; then
        s=$(sum_n2 "$n" "$stored" "$block" "$nodes")
        estimate=""
        if [ -n "$k_per_n2" ]; then
            estimate=$(awk -v k="$k_per_n2" -v s="$s" 'BEGIN { printf "%.0f", k * s }')
        fi
        if [ -z "$estimate" ] || [ "$estimate" -le "$limit_s" ]; then
            run_router "$rebuild" "$dir" "$block" "$dir/rebuild.out"
            read -r rwall _ <"$dir/rebuild.out.time"
            if ! diff <(grep -v '^Run time of execution:' "$dir/router.out") \
                <(grep -v '^Run time of execution:' "$dir/rebuild.out") >"$dir/report.diff"; then
                echo "run_bench.sh: case $c: steiner_router and steiner_router_rebuild" \
                    "print different reports:" >&2
                head -n 20 "$dir/report.diff" >&2
                exit 1
            fi
            # Timer resolution is 10 ms; a run below that still counts as 10 ms.
            k_per_n2=$(awk -v t="$rwall" -v s="$s" 'BEGIN {
                if (t < 0.01) t = 0.01; printf "%.6e", t / s }')
            rebuild_s="$rwall"
            ratio=$(awk -v r="$rwall" -v f="$wall" 'BEGIN {
                if (f < 0.01) f = 0.01; printf "%.1fx", r / f }')
        else
            rebuild_s="~$estimate (est.)"
            ratio=$(awk -v r="$estimate" -v f="$wall" 'BEGIN {
                if (f < 0.01) f = 0.01; printf "~%.0fx (est.)", r / f }')
        fi
    fi
    row "$c" "$n" "$stored" "$block" "$wall" "$peak" "$wirelength" "$rebuild_s" "$ratio"
done
