#!/bin/sh
# Plays a session with dist/Quillmere.asi in the stand-in host under Wine and prints its account.
# Exits 0 all met, 1 an expectation failed, 2 the session could not run or did not run through,
# 130 interrupted. `make run` builds and calls it.
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

scenario='' workdir='' plugin='' help='' after=''
while [ $# -gt 0 ]; do
  # After "--", every word is a scenario; an empty word means the default one.
  case $after$1 in
    '' | :) ;;
    --) after=: ;;
    --help) help=1 ;;
    --workdir | --plugin)
      [ $# -ge 2 ] && [ -n "$2" ] || fail "$1 needs a value"
      eval "[ -z \"\$${1#--}\" ]" || fail "$1 given twice"
      eval "${1#--}=\$2"
      shift
      ;;
    -*) fail "unknown option $(shown "$1") (see --help)" ;;
    *)
      [ -z "$scenario" ] || fail "one scenario at a time: $(shown "$scenario"), then $(shown "$1")"
      scenario=$1
      ;;
  esac
  shift
done
[ -z "$help" ] || { echo "usage: $0 [--workdir DIR] [--plugin PATH] [--] [SCENARIO]"; exit 0; }

runner=${QUILLMERE_RUNNER:-$root/build/windows/wine/quillmere-run.exe}
[ -f "$runner" ] || fail "$(shown "$runner") is missing; build it with: make windows"
plugin=${plugin:-$root/dist/Quillmere.asi}
# The user's paths are checked where they are. Wine sees only names made below: it would read
# "x.scn." as x.scn, a backslash as a folder, bytes that are not UTF-8 as other letters.
[ -z "$scenario" ] || [ -f "$scenario" ] || fail "no scenario file $(shown "$scenario")"
[ -f "$plugin" ] || fail "no plug-in file at $(shown "$plugin")"
[ -z "$workdir" ] || { mkdir -p -- "$workdir" 2>/dev/null && [ -d "$workdir" ]; } ||
  fail "cannot work in $(shown "$workdir")"
# Wine keeps its prefix, and the menu entries it makes, in the build tree, never in the home folder.
export WINEPREFIX="${WINEPREFIX:-$root/build/wine-prefix}" WINEDEBUG="${WINEDEBUG:--all}" \
  XDG_CONFIG_HOME="${XDG_CONFIG_HOME:-$root/build/wine-home/config}" \
  XDG_DATA_HOME="${XDG_DATA_HOME:-$root/build/wine-home/data}" \
  XDG_CACHE_HOME="${XDG_CACHE_HOME:-$root/build/wine-home/cache}"
# A new prefix is set up once (about 10 s), not by two runs at once.
[ -d "$WINEPREFIX" ] || flock "$WINEPREFIX.lock" wineboot -i >/dev/null 2>&1

# This script's own folder, for the copies, the working folder (or a link to the one given) and
# the runner's status file. It goes however the script ends; a link goes without what it leads to.
own=$(mktemp -d "${TMPDIR:-/tmp}/quillmere-session.XXXXXX") || exit 2
finish() { trap - EXIT INT TERM HUP; rm -rf "$own"; exit "$1"; }
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

printf 'Quillmere session\n  plug-in:  %s\n  scenario: %s\n  working directory: %s\n\n' \
  "$(shown "$plugin")" "$(shown "${scenario:-the embedded default}")" \
  "$(shown "${workdir:-$own/work}")"
# Wine's console splits what it writes to a terminal, so the runner writes into a pipe.
(cd "$own" && exec wine "$runner" --status-file status --plugin Quillmere.asi --workdir work \
  ${scenario:+scenario.scn}) | cat
# A plug-in can end the process with any code and print anything: only the status file, which the
# runner writes once the plug-in is unloaded (Ctrl-C included), says how the session ended.
said=$(cat "$own/status" 2>/dev/null)
case $said in 0 | 1 | 2 | 130) finish "$said" ;; esac
fail "the session did not run through: quillmere-run gave no status (the plug-in or Wine ended it)"
