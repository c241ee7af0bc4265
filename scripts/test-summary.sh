#!/bin/sh
# Adds up the ctest logs of one `make test` and prints the totals as its closing line.
# Usage: test-summary.sh LOG...
set -eu
passed=0
failed=0
for log in "$@"; do
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
  if [ -z "$line" ]; then
    echo "test-summary: no ctest result in $log" >&2
    exit 1
  fi
  bad=$(echo "$line" | sed -E 's/.*tests passed, ([0-9]+) tests? failed out of ([0-9]+).*/\1/')
  all=$(echo "$line" | sed -E 's/.*tests passed, ([0-9]+) tests? failed out of ([0-9]+).*/\2/')
  echo "  $(basename "$log" .log): $((all - bad)) of $all passed"
  passed=$((passed + all - bad))
  failed=$((failed + bad))
done
echo "tests: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
