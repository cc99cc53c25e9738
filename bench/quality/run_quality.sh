#!/usr/bin/env bash
# Tree quality on public benchmark nets with proven optimal lengths.
#
# Usage: bench/quality/run_quality.sh [--orders LIST] [--max-n N] [--keep DIR]
#   --orders LIST  comma-separated steiner_candidates orders to run
#                  (local, shuffle, rows; default: local)
#   --max-n N      only instances with at most N terminals (default: all)
#   --keep DIR     keep every generated file and router report under DIR
#
# Builds a Release tree in build/bench-release, then for every instance in
# bench/quality/data/ (see its README.md for where points and lengths come
# from) and every order: writes the point file with steiner_candidates (the
# instance file is the terminals file: its first line is the count, then one
# "x y" line per point, read as row x and column y; --seed 1), runs
# steiner_router on it with block size 1 and every candidate accepted, and
# reads the reported wirelength.
#
# Prints one row per set (Soukup-Chow, then each OR-Library size) and order:
# instances, mean percent above the proven optimum, mean percent below the
# terminals' spanning tree, instances at the optimum, and mean and largest
# generator and router wall times. The summary covers the instances with a
# proven optimum, with the two reference heuristics of lengths.tsv beside it.
# The orders that write the Hanan grid (shuffle, rows) make files of up to a
# million points for the 1000-point nets, which the router takes seconds each
# to run; use --max-n to leave those out.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
data="$root/bench/quality/data"
build="$root/build/bench-release"

orders="local"
max_n=""
keep=""
while [ $# -gt 0 ]; do
    case "$1" in
    --orders) orders=${2:?--orders needs a value}; shift 2 ;;
    --max-n) max_n=${2:?--max-n needs a value}; shift 2 ;;
    --keep) keep=${2:?--keep needs a value}; shift 2 ;;
    *) echo "run_quality.sh: unknown argument \"$1\" (see the comment at the top)" >&2; exit 1 ;;
    esac
done
if [ -n "$max_n" ] && ! [[ "$max_n" =~ ^[0-9]+$ ]]; then
    echo "run_quality.sh: --max-n must be a whole number, not \"$max_n\"" >&2
    exit 1
fi
IFS=, read -r -a order_list <<<"$orders"
for order in "${order_list[@]}"; do
    case "$order" in
    local | shuffle | rows) ;;
    *) echo "run_quality.sh: unknown order \"$order\"" >&2; exit 1 ;;
    esac
done
if [ ! -x /usr/bin/time ]; then
    echo "run_quality.sh: GNU time (/usr/bin/time) is needed for the timings" >&2
    exit 1
fi

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" >/dev/null
generator="$build/bin/steiner_candidates"
router="$build/bin/steiner_router"

work=$(mktemp -d "${TMPDIR:-/tmp}/steiner_quality.XXXXXX")
trap 'rm -rf "$work"' EXIT
results="$work/results.tsv"
: >"$results"

# set_name FILE: the row label of an instance.
set_name() {
    case "$1" in
    soukup-chow/*) echo "SC" ;;
    *) sed -n 's/^orlib-estein\/orlib-estein\([0-9]*\)-.*/OR\1/p' <<<"$1" ;;
    esac
}

total=$(tail -n +2 "$data/lengths.tsv" | wc -l)
done_count=0
while IFS=$'\t' read -r file n rmst opt status bi1s flute; do
    [ "$file" = "file" ] && continue
    done_count=$((done_count + 1))
    if [ -n "$max_n" ] && [ "$n" -gt "$max_n" ]; then
        continue
    fi
    set=$(set_name "$file")
    for order in "${order_list[@]}"; do
        dir="$work/run/$order/${file%.txt}"
        mkdir -p "$dir"
        if ! /usr/bin/time -f '%e' -o "$dir/gen.time" "$generator" "$data/$file" \
            --order "$order" --seed 1 >"$dir/input.data" 2>"$dir/gen.err"; then
            echo "run_quality.sh: steiner_candidates failed on $file:" >&2
            cat "$dir/gen.err" >&2
            exit 1
        fi
        if ! (cd "$dir" && printf '1\n2147483647\n\n\n' |
            /usr/bin/time -f '%e' -o router.time "$router" >report.txt); then
            echo "run_quality.sh: steiner_router failed on $file ($order):" >&2
            tail -n 3 "$dir/report.txt" >&2
            exit 1
        fi
        length=$(sed -n 's/^Total wirelength is: *\([0-9]*\).*/\1/p' "$dir/report.txt")
        printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$set" "$order" "$file" "$n" \
            "$rmst" "$opt" "$status" "$length" "$(cat "$dir/gen.time")" \
            "$(cat "$dir/router.time")" "$bi1s	$flute" >>"$results"
    done
    printf '\r%d/%d instances' "$done_count" "$total" >&2
