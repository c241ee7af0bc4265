#!/bin/sh
# Makes the player's package from the DLL of the build: dist/Quillmere-VERSION.zip holding
# Quillmere.asi, "Quillmere - Readme.txt" (with that same file's SHA-256) and
# "Quillmere - Licence.txt", and dist/SHA256SUMS naming the zip as a downloader has it, bare.
# The zip is the same bytes on every build of a commit: fixed entry order, permissions and
# times (the commit's, in UTC), and no extra fields (zip -X). Older zips leave dist/.
# Usage: make-dist.sh README_GENERATOR DLL EPOCH_FILE COMMIT_FILE VERSION STAGE_DIR SOURCE_DIR
set -eu
generator=$1
epoch=$(cat "$3")
commit=$(cat "$4")
version=$5
stage=$6
top=$7
here=$(dirname "$0")
readme="Quillmere - Readme.txt"
licence="Quillmere - Licence.txt"
archive="Quillmere-$version.zip"

rm -rf "$stage"
mkdir -p "$stage" "$top/dist"
cp "$2" "$stage/Quillmere.asi"
sum=$(sha256sum "$stage/Quillmere.asi" | cut -d ' ' -f 1)
# Both texts with CR LF line ends, as Notepad expects.
"$generator" "$here/readme.txt.in" "$version" "$commit" "$sum" >"$stage/readme.lf"
sed 's/$/\r/' "$stage/readme.lf" >"$stage/$readme" && rm "$stage/readme.lf"
cat "$top/LICENSE" "$here/runtime-notices.txt" | sed 's/$/\r/' >"$stage/$licence"

chmod 0644 "$stage"/*
touch -d "@$epoch" "$stage"/*
# A zip keeps local time; UTC makes it the same wherever it is built. zip takes options from
# ZIPOPT and ZIP too: none of the caller's.
(cd "$stage" && unset ZIPOPT ZIP && TZ=UTC0 zip -q -X "$archive" Quillmere.asi "$readme" "$licence")
(cd "$stage" && sha256sum "$archive") >"$stage/SHA256SUMS"

rm -f "$top"/dist/Quillmere-*.zip
cp "$stage/$archive" "$stage/SHA256SUMS" "$top/dist/"
