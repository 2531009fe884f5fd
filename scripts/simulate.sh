#!/usr/bin/env bash
# Simulates a tablet's life from seeds: each seed plays a random day of events (rotations,
# sleeps, logons, console switches, module removals, driver faults, service and GUI restarts,
# setting changes) on a fresh simulated tablet with the service and the GUI, and checks the
# system's invariants all along. Prints each failure (its seed, the events up to it and the
# command that replays it with the programs' debug output), then the seeds run, the seeds per
# second and the failures. Exits non-zero when a seed failed.
# Usage: scripts/simulate.sh [SEEDS|A-B] [simulate options]   (default 1000 seeds: 1-1000)
# JOBS=N runs N seeds at a time (default 3).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${JOBS:-3}
if [[ ! -f build/linux/build.ninja ]]; then
  cmake -S . -B build/linux -G Ninja >/dev/null
fi
cmake --build build/linux -j "$jobs" --target simulate >/dev/null
seeds=${1:-1000}
shift || true
exec build/linux/tools/simulate --seeds "$seeds" -j "$jobs" --quiet "$@"
