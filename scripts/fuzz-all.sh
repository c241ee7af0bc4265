#!/bin/sh
# make fuzz: builds the fuzz preset and runs the libFuzzer target for SECONDS, on its working
# corpus in build/fuzz/corpus and its seeds in tests/fuzz/corpus/, and ends with one verdict line.
# Usage: fuzz-all.sh SECONDS
set -u
cd "$(dirname "$0")/.."
target=settings_fuzz

# libFuzzer reads a limit of 0 as none at all, and a word it cannot read as 0.
seconds=$(expr "x$1" : 'x0*\([1-9][0-9]\{0,8\}\)$')
if [ -z "$seconds" ]; then
  echo "make fuzz: FUZZ_SECONDS must be a whole number of seconds, 1 to 999999999, not '$1'" >&2
  exit 2
fi
sh scripts/ensure-tools.sh fuzz || exit 1
if ! cmake --preset fuzz >/dev/null || ! cmake --build --preset fuzz; then
  echo
  echo "make fuzz: FAILED: the fuzz target did not build (see above)"
  exit 1
fi

artifacts=build/fuzz/artifacts
log=build/fuzz/$target.log
mkdir -p "$artifacts" build/fuzz/corpus
echo "== $target: $seconds s (log: $log)"
build/fuzz/tests/fuzz/$target -max_total_time="$seconds" -print_final_stats=1 \
  -artifact_prefix="$artifacts/$target-" build/fuzz/corpus tests/fuzz/corpus >"$log" 2>&1
status=$?
runs=$(sed -n 's/^stat::number_of_executed_units: *\([0-9]*\)/\1/p' "$log" | tail -n 1)
took=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$log" | tail -n 1)
echo
if [ "$status" -ne 0 ] || [ -z "$runs" ]; then
  saved=$(sed -n 's/.*Test unit written to \(.*\)$/\1/p' "$log" | tail -n 1)
  tail -n 20 "$log" | sed 's/^/   | /'
  echo "make fuzz: FAILED: $target (status $status)${saved:+; input saved in $saved}"
  exit 1
fi
echo "make fuzz: PASSED, $target, $runs runs in ${took:-?} s ($((runs / (${took:-0} > 0 ? took : 1))) runs/s), no failure"
