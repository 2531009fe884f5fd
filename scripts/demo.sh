#!/usr/bin/env bash
# The main job: installs what is missing, builds the Linux configuration and runs the
# tablet on a fresh simulated machine: the service RVQXSVC installed with its own program and
# started, the GUI RVQXCTRL started in the user's session, the display turned into the
# RF-stop posture and back. At each step the host prints the driver's posture event, the
# GUI's decision (its messages), the control code the service handled, the request that
# reached the maker's HCI driver, the dialog shown and what the service saved.
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

step "The display: the RF-stop posture read over HCI is 0x1000, that is DMDO_270"
$winsim display show

step "The GUI's settings: its polling after a resume, the wait for the module's removal, the radio watcher"
for v in ResumePollingInterval:1000 ResumePollingMaxTime:2000 ResumeRecoveryWaitTime:2000 \
         WaitTimeRemoveComplete:20000 EnableRFRefresh:1; do
  $winsim reg set 'HKLM\SOFTWARE\Quarven\Veltrane' "${v%%:*}" REG_DWORD "${v#*:}" >/dev/null
done

step "Service and GUI on the tablet, the display turned into the RF-stop posture and back"
cat <<'NOTE'
   [drv] the driver's posture event
   [msg] the GUI frame's messages: 0x9000 driver event, 0x9001 decision
         (wParam 0x9002 RF on, 0x9003 RF off), 0x9005 notices, 0x9006 service ready
   [svc] the control code the service handled   [hci] the request the HCI driver got
   [dlg] the GUI's RF-stopped dialog shown or hidden   [reg] what the service saved
NOTE
$winsim host --virtual <<'EOF'
service start RVQXSVC          # the SCM runs its image path in session 0
echo -- the GUI in the user's session: the limitation notice; it waits for the service, then decides (RF on)
start --session 1 "C:\Program Files\Quarven\Veltrane\RVQXCTRL.exe"
wait 2000
echo -- the display turned to DMDO_270, the RF-stop posture: RF off, the dialog shown
display rotate 3
wait 1000
echo -- turned back to DMDO_DEFAULT: RF on, the dialog hidden
display rotate 0
wait 1000
echo -- the module comes up with its radio off though the switch is on: RF off, then a new decision
hci set status 0x2001
radio off
radio up
wait 2000
radio on
wait 4000
echo -- a suspend: RF off, the module ejected (171), the GUI waits for its removal
power suspend
wait 12000
echo -- the resume: the posture polled again and the module re-added (181)
power resume
wait 3000
echo -- a logoff (RF off, saved)
session logoff 1
hci
EOF

step "What the service saved"
$winsim reg query 'HKLM\SOFTWARE\Quarven\Veltrane' SaveStatus

step "Every request the HCI driver received"
$winsim hci log

step "The setup program: an encrypted sample script on a simulated tablet"
scripts/setup-demo.sh
