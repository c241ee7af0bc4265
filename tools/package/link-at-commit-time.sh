#!/bin/sh
# Runs the link command that follows with SOURCE_DATE_EPOCH read from the file named first, so
# that the linker stamps the DLL with the commit's time rather than the time of the build.
# Usage: link-at-commit-time.sh EPOCH_FILE COMMAND...
set -eu
SOURCE_DATE_EPOCH=$(cat "$1")
export SOURCE_DATE_EPOCH
shift
exec "$@"
