#!/bin/sh
# Plays a session with dist/Quillmere.asi in the stand-in host under Wine and prints its account.
# Exits 0 all met, 1 an expectation failed or the plug-in disagreed with its settings, 2 the
# session could not run or did not run through, 130 interrupted. `make run` builds and calls it.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)

fail() {
  echo "run-session: $*" >&2
  exit 2
}

# A word of the user's escaped as the runner escapes words, so that every message shows it alike.
shown() {
  perl -e '$_ = shift; s/(["\\])/\\$1/g; s/([^ -~])/sprintf("\\x%02X", ord $1)/ge; print' -- "$1"
}

scenario='' workdir='' plugin='' keep='' passed='' print_default='' words=0 after=''
while [ $# -gt 0 ]; do
  [ -z "$1" ] && shift && continue
  words=$((words + 1))
  # After "--", every word is a scenario.
  case $after$1 in
    --) after=: ;;
    --print-default) print_default=1 ;;
    --verbose | --colour) passed="$passed $1" ;;
    --keep) keep=1 ;;
    --help | -h)
      cat <<'EOF'
usage: scripts/run-session.sh [SCENARIO] [--verbose] [--keep] [--workdir DIR] [--plugin PATH]
       scripts/run-session.sh [OPTIONS] -- SCENARIO
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
      eval "${1#--}=\$2"
      shift
      ;;
    -*) fail "unknown option $(shown "$1") (see --help)" ;;
    *)
      [ -n "$scenario" ] && fail "one scenario at a time: $(shown "$scenario"), then $(shown "$1")"
      scenario=$1
      ;;
  esac
  shift
done
[ -n "$print_default" ] && [ "$words" -gt 1 ] && fail "--print-default takes no other words"

runner=${QUILLMERE_RUNNER:-$root/build/windows/wine/quillmere-run.exe}
case $runner in /*) ;; *) runner=$PWD/$runner ;; esac
[ -f "$runner" ] || fail "$(shown "$runner") is missing; build it with: make windows"
plugin=${plugin:-$root/dist/Quillmere.asi}
# The user's paths are checked where they are. Wine sees only names made below: it would read
# "x.scn." as x.scn, a backslash as a folder, bytes that are not UTF-8 as other letters.
[ -z "$scenario" ] || [ -e "$scenario" ] || fail "no scenario file $(shown "$scenario")"
[ -z "$scenario" ] || [ -f "$scenario" ] || fail "$(shown "$scenario") is not a regular file"
[ -e "$plugin" ] || fail "no plug-in at $(shown "$plugin")"
[ -f "$plugin" ] || fail "the plug-in $(shown "$plugin") is not a regular file"
[ -z "$workdir" ] || { mkdir -p -- "$workdir" 2>/dev/null && [ -d "$workdir" ]; } ||
  fail "cannot work in $(shown "$workdir")"
export WINEPREFIX="${WINEPREFIX:-$root/build/wine-prefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
if [ ! -d "$WINEPREFIX" ]; then
  echo "Preparing the Wine prefix in $WINEPREFIX (first run only, about 10 s)..."
  wineboot -i >/dev/null 2>&1 || true
fi

# This script's own folder, for the copies, the working folder (or a link to the one given) and
# the runner's status file. It goes however the script ends; a link goes without what it leads to.
own=$(mktemp -d "${TMPDIR:-/tmp}/quillmere-session.XXXXXX") || exit 2
finish() {
  trap - EXIT INT TERM HUP
  if [ -n "$keep" ] && [ -z "$workdir" ]; then
    rm -f "$own/status" "$own/scenario.scn" "$own/Quillmere.asi"
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
cp -- "$plugin" "$own/Quillmere.asi" || fail "the plug-in could not be copied"
# One byte past the most the runner reads, for it to say that the scenario is too long.
[ -z "$scenario" ] || head -c 16777217 -- "$scenario" >"$own/scenario.scn" ||
  fail "the scenario could not be copied"
case $workdir in
  '') mkdir "$own/work" ;;
  /*) ln -s -- "$workdir" "$own/work" ;;
  *) ln -s -- "$PWD/$workdir" "$own/work" ;;
esac || fail "the working folder could not be linked"

# Wine's console redraws a terminal character by character and splits escape sequences, so the
# runner writes into a pipe, and colours are asked for when this script's output is a terminal.
[ -t 1 ] && passed="$passed --colour"
if [ -n "$print_default" ]; then
  set -- --print-default
else
  printf 'Quillmere session\n  plug-in:  %s\n  scenario: %s\n  working directory: %s\n\n' \
    "$(shown "$plugin")" "$(shown "${scenario:-the embedded default}")" \
    "$(shown "${workdir:-$own/work}")"
  # shellcheck disable=SC2086 # $passed is a list of plain options
  set -- $passed --plugin Quillmere.asi --workdir work ${scenario:+scenario.scn}
fi
(cd "$own" && exec wine "$runner" --status-file status "$@") | cat
# A plug-in can end the process with any code and print anything: only the status file, which the
# runner writes once the plug-in is unloaded (Ctrl-C included), says how the session ended.
said=$(cat "$own/status" 2>/dev/null)
case $said in 0 | 1 | 2 | 130) finish "$said" ;; esac
fail "the session did not run through: quillmere-run gave no status (the plug-in or Wine ended it)"
