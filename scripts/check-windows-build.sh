#!/usr/bin/env bash
# Checks that the Windows builds produced their programs and that each needs no DLL beyond
# the system's, and that the x86 Setup imports only what Windows XP has
# (scripts/setup-x86-imports.txt).
set -euo pipefail
cd "$(dirname "$0")/.."

allowed='^(ADVAPI32|KERNEL32|msvcrt|USER32|SHLWAPI|SHELL32|ole32|OLEAUT32|SETUPAPI|CFGMGR32|newdev|VERSION|WINMM|WTSAPI32|GDI32|gdiplus|COMCTL32|USERENV|PSAPI)\.(dll|DLL)$'
status=0
for arch in win64:x86_64 win32:i686; do
  dir=build/${arch%%:*}
  objdump=${arch##*:}-w64-mingw32-objdump
  exes=$(find "$dir" -name '*.exe' -not -path '*/CMakeFiles/*' | sort)
  if [[ -z $exes ]]; then
    echo "no programs in $dir" >&2
    status=1
  fi
  for exe in $exes; do
    while read -r dll; do
      if ! [[ $dll =~ $allowed ]]; then
        echo "$exe needs $dll" >&2
        status=1
      fi
    done < <($objdump -p "$exe" | awk '/DLL Name:/ {print $3}')
    echo "ok  $exe"
  done
done
# The x86 Setup loads on Windows XP: every import is on the list of XP's functions.
imports() { # OBJDUMP EXE: one DLL!function a line
  $1 -p "$2" | awk '/DLL Name:/ {dll=$3; next} dll && /^\t[0-9a-f]+\t/ {print toupper(dll) "!" $NF} /^$/ {dll=""}' | sort -u
}
setup_x86=$(find build/win32 -name Setup.exe -not -path '*/CMakeFiles/*' | head -1)
if [[ -n $setup_x86 ]]; then
  extra=$(comm -23 <(imports i686-w64-mingw32-objdump "$setup_x86") <(grep -v '^#' scripts/setup-x86-imports.txt | sort -u))
  if [[ -n $extra ]]; then
    echo "$setup_x86 imports what Windows XP lacks (or scripts/setup-x86-imports.txt does not list):" >&2
    echo "$extra" >&2
    status=1
  else
    echo "ok  $setup_x86 imports only Windows XP's functions ($(imports i686-w64-mingw32-objdump "$setup_x86" | wc -l))"
  fi
fi
exit $status
