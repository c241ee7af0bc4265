#!/bin/sh
# Installs, in one go, every Debian package that the named groups need and that is missing.
# Usage: ensure-tools.sh GROUP...   (groups: native windows wine bench fuzz format tidy dist
#        workflows)
# As root it runs apt-get; otherwise it prints the one command to run as root and fails.
set -eu

missing=""
need() {  # need PACKAGE TEST...: the package is missing when the test fails
  pkg=$1
  shift
  if ! "$@" >/dev/null 2>&1; then
    missing="$missing $pkg"
  fi
}
has() { command -v "$1"; }
file() { test -e "$1"; }

for group in "$@"; do
  case $group in
    native)
      need cmake has cmake
      need make has make
      need g++ has g++
      need git has git
      need libgtest-dev file /usr/include/gtest/gtest.h
      need libgmock-dev file /usr/include/gmock/gmock.h
      ;;
    windows)
      need cmake has cmake
      need make has make
      need git has git
      need g++-mingw-w64-x86-64-posix has x86_64-w64-mingw32-g++-posix
      need binutils-mingw-w64-x86-64 has x86_64-w64-mingw32-dlltool
      need binutils-mingw-w64-x86-64 has x86_64-w64-mingw32-windres
      need g++ has g++  # the readme generator runs on the build machine
      need mingw-w64-tools has gendef
      ;;
    wine)
      need wine64 file /usr/lib/wine/wine64
      need wine has wine
      ;;
    bench)
      need libbenchmark-dev file /usr/include/benchmark/benchmark.h
      need valgrind has valgrind
      ;;
    fuzz)
      need cmake has cmake
      need make has make
      need clang has clang++
      need libclang-rt-14-dev sh -c 'ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a'
      ;;
    format)
      need clang-format has clang-format
      ;;
    tidy)
      need clang-tidy has clang-tidy
      need python3 has python3
      ;;
    dist)
      need zip has zip
      need unzip has unzip
      ;;
    workflows)  # and the validator of the workflow files, from the npm registry, below
      need npm has npm
      ;;
    *)
      echo "ensure-tools: unknown group $group" >&2
      exit 2
      ;;
  esac
done

# The workflow validator, at a fixed version, into build/npm; its schemas come with it.
validator() {
  top=$(dirname "$0")/..
  [ -x "$top/build/npm/node_modules/.bin/action-validator" ] && return 0
  echo "Installing the workflow validator from the npm registry into build/npm"
  mkdir -p "$top/build/npm"
  npm install --prefix "$top/build/npm" --no-save --no-audit --no-fund --loglevel=error \
    @action-validator/cli@0.6.0 @action-validator/core@0.6.0 >/dev/null
}
case " $* " in
  *" workflows "*) wanted=validator ;;
  *) wanted=true ;;
esac

[ -z "$missing" ] && { $wanted; exit; }
# shellcheck disable=SC2086
set -- $(printf '%s\n' $missing | sort -u)
command="apt-get update && apt-get install -y --no-install-recommends $*"
if [ "$(id -u)" -eq 0 ]; then
  echo "Installing missing packages: $*"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "$@" >/dev/null
  $wanted
else
  echo "Missing Debian packages: $*" >&2
  echo "Install them as root, for example with:" >&2
  echo "  su -c '$command'" >&2
  exit 1
fi
