#!/usr/bin/env bash
# Installs what is missing, then builds three times and runs the tests:
#   build/release  warnings as errors, optimised, benchmarks built; the
#                  end-to-end tests once more under valgrind, the program
#                  processes they start included
#   build/asan     AddressSanitizer + UndefinedBehaviorSanitizer
#   build/tsan     ThreadSanitizer: the threaded and concurrency tests (the
#                  suites that hold them), the program on a TIFF at several
#                  thread counts, and the PDF tests (images are decoded and
#                  compressed beside the conversion); about 5
#                  minutes on 2 cores, skipped with RDZ_TSAN=0
set -euo pipefail
cd "$(dirname "$0")/.."

RDZ_FORCE_APT=1 bash scripts/install-deps.sh

jobs=${RDZ_JOBS:-2}

cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DRDZ_WERROR=ON
cmake --build build/release -j "$jobs"
ctest --test-dir build/release --output-on-failure -j "$jobs"
bash scripts/valgrind-e2e.sh build/release

cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DRDZ_WERROR=ON -DRDZ_SANITIZE=ON \
      -DRDZ_BUILD_BENCH=OFF
cmake --build build/asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build/asan --output-on-failure -j "$jobs"

if [ "${RDZ_TSAN:-1}" = 1 ]; then
  cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRDZ_WERROR=ON \
        -DRDZ_SANITIZE=thread -DRDZ_BUILD_BENCH=OFF
  cmake --build build/tsan -j "$jobs" --target test_converter test_strategy test_profile \
        test_devicelink test_cms test_engine test_formats_pdf test_e2e rodadazerivo_cli \
        rdz_example_cmsdb
  TSAN_OPTIONS=halt_on_error=1 \
    ctest --test-dir build/tsan --output-on-failure -j "$jobs" \
    -R 'Threaded|WorkerPool|Concurren|PdfRead|PdfConversion|AnyNumberOfThreads'
fi
