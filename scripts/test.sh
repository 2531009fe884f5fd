#!/usr/bin/env bash
# Installs what is missing, builds the Linux and both Windows configurations, and runs every
# test: each alone under ctest, then each Linux test program shuffled and repeated, 300 seeds
# of the simulated tablet's life (scripts/simulate.sh), then
# winsim's conformance tests built for x64 Windows under Wine, then the x64 programs
# themselves under Wine (scripts/wine-run.sh) and the GUI's dialogs shown there in English
# and Japanese (scripts/screenshots.sh --check), every test again under ThreadSanitizer
# (scripts/tsan.sh) and each fuzz target for 30 seconds (scripts/fuzz.sh). Exits non-zero when any build
# or test fails.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
scripts/build.sh all
scripts/winsim-api-index.sh --check
ctest --test-dir build/linux --output-on-failure -j "$(nproc 2>/dev/null || echo 4)" --timeout 300
scripts/shuffle-tests.sh
# A fixed set of simulated days of a tablet (scripts/simulate.sh), run side by side.
JOBS="$(nproc 2>/dev/null || echo 4)" scripts/simulate.sh 1-300
scripts/check-windows-build.sh
scripts/conformance.sh
scripts/wine-run.sh
scripts/screenshots.sh --check
scripts/tsan.sh
scripts/fuzz.sh 30
