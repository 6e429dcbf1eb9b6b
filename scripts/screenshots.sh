#!/usr/bin/env bash
# Renders the station's windows to PNG files without a display: the main window in each operating
# mode and every dialog, in German and in English. Usage: scripts/screenshots.sh OUTDIR
set -euo pipefail
if [ "$#" -ne 1 ]; then
  echo "usage: scripts/screenshots.sh OUTDIR" >&2
  exit 2
fi
here=$(cd "$(dirname "$0")/.." && pwd)
# Only the screenshot program and what it needs; the build shows its progress.
"$here/scripts/build.sh" "$here/build" --target vestrolan-screenshots
export QT_QPA_PLATFORM=offscreen
# The offscreen platform remarks on every window it cannot size from hints or place, and on what
# it does not support; none of that is a fault of the windows.
"$here/build/src/ui/vestrolan-screenshots" "$1" 2> >(grep -v -e 'propagateSizeHints' -e 'XDG_RUNTIME_DIR' \
  -e 'This plugin does not support' >&2)
