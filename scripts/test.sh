#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test twice: in a
# normal build and under AddressSanitizer and UndefinedBehaviorSanitizer;
# last, the fuzz target runs for a bounded time on the kept corpus.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
"$top/scripts/install-deps.sh"

run_suite() {
  local dir=$1; shift
  cmake -S "$top" -B "$dir" "$@"
  cmake --build "$dir" -j"$jobs"
  ctest --test-dir "$dir" --output-on-failure -j"$jobs"
}

run_suite "$top/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
run_suite "$top/build-asan" -DCMAKE_BUILD_TYPE=Debug -DPCRECHECKER_SANITIZE=ON

# The fuzz target: clang, libFuzzer, both sanitizers, 60 seconds.
fuzz_dir="$top/build-fuzz"
CC=clang CXX=clang++ cmake -S "$top" -B "$fuzz_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DPCRECHECKER_SANITIZE=ON -DPCRECHECKER_FUZZ=ON
cmake --build "$fuzz_dir" -j"$jobs" --target fuzz_tester
"$top/tests/fuzz/run-fuzz.sh" "$fuzz_dir/tests/fuzz/fuzz_tester" "${FUZZ_SECONDS:-60}"
