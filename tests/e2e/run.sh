#!/usr/bin/env bash
# The kernel filter's end-to-end suite: boots Debian's kernel (the release of
# the headers the filter is built against) under qemu without KVM, in a guest
# of its own made here as an initramfs: busybox, the kernel's HID, uhid,
# evdev and uinput modules, the filter built against the matching headers,
# the cases' program (guest/nuvexa-e2e-probe.c, static), the report
# descriptors of tests/fixtures/hid, the agent and nuvexactl with their
# libraries, and systemd-udevd. The guest prints one line per case; this
# script repeats them, ends with "N passed, N failed" and exits non-zero on
# any failure, or when the guest gives no result.
#
#   tests/e2e/run.sh [BUILD_DIR [PROGRAM_TREE]]
#
# BUILD_DIR (default build/e2e) holds the fetched kernel, the module's build
# and the guest. NUVEXA_VENDOR_ID (default 0xFEED) is the vendor identifier
# the filter is built for and the guest's devices carry; the programs must
# have been configured with the same. PROGRAM_TREE (default build/default) is a build tree whose
# bin/ holds nuvexa-agent and nuvexactl and whose share/nuvexa the scripts;
# they run in the guest as installed under /opt/nuvexa. NUVEXA_E2E_TIMEOUT bounds the boot (seconds, default 240).
set -euo pipefail

# A step that fails before the guest runs still ends with the closing line.
trap 'echo "0 passed, 1 failed"' ERR

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build_dir=$(realpath -m "${1:-$root/build/e2e}")
mkdir -p "$build_dir"

programs=$(realpath -m "${2:-$root/build/default}")
for program in bin/nuvexa-agent bin/nuvexactl share/nuvexa/SafariForward.scpt; do
  if [ ! -e "$programs/$program" ]; then
    echo "No $programs/$program: build the agent and nuvexactl first (cmake --build --preset default)" >&2
    false
  fi
done

setup=$("$here/setup.sh" "$build_dir/cache")
read -r release headers image_root udev_root <<<"$(tail -n 1 <<<"$setup")"

NUVEXA_KERNEL_HEADERS=$headers "$root/tools/build-kernel-module.sh" "$build_dir/kbuild" >"$build_dir/kbuild.log" 2>&1 \
  || { cat "$build_dir/kbuild.log" >&2; false; }

guest="$build_dir/guest"
rm -rf "$guest"
mkdir -p "$guest"/{bin,sbin,proc,sys,dev,tmp,run,root,fixtures}
cp /bin/busybox "$guest/bin/busybox"
cp "$here/guest/init" "$guest/init"
cp "$here/guest/e2e-hotplug" "$guest/sbin/e2e-hotplug"
gcc -static -O2 -Wall -Wextra -Werror -pthread -o "$guest/sbin/nuvexa-e2e-probe" "$here/guest/nuvexa-e2e-probe.c"
cp "$root"/tests/fixtures/hid/*.hex "$guest/fixtures/"

modules="lib/modules/$release"
for module in drivers/hid/hid.ko drivers/hid/uhid.ko drivers/hid/hid-generic.ko \
              drivers/input/evdev.ko drivers/input/misc/uinput.ko; do
  mkdir -p "$guest/$modules/kernel/$(dirname "$module")"
  cp "$image_root/$modules/kernel/$module" "$guest/$modules/kernel/$module"
done
cp "$image_root/$modules"/modules.{order,builtin,builtin.modinfo} "$guest/$modules/"
mkdir -p "$guest/$modules/extra"
cp "$build_dir/kbuild/nuvexa.ko" "$guest/$modules/extra/"
depmod -b "$guest" "$release"

# The project's programs as installed under /opt/nuvexa, systemd-udevd, and
# every shared library they load, at the host's paths.
mkdir -p "$guest/opt/nuvexa/bin" "$guest/opt/nuvexa/share" "$guest/usr/bin" "$guest/usr/lib/systemd"
cp "$programs/bin/nuvexa-agent" "$programs/bin/nuvexactl" "$guest/opt/nuvexa/bin/"
cp -r "$programs/share/nuvexa" "$guest/opt/nuvexa/share/"
cp "$udev_root/bin/udevadm" "$guest/usr/bin/udevadm"
ln -s /usr/bin/udevadm "$guest/usr/lib/systemd/systemd-udevd"
for binary in "$guest/opt/nuvexa/bin/nuvexa-agent" "$guest/opt/nuvexa/bin/nuvexactl" "$guest/usr/bin/udevadm"; do
  if ldd "$binary" | grep -q 'not found'; then
    ldd "$binary" >&2
    false
  fi
  ldd "$binary" | grep -oE '/[^ ]+' | while read -r library; do
    mkdir -p "$guest$(dirname "$library")"
    cp -L "$library" "$guest$library"
  done
done

(cd "$guest" && find . | cpio -o -H newc --quiet) >"$build_dir/initramfs.cpio"

trap - ERR
log="$build_dir/console.log"
started=$(date +%s)
status=0
timeout "${NUVEXA_E2E_TIMEOUT:-240}" qemu-system-x86_64 -accel tcg -m 512 -smp 1 \
  -nodefaults -no-reboot -display none -serial stdio \
  -kernel "$image_root/boot/vmlinuz-$release" -initrd "$build_dir/initramfs.cpio" \
  -append "console=ttyS0 quiet loglevel=3 panic=-1 rdinit=/init NUVEXA_VENDOR_ID=${NUVEXA_VENDOR_ID:-0xFEED}" \
  </dev/null >"$log" 2>&1 || status=$?
echo "Guest ran $(( $(date +%s) - started )) s (qemu status $status); console in $log"

tr -d '\r' <"$log" | grep -E '^(ok|not ok|#) |^e2e guest|^  ' || true
result=$(tr -d '\r' <"$log" | grep -E '^e2e result: [0-9]+ passed, [0-9]+ failed$' | tail -n 1 || true)
passed=$(tr -d '\r' <"$log" | grep -cE '^ok ' || true)
failed=$(tr -d '\r' <"$log" | grep -cE '^not ok ' || true)
if [ -z "$result" ]; then
  echo "The guest gave no result" >&2
  failed=$((failed + 1))
fi
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
