#!/usr/bin/env bash
# Builds the station and starts it. Without real devices at hand it runs inside a private test
# network with a simulated fleet (res/demo/fleet.ini); with --real it runs on this PC's own
# network cards. Further options go to the station.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
# Only what runs here is built: the station and the device simulator (not the tests).
"$here/scripts/build.sh" "$here/build" --target vestrolan-manager --target vestrolan-devsim
station="$here/build/src/ui/vestrolan-manager"
if [ "${1:-}" = "--real" ]; then
  shift
  exec "$station" "$@"
fi
# The demonstration firmware folder lets "Update" offer a newer firmware at once.
set -- "-FW=$here/res/demo/firmware" "$@"
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display: running under xvfb-run (set QT_QPA_PLATFORM=offscreen to run without any)." >&2
  exec xvfb-run -a "$here/tests/integration/testbed.sh" "$here/scripts/demo-network.sh" "$station" "$@"
fi
exec "$here/tests/integration/testbed.sh" "$here/scripts/demo-network.sh" "$station" "$@"
