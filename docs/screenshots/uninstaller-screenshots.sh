#!/usr/bin/env bash
# Takes the README's screenshots of the uninstaller from the build
# (build/default/bin/nuvexa-uninstaller) under Xvfb at scale factors 1 and 2:
# running (held at the udev step) and done. Nothing on this machine is
# removed: a stand-in pkexec runs the real uninstall.sh of a DESTDIR staging
# install of the build, with the system's tools stood in for by programs that
# do nothing. Needs xvfb-run, xdotool and imagemagick. Writes
# docs/screenshots/uninstaller-*.png.
set -euo pipefail
cd "$(dirname "$0")"
here="$PWD"
build="$here/../../build/default"
[ -x "$build/bin/nuvexa-uninstaller" ] || { echo "build nuvexa-uninstaller first (cmake --build --preset default)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

scene() {  # name scale
  local name=$1 scale=$2
  local work="$work/$name@$scale"
  mkdir -p "$work/tools"
  DESTDIR="$work/root" cmake --install "$build" --prefix /usr >/dev/null
  for tool in systemctl loginctl modprobe dkms dpkg-query dpkg udevadm; do
    printf '#!/bin/sh\nsleep 0.05\n' >"$work/tools/$tool"
  done
  # The running scene is held at the udev step.
  [ "$name" = uninstaller-running ] && printf '#!/bin/sh\nsleep 8\n' >"$work/tools/udevadm"
  printf '#!/bin/sh\nexec env NUVEXA_UNINSTALL_ROOT="%s" sh "%s/root/usr/share/nuvexa/uninstall.sh"\n' \
    "$work/root" "$work" >"$work/tools/pkexec"
  chmod +x "$work/tools/"*
  # A scene's held script ends on its own a few seconds later, in its own folder.
  PATH="$work/tools:$PATH" SCALE="$scale" NAME="$name" APP="$build/bin/nuvexa-uninstaller" OUT="$here" \
    xvfb-run -a -s "-screen 0 1400x1000x24" bash -c '
      set -euo pipefail
      QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=$SCALE "$APP" 2>/dev/null & app=$!
      window=$(xdotool search --sync --name "^Nuvexa Uninstaller$" | head -1)
      sleep 1
      eval "$(xdotool getwindowgeometry --shell "$window")"
      # The action button sits in the bottom right corner.
      xdotool mousemove --window "$window" $((WIDTH - 50 * SCALE)) $((HEIGHT - 22 * SCALE)) click 1
      sleep 3
      xdotool mousemove 0 0
      sleep 0.5
      import -window "$window" "$OUT/$NAME@${SCALE}x.raw.png"
      kill $app
    '
  convert "$name@${scale}x.raw.png" -strip -colors 255 "PNG8:$name@${scale}x.png"
  rm -f "$name@${scale}x.raw.png"
}

for scale in 1 2; do
  scene uninstaller-running $scale
  scene uninstaller-done $scale
done
