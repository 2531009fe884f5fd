#!/usr/bin/env bash
# Checks that the Windows builds produced their programs and that each needs no DLL beyond
# the system's.
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
exit $status
