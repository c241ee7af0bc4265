#!/bin/sh
# Runs a session and checks its exit status and output: the end-to-end check of the runner's and
# the session script's statuses and messages.
# Usage: expect_session.sh STATUS PATTERN SCENARIO COMMAND...
#   COMMAND runs in a fresh folder "session", where the runner plays unless told otherwise.
#   SCENARIO is written (through printf %b) to "a scenario Ω.scn" there, a path with a blank and a
#   letter outside ASCII, which is passed after COMMAND; "-" writes nothing and passes nothing.
#   PATTERN is an extended regular expression that the output (stdout and stderr together) must
#   match.
set -u
want=$1
pattern=$2
scenario=$3
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
if [ "$status" -ne "$want" ]; then
  echo "expect_session: exit status $status, expected $want"
  ok=1
fi
if ! grep -Eq -- "$pattern" output.txt; then
  echo "expect_session: no line matches: $pattern"
  ok=1
fi
# A folder the script says it kept must be there (with what the session left in it); the test
# then removes it.
kept=$(sed -n 's/^run-session: the working folder is kept: //p' output.txt)
if [ -n "$kept" ]; then
  if [ ! -f "$kept/Quillmere.ini" ]; then
    echo "expect_session: the kept folder $kept holds no Quillmere.ini"
    ok=1
  fi
  rm -rf "$(dirname "$kept")"
fi
exit $ok
