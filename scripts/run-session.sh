#!/bin/sh
# Plays a session with dist/Quillmere.asi in the stand-in host under Wine and prints its account:
# the embedded default scenario, or the scenario file given. Exits with the runner's status: 0 all
# met, 1 an expectation failed (or the plug-in disagreed with its settings), 2 the session could
# not run; 130 when interrupted.
# Needs the windows build (make windows); `make run [SCENARIO=path]` builds it and calls this.
set -u

usage() {
  cat <<'EOF'
usage: scripts/run-session.sh [SCENARIO] [--verbose] [--keep] [--workdir DIR] [--plugin PATH]
       scripts/run-session.sh --print-default | --help
  SCENARIO         a scenario file (by default the embedded one; an empty word means it too)
  --verbose        a line for every frame and every expectation met
  --keep           keep the temporary working folder, and say where it is
  --workdir DIR    play in DIR (made if missing, kept afterwards) instead of a temporary folder
  --plugin PATH    the plug-in to load (by default dist/Quillmere.asi)
  --print-default  print the embedded default scenario
  --help           this text, and the runner's own with the scenario commands
EOF
}

# Paths are taken relative to where the caller stands, before this script changes directory.
whole() {
  case $1 in
    /*) printf '%s\n' "$1" ;;
    *) printf '%s\n' "$PWD/$1" ;;
  esac
}

scenario=
workdir=
plugin=
keep=
passed=
while [ $# -gt 0 ]; do
  case $1 in
    --verbose | --colour | --print-default) passed="$passed $1" ;;
    --keep) keep=1 ;;
    --help | -h)
      usage
      passed="$passed --help"
      ;;
    --workdir | --plugin)
      if [ $# -lt 2 ] || [ -z "$2" ]; then
        echo "run-session: $1 needs a value" >&2
        exit 2
      fi
      if [ "$1" = --workdir ]; then workdir=$(whole "$2"); else plugin=$(whole "$2"); fi
      shift
      ;;
    -*)
      echo "run-session: unknown option $1 (see --help)" >&2
      exit 2
      ;;
    '') ;;
    *)
      if [ -n "$scenario" ]; then
        echo "run-session: one scenario at a time: $scenario, then $1" >&2
        exit 2
      fi
      scenario=$(whole "$1")
      ;;
  esac
  shift
done

cd "$(dirname "$0")/.." || exit 2
runner=${QUILLMERE_RUNNER:-build/windows/wine/quillmere-run.exe}
if [ ! -f "$runner" ]; then
  echo "run-session: $runner is missing; build it with: make windows" >&2
  exit 2
fi
if [ -n "$scenario" ] && [ ! -f "$scenario" ]; then
  echo "run-session: no scenario file $scenario" >&2
  exit 2
fi
export WINEPREFIX="${WINEPREFIX:-$PWD/build/wine-prefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
if [ ! -d "$WINEPREFIX" ]; then
  echo "Preparing the Wine prefix in $WINEPREFIX (first run only, about 10 s)..."
  wineboot -i >/dev/null 2>&1 || true
fi

# This script's own folder: the runner's output passes through a FIFO in it, and the session is
# played in it unless a --workdir was given. It goes when the script ends, however it ends.
own=$(mktemp -d "${TMPDIR:-/tmp}/quillmere-session.XXXXXX") || exit 2
session=
copier=
made=
finish() {
  trap - EXIT INT TERM HUP
  # Set only when a signal came while they ran: the session ends, and so does its copier, which
  # might otherwise wait for a writer that never came.
  for job in $session $copier; do
    kill "$job" 2>/dev/null
    wait "$job" 2>/dev/null
  done
  if [ -n "$keep" ] && [ -n "$made" ]; then
    rm -f "$own/output"
    echo "run-session: the working folder is kept: $own/work" >&2
  else
    rm -rf "$own"
  fi
  exit "$1"
}
trap 'finish $?' EXIT
trap 'finish 130' INT
trap 'finish 143' TERM
trap 'finish 129' HUP
made=
if [ -z "$workdir" ]; then
  mkdir "$own/work" || exit 2
  workdir=$own/work
  made=1
fi

# Wine's console redraws a terminal character by character and splits escape sequences, so the
# runner writes into a FIFO that is copied out, and colours are asked for when this script's
# output is a terminal. Both run in the background, so that a signal reaches the traps at once.
colour=
if [ -t 1 ]; then
  colour=--colour
fi
mkfifo "$own/output" || exit 2
cat "$own/output" &
copier=$!
# shellcheck disable=SC2086 # $passed and $colour are lists of plain options
wine "$runner" $colour $passed --plugin "${plugin:-dist/Quillmere.asi}" --workdir "$workdir" \
  ${scenario:+"$scenario"} >"$own/output" &
session=$!
wait "$session"
status=$?
session=
wait "$copier"
copier=
case $status in
  0 | 1 | 2) finish "$status" ;;
esac
echo "run-session: quillmere-run ended with status $status, not 0, 1 or 2: it did not run through" >&2
finish 2
