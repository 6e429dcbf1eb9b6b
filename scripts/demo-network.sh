#!/usr/bin/env bash
# Inside the test network (tests/integration/testbed.sh): puts the demonstration fleet on the
# devices' side, starts the device simulator there, runs the given command on the station's side
# and stops the simulator afterwards, however the command ended.
#
# The fleet is res/demo/fleet.ini unless VST_DEMO_FLEET names another. With the demonstration
# fleet the simulator keeps what the devices were told in the state file VST_DEMO_STATE (by
# default devsim-state.ini in the demonstrations' folder, see scripts/demo-folder.sh), so a
# renamed device keeps its name in the next run; VST_DEMO_STATE=none starts from the fleet file.
# The station and the console read and write the settings file VESTROLAN_SETTINGS, by default
# settings.ini in the same folder, never the user's or the machine's.
set -u
here=$(cd "$(dirname "$0")/.." && pwd)
. "$here/scripts/demo-folder.sh"
devsim="${VESTROLAN_BUILD_DIR:-$here/build}/tools/devsim/vestrolan-devsim"
folder=$(demo_folder) || exit 1
if [ -z "${VST_DEMO_FLEET:-}" ]; then
  fleet=$here/res/demo/fleet.ini
  state=${VST_DEMO_STATE:-$folder/devsim-state.ini}
else
  fleet=$VST_DEMO_FLEET
  state=${VST_DEMO_STATE:-none}
fi
export VESTROLAN_SETTINGS="${VESTROLAN_SETTINGS:-$folder/settings.ini}"
# Addresses of the fleet that stay off until something adds them (a board not yet programmed).
dormant=" ${VST_DEMO_DORMANT:-} "
if [ -n "${VST_TESTBED_UNAVAILABLE:-}" ] || [ -z "${VST_DEVICE_NS_PID:-}" ]; then
  echo "The simulated network cannot be made here: ${VST_TESTBED_UNAVAILABLE:-not inside the test network}" >&2
  exit 1
fi
options=(--fleet "$fleet")
if [ "$state" != none ]; then
  mkdir -p "$(dirname "$state")" || exit 1
  options+=(--state "$state")
fi

# The devices' addresses (where the state moved a device, its new address).
addresses=$("$devsim" "${options[@]}" --print-cidr) || exit 1
for address in $addresses; do
  case "$dormant" in *" ${address%/*} "*) continue ;; esac
  nsenter -t "$VST_DEVICE_NS_PID" -n ip addr add "$address" dev vst1 2>/dev/null
done

log=$(mktemp)
# nsenter enters the devices' namespace and then becomes the simulator itself, so $! is the
# simulator's own process.
nsenter -t "$VST_DEVICE_NS_PID" -n "$devsim" "${options[@]}" >"$log" 2>&1 &
simulator=$!

# The simulator is stopped on every way out: the command's end, a signal, a failed start.
stop_simulator() {
  trap - EXIT
  if kill -0 "$simulator" 2>/dev/null; then
    kill -TERM "$simulator" 2>/dev/null
    for _ in $(seq 100); do
      kill -0 "$simulator" 2>/dev/null || break
      sleep 0.05
    done
    kill -KILL "$simulator" 2>/dev/null
  fi
  wait "$simulator" 2>/dev/null
  grep -v '^ready$' "$log" >&2
  rm -f "$log"
}
trap stop_simulator EXIT
# A signal ends the command (the test network sends it to every process); the script goes on to
# stop the simulator.
trap ':' INT TERM HUP

for _ in $(seq 100); do grep -q ready "$log" && break; kill -0 "$simulator" 2>/dev/null || break; sleep 0.05; done
if ! grep -q ready "$log"; then
  echo "The device simulator did not start:" >&2
  exit 1
fi
echo "Simulated devices are answering on 192.168.0.0/24 (card vst0)." >&2
[ "$state" != none ] && echo "Their state is kept in $state (scripts/run.sh --fresh starts from the fleet file)." >&2
"$@"
exit $?
