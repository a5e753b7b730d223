#!/usr/bin/env bash
# Installs the Debian 12 packages Tarvik needs to build, test and benchmark.
# Run as root it uses apt-get directly; otherwise it asks sudo, and skips what is installed.
set -euo pipefail

packages=(
  build-essential cmake pkg-config clang clang-tidy locales
  libbz2-dev libcli11-dev nlohmann-json3-dev libpugixml-dev
  googletest libgtest-dev libbenchmark-dev
  libmseed-dev libfftw3-dev libhowardhinnant-date-dev
  python3 python3-numpy python3-scipy
  qt6-base-dev libqcustomplot-dev xvfb xauth
  qt6-translations-l10n
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
  apt_get=(apt-get)
else
  apt_get=(sudo apt-get)
fi
export DEBIAN_FRONTEND=noninteractive
"${apt_get[@]}" update -qq || true
"${apt_get[@]}" install -y -qq --no-install-recommends "${missing[@]}"
