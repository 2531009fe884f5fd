#!/usr/bin/env bash
# Runs the x64 Windows programs under Wine, a second implementation of Windows:
# - Setup.exe: /encrypt then /decrypt gives the script back byte for byte (ANSI, UTF-16LE,
#   empty, large); the scripts of tests/setup/engine/scripts/cases.txt run to the exit
#   codes the Linux tests expect of them on winsim;
# - RVQXSVC.exe: -InstallService, start through the Service Control Manager, control codes
#   128 and 129, stop, -UninstallService;
# - RVQXCTRL.exe: starts without the maker's driver, keeps its hidden frame "RVQXCTRL" and
#   ends when the frame is sent WM_CLOSE.
# Prints one line a check and a summary; exits non-zero when a check fails.
set -euo pipefail
cd "$(dirname "$0")/.."

# The GUI needs a display.
if [[ -z ${DISPLAY:-} ]]; then
  exec xvfb-run -a "$0" "$@"
fi

jobs=$(nproc 2>/dev/null || echo 4)
if [[ ! -f build/win64/build.ninja ]]; then
  cmake -S . -B build/win64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x64.cmake -DCMAKE_BUILD_TYPE=Release
fi
cmake --build build/win64 -j "$jobs" --target Setup RVQXSVC RVQXCTRL wine_probe
bin=$PWD/build/win64
setup_exe=$(find "$bin/setup" -name Setup.exe | head -1)
svc_exe=$(find "$bin/service" -name RVQXSVC.exe | head -1)
gui_exe=$(find "$bin/gui" -name RVQXCTRL.exe | head -1)
probe=$bin/tests/wine_probe.exe

. scripts/wine-prefix.sh
wine_fresh_prefix "$PWD/build/wineprefix-run"
work=$PWD/build/wine-run
rm -rf "$work"
mkdir -p "$work"

cases=0
passed=0
check() { # NAME OK(0|1) [DETAIL]
  cases=$((cases + 1))
  if [[ $2 == 0 ]]; then
    passed=$((passed + 1))
    echo "ok    $1"
  else
    echo "FAIL  $1 ${3:-}"
  fi
}

# Setup, each case in a folder of its own.
setup_dir() {
  local d=$work/$1
  rm -rf "$d"
  mkdir -p "$d"
  cp "$setup_exe" "$d/Setup.exe"
  echo "$d"
}

round_trip() { # NAME FILE
  local d
  d=$(setup_dir "crypt-$1")
  cp "$2" "$d/Setup.ini"
  (cd "$d" && wine Setup.exe /encrypt </dev/null >/dev/null 2>&1) || true
  mv "$d/Setup.ini" "$d/original.ini"
  if [[ -f $d/Setup.dat ]]; then
    (cd "$d" && wine Setup.exe /decrypt </dev/null >/dev/null 2>&1) || true
  fi
  if [[ -f $d/Setup.ini ]] && cmp -s "$d/original.ini" "$d/Setup.ini"; then
    check "Setup /encrypt, /decrypt: $1 ($(stat -c %s "$2") bytes)" 0
  else
    check "Setup /encrypt, /decrypt: $1" 1 "(the script did not come back byte for byte)"
  fi
}

sample=setup/engine/sample/Setup.ini
cp "$sample" "$work/ansi.ini"
{ printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE "$sample"; } >"$work/utf16.ini"
: >"$work/empty.ini"
for ((i = 0; i < 20000; ++i)); do printf 'KEY%d=value of line %d\r\n' "$i" "$i"; done >"$work/large.ini"
for c in ansi utf16 empty large; do round_trip "$c" "$work/$c.ini"; done

scripts_dir=tests/setup/engine/scripts
while IFS='|' read -r script args code; do
  script=$(echo "$script" | xargs)
  [[ -z $script || $script == \#* ]] && continue
  args=$(echo "$args" | xargs)
  code=$(echo "$code" | xargs)
  name=$(basename "$script" .ini)
  d=$(setup_dir "script-$name")
  cp "$scripts_dir/$script" "$d/Setup.ini"
  (cd "$d" && wine Setup.exe /encrypt </dev/null >/dev/null 2>&1) || true
  rm -f "$d/Setup.ini"
  got=0
  start=$(date +%s.%N)
  # shellcheck disable=SC2086
  (cd "$d" && timeout 60 wine Setup.exe $args </dev/null >/dev/null 2>&1) || got=$?
  secs=$(echo "$(date +%s.%N) - $start" | bc)
  if [[ $got == "$code" ]]; then
    check "Setup $script $args: exit code $got (${secs%??????} s)" 0
  else
    check "Setup $script $args: exit code $got, winsim gives $code" 1
  fi
done <"$scripts_dir/cases.txt"

# The service.
wine_svc() { wine "$@" </dev/null 2>/dev/null | tr -d '\r'; }
cp "$svc_exe" "$work/RVQXSVC.exe"
(cd "$work" && wine RVQXSVC.exe -InstallService </dev/null >/dev/null 2>&1) && rc=0 || rc=$?
check "RVQXSVC -InstallService: exit code $rc" "$([[ $rc == 0 ]] && echo 0 || echo 1)"
for step in "start RVQXSVC" "control RVQXSVC 128" "control RVQXSVC 129" "stop RVQXSVC"; do
  # shellcheck disable=SC2086
  out=$(wine_svc "$probe" $step) && rc=0 || rc=$?
  check "RVQXSVC $step: ${out//$'\n'/; }" "$rc"
done
(cd "$work" && wine RVQXSVC.exe -UninstallService </dev/null >/dev/null 2>&1) && rc=0 || rc=$?
out=$(wine_svc "$probe" state RVQXSVC) && gone=1 || gone=0
check "RVQXSVC -UninstallService: exit code $rc, service gone" "$([[ $rc == 0 && $gone == 0 ]] && echo 0 || echo 1)"

# The GUI.
cp "$gui_exe" "$work/RVQXCTRL.exe"
(cd "$work" && exec wine RVQXCTRL.exe </dev/null >/dev/null 2>&1) &
gui_pid=$!
out=$(wine_svc "$probe" close RVQXCTRL) && rc=0 || rc=$?
ended=1
for ((i = 0; i < 100; ++i)); do
  if ! kill -0 "$gui_pid" 2>/dev/null; then ended=0; break; fi
  sleep 0.1
done
check "RVQXCTRL: ${out//$'\n'/; }" "$([[ $rc == 0 && $ended == 0 ]] && echo 0 || echo 1)"
if [[ $ended != 0 ]]; then kill "$gui_pid" 2>/dev/null || true; fi

echo "wine: $passed of $cases checks passed"
[[ $passed == "$cases" ]]
