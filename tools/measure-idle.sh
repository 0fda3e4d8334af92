#!/usr/bin/env bash
# Measures the idle agent: how often it wakes up over ten seconds (its
# voluntary and involuntary context switches; the goal is none, since the
# agent has no polling timers) and its resident memory (goal: under 8 MiB).
# Runs the built agent on private buses and a private runtime folder, so it
# never disturbs a running agent. Usage: tools/measure-idle.sh [seconds]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-10}"
agent="${NUVEXA_AGENT:-$PWD/build/default/bin/nuvexa-agent}"
[ -x "$agent" ] || { echo "no agent at $agent: build the default preset first" >&2; exit 1; }

work="$(mktemp -d)"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -m 700 "$work/runtime" "$work/config"
cat > "$work/bus.conf" <<CONF
<busconfig>
  <type>session</type>
  <listen>unix:path=$work/bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default"><allow send_destination="*"/><allow own="*"/><allow user="*"/></policy>
</busconfig>
CONF
dbus-daemon --nofork --nopidfile --config-file="$work/bus.conf" >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -S "$work/bus" ] && break; sleep 0.05; done

XDG_RUNTIME_DIR="$work/runtime" XDG_CONFIG_HOME="$work/config" \
DBUS_SESSION_BUS_ADDRESS="unix:path=$work/bus" DBUS_SYSTEM_BUS_ADDRESS="unix:path=$work/no-system-bus" \
  "$agent" >/dev/null 2>"$work/agent.err" &
agent_pid=$!
pids+=($agent_pid)
# Ready once its device list port answers.
for _ in $(seq 100); do [ -S "$work/runtime/nuvexa/MouseListPort" ] && break; sleep 0.05; done
sleep 1  # let start-up work settle before counting

field() { awk -v k="$1:" '$1 == k { print $2 }' "/proc/$agent_pid/status"; }
v0=$(field voluntary_ctxt_switches); n0=$(field nonvoluntary_ctxt_switches)
sleep "$seconds"
v1=$(field voluntary_ctxt_switches); n1=$(field nonvoluntary_ctxt_switches)
rss=$(field VmRSS); hwm=$(field VmHWM)

echo "idle wake-ups over ${seconds} s: $((v1 - v0)) voluntary, $((n1 - n0)) involuntary context switches"
echo "resident memory: VmRSS ${rss} kB (peak VmHWM ${hwm} kB)"
