#!/usr/bin/env bash
# Builds winsim's conformance tests for x64 Windows and runs them under Wine, so that the
# expectations winsim is tested against are checked on a second Windows. Prints the test
# failures, the summary and the known Wine differences met (the whole output stays in
# build/win64/conformance.log); exits non-zero when a test fails.
# Usage: scripts/conformance.sh [GTEST ARGUMENTS...]
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc 2>/dev/null || echo 4)
if [[ ! -f build/win64/build.ninja ]]; then
  cmake -S . -B build/win64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x64.cmake -DCMAKE_BUILD_TYPE=Release
fi
cmake --build build/win64 -j "$jobs" --target winsim_conformance_tests
exe=$PWD/build/win64/tests/winsim_conformance_tests.exe

# Outside build/win64, whose programs check-windows-build.sh checks.
. scripts/wine-prefix.sh
wine_fresh_prefix "$PWD/build/wineprefix"

log=build/win64/conformance.log
status=0
wine "$exe" --gtest_brief=1 "$@" </dev/null >"$log" 2>&1 || status=$?
tr -d '\r' <"$log"
exit "$status"
