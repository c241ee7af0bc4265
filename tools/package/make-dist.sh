#!/bin/sh
# Makes the player's package: the readme (from the generator, with the DLL's SHA-256), then
# dist/Quillmere-VERSION.zip holding exactly Quillmere.asi and "Quillmere - Readme.txt", and
# dist/SHA256SUMS over the zip and the DLL, named as seen from the top of the source tree.
# The zip is the same bytes on every build of a commit: fixed entry order, permissions and
# times (the commit's, in UTC), and no extra fields (zip -X).
# Usage: make-dist.sh README_GENERATOR DLL EPOCH_FILE COMMIT_FILE VERSION STAGE_DIR SOURCE_DIR
set -eu
generator=$1
dll=$2
epoch=$(cat "$3")
commit=$(cat "$4")
version=$5
stage=$6
top=$7

readme="Quillmere - Readme.txt"
archive="Quillmere-$version.zip"

rm -rf "$stage"
mkdir -p "$stage" "$top/dist"
sum=$(sha256sum "$dll" | cut -d ' ' -f 1)
"$generator" "$stage/$readme" "$version" "$commit" "$sum"
cp "$dll" "$stage/Quillmere.asi"

chmod 0644 "$stage/Quillmere.asi" "$stage/$readme"
touch -d "@$epoch" "$stage/Quillmere.asi" "$stage/$readme"
# A zip keeps local time; UTC makes it the same wherever it is built. zip takes options from
# ZIPOPT and ZIP too: none of the caller's.
(cd "$stage" && unset ZIPOPT ZIP && TZ=UTC0 zip -q -X "$archive" Quillmere.asi "$readme")

cp "$stage/$archive" "$top/dist/$archive"
(cd "$top" && sha256sum "dist/$archive" dist/Quillmere.asi) >"$stage/SHA256SUMS"
cp "$stage/SHA256SUMS" "$top/dist/SHA256SUMS"
