#!/usr/bin/env bash
# Builds Tarvik and runs its demonstration end to end: a synthetic two-station data set (hourly
# miniSEED files of ground velocity through a 1 Hz geophone), a project naming the responses and
# levels, primary spectra and H/V ratios, and each station's H/V peak beside the true one.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

build=${BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target tarvik-cli

rm -rf "$build/demo"
"$build"/tarvik-cli demo "$build/demo"
echo "The demo project, its recordings and results are in $build/demo."
