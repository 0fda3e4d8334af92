#!/usr/bin/env bash
# Builds the settings application and starts it from the build tree, in the
# user's own desktop session. It shows the devices of the running agent (start
# one with tools/run-agent.sh or the nuvexa-agent user service) and edits
# ~/.config/Nuvexa/mapping.xml. Installs the build dependencies first
# (through sudo when not root).
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target nuvexa-settings

exec build/default/bin/nuvexa-settings "$@"
