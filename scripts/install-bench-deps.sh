#!/usr/bin/env bash
# Installs what bench/glass/glass_to_glass.sh and bench/wall/wall_cpu.sh need on Debian 12,
# from Debian's archive. Safe to run again: apt-get skips what is already installed.
set -euo pipefail

packages=(
    xvfb xauth          # the X screen the players and the client draw on
    x11-apps            # xwd: screenshots of the whole screen
    x11-utils           # xwininfo: where a window is
    libgl1-mesa-dri libegl1 libgl1   # Mesa llvmpipe for the client's and mpv's OpenGL
    mpv                 # the reference player
    ffmpeg              # ffplay
    python3             # the clock reader and the CPU sampler
    procps              # ps, pgrep for the process trees
)

sudo=()
if [ "$(id -u)" -ne 0 ]; then
    sudo=(sudo)
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    echo "install-bench-deps: everything is installed"
    exit 0
fi

echo "install-bench-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update
"${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
