#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Orvane need.
# Idempotent: only missing packages are installed. Needs root (or sudo).
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config git ccache
  qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev libqt6openglwidgets6
  qt6-multimedia-dev qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools qt6-svg-dev
  libgl-dev libegl-dev
  libavcodec-dev libavformat-dev libavutil-dev libswresample-dev libswscale-dev
  libqrencode-dev libasio-dev libssl-dev
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev libgstrtspserver-1.0-dev
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-bad
  gstreamer1.0-tools gstreamer1.0-libav
  qt6-httpserver-dev qt6-websockets-dev libqt6sql6-sqlite libqt6sql6-psql postgresql
  fonts-texgyre fonts-wqy-microhei
  xvfb xauth libgl1-mesa-dri libegl1 x11-utils
  pulseaudio pulseaudio-utils
  ffmpeg zbar-tools openssl
  dpkg-dev file lintian desktop-file-utils appstream systemd
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all packages present"
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
