#!/usr/bin/env bash
# The main job: installs what is missing, builds the Linux configuration, creates a fresh
# simulated tablet and runs the system on it, printing what the programs log and what
# reaches the maker's driver.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh --linux-only
scripts/build.sh linux >/dev/null

export WINSIM_MACHINE=$PWD/build/demo-machine
winsim=build/linux/winsim/tool/winsim
step() { printf '\n== %s\n' "$*"; }

rm -rf "$WINSIM_MACHINE"
step "A fresh simulated tablet"
$winsim create --profile tablet
$winsim hci show

step "The setup program's debug log on: DebugMode 1, DebugLevel 3 (debugger and log file)"
$winsim reg set 'HKLM\SOFTWARE\Quarven\OrvashTool' DebugMode REG_DWORD 1
$winsim reg set 'HKLM\SOFTWARE\Quarven\OrvashTool' DebugLevel REG_DWORD 3
$winsim reg query 'HKLM\SOFTWARE\Quarven\OrvashTool'

step "Module power off through HCI (debugger output below)"
WINSIM_DEBUG_OUTPUT=1 build/linux/tools/hcidemo off
$winsim hci show | grep -E 'power|rf '

step "Module power on"
WINSIM_DEBUG_OUTPUT=1 build/linux/tools/hcidemo on
$winsim hci show | grep -E 'power|rf '

step "The driver with the device missing: the request never reaches it"
$winsim hci set present off >/dev/null
WINSIM_DEBUG_OUTPUT=1 build/linux/tools/hcidemo on || true
$winsim hci set present on >/dev/null

step "What the driver received"
$winsim hci log

step "The log file beside the program (UTF-16LE)"
$winsim type 'C:\Program Files\Quarven\Tools\hcidemo.log'

step "The setup program: an encrypted sample script on a simulated tablet"
scripts/setup-demo.sh
