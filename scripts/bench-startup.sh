#!/usr/bin/env bash
# Benchmark: how fast the programs start.
#   - the console's answer to --version: wall time of each of N runs (median and slowest);
#   - the station window: the time from starting vestrolan-manager until its main window with the
#     device list is visible on a virtual X display (Xvfb), in the test network with the
#     demonstration fleet answering, over N starts (median and slowest).
# Usage: scripts/bench-startup.sh [runs]   (default 10). Targets: --version <= 20 ms, window <= 1 s.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bench_targets=(vestrolan-cli vestrolan-devsim vestrolan-manager)
. "$here/scripts/bench-testbed.sh" "$@"
for tool in Xvfb xdotool python3; do
  command -v "$tool" >/dev/null || { echo "$tool is missing (scripts/setup.sh installs it)" >&2; exit 1; }
done
runs=${1:-10}
cli="$build/src/cli/vestrolan-cli"
manager="$build/src/ui/vestrolan-manager"
devsim="$build/tools/devsim/vestrolan-devsim"
work=$(mktemp -d)
xvfb=
cleanup() {
  stop_simulator
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
# Settings of this run only: never the user's.
export VESTROLAN_SETTINGS="$work/settings.ini"

# Median and largest of the numbers on standard input, in milliseconds.
summary() { sort -n | awk '{ v[NR] = $1 } END { printf "%8.1f %8.1f\n", v[int((NR + 1) / 2)], v[NR] }'; }

# ---- the console's --version -----------------------------------------------------------------
python3 - "$cli" "$runs" >"$work/version" <<'PY'
import subprocess, sys, time
cli, runs = sys.argv[1], int(sys.argv[2])
subprocess.run([cli, "--version"], stdout=subprocess.DEVNULL, check=True)  # page cache warm
for _ in range(runs):
    t0 = time.perf_counter()
    subprocess.run([cli, "--version"], stdout=subprocess.DEVNULL, check=True)
    print("%.3f" % ((time.perf_counter() - t0) * 1000))
PY
read -r version_median version_max < <(summary <"$work/version")

# ---- the window ------------------------------------------------------------------------------
for address in $("$devsim" --fleet "$here/res/demo/fleet.ini" --print-cidr); do
  nsenter -t "$VST_DEVICE_NS_PID" -n ip addr add "$address" dev vst1 2>/dev/null || true
done
nsenter -t "$VST_DEVICE_NS_PID" -n "$devsim" --fleet "$here/res/demo/fleet.ini" >"$work/sim.log" 2>&1 &
simulator=$!
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.out" 2>&1 &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
[ -s "$work/display" ] || { echo "Xvfb did not start" >&2; cat "$work/xvfb.out" >&2; exit 1; }
export DISPLAY=:$(head -n 1 "$work/display")
unset QT_QPA_PLATFORM

# One start: the milliseconds until a visible top-level window named like the station exists.
window_once() {
  local begin end pid
  begin=$(date +%s%N)
  "$manager" >"$work/manager.out" 2>&1 &
  pid=$!
  until xdotool search --onlyvisible --name '^Vestrolan-Manager' >/dev/null 2>&1; do
    kill -0 "$pid" 2>/dev/null || { echo "the station ended before its window showed" >&2; cat "$work/manager.out" >&2; return 1; }
    sleep 0.005
  done
  end=$(date +%s%N)
  kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null || true
  awk -v a="$begin" -v b="$end" 'BEGIN { printf "%.1f\n", (b - a) / 1e6 }'
}
window_once >/dev/null  # page cache warm
for _ in $(seq "$runs"); do window_once; done >"$work/window"
read -r window_median window_max < <(summary <"$work/window")

printf '%-28s %8s %8s %8s\n' "" median slowest target
printf '%-28s %8s %8s %8s\n' "console --version (ms)" "$version_median" "$version_max" 20
printf '%-28s %8s %8s %8s\n' "window with its list (ms)" "$window_median" "$window_max" 1000
echo "($runs runs each, $(nproc) cores, load $(cut -d' ' -f1 /proc/loadavg))"
