#!/usr/bin/env bash
# Installs the Debian 12 packages the build and the tests need, when missing.
# Runs apt-get as root, or through sudo.
set -euo pipefail

packages=(
    build-essential cmake ninja-build ccache pkg-config
    juce-modules-source
    libasound2-dev libfreetype-dev libfontconfig1-dev libx11-dev libxrandr-dev
    libxinerama-dev libxcursor-dev libxext-dev libgl-dev libpng-dev libjpeg-dev
    libudev-dev
    fonts-lato
    libgtest-dev libbenchmark-dev
    lilv-utils
    clang libclang-rt-14-dev
    xvfb xauth xdotool
    qemu-system-x86 busybox-static kmod udev cpio xz-utils
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

echo "Installing: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
    sudo_cmd=(sudo)
fi

"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
