#!/usr/bin/env bash
# Prepares what the end-to-end suite needs on the host, and prints on its
# last line the kernel release, the headers' folder, the unpacked kernel
# package and the unpacked udev package:
#   - the packages (qemu-system-x86, busybox-static, cpio, kmod, a C
#     compiler and static C library), installed with apt-get when missing;
#   - the Debian kernel image whose release matches the kernel headers the
#     filter is built against (the newest /usr/src/linux-headers-*-amd64, or
#     NUVEXA_KERNEL_HEADERS), fetched with `apt-get download` and unpacked
#     into CACHE_DIR, never installed on the host;
#   - systemd-udevd for the guest, from Debian's udev package, fetched and
#     unpacked the same way.
#
#   tests/e2e/setup.sh CACHE_DIR
set -euo pipefail

cache_dir=$(realpath -m "$1")

run_root=()
[ "$(id -u)" -eq 0 ] || run_root=(sudo)
export DEBIAN_FRONTEND=noninteractive
updated=false
install_missing() {
  local missing=()
  local package
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' \
      || missing+=("$package")
  done
  [ ${#missing[@]} -gt 0 ] || return 0
  echo "Installing what the end-to-end suite needs: ${missing[*]}" >&2
  if ! $updated; then
    "${run_root[@]}" apt-get update -qq >&2
    updated=true
  fi
  "${run_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}
install_missing qemu-system-x86 busybox-static cpio kmod gcc libc6-dev make

newest_headers() {
  find /usr/src -maxdepth 1 -type d -name 'linux-headers-*-amd64' 2>/dev/null \
    | while read -r dir; do [ -f "$dir/Makefile" ] && echo "$dir"; done \
    | sort -V | tail -n 1
}
headers=${NUVEXA_KERNEL_HEADERS:-$(newest_headers)}
if [ -z "$headers" ]; then
  install_missing linux-headers-amd64
  headers=$(newest_headers)
fi
release=${headers##*/linux-headers-}
if [ -z "$release" ] || [ "$release" = "$headers" ]; then
  echo "Cannot tell the kernel release of the headers in '$headers'" >&2
  exit 1
fi

# Fetches PACKAGE (name=version, or a name) with apt-get download and
# unpacks it into DIR/root, once for each version: DIR/.unpacked-VERSION
# marks a finished unpacking.
fetch_package() {
  local dir=$1 package=$2 version=$3
  [ ! -f "$dir/.unpacked-$version" ] || return 0
  rm -rf "$dir"
  mkdir -p "$dir"
  if ! $updated; then
    "${run_root[@]}" apt-get update -qq >&2
    updated=true
  fi
  echo "Fetching $package" >&2
  (cd "$dir" && apt-get download -qq "$package" 2>&1 | grep -v '^W: Download is performed unsandboxed' >&2 || true)
  local deb
  deb=$(find "$dir" -maxdepth 1 -name '*.deb' | head -n 1)
  if [ -z "$deb" ]; then
    echo "apt-get download $package gave no package" >&2
    exit 1
  fi
  dpkg-deb -x "$deb" "$dir/root"
  rm -f "$deb"
  touch "$dir/.unpacked-$version"
}

# The image package of the same Debian version as the headers: the module's
# version magic and symbol versions must match the kernel that loads it.
version=$(dpkg-query -W -f='${Version}' "linux-headers-$release" 2>/dev/null || true)
image_dir="$cache_dir/linux-image-$release"
fetch_package "$image_dir" "linux-image-$release${version:+=$version}" "$version"
[ -f "$image_dir/root/boot/vmlinuz-$release" ] || { echo "No kernel in $image_dir" >&2; exit 1; }

# systemd-udevd for the guest, whose sd-device monitor hears of devices only
# from it: Debian's udev package of the host's systemd version, unpacked
# beside the kernel (its libraries are the host's).
udev_version=$(dpkg-query -W -f='${Version}' systemd 2>/dev/null || true)
udev_dir="$cache_dir/udev"
fetch_package "$udev_dir" "udev${udev_version:+=$udev_version}" "$udev_version"
[ -x "$udev_dir/root/bin/udevadm" ] || { echo "No udevadm in $udev_dir" >&2; exit 1; }
echo "$release $headers $image_dir/root $udev_dir/root"
