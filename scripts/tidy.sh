#!/bin/sh
# Runs clang-tidy (checks in .clang-tidy) over the plug-in, the stand-in host and the runner, as
# both builds compile them, and ends with one line: the number of files and of findings.
# Needs the compile databases of the native and windows presets (make tidy configures them).
set -u
cd "$(dirname "$0")/.."
out=build/tidy
mkdir -p "$out"

# The files each build compiles, but tests, fuzz targets, benchmarks and generated sources.
files() {
  sed -n 's/^ *"file": "\(.*\)"$/\1/p' "$1" | while read -r path; do
    case $path in "$PWD"/*) echo "${path#"$PWD"/}" ;; esac
  done | grep -E '^(common|host|protection|input|config|tools/standin|tools/runner)/' | sort -u
}

# clang reads the mingw-w64 build's commands with the mingw C++ library headers, not GCC's own
# intrinsics headers, which only GCC understands.
windows_args="--extra-arg-before=--target=x86_64-w64-mingw32 --extra-arg-before=-nostdinc++"
for dir in $(echo | x86_64-w64-mingw32-g++-posix -E -x c++ - -v 2>&1 |
  sed -n '/#include <...> search starts here:/,/End of search list/p' |
  grep -v -e '#include' -e 'End of' -e 'posix/include$' -e 'include-fixed'); do
  windows_args="$windows_args --extra-arg-before=-isystem$(readlink -f "$dir")"
done

files build/native/compile_commands.json >"$out/native.files"
files build/windows/compile_commands.json >"$out/windows.files"
# shellcheck disable=SC2086
xargs -P 2 -n 1 clang-tidy -p build/native --quiet <"$out/native.files" >"$out/native.log" 2>/dev/null
# shellcheck disable=SC2086
xargs -P 2 -n 1 clang-tidy -p build/windows --quiet $windows_args <"$out/windows.files" \
  >"$out/windows.log" 2>/dev/null

findings=$(cat "$out/native.log" "$out/windows.log" | grep -c -E '(warning|error): ')
checked=$(cat "$out/native.files" "$out/windows.files" | wc -l)
if [ "$findings" -gt 0 ]; then
  cat "$out/native.log" "$out/windows.log"
  echo "clang-tidy: $findings findings in $checked files (native and windows builds)"
  exit 1
fi
echo "clang-tidy: no finding in $checked files (native and windows builds)"
