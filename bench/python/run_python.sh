#!/usr/bin/env bash
# The Python module against the library called from C++.
#
# Usage: bench/python/run_python.sh [NETS]   (default 100000)
#
# Builds a Release tree in build/bench-release with the module, and
# time_calls.cpp against its libsteiner.a. Then:
#  1. time per call at effort best for random nets of 10, 100 and 1,000
#     terminals (2,000, 100 and 5 nets; best of three passes), and for the
#     10-terminal nets at rmst and greedy too, where the call itself weighs
#     more; from C++ and through steiner.rsmt with the net as an int32 array
#     and as a list of tuples;
#  2. steiner.route_many over NETS nets of the netlist benchmark's mix
#     (bench/netlist/make_netlist.cpp, seed 1) on 1 and 2 threads, with the
#     speed-up; the trees must not differ. The CPU time beside the wall time
#     shows whether other work on the machine held the second core.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build="$root/build/bench-release"
nets=${1:-100000}
[[ "$nets" =~ ^[0-9]+$ ]] || { echo "run_python.sh: NETS is a whole number" >&2; exit 1; }

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" --target steiner steiner_python >/dev/null
work=$(mktemp -d "${TMPDIR:-/tmp}/steiner_python.XXXXXX")
trap 'rm -rf "$work"' EXIT
c++ -O2 -std=c++17 -I"$root/lib/include" "$root/bench/python/time_calls.cpp" \
    "$build/lib/engine/libsteiner.a" -pthread -o "$work/time_calls"
c++ -O2 -std=c++17 "$root/bench/netlist/make_netlist.cpp" -o "$work/make_netlist"
export PYTHONPATH="$build/python" PYTHONDONTWRITEBYTECODE=1

# Random nets on a grid that grows with the net, so that density stays alike.
/usr/bin/python3 - "$work" <<'PY'
import sys
import numpy as np
rng = np.random.default_rng(1)
for size, count in ((10, 2000), (100, 100), (1000, 5)):
    with open(f"{sys.argv[1]}/calls-{size}.txt", "w") as out:
        out.write(f"{count}\n")
        for _ in range(count):
            net = rng.integers(0, 100 * size, size=(size, 2))
            out.write(f"{size}\n" + "\n".join(f"{r} {c}" for r, c in net) + "\n")
PY
printf '%-10s %-7s %12s %18s %18s %12s\n' terminals effort "C++ us" "Python array us" \
    "Python list us" "array/C++"
for run in "10 rmst" "10 greedy" "10 best" "100 best" "1000 best"; do
    read -r size effort <<<"$run"
    cpp=$("$work/time_calls" "$work/calls-$size.txt" 3 "$effort" | cut -d' ' -f1)
    read -r array list < <(/usr/bin/python3 "$root/bench/python/time_calls.py" calls \
        "$work/calls-$size.txt" "$effort")
    awk -v size="$size" -v effort="$effort" -v cpp="$cpp" -v array="$array" -v list="$list" \
        'BEGIN { printf "%-10s %-7s %12s %18s %18s %12.2f\n", size, effort, cpp, array, list, array / cpp }'
done

"$work/make_netlist" "$nets" 1 >"$work/netlist.txt"
echo
/usr/bin/python3 "$root/bench/python/time_calls.py" many "$work/netlist.txt" 1 2 |
    awk -v nets="$nets" '
        { seconds[$1] = $2
          printf "route_many: %d nets on %d thread(s): %.2f s (%.2f s of CPU), total length %s\n",
                 nets, $1, $2, $3, $4 }
        END { printf "speed-up on 2 threads: %.2fx\n", seconds[1] / seconds[2] }'
