#!/usr/bin/env bash
# Builds the agent and runs it in the foreground from the build tree, in the
# user's own desktop session: the devices' buttons act at once, and Ctrl-C
# stops it. Installs the build dependencies first (through sudo when not
# root). The agent's scripts are the build's (build/default/share/nuvexa) and
# find the build's nuvexactl first on PATH.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target nuvexa-agent nuvexactl

bin="$PWD/build/default/bin"
export PATH="$bin:$PATH"

if command -v systemctl >/dev/null && systemctl --user is-active --quiet nuvexa-agent.service 2>/dev/null; then
  echo "The installed agent (nuvexa-agent.service) is running; stop it first:" >&2
  echo "  systemctl --user stop nuvexa-agent.service" >&2
  exit 1
fi
if [ ! -w /dev/uinput ]; then
  echo "Note: /dev/uinput is not writable for you, so key actions will do nothing." >&2
  echo "Install the udev rules (then unplug and replug the devices):" >&2
  echo "  sudo install -m 644 build/default/packaging/70-nuvexa.rules /etc/udev/rules.d/ && sudo udevadm control --reload && sudo udevadm trigger" >&2
fi
echo "Starting $bin/nuvexa-agent (Ctrl-C stops it)"
exec "$bin/nuvexa-agent"
