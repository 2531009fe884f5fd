#!/usr/bin/env bash
# The setup program on a simulated tablet: encrypts the sample script beside Setup, then
# runs it on a Japanese Windows 7 and on an English Windows 10 (reported as 8.1 through the
# program's manifest), answering its question with no and yes, and prints the exit codes
# and the boxes shown. BUILD names the Linux build folder (default build/linux).
set -euo pipefail
cd "$(dirname "$0")/.."

build=${BUILD:-build/linux}
export WINSIM_MACHINE=${SETUP_DEMO_MACHINE:-$PWD/build/setup-demo-machine}
export WINSIM_CLOCK=virtual
winsim=$build/winsim/tool/winsim
setup=$build/setup/engine/Setup
folder='C:\Program Files\Quarven\Setup'
step() { printf '\n== %s\n' "$*"; }
log=$(mktemp)
trap 'rm -f "$log"' EXIT
run() {
  local code
  set +e
  WINSIM_DEBUG_OUTPUT=1 "$setup" "$@" 2>"$log"
  code=$?
  set -e
  grep -v 'IS_WOW64' "$log" | sed '/^$/d' || true
  echo "exit code: $code"
}

rm -rf "$WINSIM_MACHINE"
step "A fresh simulated tablet with the setup program's debug log on"
$winsim create --profile tablet >/dev/null
$winsim reg set 'HKLM\SOFTWARE\Quarven\OrvashTool' DebugMode REG_DWORD 1 >/dev/null
$winsim reg set 'HKLM\SOFTWARE\Quarven\OrvashTool' DebugLevel REG_DWORD 1 >/dev/null

step "Encrypt the sample script: Setup.ini -> Setup.dat; the dialog library beside it"
printf 'WINSIM-MODULE:Pavrix.dll\n' >"$log"
$winsim put "$log" "$folder\\Pavrix.dll"
$winsim put setup/engine/sample/Setup.ini "$folder\\Setup.ini"
run /encrypt

step "Japanese Windows 7 in Japan; the question answered with no (7)"
$winsim os version 6.1 >/dev/null
$winsim os uilang 0411 >/dev/null
$winsim os geo 122 >/dev/null
$winsim msgbox answer no >/dev/null
run

step "English Windows 10 outside Japan; the question answered with yes (6)"
$winsim os version 10.0 >/dev/null
$winsim os uilang 0409 >/dev/null
$winsim os geo 244 >/dev/null
$winsim msgbox answer yes >/dev/null
run

step "Japanese UI outside Japan: the nation check fails, shows its box and ends its section"
$winsim os uilang 0411 >/dev/null
$winsim msgbox answer ok no >/dev/null
run

step "The message boxes shown"
$winsim msgbox list
