#!/usr/bin/env bash
# Installs the Debian 12 packages the project needs, skipping those already present.
# Usage: scripts/install-deps.sh [--linux-only]
set -euo pipefail

packages=(cmake ninja-build g++ clang libclang-rt-14-dev pkg-config libsqlite3-dev libssl-dev libpng-dev libgtest-dev libgmock-dev libbenchmark-dev)
if [[ "${1:-}" != "--linux-only" ]]; then
  # POSIX-thread mingw-w64 compilers only: the metapackage would switch the default to the
  # win32 thread model, which lacks std::thread.
  packages+=(g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix)
  # Wine runs the x64 build of winsim's conformance tests (scripts/conformance.sh) and the
  # x64 programs (scripts/wine-run.sh, the GUI on Xvfb's display).
  packages+=(wine wine64 xvfb)
  # Pictures of the GUI's dialogs under Wine (scripts/screenshots.sh): the screen's dump,
  # its cropping, a font with the Japanese texts, and Wine's own fonts (the caption
  # buttons' symbols).
  packages+=(x11-apps imagemagick fonts-wqy-microhei fonts-wine)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]} == 0)); then
  exit 0
fi

echo "installing: ${missing[*]}"
SUDO=""
if [[ $(id -u) -ne 0 ]]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
if ! $SUDO apt-get install -y --no-install-recommends "${missing[@]}"; then
  $SUDO apt-get update
  $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
