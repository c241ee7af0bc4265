#!/bin/sh
# Plays a session with dist/Quillmere.asi in the stand-in host under Wine and prints its account:
# the embedded default scenario, or the scenario file given. Exits 0 all met, 1 an expectation
# failed or the plug-in disagreed with its settings, 2 the session could not run or did not run
# through, 130 interrupted. Needs `make windows`; `make run [SCENARIO=path]` builds and calls it.
set -u

fail() {
  echo "run-session: $*" >&2
  exit 2
}

# Paths are taken relative to where the caller stands, before this script changes directory.
whole() {
  case $1 in
    /*) printf '%s\n' "$1" ;;
    *) printf '%s\n' "$PWD/$1" ;;
  esac
}

scenario='' workdir='' plugin='' keep='' passed='' print_default='' words=0
while [ $# -gt 0 ]; do
  [ -n "$1" ] && words=$((words + 1))
  case $1 in
    --print-default) print_default=1 ;;
    --verbose | --colour) passed="$passed $1" ;;
    --keep) keep=1 ;;
    --help | -h)
      cat <<'EOF'
usage: scripts/run-session.sh [SCENARIO] [--verbose] [--keep] [--workdir DIR] [--plugin PATH]
       scripts/run-session.sh --print-default | --help
  SCENARIO         a scenario file (by default the embedded one; an empty word means it too)
  --verbose        a line for every frame and every expectation met
  --keep           keep the temporary working folder, and say where it is
  --workdir DIR    play in DIR (made if missing, kept afterwards) instead of a temporary folder
  --plugin PATH    the plug-in to load (by default dist/Quillmere.asi)
  --print-default  print the embedded default scenario (and nothing else)
  --help           this text, and the runner's own with the scenario commands
EOF
      passed="$passed --help"
      ;;
    --workdir | --plugin)
      { [ $# -lt 2 ] || [ -z "$2" ]; } && fail "$1 needs a value"
      # $workdir or $plugin, by the option's name
      eval "[ -z \"\$${1#--}\" ]" || fail "$1 given twice"
      eval "${1#--}=\$(whole \"\$2\")"
      shift
      ;;
    -*) fail "unknown option $1 (see --help)" ;;
    '') ;;
    *)
      [ -n "$scenario" ] && fail "one scenario at a time: $scenario, then $1"
      scenario=$(whole "$1")
      ;;
  esac
  shift
done
[ -n "$print_default" ] && [ "$words" -gt 1 ] && fail "--print-default takes no other words"

cd "$(dirname "$0")/.." || exit 2
runner=${QUILLMERE_RUNNER:-build/windows/wine/quillmere-run.exe}
[ -f "$runner" ] || fail "$runner is missing; build it with: make windows"
[ -z "$scenario" ] || [ -f "$scenario" ] || fail "no scenario file $scenario"
export WINEPREFIX="${WINEPREFIX:-$PWD/build/wine-prefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
if [ ! -d "$WINEPREFIX" ]; then
  echo "Preparing the Wine prefix in $WINEPREFIX (first run only, about 10 s)..."
  wineboot -i >/dev/null 2>&1 || true
fi

# This script's own folder: the runner's output passes through a FIFO in it, and the session is
# played in it unless a --workdir was given. It goes when the script ends, however it ends.
own=$(mktemp -d "${TMPDIR:-/tmp}/quillmere-session.XXXXXX") || exit 2
session='' copier='' made=''
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
if [ -z "$workdir" ]; then
  mkdir "$own/work" || exit 2
  workdir=$own/work made=1
fi

# Wine's console redraws a terminal character by character and splits escape sequences, so the
# runner writes into a FIFO that is copied out, and colours are asked for when this script's
# output is a terminal. Both run in the background, so that a signal reaches the traps at once.
[ -t 1 ] && passed="$passed --colour"
if [ -n "$print_default" ]; then
  set -- --print-default
else
  # shellcheck disable=SC2086 # $passed is a list of plain options
  set -- $passed --plugin "${plugin:-dist/Quillmere.asi}" --workdir "$workdir" \
    ${scenario:+"$scenario"}
fi
# The runner's exit code alone proves nothing: a plug-in that ends the process from its entry
# point ends it with a code of its choosing, and Wine answers 1 when it cannot start the runner at
# all. So the runner ends its output with "quillmere-run: status N", which the copy leaves out and
# notes; only a status it said last, and ended with, counts. (perl, part of every Debian, passes
# each line on as it comes, where awk may wait for a whole buffer.)
mkfifo "$own/output" || exit 2
perl -e '$| = 1; my $said = "";
  while (<STDIN>) { if (/^quillmere-run: status (\d+)$/) { $said = $1; next } $said = ""; print }
  open(my $file, ">", $ARGV[0]) or exit 1; print $file $said' "$own/said" <"$own/output" &
copier=$!
wine "$runner" --status-line "$@" >"$own/output" &
session=$!
wait "$session"
status=$?
session=
wait "$copier"
copier=
[ "$(cat "$own/said" 2>/dev/null)" = "$status" ] && finish "$status"
fail "the session did not run through: quillmere-run ended with status $status without saying" \
  "it was done (the plug-in or Wine ended it)"
