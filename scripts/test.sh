#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test twice: in a
# normal build and under AddressSanitizer and UndefinedBehaviorSanitizer.
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
