#!/bin/sh
# Plays a session with dist/Quillmere.asi in the stand-in host under Wine and prints its account:
# the embedded default scenario, or the scenario file given.
# Usage: scripts/run-session.sh [SCENARIO] [quillmere-run options such as --verbose]
# Needs the windows build (make windows); `make run [SCENARIO=path]` builds it and calls this.
set -eu

# A scenario named relative to where the caller stands.
scenario=
if [ $# -gt 0 ] && [ "${1#-}" = "$1" ]; then
  case $1 in
    /*) scenario=$1 ;;
    *) scenario=$PWD/$1 ;;
  esac
  shift
fi

cd "$(dirname "$0")/.."
runner=${QUILLMERE_RUNNER:-build/windows/wine/quillmere-run.exe}
if [ ! -f "$runner" ]; then
  echo "run-session: $runner is missing; build it with: make windows" >&2
  exit 2
fi
export WINEPREFIX="${WINEPREFIX:-$PWD/build/wine-prefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
if [ ! -d "$WINEPREFIX" ]; then
  echo "Preparing the Wine prefix in $WINEPREFIX (first run only, about 10 s)..."
  wineboot -i >/dev/null 2>&1 || true
fi

# Wine's console redraws a terminal character by character and splits escape sequences, so the
# runner writes into a pipe, and colours are asked for when this script's output is a terminal.
colour=
if [ -t 1 ]; then
  colour=--colour
fi
exec 3>&1
status=$({ {
  rc=0
  wine "$runner" $colour --plugin dist/Quillmere.asi "$@" ${scenario:+"$scenario"} || rc=$?
  echo "$rc" >&4
} | cat >&3; } 4>&1)
exit "$status"
