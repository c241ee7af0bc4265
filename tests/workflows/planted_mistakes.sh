#!/bin/sh
# The workflow check must refuse real mistakes, not only pass good files: each mistake is planted
# alone in a fresh copy of .github, and the check must fail naming it. The unchanged copy passes.
# Needs build/npm (make check-workflows installs it); run by make test.
# Usage: tests/workflows/planted_mistakes.sh
set -u
cd "$(dirname "$0")/../.."
copy=$(mktemp -d)
trap 'rm -rf "$copy"' EXIT
fail=0

# plant FILE SED_EXPRESSION WHAT_THE_CHECK_MUST_SAY
plant() {
  rm -rf "$copy/.github" && cp -R .github "$copy/"
  sed -i "$2" "$copy/.github/$1"
  if cmp -s ".github/$1" "$copy/.github/$1"; then
    echo "planted_mistakes: '$2' changes nothing in .github/$1"; fail=1; return
  fi
  if out=$(node scripts/check-workflows.js "$copy" 2>&1); then
    echo "planted_mistakes: the check passes .github/$1 after '$2'"; fail=1
  elif ! echo "$out" | grep -qF -- "$3"; then
    echo "planted_mistakes: after '$2' in .github/$1 the check does not say \"$3\":"; echo "$out"
    fail=1
  fi
}

rm -rf "$copy/.github" && cp -R .github "$copy/"
node scripts/check-workflows.js "$copy" >/dev/null || { echo "planted_mistakes: a copy of .github fails"; fail=1; }
plant workflows/ci.yml 's/ubuntu-latest/ubuntu-lastest/' 'label "ubuntu-lastest" is unknown'
# A tag: filter that push does not know would keep the release from ever running.
plant workflows/release.yml 's/tags:/tag:/' 'unexpected key "tag" for "push" section'
plant workflows/ci.yml 's/github.ref }}/github.ref }/' "expecting '}'"
plant ISSUE_TEMPLATE/bug_report.yml 's/id: game$/id: what/' 'the id what is used twice'
plant ISSUE_TEMPLATE/bug_report.yml 's/type: textarea/type: text/' 'type "text" is not one of'

[ "$fail" -eq 0 ] && echo "workflows: 5 planted mistakes refused, each by name"
exit "$fail"
