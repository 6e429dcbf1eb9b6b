#!/usr/bin/env bash
# Benchmark: the cost of appending a log line at the 100th and at the 10 000th line, in the log
# alone and in the window's log view (offscreen); the ratio stays near 1 when appends do not grow
# with the log.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/build.sh" "$here/build" --target vst_log_benchmark >/dev/null
QT_QPA_PLATFORM=offscreen exec "$here/build/tests/ui/vst_log_benchmark" 2> >(grep -v -e propagateSizeHints -e XDG_RUNTIME_DIR >&2)
