#!/bin/sh
# make fuzz: builds the fuzz preset and runs each libFuzzer target in turn for SECONDS, on its
# working corpus in build/fuzz/corpus/TARGET and its seeds in tests/fuzz/corpus/, and ends with
# one verdict line, whatever failed on the way.
# Usage: fuzz-all.sh SECONDS
set -u
cd "$(dirname "$0")/.."
targets="settings_text_fuzz:settings settings_file_fuzz:settings scenario_fuzz:scenario"

# libFuzzer reads a limit of 0 as none at all, and a word it cannot read as 0.
seconds=$(expr "x$1" : 'x0*\([1-9][0-9]\{0,8\}\)$')
if [ -z "$seconds" ]; then
  echo "make fuzz: FUZZ_SECONDS must be a whole number of seconds, 1 to 999999999, not '$1'" >&2
  exit 2
fi

sh scripts/ensure-tools.sh fuzz || exit 1
if ! cmake --preset fuzz >/dev/null || ! cmake --build --preset fuzz; then
  echo
  echo "make fuzz: FAILED: the fuzz targets did not build (see above)"
  exit 1
fi

bin=build/fuzz/tests/fuzz
artifacts=build/fuzz/artifacts
mkdir -p "$artifacts"
results=""
failed=""
for pair in $targets; do
  target=${pair%%:*}
  seeds=tests/fuzz/corpus/${pair#*:}
  corpus=build/fuzz/corpus/$target
  log=build/fuzz/$target.log
  mkdir -p "$corpus"
  echo "== $target: $seconds s (log: $log)"
  "$bin/$target" -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix="$artifacts/$target-" "$corpus" "$seeds" >"$log" 2>&1
  status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *\([0-9]*\)/\1/p' "$log" | tail -n 1)
  took=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$log" | tail -n 1)
  if [ "$status" -ne 0 ] || [ -z "$runs" ]; then
    saved=$(sed -n 's/.*Test unit written to \(.*\)$/\1/p' "$log" | tail -n 1)
    echo "   FAILED (status $status)${saved:+; input saved in $saved}"
    tail -n 20 "$log" | sed 's/^/   | /'
    failed="${failed:+$failed, }$target"
    continue
  fi
  rate=$((runs / (${took:-0} > 0 ? took : 1)))
  echo "   $runs runs in ${took:-?} s, $rate runs/s, no failure"
  results="${results:+$results; }$target $rate runs/s"
done

echo
if [ -n "$failed" ]; then
  echo "make fuzz: FAILED in $failed${results:+; clean: $results}"
  exit 1
fi
echo "make fuzz: PASSED, ${seconds} s each, no failure: $results"
