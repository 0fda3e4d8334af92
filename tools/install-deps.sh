#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running the
# Nuvexa Device Controller need. Safe to run again: it does nothing when
# everything is already there. Runs apt-get as root, through sudo otherwise.
set -euo pipefail

packages=(
  # toolchain
  g++ cmake ninja-build pkg-config
  # fuzzing: clang with its libFuzzer and sanitizer runtimes
  clang-14 libclang-rt-14-dev
  # libraries
  libsystemd-dev libpugixml-dev libevdev-dev libxkbcommon-dev libxkbcommon-x11-dev
  # the settings application: Qt 6 Widgets and SVG pictures
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev libgl-dev qt6-qpa-plugins
  # tests and benchmarks
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  dbus-daemon python3 python3-dbus python3-dbusmock
  # screenshots of the settings application
  xvfb xauth imagemagick xdotool fonts-dejavu-core
  # key names in the user's layout (tests use the US and German layouts)
  xkb-data
  # run time: applications and files are opened through xdg-open, desktop
  # entries started through gio; the shipped scripts use busctl (MPRIS) and
  # pgrep (is LibreOffice running)
  xdg-utils libglib2.0-bin systemd procps
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

run_root=()
[ "$(id -u)" -eq 0 ] || run_root=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${run_root[@]}" apt-get update -qq
"${run_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
