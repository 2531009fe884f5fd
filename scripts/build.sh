#!/usr/bin/env bash
# Configures and builds one configuration or all of them.
# Usage: scripts/build.sh [linux|win64|win32|all]   (default: linux)
# JOBS=N limits the parallel compile jobs (default: every core).
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=${JOBS:-$(nproc 2>/dev/null || echo 4)}

build() {
  local name=$1 dir=build/$1
  shift
  if [[ ! -f $dir/build.ninja ]]; then
    cmake -S . -B "$dir" -G Ninja "$@"
  fi
  cmake --build "$dir" -j "$jobs"
}

case "${1:-linux}" in
  linux) build linux ;;
  win64) build win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x64.cmake -DCMAKE_BUILD_TYPE=Release ;;
  win32) build win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86.cmake -DCMAKE_BUILD_TYPE=Release ;;
  all)
    "$0" linux
    "$0" win64
    "$0" win32
    ;;
  *)
    echo "usage: scripts/build.sh [linux|win64|win32|all]" >&2
    exit 2
    ;;
esac
