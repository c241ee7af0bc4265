#!/bin/sh
# Runs a session and checks its exit status and output.
# Usage: expect_session.sh STATUS PATTERN SCENARIO COMMAND...
#   COMMAND runs in a fresh folder "session". SCENARIO is written (through printf %b) to "a scenario
#   Ω.scn" there, a path with a blank and a letter outside ASCII, and passed after COMMAND; "-"
#   writes nothing and passes nothing. PATTERN is an extended regular expression that the output
#   (stdout and stderr together) must match.
set -u
want=$1 pattern=$2 scenario=$3
shift 3
rm -rf session && mkdir session && cd session || exit 1
if [ "$scenario" != - ]; then
  printf '%b' "$scenario" >"a scenario Ω.scn"
  set -- "$@" "$PWD/a scenario Ω.scn"
fi
"$@" >output.txt 2>&1
status=$?
cat output.txt
ok=0
[ "$status" -eq "$want" ] || { echo "expect_session: exit status $status, expected $want"; ok=1; }
grep -Eq -- "$pattern" output.txt || { echo "expect_session: no line matches: $pattern"; ok=1; }
exit $ok
