#!/usr/bin/env bash
# Runs every Linux test program once with its tests shuffled and repeated, so that a test that
# depends on the order of the tests or leaves state behind for the next run fails. The programs
# run in parallel, each under the same seed; a failure prints the seed that reproduces it.
# Usage: scripts/shuffle-tests.sh [-j JOBS] [SEED]   (SEED 1-99999; default: a random one)
set -euo pipefail
cd "$(dirname "$0")/.."

build=build/linux
jobs=$(nproc 2>/dev/null || echo 4)
seed=$((RANDOM % 99999 + 1))
while (($#)); do
  case $1 in
    -j) jobs=${2:-}; shift 2 || break ;;
    -j*) jobs=${1#-j}; shift ;;
    *) seed=$1; shift ;;
  esac
done
if ! [[ $jobs =~ ^[1-9][0-9]*$ ]]; then
  echo "shuffle-tests: -j needs a number of programs to run at a time, not '$jobs'" >&2
  exit 2
fi
if ! [[ $seed =~ ^[1-9][0-9]{0,4}$ ]]; then
  echo "shuffle-tests: the seed must be a number from 1 to 99999, not '$seed'" >&2
  exit 2
fi

# The test programs are those ctest runs through gtest filters.
mapfile -t programs < <(ctest --test-dir "$build" -N -V |
  sed -n 's/^[0-9]*: Test command: \(.*\) "--gtest_filter=.*/\1/p' | sort -u)
if ((${#programs[@]} == 0)); then
  echo "shuffle-tests: no test programs in $build (build it first: scripts/build.sh linux)" >&2
  exit 2
fi

logs=$build/shuffle
rm -rf "$logs"
mkdir -p "$logs"
args=(--gtest_shuffle --gtest_repeat=2 --gtest_random_seed="$seed" --gtest_brief=1)
echo "shuffle-tests: ${#programs[@]} programs, seed $seed, $jobs at a time"

run() {
  local program=$1 name
  name=$(basename "$program")
  local rc=0
  timeout 1200 "$program" "${args[@]}" >"$logs/$name.log" 2>&1 || rc=$?
  echo "$rc" >"$logs/$name.rc"
}

for program in "${programs[@]}"; do
  while (($(jobs -rp | wc -l) >= jobs)); do wait -n || true; done
  run "$program" &
done
wait

failed=0
for program in "${programs[@]}"; do
  name=$(basename "$program")
  rc=$(cat "$logs/$name.rc")
  if [[ $rc == 0 ]]; then
    echo "  ok    $name"
  else
    failed=1
    echo "  FAIL  $name (exit $rc$([[ $rc == 124 ]] && echo ', timed out'))"
    grep -E '^\[  FAILED  \]|Failure$|^(AddressSanitizer|UndefinedBehaviorSanitizer|==[0-9]+==ERROR)' \
      "$logs/$name.log" | head -40 | sed 's/^/        /' || true
    echo "        log: $logs/$name.log"
    echo "        again: $program ${args[*]}"
  fi
done
if ((failed)); then
  echo "shuffle-tests: FAILED with seed $seed (again: scripts/shuffle-tests.sh $seed)" >&2
  exit 1
fi
echo "shuffle-tests: passed with seed $seed"
