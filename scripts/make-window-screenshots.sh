#!/usr/bin/env bash
# Makes the pictures of the desktop application shown by the README and the user guide: every
# page of the main window, the viewer and the preview opened from it, on the demo project, drawn
# on a virtual X display with the desktop's own fonts and style.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
build=${BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_GUI=ON -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target tarvik-cli take_screenshots

# A fixed folder, so that the paths the pictures show do not change from one run to the next.
work=/tmp/tarvik-demo
rm -rf "$work"
trap 'rm -rf "$work"' EXIT
"$build"/tarvik-cli demo "$work" -q >/dev/null
xvfb-run -a -s "-screen 0 1600x1000x24" env QT_QPA_PLATFORM=xcb \
  "$build"/tools/take_screenshots "$work/demo.tvp" docs/screenshots 800x600 1600x1000
# The viewer on the noise statistics of the record the tool computed them for.
"$build"/tarvik-cli psd-stats "$work/demo.tvp" --channel .TVK01..HHZ -o "$work/stats.json" \
  --force >/dev/null
xvfb-run -a -s "-screen 0 1600x1000x24" env QT_QPA_PLATFORM=xcb \
  "$build"/tarvik-cli plot "$work/stats.json" --window -o docs/screenshots/viewer_noise_statistics.png \
  --width 1000 --height 640 >/dev/null
