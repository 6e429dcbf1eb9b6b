#!/usr/bin/env bash
# Cross-builds the Windows programs and their zip, runs the unit tests under Wine, the console round
# (the Windows console against the Linux simulator in the test bed, compared with the Linux console)
# and, when the build has the window, the window round (tests/windows/window-round.sh).
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

# The station window, when this build has it (Qt for Windows from scripts/build-qt-windows.sh; the
# Qt build is too long for every run).
if grep -q '^VESTROLAN_BUILD_UI:BOOL=ON' "$win/CMakeCache.txt" && [ -f "$win/src/ui/vestrolan-manager.exe" ]; then
  if [ -x "$linux/src/ui/vestrolan-screenshots" ] && [ -x "$linux/tools/devsim/vestrolan-devsim" ]; then
    VST_WINE="$wine" "$here/tests/integration/testbed.sh" "$here/tests/windows/window-round.sh" "$win" "$linux" || status=1
  else
    echo "window round FAILED: no Linux build with the window in $linux (run scripts/test.sh first)"
    status=1
  fi
else
  echo "window round SKIPPED: no Qt for Windows (scripts/build-qt-windows.sh builds it)"
fi
exit $status
