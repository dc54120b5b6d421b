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

# The rule goes in under its own name; an older copy numbered 99 (too late for
# the seat's access step) is removed. Installed devices pick it up at once
# through the trigger; a unit plugged in later gets it anyway.
rule="$root/packaging/linux/70-mv-qcompressor.rules"
installed=/etc/udev/rules.d/70-mv-qcompressor.rules
old_rule=/etc/udev/rules.d/99-mv-qcompressor.rules
if [ -f "$rule" ] && { ! cmp -s "$rule" "$installed" || [ -f "$old_rule" ]; }; then
    sudo_cmd=()
    [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
    if "${sudo_cmd[@]}" cp "$rule" "$installed" 2>/dev/null; then
        "${sudo_cmd[@]}" rm -f "$old_rule" 2>/dev/null || true
        "${sudo_cmd[@]}" udevadm control --reload-rules 2>/dev/null || true
        "${sudo_cmd[@]}" udevadm trigger --subsystem-match=hidraw --action=change 2>/dev/null || true
    else
        echo "Could not install the udev rule; as root: cp $rule /etc/udev/rules.d/"
    fi
fi

standalone="$artefacts/Standalone/MV QCompressor"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    exec "$standalone"
else
    echo "No display: starting the Standalone on a virtual display (xvfb-run)."
    exec xvfb-run -a "$standalone"
fi
