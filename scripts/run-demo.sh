#!/usr/bin/env bash
# Builds Tarvik and runs it end to end on the real-file corpus.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

build=${BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target tarvik-cli

"$build"/tarvik-cli info testdata/real/mseed/*.mseed testdata/real/gcf/*.gcf \
  testdata/real/reftek/225051000_00008656 || true
