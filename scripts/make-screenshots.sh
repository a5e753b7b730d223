#!/usr/bin/env bash
# Makes the README's screenshots from the demo with the spectrum viewer's own drawing: power
# spectra beside the noise models, an H/V ratio, two stations in one chart, the per-window H/V
# statistics, and the viewer window itself (drawn on a virtual X display).
set -euo pipefail
cd "$(dirname "$0")/.."
# TARVIK_CLI names a tarvik-cli already built with the GUI; otherwise one is built here.
cli=${TARVIK_CLI:-}
if [ -z "$cli" ]; then
  scripts/install-deps.sh
  build=${BUILD_DIR:-build}
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
  cmake --build "$build" -j "$(nproc)" --target tarvik-cli
  cli="$build/tarvik-cli"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$cli" demo "$work" -q >/dev/null
# The same project computing power spectra instead of amplitude spectra.
sed 's/^SpectrumType=0/SpectrumType=1/' "$work/demo.tvp" >"$work/power.tvp"
"$cli" run "$work/power.tvp" --spectra --yes >/dev/null 2>&1

out=docs/screenshots
mkdir -p "$out"
primary="$work/results/Spectra/Primary"
power="$primary/power_TVK01_240514-000000.dat"
"$cli" plot "$power" --power --noise-models -o "$out/power_spectra.png"
"$cli" plot "$work/results/Spectra/Nakamura/nak_prim_TVK02_240514-000000.dat" --hv \
  -o "$out/hv_ratio.png"
"$cli" plot "$primary/prim_TVK01_240514-000000.dat" "$primary/prim_TVK02_240514-000000.dat" \
  -o "$out/two_stations.png"
xvfb-run -a -s "-screen 0 1280x800x24" env QT_QPA_PLATFORM=xcb \
  "$cli" plot "$power" --power --noise-models --window --width 1100 --height 680 \
  -o "$out/viewer_window.png"
# The per-window H/V statistics of the first station, as a chart and in the viewer window.
"$cli" hvsr "$work/demo.tvp" >/dev/null 2>&1
hvsr="$work/results/Spectra/HVSR/TVK01_240514-000000.hv"
"$cli" plot "$hvsr" --width 1100 --height 650 -o "$out/hvsr_chart.png"
xvfb-run -a -s "-screen 0 1600x900x24" env QT_QPA_PLATFORM=xcb \
  "$cli" plot "$hvsr" --window --width 1400 --height 760 -o "$out/hvsr_window.png"
