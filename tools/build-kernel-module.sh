#!/usr/bin/env bash
# Builds the kernel filter (NuvexaEventDriver/) out of tree against Debian
# 12's kernel headers, warnings as errors. No running Debian kernel is needed:
# the headers alone are enough to compile and link the module.
#
#   tools/build-kernel-module.sh [BUILD_DIR]
#
# BUILD_DIR (default build/kernel-module) receives a copy of the module's
# sources and everything kbuild makes from them, so the source tree stays
# clean. The headers are those named by NUVEXA_KERNEL_HEADERS, else the
# newest /usr/src/linux-headers-*-amd64; when there are none, the script
# installs linux-headers-amd64, and make when it is missing (apt-get, through
# sudo when not root).
# NUVEXA_VENDOR_ID overrides the vendor identifier the module matches.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
source_dir="$root/NuvexaEventDriver"
build_dir=$(realpath -m "${1:-$root/build/kernel-module}")

# Never fails (under set -e and pipefail a failing part would end the script
# without a word): a folder without a Makefile, or no /usr/src, is no headers.
newest_headers() {
  { find /usr/src -maxdepth 1 -type d -name 'linux-headers-*-amd64' 2>/dev/null || true; } \
    | while read -r dir; do [ ! -f "$dir/Makefile" ] || echo "$dir"; done \
    | sort -V | tail -n 1
}

headers=${NUVEXA_KERNEL_HEADERS:-$(newest_headers)}
missing=()
[ -n "$headers" ] || missing+=(linux-headers-amd64)
command -v make >/dev/null || missing+=(make)
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing what the module's build needs: ${missing[*]}"
  run_root=()
  [ "$(id -u)" -eq 0 ] || run_root=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${run_root[@]}" apt-get update -qq
  "${run_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  headers=${NUVEXA_KERNEL_HEADERS:-$(newest_headers)}
fi
if [ -z "$headers" ] || [ ! -f "$headers/Makefile" ]; then
  echo "No kernel headers to build against (looked for /usr/src/linux-headers-*-amd64)" >&2
  exit 1
fi

# kbuild writes its objects beside the sources of an external module, so the
# module is built from a fresh copy. The folder is emptied first only when it
# is one this script made (it holds the marker) or is empty already.
marker="$build_dir/.nuvexa-kernel-module"
if [ -d "$build_dir" ] && [ ! -e "$marker" ] && [ -n "$(ls -A "$build_dir")" ]; then
  echo "$build_dir is not empty and was not made by this script; choose another build folder" >&2
  exit 1
fi
rm -rf "$build_dir"
mkdir -p "$build_dir"
touch "$marker"
cp "$source_dir"/Kbuild "$source_dir"/*.c "$source_dir"/*.h "$build_dir"/

make_args=(-C "$headers" M="$build_dir" KCFLAGS=-Werror W=1)
if [ -n "${NUVEXA_VENDOR_ID:-}" ]; then
  make_args+=(NUVEXA_VENDOR_ID="$NUVEXA_VENDOR_ID")
fi
echo "Building the kernel filter against $headers"
make "${make_args[@]}" modules

module="$build_dir/nuvexa.ko"
if [ ! -f "$module" ]; then
  echo "kbuild finished without $module" >&2
  exit 1
fi
echo "Built $module"

# The module's information, read from the module itself (modinfo may be
# absent): it must load for each product over USB (bus 0003) and Bluetooth
# (bus 0005), and carry its version.
modinfo_text=$(objcopy -O binary --only-section=.modinfo "$module" /dev/stdout | tr '\0' '\n')
echo "$modinfo_text"
vendor=$(printf '%04X' "$((${NUVEXA_VENDOR_ID:-0xFEED}))")
expected=(version=2.0.0b1)
for bus in 0003 0005; do
  for product in 1001 1002 2001; do
    expected+=("alias=hid:b${bus}g*v0000${vendor}p$(printf '%08X' "$product")")
  done
done
status=0
for line in "${expected[@]}"; do
  if ! grep -qxF "$line" <<<"$modinfo_text"; then
    echo "The module lacks: $line" >&2
    status=1
  fi
done
exit $status
