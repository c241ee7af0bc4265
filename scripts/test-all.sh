#!/bin/sh
# Runs every test suite of `make test`, whatever an earlier one found, and ends with one verdict
# line naming what failed. Exit status 0 only when everything passed.
# Usage: test-all.sh SUITE...   (each SUITE is a `make test-SUITE` target)
set -u
cd "$(dirname "$0")/.."
logs=build/test-logs
mkdir -p "$logs"

passed=0
failed=0
problems=""
note() { problems="${problems:+$problems; }$1"; }

# Without its Debian packages nothing can run; the verdict names them. (ensure-tools.sh has
# printed how to install them, or what apt-get said.)
groups="native windows wine dist format tidy"
# shellcheck disable=SC2086 # a list of group names
if ! sh scripts/ensure-tools.sh $groups; then
  # shellcheck disable=SC2086
  missing=$(sh scripts/ensure-tools.sh --missing $groups)
  reason=${missing:+missing Debian packages: $missing}
  echo
  echo "make test: FAILED, nothing run; ${reason:-the tools could not be checked (see above)}"
  exit 1
fi

# Formatting is reported beside the tests, not instead of them.
echo "== formatting"
make -s check-format || note "formatting (run: make format)"

echo "== clang-tidy"
make -s tidy || note "clang-tidy findings (see build/tidy)"

# The checkers come from the npm registry, which may be out of reach: the suites run all the same.
echo "== workflows"
if ! sh scripts/ensure-tools.sh workflows; then
  missing=$(sh scripts/ensure-tools.sh --missing workflows)
  reason=${missing:+missing Debian packages: $missing}
  note "workflows not checked: ${reason:-the workflow checkers could not be installed from the npm registry}"
else
  make -s check-workflows || note "workflow files invalid (see .github/workflows)"
  sh tests/workflows/planted_mistakes.sh || note "the workflow check passes a planted mistake"
fi

for suite in "$@"; do
  echo "== $suite"
  rm -f "$logs/$suite.log"
  make -s "test-$suite"
  status=$?
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$logs/$suite.log" 2>/dev/null |
    tail -n 1)
  if [ -z "$line" ]; then
    note "$suite did not build or run (status $status)"
    continue
  fi
  bad=$(echo "$line" | sed -E 's/.*tests passed, ([0-9]+) tests? failed out of ([0-9]+).*/\1/')
  all=$(echo "$line" | sed -E 's/.*tests passed, ([0-9]+) tests? failed out of ([0-9]+).*/\2/')
  passed=$((passed + all - bad))
  failed=$((failed + bad))
  if [ "$bad" -gt 0 ]; then
    names=$(sed -n 's/^[[:space:]]*[0-9]* - \([^ ]*\) .*/\1/p' "$logs/$suite.log" | head -n 5 |
      paste -sd, -)
    note "$suite: $bad of $all failed ($names)"
  elif [ "$status" -ne 0 ]; then
    note "$suite exited with status $status"
  fi
done

echo
if [ -z "$problems" ]; then
  echo "make test: PASSED, $passed tests passed, formatting clean, no clang-tidy finding, workflows valid"
  exit 0
fi
echo "make test: FAILED, $passed tests passed, $failed failed; $problems"
exit 1
