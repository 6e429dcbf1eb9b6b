#!/usr/bin/env bash
# Cross-builds the Windows programs, runs their unit tests under Wine and then the console round
# (the Windows console against the Linux simulator in the test bed, compared with the Linux console).
# Usage: scripts/test-windows.sh [windows-build-dir] [linux-build-dir]
# The Linux build (default: build) must exist already: scripts/test.sh makes it.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
win=${1:-"$here/build-win"}
linux=${2:-"$here/build"}
"$here/scripts/build-windows.sh" "$win"

wine=/usr/lib/wine/wine64
export WINEDEBUG=-all WINEPREFIX="$win/wine-prefix"
# No browser or .NET runtime: nothing here needs them, and Wine would offer to download them.
export WINEDLLOVERRIDES="mscoree,mshtml="
# One Wine server for all runs. Its services start here with their output going nowhere: started by
# a test instead, they would keep the test's output pipe open after the test has ended.
/usr/lib/wine/wineserver64 -p 2>/dev/null || true
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "-- creating the Wine prefix $WINEPREFIX"
  "$wine" wineboot -i >/dev/null 2>&1
else
  "$wine" wineboot >/dev/null 2>&1
fi
status=0
(cd "$win" && ctest --output-on-failure --timeout 300) || status=1
"$here/tests/windows/devsim-smoke.sh" "$win" "$wine" || status=1
/usr/lib/wine/wineserver64 -k 2>/dev/null || true
/usr/lib/wine/wineserver64 -w 2>/dev/null || true

if [ -x "$linux/src/cli/vestrolan-cli" ] && [ -x "$linux/tools/devsim/vestrolan-devsim" ]; then
  VST_WINE="$wine" "$here/tests/integration/testbed.sh" "$here/tests/windows/console-round.sh" "$win" "$linux" || status=1
else
  echo "console round FAILED: no Linux build in $linux (run scripts/test.sh first)"
  status=1
fi

# The zip of the console tools.
(cd "$win" && cpack -G ZIP >/dev/null) || status=1
ls "$win"/vestrolan-console-*-win64.zip
exit $status
