#!/bin/sh
# Ctrl-C on the session script: it must end the session, remove its working folder and exit
# 130, not 0. As a terminal does, the signal goes to the script's whole process group, Wine
# included.
# Usage: interrupt_session.sh with|without COMMAND...   (the session script and its options, with
#        QUILLMERE_RUNNER set; with or without a terminal's way of starting it)
set -u
terminal=$1
shift
printf 'frames 1\nsleep 60000\nframes 1\n' >long.scn
# The output of an earlier run must not pass for this one's before the session truncates it.
rm -f output.txt
# A job started in the background by a script ignores SIGINT, and cannot trap it. With a terminal,
# perl (part of every Debian) restores it, as for a terminal's foreground job; either way the
# session gets a process group of its own.
perl -e '$SIG{INT} = "DEFAULT" if shift eq "with"; setpgrp(0, 0); exec @ARGV or die "exec: $!"' \
  "$terminal" "$@" "$PWD/long.scn" >output.txt 2>&1 &
script=$!
# Until the session is under way: its first frame has been told.
tries=0
until grep -q "sleep 60000" output.txt 2>/dev/null; do
  tries=$((tries + 1))
  if [ "$tries" -gt 600 ]; then
    echo "interrupt_session: the session did not start"
    cat output.txt
    kill -TERM "-$script"
    exit 1
  fi
  sleep 0.1
done
folder=$(sed -n 's/^  working directory: \(.*\)\/work$/\1/p' output.txt)
if [ -z "$folder" ]; then
  echo "interrupt_session: the account names no working folder"
  kill -TERM "-$script"
  exit 1
fi
kill -INT "-$script"
wait "$script"
status=$?
cat output.txt
ok=0
if [ "$status" -ne 130 ]; then
  echo "interrupt_session: exit status $status, expected 130"
  ok=1
fi
if [ -e "$folder" ]; then
  echo "interrupt_session: the working folder was left behind: $folder"
  ok=1
fi
sleep 1
if pgrep -f "$folder" >/dev/null; then
  echo "interrupt_session: the session still runs"
  ok=1
fi
exit $ok
