#!/usr/bin/env bash
# The end-to-end suite: boots Debian's kernel (the release of the headers the
# filter is built against) under qemu without KVM, in an initramfs guest made
# here, that runs the case files of tests/fixtures/e2e with the probe of
# guest/. Repeats the guest's lines, ends with "N passed, N failed" and fails
# on any failure or no result. BUILD_DIR (default build/e2e) holds the
# kernel, the module's build and the guest; PROGRAM_TREE (default
# build/default) gives the agent, nuvexactl and share/nuvexa. NUVEXA_VENDOR_ID
# (default 0xFEED) must be the programs'; NUVEXA_E2E_TIMEOUT bounds the boot.
#   tests/e2e/run.sh [BUILD_DIR [PROGRAM_TREE]]
set -euo pipefail
trap 'echo "0 passed, 1 failed"' ERR  # a failed set-up step ends with the closing line too

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build_dir=$(realpath -m "${1:-$root/build/e2e}")
programs=$(realpath -m "${2:-$root/build/default}")
for program in bin/nuvexa-agent bin/nuvexactl share/nuvexa/SafariForward.scpt; do
  [ -e "$programs/$program" ] || { echo "No $programs/$program: build the agent and nuvexactl first" >&2; false; }
done

mkdir -p "$build_dir"
setup=$("$here/setup.sh" "$build_dir/cache")
read -r release headers image_root udev_root <<<"$(tail -n 1 <<<"$setup")"
NUVEXA_KERNEL_HEADERS=$headers "$root/tools/build-kernel-module.sh" "$build_dir/kbuild" >"$build_dir/kbuild.log" 2>&1 \
  || { cat "$build_dir/kbuild.log" >&2; false; }

guest="$build_dir/guest"
rm -rf "$guest"
mkdir -p "$guest"/{bin,sbin,proc,sys,dev,tmp,run,root,fixtures,usr/bin,usr/lib/systemd,opt/nuvexa/bin,opt/nuvexa/share}
cp /bin/busybox "$guest/bin/busybox"
cp "$here/guest/init" "$guest/init"
cp "$here/guest/e2e-hotplug" "$guest/sbin/e2e-hotplug"
gcc -static -O2 -Wall -Wextra -Werror -pthread -o "$guest/sbin/nuvexa-e2e-probe" "$here"/guest/*.c
cp -r "$root/tests/fixtures/hid" "$root/tests/fixtures/e2e" "$guest/fixtures/"

modules="lib/modules/$release"
for module in drivers/hid/hid.ko drivers/hid/uhid.ko drivers/hid/hid-generic.ko \
              drivers/input/evdev.ko drivers/input/misc/uinput.ko; do
  install -D -m 0644 "$image_root/$modules/kernel/$module" "$guest/$modules/kernel/$module"
done
cp "$image_root/$modules"/modules.{order,builtin,builtin.modinfo} "$guest/$modules/"
install -D -m 0644 "$build_dir/kbuild/nuvexa.ko" "$guest/$modules/extra/nuvexa.ko"
depmod -b "$guest" "$release"

# The programs as installed, systemd-udevd, and every library they load at the host's paths.
cp "$programs/bin/nuvexa-agent" "$programs/bin/nuvexactl" "$guest/opt/nuvexa/bin/"
cp -r "$programs/share/nuvexa" "$guest/opt/nuvexa/share/"
cp "$udev_root/bin/udevadm" "$guest/usr/bin/udevadm"
ln -s /usr/bin/udevadm "$guest/usr/lib/systemd/systemd-udevd"
for binary in "$guest/opt/nuvexa/bin/nuvexa-agent" "$guest/opt/nuvexa/bin/nuvexactl" "$guest/usr/bin/udevadm"; do
  ldd "$binary" | grep -q 'not found' && { ldd "$binary" >&2; false; }
  ldd "$binary" | grep -oE '/[^ ]+' | while read -r library; do install -D "$library" "$guest$library"; done
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

lines=$(tr -d '\r' <"$log")
grep -E '^(ok|not ok|#) |^e2e guest|^  ' <<<"$lines" || true
passed=$(grep -cE '^ok ' <<<"$lines" || true)
failed=$(grep -cE '^not ok ' <<<"$lines" || true)
grep -qE '^e2e result: [0-9]+ passed, [0-9]+ failed$' <<<"$lines" || { echo "The guest gave no result" >&2; failed=$((failed + 1)); }
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
