#!/usr/bin/env bash
# Installs every Debian 12 package that building, running and testing Cantavo need, and only
# those that are missing. Run as root, or as a user who may use sudo.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config git
    qt6-base-dev qt6-base-dev-tools libgl-dev
    libasound2-dev
    googletest libgtest-dev libgmock-dev libbenchmark-dev
    clang libclang-rt-14-dev clang-format
    fonts-ipafont-gothic
    xvfb xauth xdotool
    python3 python3-mido
    libmpg123-dev libmp3lame-dev libavformat-dev libavcodec-dev libswresample-dev libavutil-dev
    lame mpg123 ffmpeg sox
    qt6-svg-dev
    dpkg-dev lintian appstream desktop-file-utils
    libfluidsynth-dev timgm6mb-soundfont
)

missing=()
for package in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    if [[ "$status" != "install ok installed" ]]; then
        missing+=("$package")
    fi
done

if ((${#missing[@]} == 0)); then
    echo "setup: all ${#packages[@]} packages are installed"
    exit 0
fi

sudo=()
if [[ $(id -u) -ne 0 ]]; then
    sudo=(sudo)
fi
echo "setup: installing ${missing[*]}"
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
    "${missing[@]}"
