#!/usr/bin/env bash
# The main job: installs what is missing, builds the Linux configuration, creates a fresh
# simulated tablet, installs the service RVQXSVC with its own program and drives it through
# the Service Control Manager as the GUI and the machine will: control codes 129 and 128, a
# suspend and resume, a logoff. At each step the host prints what reached the maker's HCI
# driver, what the service handled and what it saved in the registry.
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

step "Install the service with its own program: RVQXSVC -InstallService"
WINSIM_CLOCK=virtual build/linux/service/RVQXSVC -InstallService
$winsim reg query 'HKLM\SYSTEM\CurrentControlSet\Services\RVQXSVC'

step "The service's debug output on (DebugMode 1)"
$winsim reg set 'HKLM\SOFTWARE\Quarven\WirelessAPL\Sorbelt' DebugMode REG_DWORD 1

step "Start it through the Service Control Manager and drive it (the winsim host, at 10x speed)"
$winsim host --speed 10 <<'EOF'
service start RVQXSVC          # the SCM runs its image path in session 0
echo -- control 129, RF off, as the GUI sends it in the RF-stop posture
service control RVQXSVC 129
echo -- control 128, RF on, as the GUI sends it when the tablet is turned back
service control RVQXSVC 128
echo -- suspend and resume: the service marks RF off (not saved) and wakes its AT watchdog
power suspend
wait 2000
power resume
hci
echo -- after the resume the GUI asks for RF on again
service control RVQXSVC 128
echo -- a logoff: RF off, saved
session logoff 1
hci
service query RVQXSVC
EOF

step "What the service saved"
$winsim reg query 'HKLM\SOFTWARE\Quarven\Veltrane' SaveStatus

step "Every request the HCI driver received"
$winsim hci log

step "The setup program: an encrypted sample script on a simulated tablet"
scripts/setup-demo.sh
