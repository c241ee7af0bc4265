#!/bin/sh
# Checks the release package as a player gets it: the zip holds exactly Quillmere.asi and the
# readme at its root, its Quillmere.asi is the DLL that was built and carries the version
# strings, and dist/SHA256SUMS matches the files. Unpacks the zip into UNPACK_DIR for the tests
# that follow (the readme check and a session with the unpacked DLL).
# Usage: check_dist.sh SOURCE_DIR ZIP DLL VERSION UNPACK_DIR
set -eu
top=$1
zip=$2
dll=$3
version=$4
unpacked=$5

fail=0
expected="Quillmere.asi
Quillmere - Readme.txt"
listing=$(unzip -Z1 "$zip")
if [ "$listing" != "$expected" ]; then
  echo "the zip should hold exactly Quillmere.asi and \"Quillmere - Readme.txt\"; it holds:"
  echo "$listing"
  fail=1
fi

rm -rf "$unpacked"
mkdir -p "$unpacked"
unzip -q "$zip" -d "$unpacked"
cmp -s "$unpacked/Quillmere.asi" "$dll" || { echo "the zip's Quillmere.asi is not the DLL built"; fail=1; }

# The version resource, as the file's Properties show it (UTF-16 strings).
strings=$(strings -a -el "$unpacked/Quillmere.asi")
for value in ProductVersion FileVersion "$version" OriginalFilename Quillmere.asi; do
  echo "$strings" | grep -qxF -- "$value" || { echo "no version string \"$value\" in the DLL"; fail=1; }
done
echo "$strings" | grep -qE '^commit ([0-9a-f]{12}(-modified)?|unknown)$' ||
  { echo "no commit id in the DLL's version strings"; fail=1; }

names=$(cut -d ' ' -f 3- "$top/dist/SHA256SUMS")
if [ "$names" != "dist/$(basename "$zip")
dist/Quillmere.asi" ]; then
  echo "dist/SHA256SUMS should cover the zip and the DLL; it names: $names"
  fail=1
fi
(cd "$top" && sha256sum --quiet -c dist/SHA256SUMS) || { echo "dist/SHA256SUMS does not match"; fail=1; }

[ "$fail" -eq 0 ] && echo "dist: $(basename "$zip") holds the DLL and the readme; SHA256SUMS matches"
exit "$fail"
