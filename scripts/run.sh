#!/usr/bin/env bash
# Builds the station and the console and starts the station. Without real devices at hand it runs
# inside a private test network with a simulated fleet (res/demo/fleet.ini); with --real it runs on
# this PC's own network cards. Further options go to the station.
#
# In the test network the simulated devices keep what they were told from one run to the next
# (in the demonstrations' folder, $XDG_CACHE_HOME/vestrolan, see scripts/demo-folder.sh), and the
# station keeps its settings (the language) there too; --fresh starts the devices from the fleet
# file again. Ending the station ("Beenden"), Ctrl+C or SIGTERM stop the simulator with it.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
. "$here/scripts/demo-folder.sh"
fresh=false
real=false
while [ $# -gt 0 ]; do
  case "$1" in
    --fresh) fresh=true; shift ;;
    --real) real=true; shift ;;
    *) break ;;
  esac
done
# Only what runs here is built: the station, the console (for the README's console commands) and
# the device simulator, not the tests. (VESTROLAN_BUILD_DIR names another built tree, and
# VESTROLAN_SKIP_BUILD=1 takes it as it is: the tests run the scripts so.)
build=${VESTROLAN_BUILD_DIR:-$here/build}
export VESTROLAN_BUILD_DIR=$build
if [ -z "${VESTROLAN_SKIP_BUILD:-}" ]; then
  "$here/scripts/build.sh" "$build" --target vestrolan-manager --target vestrolan-cli --target vestrolan-devsim
fi
station="$build/src/ui/vestrolan-manager"
if $real; then
  exec "$station" "$@"
fi
folder=$(demo_folder)
mkdir -p "$folder"
export VST_DEMO_STATE="$folder/devsim-state.ini"
export VESTROLAN_SETTINGS="$folder/settings.ini"
if $fresh && [ -e "$VST_DEMO_STATE" ]; then
  rm -f "$VST_DEMO_STATE"
  echo "The simulated devices start from res/demo/fleet.ini again." >&2
fi
# The demonstration firmware folder lets "Update" offer a newer firmware at once.
set -- "-FW=$here/res/demo/firmware" "$@"
display=()
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display: running under xvfb-run (set QT_QPA_PLATFORM=offscreen to run without any)." >&2
  # Inside the test network, so that the X server ends with it.
  display=(xvfb-run -a)
fi
exec "$here/tests/integration/testbed.sh" "${display[@]}" "$here/scripts/demo-network.sh" "$station" "$@"
