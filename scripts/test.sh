#!/usr/bin/env bash
# Installs what is missing, builds the Linux and both Windows configurations, and runs every
# test: the Linux tests, then winsim's conformance tests built for x64 Windows under Wine.
# Exits non-zero when any build or test fails.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
scripts/build.sh all
ctest --test-dir build/linux --output-on-failure -j "$(nproc 2>/dev/null || echo 4)" --timeout 300
scripts/check-windows-build.sh
scripts/conformance.sh
