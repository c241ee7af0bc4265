#!/bin/sh
# Checks the shipped plug-in's import and export tables: it may import only from the host,
# KERNEL32.dll and the C runtime, must import the host's operations under their decorated names,
# and must export nothing. It must also carry a resource directory holding its version
# information, and link in runtime code only from the archives whose licences the zip's licence
# text covers.
# Usage: check_dll_imports.sh OBJDUMP DLL LINK_MAP
set -eu
objdump=$1
dll=$2
map=$3
table=$(mktemp)
trap 'rm -f "$table"' EXIT
"$objdump" -p "$dll" >"$table"

fail=0
grep -q 'file format pei-x86-64' "$table" || { echo "not a PE32+ x86-64 image: $dll"; fail=1; }

dlls=$(sed -n 's/^[[:space:]]*DLL Name: //p' "$table")
for name in $dlls; do
  case $(echo "$name" | tr 'A-Z' 'a-z') in
    scripthookrdr2.dll | kernel32.dll | msvcrt.dll | api-ms-win-crt-*.dll) ;;
    *) echo "unexpected import from $name"; fail=1 ;;
  esac
done
echo "$dlls" | grep -qx 'ScriptHookRDR2.dll' || { echo "does not import ScriptHookRDR2.dll"; fail=1; }

for name in '?scriptRegister@@YAXPEAUHINSTANCE__@@P6AXXZ@Z' \
            '?scriptUnregister@@YAXPEAUHINSTANCE__@@@Z' \
            '?keyboardHandlerRegister@@YAXP6AXKGEHHHH@Z@Z' \
            '?keyboardHandlerUnregister@@YAXP6AXKGEHHHH@Z@Z' \
            '?scriptWait@@YAXK@Z' \
            '?worldGetAllPeds@@YAHPEAHH@Z' \
            '?nativeInit@@YAX_K@Z' \
            '?nativePush64@@YAX_K@Z' \
            '?nativeCall@@YAPEA_KXZ'; do
  grep -qF -- "$name" "$table" || { echo "missing host import $name"; fail=1; }
done

# GNU ld always leaves an export directory in a DLL; it must list no function and no name.
exported=$(sed -n 's/^[[:space:]]*Export Address Table[[:space:]]*\([0-9a-fA-F]*\)$/\1/p' "$table" | head -n 1)
named=$(sed -n 's/^[[:space:]]*\[Name Pointer\/Ordinal\] Table[[:space:]]*\([0-9a-fA-F]*\)$/\1/p' "$table" | head -n 1)
if [ -n "$exported$named" ] && { [ "$((0x${exported:-0}))" -ne 0 ] || [ "$((0x${named:-0}))" -ne 0 ]; }; then
  echo "the plug-in exports $((0x${exported:-0})) functions; it must export none"
  fail=1
fi

# The version resource: a non-empty resource directory whose type table has RT_VERSION (16).
resources=$(sed -n 's/^Entry 2 [0-9a-fA-F]* \([0-9a-fA-F]*\) Resource Directory.*/\1/p' "$table")
if [ -z "$resources" ] || [ "$((0x$resources))" -eq 0 ]; then
  echo "the plug-in has no resource directory"
  fail=1
elif ! sed -n '/^The .rsrc Resource Directory section/,/^[^ 0-9]/p' "$table" |
  grep -Eq '^[0-9a-f]+   Entry: ID: 0x000010,'; then
  echo "the plug-in's resources hold no version information"
  fail=1
fi

# Stripped: no symbol table left.
if "$objdump" -f "$dll" | grep -q 'HAS_SYMS'; then
  echo "the plug-in is not stripped"
  fail=1
fi

# The runtime code linked in, member by member: the members whose licences README.md's Licences
# table and the zip's notices cover. Another one, even from an archive listed here (libmingwex's
# number parsing, say), is a decision to read its licence first. The host's import library and the
# import stubs of KERNEL32.dll and msvcrt.dll hold no code of their own; their member names change
# with the imports and the toolchain, so they pass by their pattern.
code_members='libmingw32.a: gccmain natstart tlssup tlsthrd tlsmcrt pseudo-reloc pseudo-reloc-list
libmingw32.a: pesect cinitexe mingw_helpers CRT_fp10
libmingwex.a: dllentry
libmsvcrt.a: onexit_table acrt_iob_func
libgcc.a: _chkstk_ms _ctors'
members=$(sed -n '/^Archive member included/,/^Discarded input/s/^\([^ ]*[/]\)\{0,1\}\([^/ (]*\.a\)(\([^)]*\)).*/\2 \3/p' "$map")
[ -n "$members" ] || { echo "no archive members in the link map $map"; fail=1; }
unlisted=$(echo "$members" | while read -r archive member; do
  case $archive in
    objects.a | libScriptHookRDR2.a) continue ;;
    libkernel32.a | libmsvcrt.a)
      echo "$member" | grep -Eq "^${archive%.a}(_def)?(s[0-9]+|h|t)\.o$" && continue ;;
  esac
  # Code members are named lib64_<archive>_a-NAME.o in the mingw-w64 archives, NAME.o in libgcc.
  name=${member%.o}
  name=${name#lib64_*_a-}
  echo "$code_members" | awk -v archive="$archive:" -v name="$name" '
    $1 == archive { for (i = 2; i <= NF; i++) if ($i == name) found = 1 }
    END { exit !found }' || echo "$archive($member)"
done)
for member in $unlisted; do
  echo "runtime code $member is linked in: read its licence, then list it here and in README.md, Licences"
  fail=1
done

[ "$fail" -eq 0 ] && echo "imports: $(echo $dlls | tr '\n' ' '); no exports; version resource"
exit "$fail"
