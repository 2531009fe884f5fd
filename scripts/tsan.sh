#!/usr/bin/env bash
# Builds the Linux configuration with ThreadSanitizer (build/tsan) and runs every test under
# it; a race report fails the test that made it, and so the run.
# Usage: scripts/tsan.sh [CTEST ARGUMENTS...]
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc 2>/dev/null || echo 4)
if [[ ! -f build/tsan/build.ninja ]]; then
  cmake -S . -B build/tsan -G Ninja -DVQ_TSAN=ON
fi
cmake --build build/tsan -j "$jobs"
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 ${TSAN_OPTIONS:-}"
ctest --test-dir build/tsan --output-on-failure -j "$jobs" --timeout 300 "$@"
