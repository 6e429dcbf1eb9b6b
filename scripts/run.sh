#!/usr/bin/env bash
# Builds the station and starts it. Options after the script name go to the station.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/build.sh" "$here/build"
exec "$here/build/src/ui/vestrolan-manager" "$@"