done <"$data/lengths.tsv"
printf '\n' >&2
if [ -n "$keep" ]; then
    mkdir -p "$keep"
    cp -r "$work/run/." "$keep/"
    cp "$results" "$keep/results.tsv"
fi

awk -F'\t' -v orders="$orders" '
function pct(a, b) { return 100 * (a - b) / b }
{
    set = $1; order = $2; n = $4; rmst = $5; opt = $6; proven = ($7 == "optimal")
    length_ = $8; gen = $9; run = $10; bi1s = $11; flute = $12
    key = set SUBSEP order
    if (!(set in seen_set)) { seen_set[set] = 1; sets[++num_sets] = set }
    count[key]++
    below[key] += 100 * (rmst - length_) / rmst
    gen_sum[key] += gen; if (gen > gen_max[key]) gen_max[key] = gen
    run_sum[key] += run; if (run > run_max[key]) run_max[key] = run
    if (proven) {
        proven_count[key]++
        above[key] += pct(length_, opt)
        at_opt[key] += (length_ == opt)
        all_count[order]++; all_above[order] += pct(length_, opt); all_at[order] += (length_ == opt)
        if (!((set, $3) in ref_seen)) {
            ref_seen[set, $3] = 1
            ref_n[set]++; ref_bi1s[set] += pct(bi1s, opt); ref_flute[set] += pct(flute, opt)
            ref_all_n++; ref_all_bi1s += pct(bi1s, opt); ref_all_flute += pct(flute, opt)
        }
    }
}
END {
    num_orders = split(orders, order_list, ",")
    printf "%-7s %-8s %4s %9s %9s %7s %8s %8s %8s %8s\n", "set", "order", "nets", "% > opt",
        "% < RMST", "at opt", "gen s", "gen max", "route s", "rt max"
    for (s = 1; s <= num_sets; s++) {
        for (o = 1; o <= num_orders; o++) {
            key = sets[s] SUBSEP order_list[o]
            if (!(key in count)) continue
            c = count[key]; p = proven_count[key]
            printf "%-7s %-8s %4d %9s %9.3f %7s %8.3f %8.2f %8.3f %8.2f\n", sets[s], order_list[o],
                c, p ? sprintf("%.3f", above[key] / p) : "-", below[key] / c,
                p ? at_opt[key] "/" p : "-", gen_sum[key] / c, gen_max[key],
                run_sum[key] / c, run_max[key]
        }
    }
    printf "\nMean percent above the proven optimum, per set: each order, then the references\n"
    printf "(lengths.tsv: bi1s_ref, a batched iterated 1-Steiner heuristic; flute_acc3, a\n"
    printf "lookup-table heuristic).\n"
    printf "%-7s", "set"
    for (o = 1; o <= num_orders; o++) printf " %9s", order_list[o]
    printf " %9s %9s\n", "bi1s_ref", "flute_acc3"
    for (s = 1; s <= num_sets; s++) {
        if (!(sets[s] in ref_n)) continue
        printf "%-7s", sets[s]
        for (o = 1; o <= num_orders; o++) {
            key = sets[s] SUBSEP order_list[o]
            printf " %9s", proven_count[key] ? sprintf("%.3f", above[key] / proven_count[key]) : "-"
        }
        printf " %9.3f %9.3f\n", ref_bi1s[sets[s]] / ref_n[sets[s]], ref_flute[sets[s]] / ref_n[sets[s]]
    }
    printf "%-7s", "all"
    for (o = 1; o <= num_orders; o++) {
        ord = order_list[o]
        printf " %9s", all_count[ord] ? sprintf("%.3f", all_above[ord] / all_count[ord]) : "-"
    }
    printf " %9.3f %9.3f   (%d proven instances", ref_all_bi1s / ref_all_n, ref_all_flute / ref_all_n, ref_all_n
    for (o = 1; o <= num_orders; o++)
        printf "; %s at opt %d", order_list[o], all_at[order_list[o]]
    printf ")\n"
}' "$results"
