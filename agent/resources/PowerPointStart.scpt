#!/bin/sh
# Starts the slide show of the LibreOffice Impress presentation in front with
# F5 (key code 96), played by the agent's virtual keyboard through
# "nuvexactl keys", which hands the key-code list to the agent and returns
# without waiting for it. On X11 with xdotool installed, an Impress window is
# brought to the front first unless one is there already; elsewhere (Wayland
# gives no window list) a LibreOffice process of this user must be running,
# and the key goes to the window in front.
set -eu

me=$(basename "$0")
fail() {
    echo "$me: $*" >&2
    exit 1
}

ctl="$(dirname "$0")/../../bin/nuvexactl"
if [ ! -x "$ctl" ]; then
    ctl=$(command -v nuvexactl) || {
        echo "$me: nuvexactl not found beside the agent or on PATH" >&2
        exit 127
    }
fi

if [ -n "${DISPLAY:-}" ] && command -v xdotool >/dev/null 2>&1; then
    windows=""
    for match in --class --classname; do
        windows=$(xdotool search --onlyvisible "$match" '^libreoffice-impress$' 2>/dev/null) || windows=""
        [ -z "$windows" ] || break
    done
    [ -n "$windows" ] || fail "no LibreOffice Impress window"
    active=$(xdotool getactivewindow 2>/dev/null) || active=""
    if ! printf '%s\n' "$windows" | grep -qx -- "$active"; then
        window=$(printf '%s\n' "$windows" | tail -n 1)
        xdotool windowactivate --sync "$window" >/dev/null 2>&1 ||
            fail "could not bring the LibreOffice Impress window $window to the front"
    fi
elif ! pgrep -u "$(id -u)" -x soffice.bin >/dev/null 2>&1; then
    fail "LibreOffice Impress is not running"
fi

exec "$ctl" keys "96"
