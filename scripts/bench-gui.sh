#!/usr/bin/env bash
# Measures the main road on a simulated tablet with the service and the GUI running: per
# turn of the display into the RF-stop posture and back, the virtual time from the driver's
# event to the HCI write, and the real CPU time per pair of turns. Prints the figures.
# Usage: scripts/bench-gui.sh [PAIRS]
set -euo pipefail
cd "$(dirname "$0")/.."
if [[ ! -f build/linux/build.ninja ]]; then
  cmake -S . -B build/linux -G Ninja >/dev/null
fi
cmake --build build/linux -j4 --target gui_bench >/dev/null
build/linux/tools/gui_bench "${1:-20}"
