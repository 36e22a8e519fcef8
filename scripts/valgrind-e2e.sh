#!/usr/bin/env bash
# Runs the end-to-end tests under valgrind (memcheck), the program processes
# they start included, in an optimised build without sanitizers:
#   scripts/valgrind-e2e.sh [build folder]      (default build/release)
# Fails when valgrind reports an error in any process or a test fails.
# scripts/run-tests.sh (and so CI) runs it after the release build's tests;
# the tests go in one shard per core (RDZ_JOBS, default 2).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}

if [ ! -x "$build/tests/e2e/test_e2e" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DRDZ_WERROR=ON
fi
cmake --build "$build" -j "${RDZ_JOBS:-2}" --target test_e2e rodadazerivo_cli

logs=$(mktemp -d /tmp/rdz-valgrind.XXXXXX)
echo "valgrind logs: $logs"
# The tests are split into one shard per core (GoogleTest's sharding), run
# side by side: valgrind runs a process on one core at a time.
shards=${RDZ_JOBS:-2}
pids=()
for shard in $(seq 0 $((shards - 1))); do
  GTEST_TOTAL_SHARDS=$shards GTEST_SHARD_INDEX=$shard \
    valgrind --quiet --trace-children=yes --error-exitcode=99 --leak-check=full \
    --errors-for-leak-kinds=definite --show-leak-kinds=definite \
    --log-file="$logs/%p.log" \
    "$build/tests/e2e/test_e2e" --gtest_brief=1 >"$logs/shard$shard.out" 2>&1 &
  pids+=($!)
done
status=0
for shard in $(seq 0 $((shards - 1))); do
  wait "${pids[$shard]}" || status=$?
  cat "$logs/shard$shard.out"
done

# Every process writes its own log; a quiet run leaves them empty.
reports=0
for log in "$logs"/*.log; do
  if [ -s "$log" ]; then
    echo "== $log"
    cat "$log"
    reports=$((reports + 1))
  fi
done
if [ "$status" -ne 0 ] || [ "$reports" -ne 0 ]; then
  echo "valgrind-e2e: FAILED (test status $status, $reports process(es) with reports)"
  exit 1
fi
echo "valgrind-e2e: no errors"
