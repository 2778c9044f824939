#!/usr/bin/env bash
# Regenerates the README picture, doc/tester-window.png: builds the
# screenshot program and runs it offscreen against the system's PCRE.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build}
"$top/scripts/install-deps.sh"
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j"$(nproc)" --target make_screenshot
QT_QPA_PLATFORM=offscreen "$build/doc/screenshot/make_screenshot" "$top/doc/tester-window.png"
echo "wrote $top/doc/tester-window.png"
