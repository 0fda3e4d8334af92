#!/bin/sh
# Toggles play and pause of the desktop's media player, over MPRIS on the session bus. The
# player addressed is the first one playing, else the first one paused, else
# the first of all, in the order of their bus names.
set -eu

me=$(basename "$0")
fail() {
    echo "$me: $*" >&2
    exit 1
}
bus() {
    busctl --user --timeout=2 "$@"
}

command -v busctl >/dev/null 2>&1 || fail "busctl not found"
names=$(bus call org.freedesktop.DBus /org/freedesktop/DBus org.freedesktop.DBus ListNames) ||
    fail "no session bus"
players=$(printf '%s\n' "$names" | tr ' ' '\n' |
    sed -n 's/^"\(org\.mpris\.MediaPlayer2\.[^"]*\)"$/\1/p' | LC_ALL=C sort)
[ -n "$players" ] || fail "no media player on the session bus"

first="" playing="" paused=""
for player in $players; do
    [ -n "$first" ] || first=$player
    status=$(bus get-property "$player" /org/mpris/MediaPlayer2 org.mpris.MediaPlayer2.Player \
        PlaybackStatus 2>/dev/null) || status=""
    case $status in
        's "Playing"') [ -n "$playing" ] || playing=$player ;;
        's "Paused"') [ -n "$paused" ] || paused=$player ;;
    esac
done
player=${playing:-${paused:-$first}}

bus call "$player" /org/mpris/MediaPlayer2 org.mpris.MediaPlayer2.Player PlayPause >/dev/null ||
    fail "$player did not take PlayPause"
