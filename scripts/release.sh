#!/bin/sh
# Cuts a release of the current commit: checks that it is clean, untagged and in CHANGELOG.md,
# runs every test, builds dist/Quillmere-VERSION.zip and dist/SHA256SUMS, and tags the commit
# vVERSION. Pushing the tag, and publishing the draft release it brings, are left to the maintainer.
# Usage: scripts/release.sh   (or: make release)
set -eu
cd "$(dirname "$0")/.."

fail() { echo "release: $*" >&2; exit 1; }
# A release tags a commit: without one (a downloaded source archive), refuse before any work.
[ -e .git ] || fail "this source tree is not a git checkout; cut a release from a clone"
sh scripts/ensure-tools.sh native windows wine dist format tidy workflows
[ "$(git rev-parse --show-toplevel 2>/dev/null)" = "$(pwd -P)" ] ||
  fail "git does not take $(pwd -P) for the top of a checkout; cut a release from a clone"
version=$(sed -n 's/^project(Quillmere VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
tag=v$version
[ -n "$version" ] || fail "no version in CMakeLists.txt"

# A release is a build of a commit: nothing uncommitted may go into it.
if [ -n "$(git status --porcelain)" ]; then
  echo "release: the working tree has changes; commit or remove them first:" >&2
  git status --short >&2
  exit 1
fi
if git rev-parse -q --verify "refs/tags/$tag" >/dev/null; then
  fail "$tag exists already; raise the version in CMakeLists.txt"
fi
# The heading exactly: "## 1.0.0-rc1" is no entry for 1.0.0.
grep -qxF "## $version" CHANGELOG.md || fail "CHANGELOG.md has no entry \"## $version\""

make test
make dist
git tag -a "$tag" -m "Quillmere $version"

echo
echo "Tagged $tag at $(git rev-parse --short=12 HEAD); dist/SHA256SUMS:"
sed 's/^/  /' dist/SHA256SUMS
echo "Push the tag (git push origin $tag): the release workflow drafts a release with the zip"
echo "and SHA256SUMS, whose sums must be these."
