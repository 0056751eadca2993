#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need; quiet and idempotent.
set -euo pipefail
pkgs=(
  build-essential cmake pkg-config
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  qt6-base-dev libqt6opengl6-dev qt6-charts-dev libgl-dev libgl1-mesa-dri
  libfreetype-dev libpng-dev libjpeg-dev zlib1g-dev libsqlite3-dev
  libsdl2-mixer-dev
  xvfb xauth x11-utils imagemagick xdotool
  fonts-liberation2
  appstream desktop-file-utils
  clang-14 libclang-rt-14-dev
  iproute2 iptables
)
missing=()
for p in "${pkgs[@]}"; do
  # No pipe into grep -q: under pipefail an early exit of grep can fail the pipeline.
  [ "$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)" = "install ok installed" ] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
