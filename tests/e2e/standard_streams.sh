#!/bin/sh
# Runs the router and the plotter with standard streams that are not plain
# files: an output that cannot be written, an input that cannot be read, and a
# report followed by an endless stream. Each run's whole standard output,
# standard error and exit status are compared.
# Usage: standard_streams.sh ROUTER PLOT EXAMPLES_DIR WORK_DIR
set -u
router=$1 plot=$2 examples=$3 work=$4
rm -rf "$work" && mkdir -p "$work" && cp "$examples/input.data" "$work/" || exit 1
cd "$work" || exit 1
failures=0

# expect NAME STATUS STDOUT_FILE STDERR_TEXT: compares the last run's results.
expect() {
    if [ "$status" != "$2" ] || ! cmp -s out "$3" || [ "$(cat err)" != "$4" ]; then
        echo "FAILED $1: status $status (expected $2), stderr: $(cat err)"
        failures=$((failures + 1))
    fi
}
: >empty
answers() { printf '1\n1000\n\n\n'; }

answers | "$router" >report 2>err; status=$?
cp report out
expect "a complete report" 0 report ""

answers | "$router" >/dev/full 2>err; status=$?; : >out
expect "router to a full device" 1 empty "Could not write the report to standard output."
answers | "$router" >&- 2>err; status=$?; : >out
expect "router with standard output closed" 1 empty "Could not write the report to standard output."

"$plot" <report >drawing.svg 2>err; status=$?; cp drawing.svg out
expect "plot of the report" 0 drawing.svg ""
(cat report; yes) | timeout 20 "$plot" >out 2>err; status=$?
expect "plot of a report followed by an endless stream" 0 drawing.svg ""
"$plot" <"$work" >out 2>err; status=$?
expect "plot reading a folder" 1 empty "steiner_plot: report: cannot read standard input"
"$plot" <&- >out 2>err; status=$?
expect "plot with standard input closed" 1 empty "steiner_plot: report: cannot read standard input"

[ "$failures" -eq 0 ] || exit 1
echo "all standard-stream runs as expected"
