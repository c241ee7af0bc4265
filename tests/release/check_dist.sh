#!/bin/sh
# Checks the release as a player downloads it: SHA256SUMS verifies the zip in a folder holding
# just the two; the zip holds the DLL that was built (the same as dist/Quillmere.asi, carrying its
# version strings), the readme giving that DLL's SHA-256 and the commit, and the licence texts.
# Unpacks the zip into UNPACK_DIR for the tests that follow.
# Usage: check_dist.sh DIST_DIR VERSION DLL COMMIT_FILE UNPACK_DIR WINDRES
set -eu
dist=$1
zip=Quillmere-$2.zip
dll=$3
commit=$(cat "$4")
unpacked=$5
windres=$6
fail=0
say() { echo "$*"; fail=1; }

rm -rf "$unpacked"
mkdir -p "$unpacked/download"
cp "$dist/$zip" "$dist/SHA256SUMS" "$unpacked/download/"
(cd "$unpacked/download" && sha256sum --strict -c SHA256SUMS) || say "sha256sum -c SHA256SUMS fails"
sums=$(cat "$dist/SHA256SUMS")
case $sums in
  [0-9a-f]*"  $zip") [ "$(wc -l <"$dist/SHA256SUMS")" -eq 1 ] || say "SHA256SUMS: more than one line" ;;
  *) say "SHA256SUMS should be one line, '<sha256>  $zip', not: $sums" ;;
esac
tr -d '\n' <"$dist/SHA256SUMS" | LC_ALL=C grep -q '[^ -~]' && say "SHA256SUMS holds a CR or a byte beyond ASCII"

listing=$(unzip -Z1 "$dist/$zip" | tr '\n' '|')
[ "$listing" = "Quillmere.asi|Quillmere - Readme.txt|Quillmere - Licence.txt|" ] ||
  say "the zip should hold the DLL, the readme and the licence; it holds: $listing"
unzip -q "$dist/$zip" -d "$unpacked"
cmp -s "$unpacked/Quillmere.asi" "$dll" || say "the zip's Quillmere.asi is not the DLL built"
cmp -s "$dist/Quillmere.asi" "$dll" || say "dist/Quillmere.asi is not the DLL built"

# The version strings, each under its name, as (Get-Item Quillmere.asi).VersionInfo shows them:
# the product version carries the commit, since Explorer shows that and not Comments.
values=$("$windres" -i "$unpacked/Quillmere.asi" -O rc | sed -n 's/^ *VALUE "\([^"]*\)", "\(.*\)"$/\1=\2/p')
for value in "ProductVersion=$2+$commit" "FileVersion=$2" ProductName=Quillmere \
  OriginalFilename=Quillmere.asi "CompanyName=the Quillmere authors" \
  "LegalCopyright=the Quillmere authors, MIT licence"; do
  echo "$values" | grep -qxF -- "$value" || say "the DLL's version strings lack $value"
done

readme="$unpacked/Quillmere - Readme.txt"
sum=$(sha256sum "$dll" | cut -d ' ' -f 1)
grep -qF "  $sum" "$readme" || say "the readme does not give the DLL's SHA-256 $sum"
grep -qF "commit $commit." "$readme" || say "the readme does not name commit $commit"

licence="$unpacked/Quillmere - Licence.txt"
grep -q '^Copyright (c) .* the Quillmere authors' "$licence" && grep -q 'MIT License' "$licence" ||
  say "the licence text does not give Quillmere's MIT licence"
grep -q 'the mingw-w64 project' "$licence" || say "the licence text lacks the mingw-w64 runtime's notice"

[ "$fail" -eq 0 ] && echo "dist: $zip verifies with sha256sum -c; it holds the DLL built, its readme and licences"
exit "$fail"
