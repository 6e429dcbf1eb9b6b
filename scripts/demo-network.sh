#!/usr/bin/env bash
# Inside the test network (tests/integration/testbed.sh): puts the demonstration fleet on the
# devices' side, starts the device simulator there, runs the given command on the station's side
# and stops the simulator afterwards.
set -u
here=$(cd "$(dirname "$0")/.." && pwd)
devsim="$here/build/tools/devsim/vestrolan-devsim"
fleet="${VST_DEMO_FLEET:-$here/res/demo/fleet.ini}"
# Addresses of the fleet that stay off until something adds them (a board not yet programmed).
dormant=" ${VST_DEMO_DORMANT:-} "
if [ -n "${VST_TESTBED_UNAVAILABLE:-}" ] || [ -z "${VST_DEVICE_NS_PID:-}" ]; then
  echo "The simulated network cannot be made here: ${VST_TESTBED_UNAVAILABLE:-not inside the test network}" >&2
  exit 1
fi
in_devices() { nsenter -t "$VST_DEVICE_NS_PID" -n "$@"; }

"$devsim" --fleet "$fleet" --print-cidr | while read -r address; do
  case "$dormant" in *" ${address%/*} "*) continue ;; esac
  in_devices ip addr add "$address" dev vst1 2>/dev/null
done
log=$(mktemp)
in_devices "$devsim" --fleet "$fleet" >"$log" 2>&1 &
simulator=$!
for _ in $(seq 100); do grep -q ready "$log" && break; sleep 0.05; done
if ! grep -q ready "$log"; then
  echo "The device simulator did not start:" >&2
  cat "$log" >&2
  exit 1
fi
echo "Simulated devices are answering on 192.168.0.0/24 (card vst0)." >&2
"$@"
rc=$?
kill "$simulator" 2>/dev/null
wait "$simulator" 2>/dev/null
rm -f "$log"
exit $rc
