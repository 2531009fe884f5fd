#!/usr/bin/env bash
# Pictures of the real dialogs: runs the x64 RVQXCTRL.exe under Wine on an Xvfb display, in a
# Wine desktop that draws the windows' frames and captions, with
# DLGDEBUG = 1 (both dialogs at set-up), once in English and once in Japanese (LANGID), with
# the sample texts (gui/sample/RVQXCTRL.ini) and PNG pictures beside it, and saves each
# dialog as a PNG: docs/notice-en.png, docs/rfstopped-en.png, docs/notice-ja.png,
# docs/rfstopped-ja.png.
# Usage: scripts/screenshots.sh [--check]
#   --check  saves them under build/screenshots instead and checks only that both dialogs
#            appeared in each language (found by their title), not their pixels
set -euo pipefail
cd "$(dirname "$0")/.."

if [[ -z ${DISPLAY:-} ]]; then
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi

out=docs
if [[ ${1:-} == --check ]]; then out=build/screenshots; fi
mkdir -p "$out"
im=convert-im6.q16
for tool in xwd $im iconv; do
  command -v "$tool" >/dev/null || { echo "$tool is missing (scripts/install-deps.sh installs it)" >&2; exit 1; }
done

jobs=${JOBS:-$(nproc 2>/dev/null || echo 4)}
if [[ ! -f build/win64/build.ninja ]]; then
  cmake -S . -B build/win64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x64.cmake -DCMAKE_BUILD_TYPE=Release
fi
cmake --build build/win64 -j "$jobs" --target RVQXCTRL wine_probe
gui_exe=$(find build/win64/gui -name RVQXCTRL.exe | head -1)
probe=$PWD/build/win64/tests/wine_probe.exe

. scripts/wine-prefix.sh
wine_fresh_prefix "$PWD/build/wineprefix-shots"
# Every window in one Wine desktop of the screen's size, which Wine draws itself with the
# windows' frames and captions (X has no window manager here to draw them).
wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f </dev/null >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f </dev/null >/dev/null 2>&1
# The caption buttons' symbols come from Wine's Marlett font.
cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
work=$PWD/build/screenshots-run
rm -rf "$work"
mkdir -p "$work"
cp "$gui_exe" "$work/RVQXCTRL.exe"
{ printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE gui/sample/RVQXCTRL.ini; } >"$work/RVQXCTRL.ini"
# The pictures beside the program: the resources' drawings at 7/10 of their size (the notice
# draws them 1.6 times as large), the X ones crossed out in red.
for p in PLAND PPORT SLAND SPORT; do
  $im "gui/res/$p.bmp" -resize 70% "$work/$p.png"
  read -r w h <<<"$($im "$work/$p.png" -format '%w %h' info:)"
  $im "$work/$p.png" -stroke red -strokewidth 3 -draw "line 4,4 $((w - 5)),$((h - 5))" \
    -draw "line $((w - 5)),4 4,$((h - 5))" "$work/${p}X.png"
done

cases=0
passed=0
for lang in en:1033 ja:1041; do
  name=${lang%%:*}
  langid=${lang##*:}
  for v in DLGDEBUG:1 LANGID:$langid; do
    wine reg add 'HKLM\SOFTWARE\Quarven\Veltrane' /v "${v%%:*}" /t REG_DWORD /d "${v##*:}" /f </dev/null >/dev/null 2>&1
  done
  (cd "$work" && LANG=$([[ $name == ja ]] && echo ja_JP.UTF-8 || echo en_US.UTF-8) exec wine RVQXCTRL.exe \
    </dev/null >/dev/null 2>&1) &
  cases=$((cases + 1))
  # The smaller dialog (the RF-stopped one) comes first.
  if rects=$(wine "$probe" dialogs RVQXCTRL 2 </dev/null 2>/dev/null | tr -d '\r') && [[ $(wc -l <<<"$rects") == 2 ]]; then
    sleep 2  # their painting
    xwd -root -silent >"$work/screen-$name.xwd"
    i=0
    for dlg in rfstopped notice; do
      i=$((i + 1))
      read -r x y w h <<<"$(sed -n "${i}p" <<<"$rects")"
      $im "xwd:$work/screen-$name.xwd" -crop "${w}x${h}+${x}+${y}" +repage "$out/$dlg-$name.png"
    done
    passed=$((passed + 1))
    echo "ok    RVQXCTRL ($name, LANGID $langid): both dialogs shown, saved as $out/notice-$name.png and $out/rfstopped-$name.png"
  else
    echo "FAIL  RVQXCTRL ($name, LANGID $langid): the two dialogs titled RVQXCTRL did not appear"
  fi
  wineserver -k >/dev/null 2>&1 || true
  wait || true
done

echo "screenshots: $passed passed, $((cases - passed)) failed"
[[ $passed == "$cases" ]]
