#!/bin/sh
# Browser forward: Alt+Right (Option 58, Right 124) to the window in front.
# Played by the agent's virtual keyboard through "nuvexactl keys", which hands
# the key-code list to the agent and returns without waiting for it.
set -eu

me=$(basename "$0")
ctl="$(dirname "$0")/../../bin/nuvexactl"
if [ ! -x "$ctl" ]; then
    ctl=$(command -v nuvexactl) || {
        echo "$me: nuvexactl not found beside the agent or on PATH" >&2
        exit 127
    }
fi
exec "$ctl" keys "58|124|58"
