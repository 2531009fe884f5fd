#!/usr/bin/env bash
# Measures winsim under the system's load in an optimised build without sanitizers
# (build/bench): Setup's time per command for growing scripts, the registry's set, query and
# enumeration per value for growing keys, the RF control path in the host per control code,
# and `winsim create`. Prints the figures and their ratios.
# Usage: scripts/bench.sh [--quick] [setup|registry|host]...   (JOBS=N limits the compile jobs)
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${JOBS:-$(nproc 2>/dev/null || echo 4)}
if [[ ! -f build/bench/build.ninja ]]; then
  cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DVQ_SANITIZE=OFF >/dev/null
fi
cmake --build build/bench -j "$jobs" --target winsim_bench winsim-tool RVQXSVC >/dev/null
build/bench/tools/winsim_bench build/bench/winsim/tool/winsim build/bench/service/RVQXSVC "$@"
