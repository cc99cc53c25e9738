#!/usr/bin/env bash
# A synthetic Bookshelf design of about 2 million nets and 9 million pins
# (make_design.cpp, seed 1), read alone and routed whole by steiner_route.
#
# Usage: bench/bookshelf/run_bookshelf.sh [NETS] [THREADS] [EFFORT]
#   NETS     nets of the design (default 2000000)
#   THREADS  threads of the routing run (default 2)
#   EFFORT   effort of the routing run (default greedy)
#
# Builds a Release tree in build/bench-release, writes the design to a
# scratch folder, then prints for reading alone (read_design.cpp: the objects
# and both passes over the nets, as steiner_route reads them) and for the
# whole run: wall and CPU seconds and peak memory from GNU time, the load
# average before each, and the run's totals line. Needs /usr/bin/time.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build="$root/build/bench-release"
nets=${1:-2000000}
threads=${2:-2}
effort=${3:-greedy}
[[ "$nets" =~ ^[0-9]+$ && "$threads" =~ ^[0-9]+$ ]] ||
    { echo "run_bookshelf.sh: NETS and THREADS are whole numbers" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "run_bookshelf.sh: GNU time (/usr/bin/time) is needed" >&2; exit 1; }

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" --target steiner_route >/dev/null
work=$(mktemp -d "${TMPDIR:-/tmp}/steiner_bookshelf.XXXXXX")
trap 'rm -rf "$work"' EXIT
c++ -O2 -std=c++17 "$root/bench/bookshelf/make_design.cpp" -o "$work/make_design"
c++ -O2 -std=c++17 -I"$root/apps/bookshelf" "$root/bench/bookshelf/read_design.cpp" \
    "$root/apps/bookshelf/bookshelf.cpp" -o "$work/read_design"
"$work/make_design" "$nets" 1 "$work/synth"
echo "files: $(du -ch "$work"/synth.* | tail -n 1 | cut -f1)"

# One timed run: its label, then the command; prints wall, CPU and peak memory.
measure() {
    local label=$1
    shift
    echo "$label (load average before: $(cut -d' ' -f1-3 /proc/loadavg))"
    /usr/bin/time -f '%e %U %S %M' -o "$work/time" "$@" >"$work/out" 2>"$work/err"
    read -r wall user sys kb <"$work/time"
    printf '  wall %s s, CPU %s s user + %s s system, peak %d MB\n' "$wall" "$user" "$sys" \
        $((kb / 1024))
}

measure "reading" "$work/read_design" "$work/synth.aux"
echo "  $(cat "$work/out")"
measure "steiner_route --effort $effort --threads $threads" \
    "$root/build/bench-release/bin/steiner_route" --effort "$effort" --threads "$threads" \
    "$work/synth.aux"
echo "  $(tail -n 1 "$work/out")"
echo "  $(cat "$work/err")"
