#!/usr/bin/env bash
# Installs what is missing, builds the tool and starts it.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-deps.sh"
cmake -S "$top" -B "$top/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$top/build" -j"$(nproc)" --target pcrechecker
exec "$top/build/app/pcrechecker"
