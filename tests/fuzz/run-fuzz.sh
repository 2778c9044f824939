#!/usr/bin/env bash
# Runs the fuzz target for a bounded time on the kept corpus, with new
# inputs going to a scratch folder. Any crash fails the run; its input is
# left in the scratch folder to be kept as a regression case.
set -euo pipefail
fuzzer=$(realpath "$1")
seconds=${2:-60}
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d)
export QT_QPA_PLATFORM=offscreen
export LSAN_OPTIONS=suppressions=$here/../lsan-qt.supp:print_suppressions=0
cd "$scratch"
mkdir corpus
# Inputs that once crashed live in regressions/ (when there are any).
dirs=(corpus "$here/corpus")
[[ -d "$here/regressions" ]] && dirs+=("$here/regressions")
"$fuzzer" -max_total_time="$seconds" -max_len=4096 -timeout=20 -rss_limit_mb=4096 \
  -print_final_stats=1 "${dirs[@]}"
echo "fuzzing: no finding in ${seconds} s"
rm -rf "$scratch"
