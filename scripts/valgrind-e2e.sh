#!/usr/bin/env bash
# Runs the end-to-end tests under valgrind (memcheck), the program processes
# they start included, in an optimised build without sanitizers:
#   scripts/valgrind-e2e.sh [build folder]      (default build/release)
# Fails when valgrind reports an error in any process or a test fails.
# scripts/run-tests.sh (and so CI) runs it after the release build's tests;
# it takes about a minute and a half on two cores.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}

if [ ! -x "$build/tests/e2e/test_e2e" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DRDZ_WERROR=ON
fi
cmake --build "$build" -j "${RDZ_JOBS:-2}" --target test_e2e rodadazerivo_cli

logs=$(mktemp -d /tmp/rdz-valgrind.XXXXXX)
echo "valgrind logs: $logs"
status=0
valgrind --quiet --trace-children=yes --error-exitcode=99 --leak-check=full \
  --errors-for-leak-kinds=definite --show-leak-kinds=definite \
  --log-file="$logs/%p.log" \
  "$build/tests/e2e/test_e2e" --gtest_brief=1 || status=$?

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
