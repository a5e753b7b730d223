#!/usr/bin/env bash
# Builds Tarvik and runs its demonstration end to end: a synthetic two-station data set (hourly
# miniSEED files of ground velocity through a 1 Hz geophone), a project naming the responses and
# levels, primary spectra and H/V ratios, and each station's H/V peak beside the true one. Then
# the demo project is opened in the desktop application when there is a display to show it on.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

build=${BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
targets=(tarvik-cli)
# The desktop application (and its user guide, Tarvik.pdf beside it) where Qt is installed.
if grep -q '^BUILD_GUI:BOOL=ON' "$build/CMakeCache.txt"; then
  targets+=(tarvik)
fi
cmake --build "$build" -j "$(nproc)" --target "${targets[@]}"

rm -rf "$build/demo"
"$build"/tarvik-cli demo "$build/demo"
echo "The demo project, its recordings and results are in $build/demo."

if [ ! -x "$build/tarvik" ]; then
  echo "The desktop application was not built (Qt 6 and QCustomPlot are needed)."
elif [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "Opening the demo project in the window: $build/tarvik $build/demo/demo.tvp"
  "$build"/tarvik "$build/demo/demo.tvp"
else
  echo "No display here. To open the demo project in the window, run on a desktop:"
  echo "    $build/tarvik $build/demo/demo.tvp"
fi
