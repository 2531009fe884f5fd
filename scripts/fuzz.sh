#!/usr/bin/env bash
# Builds the fuzz targets of tests/fuzz with clang, libFuzzer, ASan and UBSan (build/fuzz)
# and runs each for SECONDS (default 600), as many at a time as there are cores, from its
# checked-in seed corpus.
# Prints per target the inputs run and the crashes found (their inputs stay in
# build/fuzz/findings/<target>/: each becomes a regression test); exits non-zero on a crash.
# Usage: scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-600}
jobs=$(nproc 2>/dev/null || echo 4)
if [[ ! -f build/fuzz/build.ninja ]]; then
  CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DVQ_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build build/fuzz -j "$jobs" --target vq_fuzz

targets=$(cd tests/fuzz && ls -- *_fuzz.cpp | sed 's/\.cpp$//')
out=build/fuzz/findings
rm -rf "$out"
run_one() {
  local t=$1 dir=$out/$1
  mkdir -p "$dir/corpus"
  cp tests/fuzz/corpus/"$t"/* "$dir/corpus/" 2>/dev/null || true
  (cd "$dir" && ../../tests/fuzz/"$t" -max_total_time="$seconds" -timeout=60 \
    -rss_limit_mb=4096 -print_final_stats=1 corpus >log.txt 2>&1) || true
}
export -f run_one
export out seconds
printf '%s\n' $targets | xargs -P "$jobs" -I{} bash -c 'run_one {}'

status=0
printf '%-20s %12s %8s\n' target executions crashes
for t in $targets; do
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$out/$t/log.txt" | tail -1)
  crashes=$(find "$out/$t" -maxdepth 1 \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' -o -name 'oom-*' \) | wc -l)
  printf '%-20s %12s %8s\n' "$t" "${execs:-?}" "$crashes"
  if [[ -z $execs || $crashes != 0 ]]; then
    status=1
    tail -30 "$out/$t/log.txt"
  fi
done
exit $status
