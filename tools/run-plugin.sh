#!/usr/bin/env bash
# Builds the plug-in in Release, installs the VST3 and LV2 bundles into the
# user's plug-in folders (~/.vst3, ~/.lv2) and the udev rule that lets a desktop
# user open the unit, then starts the Standalone.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/tools/install-deps.sh"

export CCACHE_SLOPPINESS=time_macros
cmake -S "$root" -B "$root/build-release" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMV_BUILD_TESTS=OFF
cmake --build "$root/build-release" -j "$(nproc)" --target MvQCompressor_VST3 MvQCompressor_LV2 MvQCompressor_Standalone

artefacts="$root/build-release/MvQCompressor_artefacts/Release"
mkdir -p "$HOME/.vst3" "$HOME/.lv2"
rm -rf "$HOME/.vst3/MV QCompressor.vst3" "$HOME/.lv2/MV QCompressor.lv2"
cp -r "$artefacts/VST3/MV QCompressor.vst3" "$HOME/.vst3/"
cp -r "$artefacts/LV2/MV QCompressor.lv2" "$HOME/.lv2/"
echo "Installed into $HOME/.vst3 and $HOME/.lv2"

rule="$root/packaging/linux/99-mv-qcompressor.rules"
if [ -f "$rule" ] && [ ! -f /etc/udev/rules.d/99-mv-qcompressor.rules ]; then
    sudo_cmd=()
    [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
    if "${sudo_cmd[@]}" cp "$rule" /etc/udev/rules.d/ 2>/dev/null; then
        "${sudo_cmd[@]}" udevadm control --reload-rules 2>/dev/null || true
        "${sudo_cmd[@]}" udevadm trigger 2>/dev/null || true
    fi
fi

standalone="$artefacts/Standalone/MV QCompressor"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    exec "$standalone"
else
    echo "No display: starting the Standalone on a virtual display (xvfb-run)."
    exec xvfb-run -a "$standalone"
fi
