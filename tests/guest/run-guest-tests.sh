#!/usr/bin/env bash
# Runs the guest-kernel tests: boots Debian's own kernel in QEMU (pure
# emulation, no KVM) with an initramfs made now from this machine's files
# (busybox, kmod, udevd and its rules, the project's udev rule, the test binary
# and the libraries it loads) and runs the test binary there, where units are
# USB HID gadgets on dummy_hcd that the guest's USB stack enumerates as real
# devices.
#
#   run-guest-tests.sh BUILD_DIR
#
# BUILD_DIR holds tests/mv_guest_tests; the kernel is downloaded once into
# BUILD_DIR/guest/kernel and kept there. Prints the guest's console, then
# "guest tests: N passed, M failed"; exits non-zero when a check failed, none
# ran, or the guest did not power off within MV_GUEST_TIMEOUT seconds (600).
# MV_GUEST_FILTER, when set, is the guest binary's --gtest_filter.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=$(cd "${1:?usage: run-guest-tests.sh BUILD_DIR}" && pwd)
binary=$build/tests/mv_guest_tests
timeout_seconds=${MV_GUEST_TIMEOUT:-600}
work=$build/guest
modules=(configfs hid hid-generic uhid usbhid libcomposite usb_f_hid dummy_hcd)

[ -x "$binary" ] || { echo "no $binary"; exit 1; }
mkdir -p "$work/kernel"

#==============================================================================
# The kernel: the image package that linux-image-amd64 stands for, reduced to
# the uncompressed kernel and the modules the guest loads.
image_package()
{
    apt-cache depends linux-image-amd64 2> /dev/null | awk '/Depends: linux-image-[0-9]/ { print $2; exit }'
}

