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

if ! command -v wine >/dev/null; then
  echo "conformance: wine is not installed (scripts/install-deps.sh installs it)" >&2
  exit 1
fi

# One fresh prefix per run (outside build/win64, whose programs check-windows-build.sh
# checks), made before the first program starts: a program started while the prefix is
# still being set up can fail silently.
export WINEPREFIX=$PWD/build/wineprefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
rm -rf "$WINEPREFIX"
stop_wine() {
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX"
}
trap stop_wine EXIT
wineboot -i </dev/null >/dev/null 2>&1
wineserver -w
# Warm-up: Wine's background processes start here, not with the tests' output pipe open.
(wineserver -p && wine cmd /c exit) </dev/null >/dev/null 2>&1

log=build/win64/conformance.log
status=0
wine "$exe" --gtest_brief=1 "$@" </dev/null >"$log" 2>&1 || status=$?
tr -d '\r' <"$log"
exit "$status"
