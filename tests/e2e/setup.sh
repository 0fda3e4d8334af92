#!/usr/bin/env bash
# Prepares the end-to-end suite's host side: installs what it lacks with
# apt-get, and fetches with apt-get download (never installing them) into
# CACHE_DIR Debian's kernel image of the release of the filter's headers (the
# newest /usr/src/linux-headers-*-amd64, or NUVEXA_KERNEL_HEADERS) and udev.
# Its last line: the release, the headers, the unpacked image and udev.
#   tests/e2e/setup.sh CACHE_DIR
set -euo pipefail

cache_dir=$(realpath -m "$1")
run_root=()
[ "$(id -u)" -eq 0 ] || run_root=(sudo)
export DEBIAN_FRONTEND=noninteractive
updated=false
update_once() {
  $updated || "${run_root[@]}" apt-get update -qq >&2
  updated=true
}
install_missing() {
  [ "$(dpkg-query -W -f='${Status}\n' "$@" 2>/dev/null | grep -c 'install ok installed')" -lt $# ] || return 0
  echo "Installing what the end-to-end suite needs: $*" >&2
  update_once
  "${run_root[@]}" apt-get install -y -qq --no-install-recommends "$@" >/dev/null
}
install_missing qemu-system-x86 busybox-static cpio kmod gcc libc6-dev make

newest_headers() { find /usr/src -maxdepth 2 -path '/usr/src/linux-headers-*-amd64/Makefile' -printf '%h\n' | sort -V | tail -n 1; }
headers=${NUVEXA_KERNEL_HEADERS:-$(newest_headers)}
[ -n "$headers" ] || { install_missing linux-headers-amd64; headers=$(newest_headers); }
release=${headers##*/linux-headers-}
[ -n "$release" ] && [ "$release" != "$headers" ] || { echo "No kernel release in '$headers'" >&2; exit 1; }

# Unpacks PACKAGE (name=version, or a name) into DIR/root, once a VERSION; FILE must be in it.
fetch_package() {
  local dir=$1 package=$2 version=$3 file=$4 deb
  [ ! -f "$dir/.unpacked-$version" ] || return 0
  rm -rf "$dir" && mkdir -p "$dir"
  update_once
  echo "Fetching $package" >&2
  (cd "$dir" && apt-get download -qq "$package" 2>&1 | grep -v '^W: Download is performed unsandboxed' >&2 || true)
  deb=$(find "$dir" -maxdepth 1 -name '*.deb' | head -n 1)
  [ -n "$deb" ] || { echo "apt-get download $package gave no package" >&2; exit 1; }
  dpkg-deb -x "$deb" "$dir/root" && rm -f "$deb" && touch "$dir/.unpacked-$version"
  [ -e "$dir/root/$file" ] || { echo "No $file in $dir" >&2; exit 1; }
}

# The image of the headers' Debian version: the module's version magic and
# symbol versions must match the kernel that loads it.
version=$(dpkg-query -W -f='${Version}' "linux-headers-$release" 2>/dev/null || true)
image_dir="$cache_dir/linux-image-$release"
fetch_package "$image_dir" "linux-image-$release${version:+=$version}" "$version" "boot/vmlinuz-$release"

# systemd-udevd, whose sd-device monitor the agent hears devices from: the
# udev package of the host's systemd version (its libraries are the host's).
udev_version=$(dpkg-query -W -f='${Version}' systemd 2>/dev/null || true)
udev_dir="$cache_dir/udev"
fetch_package "$udev_dir" "udev${udev_version:+=$udev_version}" "$udev_version" bin/udevadm
echo "$release $headers $image_dir/root $udev_dir/root"