package=$(image_package)
if [ -z "$package" ]; then
    # A machine whose package lists were cleaned: fetch them as install-deps.sh does.
    sudo_cmd=()
    [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get update -qq
    package=$(image_package)
fi
[ -n "$package" ] || { echo "apt-cache does not know linux-image-amd64"; exit 1; }
kernel=$work/kernel/$package

if [ ! -f "$kernel/vmlinux" ]; then
    echo "== guest: fetching $package"
    # Only the current kernel is kept.
    rm -rf "$work/kernel"
    mkdir -p "$work/kernel"
    mkdir -p "$work/kernel/extract"
    (cd "$work/kernel/extract" && apt-get download "$package" 2> >(grep -v "unsandboxed" >&2)) || exit 1
    dpkg-deb -x "$work/kernel/extract"/*.deb "$work/kernel/extract/root"
    version=$(ls "$work/kernel/extract/root/lib/modules")

    # vmlinuz is a decompressor with the compressed kernel appended; the
    # kernel proper starts at the first compression magic that unpacks.
    vmlinuz=$work/kernel/extract/root/boot/vmlinuz-$version
    for offset in $(LC_ALL=C grep -obUaP '\xfd7zXZ\x00' "$vmlinuz" | cut -d: -f1); do
        tail -c +"$((offset + 1))" "$vmlinuz" | xz -dcq > "$work/kernel/extract/vmlinux" 2> /dev/null || true
        [ -s "$work/kernel/extract/vmlinux" ] && break
    done
    [ -s "$work/kernel/extract/vmlinux" ] || { echo "no xz-compressed kernel in $vmlinuz"; exit 1; }

    /usr/sbin/depmod -b "$work/kernel/extract/root" "$version"
    mkdir -p "$kernel/lib/modules/$version"
    for path in $(/usr/sbin/modprobe -d "$work/kernel/extract/root" -S "$version" --show-depends -a "${modules[@]}" \
                  | awk '$1 == "insmod" { print $2 }' | sort -u); do
        relative=${path#"$work/kernel/extract/root"}
        mkdir -p "$kernel/$(dirname "$relative")"
        cp "$path" "$kernel/$relative"
    done
    cp "$work/kernel/extract/root/lib/modules/$version"/modules.{order,builtin,builtin.modinfo} "$kernel/lib/modules/$version/"
    /usr/sbin/depmod -b "$kernel" "$version"
    mv "$work/kernel/extract/vmlinux" "$kernel/vmlinux"
    rm -rf "$work/kernel/extract"
fi

#==============================================================================
# The initramfs, from this machine's files.
stage=$work/initramfs
rm -rf "$stage"
mkdir -p "$stage"/{bin,sbin,usr/bin,usr/sbin,usr/lib/systemd,etc/udev/rules.d,proc,sys,dev,run,tmp,lib,lib64}

copy_with_libraries() # file, destination
{
    local file=$1 destination=$2 library
    mkdir -p "$stage/$(dirname "$destination")"
    cp -L "$file" "$stage/$destination"
    for library in $(ldd "$file" | grep -oE '/[^ ]+'); do
        [ -e "$stage/$library" ] || { mkdir -p "$stage/$(dirname "$library")"; cp -L "$library" "$stage/$library"; }
    done
}

cp /usr/bin/busybox "$stage/bin/busybox"
copy_with_libraries /usr/bin/kmod usr/bin/kmod
for tool in modprobe insmod depmod lsmod; do ln -s /usr/bin/kmod "$stage/usr/sbin/$tool"; done
copy_with_libraries "$(readlink -f /usr/bin/udevadm)" usr/bin/udevadm
ln -s /usr/bin/udevadm "$stage/usr/lib/systemd/systemd-udevd"
mkdir -p "$stage/usr/lib/udev"
(cd /usr/lib/udev && find . -path ./hwdb.d -prune -o ! -name hwdb.bin -print | cpio -pdm --quiet "$stage/usr/lib/udev")
cp /etc/passwd /etc/group "$stage/etc/"
cp "$root"/packaging/linux/*.rules "$stage/etc/udev/rules.d/"
cp -r "$kernel/lib/modules" "$stage/lib/modules"
copy_with_libraries "$binary" usr/bin/mv_guest_tests
objcopy --strip-debug "$stage/usr/bin/mv_guest_tests" 2> /dev/null || true
cp "$root/tests/guest/init" "$stage/init"
(cd "$stage" && find . | cpio -o -H newc --quiet) > "$work/initramfs.cpio"

#==============================================================================
# The run: the guest reports on the serial console and powers itself off.
# The kernel hands parameters it does not know to /init as environment.
append="console=ttyS0 quiet loglevel=3 panic=-1 rdinit=/init"
[ -z "${MV_GUEST_FILTER:-}" ] || append+=" GTEST_FILTER=$MV_GUEST_FILTER"

echo "== guest: booting $package under QEMU (TCG)"
log=$work/console.log
start=$(date +%s%N)
set +e
timeout --foreground "$timeout_seconds" qemu-system-x86_64 \
    -accel tcg -cpu max -smp 2 -m 1024 \
    -kernel "$kernel/vmlinux" -initrd "$work/initramfs.cpio" \
    -append "$append" \
    -nographic -no-reboot -nodefaults -serial stdio < /dev/null 2>&1 | tee "$log"
qemu_status=${PIPESTATUS[0]}
set -e
elapsed_ms=$((($(date +%s%N) - start) / 1000000))

passed=$(grep -cE '^\[       OK \] ' "$log" || true)
failed=$(grep -cE '^\[  FAILED  \] [A-Za-z0-9_]+\.[A-Za-z0-9_]+ \(' "$log" || true)
status=0

if [ "$qemu_status" -eq 124 ]; then
    echo "guest: no power-off within ${timeout_seconds}s"
    failed=$((failed + 1)); status=1
elif ! grep -q "mv-guest: exit status 0" "$log"; then
    status=1
    [ "$failed" -gt 0 ] || failed=1
fi

[ "$passed" -gt 0 ] || status=1
printf 'guest tests: %d passed, %d failed (QEMU ran %d.%01d s)\n' "$passed" "$failed" $((elapsed_ms / 1000)) $((elapsed_ms % 1000 / 100))
exit $status
