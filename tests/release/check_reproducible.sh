#!/bin/sh
# Builds the release package twice, from two copies of the working tree at different paths, and
# checks that Quillmere.asi and the zip come out the same bytes. The copies hold the sources as
# they are now: changes not yet committed, and new files that git does not ignore.
# Usage: check_reproducible.sh SOURCE_DIR
set -eu
top=$(cd "$1" && pwd -P)
work=$(mktemp -d "${TMPDIR:-/tmp}/quillmere-repro.XXXXXX")
trap 'rm -rf "$work"' EXIT
# The builds below are make runs of their own, not part of any make that started this test.
unset MAKEFLAGS MFLAGS MAKELEVEL

# In a git checkout each copy is a clone of the current commit with the working tree laid over
# it; outside one, a plain copy of the sources.
if [ "$(git -C "$top" rev-parse --show-toplevel 2>/dev/null)" = "$top" ]; then
  head=$(git -C "$top" rev-parse HEAD)
  git -C "$top" ls-files --cached --others --exclude-standard >"$work/files"
  git -C "$top" ls-files --deleted >"$work/deleted"
  grep -vxF -f "$work/deleted" "$work/files" >"$work/present" || true
  copy() {  # copy DIR
    git clone -q --shared --no-checkout "$top" "$1"
    git -C "$1" reset -q "$head"
    tar -C "$top" -cf - -T "$work/present" | tar -C "$1" -xf -
  }
else
  copy() {
    mkdir -p "$1"
    tar -C "$top" --exclude=./build --exclude=./dist -cf - . | tar -C "$1" -xf -
  }
fi

build() {  # build DIR: just what `make dist` makes
  if ! (cd "$1" && cmake --preset windows -DBUILD_TESTING=OFF &&
    cmake --build --preset windows --target dist) >"$1.log" 2>&1; then
    echo "the build in $1 failed:"
    tail -n 30 "$1.log"
    exit 1
  fi
}

first=$work/a
second=$work/second-copy/at/a/longer/path/b
mkdir -p "$(dirname "$second")"
copy "$first"
copy "$second"
build "$first"
build "$second"

version=$(sed -n 's/^project(Quillmere VERSION \([0-9.]*\).*/\1/p' "$top/CMakeLists.txt")
fail=0
for file in Quillmere.asi "Quillmere-$version.zip" SHA256SUMS; do
  if [ ! -f "$first/dist/$file" ]; then
    echo "the build made no dist/$file"
    fail=1
  elif ! cmp -s "$first/dist/$file" "$second/dist/$file"; then
    echo "dist/$file differs between the two builds; first differing bytes (offset, octal):"
    cmp -l "$first/dist/$file" "$second/dist/$file" | head -n 10
    fail=1
  fi
done
[ "$fail" -eq 0 ] &&
  echo "reproducible: two builds at different paths gave the same bytes:" &&
  sed 's/^/  /' "$first/dist/SHA256SUMS"
exit "$fail"
