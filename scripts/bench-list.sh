#!/usr/bin/env bash
# Benchmark: the device list with 1000 devices (offscreen): taking the answers and drawing them, a
# sort by each column, each keystroke of a filter. Prints median and worst figures with targets.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/build.sh" "$here/build" --target vst_list_benchmark >/dev/null
echo "load: $(cut -d' ' -f1-3 /proc/loadavg)"
QT_QPA_PLATFORM=offscreen exec "$here/build/tests/ui/vst_list_benchmark" 2> >(grep -v -e propagateSizeHints -e XDG_RUNTIME_DIR >&2)
