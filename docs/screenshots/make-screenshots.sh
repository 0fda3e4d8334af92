#!/usr/bin/env bash
# Takes the README's screenshots of the settings application from the build
# (build/default/bin/nuvexa-settings) under Xvfb at scale factors 1 and 2:
# the main view with no devices and with two devices (one selected), the
# editor once per action kind and for the presenter, and the update check's
# offer and download progress. A stand-in agent answers the device list and
# a stand-in update service the check (the program is copied beside an
# information file that names it); each scene has its own runtime,
# configuration and home folder.
# Needs xvfb-run, xdotool and imagemagick. Writes docs/screenshots/*.png.
set -euo pipefail
cd "$(dirname "$0")"
here="$PWD"
app="$here/../../build/default/bin/nuvexa-settings"
[ -x "$app" ] || { echo "build nuvexa-settings first (cmake --build --preset default)" >&2; exit 1; }

mapping() {  # device_type presentation_type launch_type launch_arg
  printf '<devices>\n  <device device_type="%s" vid="65261" pid="1002" presentation_type="%s">\n' "$1" "$2"
  printf '    <event id="4" launch_type="%s" launch_arg="%s"/>\n' "$3" "$4"
  printf '    <event id="5" launch_type="default" launch_arg=""/>\n  </device>\n</devices>\n'
}

# scene name, scale, device types, then the mapping.xml text (may be empty)
scene() {
  local name=$1 scale=$2 types=$3 xml=$4
  local root; root=$(mktemp -d)
  mkdir -m 700 "$root/runtime" && mkdir -p "$root/config/Nuvexa"
  [ -n "$xml" ] && printf '%s' "$xml" > "$root/config/Nuvexa/mapping.xml"
  XDG_RUNTIME_DIR="$root/runtime" XDG_CONFIG_HOME="$root/config" SCALE="$scale" NAME="$name" TYPES="$types" \
    APP="$app" OUT="$here" xvfb-run -a -s "-screen 0 1800x1400x24" bash -c '
      set -euo pipefail
      if [ -n "$TYPES" ]; then python3 "$OUT/stand-in-agent.py" $TYPES & agent=$!; sleep 0.5; fi
      QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=$SCALE "$APP" 2>/dev/null & app=$!
      main=$(xdotool search --sync --name "^Nuvexa Device Controller$" | head -1)
      sleep 1.5
      eval "$(xdotool getwindowgeometry --shell "$main")"
      window=$main
      case $NAME in
        main-two) xdotool mousemove --window "$main" $((WIDTH / 2 - 40 * SCALE)) $((HEIGHT / 2)) click 1 ;;
        editor-*) xdotool mousemove --window "$main" $((WIDTH / 2)) $((HEIGHT / 2)) click --repeat 2 1
                  window=$(xdotool search --sync --name " Buttons$" | head -1) ;;
      esac
      sleep 1
      import -window "$window" "$OUT/$NAME@${SCALE}x.raw.png"
      kill $app; [ -z "${agent:-}" ] || kill $agent
    '
  convert "$name@${scale}x.raw.png" -strip -colors 255 "PNG8:$name@${scale}x.png"
  rm -f "$name@${scale}x.raw.png"
  rm -rf "$root"
}

# scene name (update-offer or update-progress), scale
update_scene() {
  local name=$1 scale=$2
  local root; root=$(mktemp -d)
  mkdir -m 700 "$root/runtime" && mkdir -p "$root/config" "$root/home/Desktop" "$root/prefix/bin" "$root/prefix/share/nuvexa"
  cp "$app" "$root/prefix/bin/"
  printf 'CFBundleVersion=1.0\nNuvexaVersion=100\nNuvexaAutoUpdateUrl=http://127.0.0.1:47831/update\n' \
    > "$root/prefix/share/nuvexa/settings.info"
  XDG_RUNTIME_DIR="$root/runtime" XDG_CONFIG_HOME="$root/config" HOME="$root/home" SCALE="$scale" NAME="$name" \
    APP="$root/prefix/bin/nuvexa-settings" OUT="$here" xvfb-run -a -s "-screen 0 1800x1400x24" bash -c '
      set -euo pipefail
      python3 "$OUT/stand-in-update-service.py" 47831 & service=$!; sleep 0.5
      QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=$SCALE "$APP" 2>/dev/null & app=$!
      trap "kill $app $service 2>/dev/null" EXIT
      window=$(xdotool search --sync --onlyvisible --name "^Nuvexa Device Controller$" | head -1)
      sleep 1
      if [ "$NAME" = update-progress ]; then
        xdotool windowfocus --sync "$window" key alt+y
        dialog=$(xdotool search --sync --onlyvisible --name "^Save the Update" | head -1)
        sleep 1; xdotool windowfocus --sync "$dialog" key Return
        window=$(xdotool search --sync --onlyvisible --name "^Downloading Update" | head -1)
        sleep 1.5
      fi
      import -window "$window" "$OUT/$NAME@${SCALE}x.raw.png"
    '
  convert "$name@${scale}x.raw.png" -strip -colors 255 "PNG8:$name@${scale}x.png"
  rm -f "$name@${scale}x.raw.png"
  rm -rf "$root"
}

if [ "${1:-}" = update ]; then  # the update scenes alone
  for scale in 1 2; do update_scene update-offer $scale; update_scene update-progress $scale; done
  exit 0
fi

for scale in 1 2; do
  scene main-empty $scale "" ""
  scene main-two $scale "1 2" ""
  scene editor-default $scale "1" "$(mapping btmouse 0 default "")"
  scene editor-script $scale "1" "$(mapping btmouse 0 applescript /home/me/Scripts/Back.scpt)"
  scene editor-application $scale "1" "$(mapping btmouse 0 exec /usr/share/applications/vim.desktop)"
  scene editor-keystrokes $scale "1" "$(mapping btmouse 0 keystroke "59|56|0|56|59")"
  scene editor-predefined $scale "1" "$(mapping btmouse 0 predefinedkeys 12)"
  scene editor-presenter $scale "2" "$(mapping presenter 1 default "")"
  update_scene update-offer $scale
  update_scene update-progress $scale
done
