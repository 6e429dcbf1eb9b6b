#!/usr/bin/env bash
# Benchmark: the CPU time of a firmware update of one simulated device with a 4.3 MB image, beside
# the CPU time that curl needs to post the same image to the same device in the same test network.
# Prints both, their ratio, and the wall times. Usage: scripts/bench-update.sh [runs]   (default 3)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bench_targets=(vestrolan-cli vestrolan-devsim)
. "$here/scripts/bench-testbed.sh" "$@"
runs=${1:-3}
cli="$build/src/cli/vestrolan-cli"
devsim="$build/tools/devsim/vestrolan-devsim"
work=$(mktemp -d)
cleanup() {
  stop_simulator
  rm -rf "$work"
}
trap cleanup EXIT

# A well-formed Intel HEX image of about 4.3 MB: 16-byte data records, a version line, the end.
firmware="$work/VestrolanV199.hex"
python3 - "$firmware" <<'PY'
import sys
lines = [";VERSION=1.99"]
size = len(lines[0]) + 2
address = 0
while size < 4_300_000:
    data = bytes((address + i) & 0xFF for i in range(16))
    record = bytes([16, (address >> 8) & 0xFF, address & 0xFF, 0]) + data
    lines.append(":" + record.hex().upper() + "%02X" % ((-sum(record)) & 0xFF))
    size += len(lines[-1]) + 2
    address = (address + 16) & 0xFFFF
lines.append(":00000001FF")
open(sys.argv[1], "w", newline="\r\n").write("\n".join(lines) + "\n")
PY
size=$(stat -c %s "$firmware")

cat >"$work/fleet.ini" <<'INI'
[device]
mac = 02:00:00:00:00:51
address = 192.168.0.151/24
name = Bench
app = 1.05
boot = 1.02
restart_ms = 0
INI
nsenter -t "$VST_DEVICE_NS_PID" -n ip addr add 192.168.0.151/24 dev vst1
nsenter -t "$VST_DEVICE_NS_PID" -n "$devsim" --fleet "$work/fleet.ini" >"$work/sim.log" 2>&1 &
simulator=$!
for _ in $(seq 100); do grep -q ready "$work/sim.log" && break; sleep 0.05; done

# CPU seconds (user+system) and wall seconds of one command, from GNU time's format.
measure() { /usr/bin/time -f '%U %S %e' -o "$work/time" "$@" >"$work/out" 2>&1 || { cat "$work/out" >&2; return 1; }
            awk '{ printf "%.3f %.3f\n", $1 + $2, $3 }' "$work/time"; }
# CPU seconds a running process has used so far: user and system time of all its threads, from
# the scheduler's nanoseconds.
cpu_of() { cat /proc/"$1"/task/*/schedstat | awk '{ ns += $1 } END { printf "%.3f", ns / 1e9 }'; }

# One update under GNU time; prints: process cpu, upload cpu, upload wall, process wall. The
# upload is what lies between the step lines "updating firmware" and "restarting device", which
# the console prints as they happen; the process's CPU time is read at each of them.
update_once() {
  local fifo="$work/steps" timer pid="" line t0="" t1="" c0="" c1="" begin end
  rm -f "$fifo" "$work/out"; mkfifo "$fifo"
  begin=$(date +%s.%N)
  /usr/bin/time -f '%U %S' -o "$work/time" \
    "$cli" --lang en --card 0 --target 192.168.0.151 --directed-only update 02:00:00:00:00:51 "$firmware" \
    2>"$fifo" >"$work/err" &
  timer=$!
  while IFS= read -r line; do
    [ -n "$pid" ] || pid=$(pgrep -P "$timer" | head -n 1)
    case "$line" in
      *"updating firmware"*) [ -n "${c0:-}" ] || { c0=$(cpu_of "$pid"); t0=$(date +%s.%N); } ;;
      *"restarting device"*) [ -n "${c1:-}" ] || { c1=$(cpu_of "$pid"); t1=$(date +%s.%N); } ;;
    esac
    printf '%s\n' "$line" >>"$work/out"
  done <"$fifo"
  wait "$timer" || { cat "$work/out" "$work/err" >&2; return 1; }
  end=$(date +%s.%N)
  awk -v a="$c0" -v b="$c1" -v s="$t0" -v e="$t1" -v w0="$begin" -v w1="$end" \
      '{ printf "%.3f %.3f %.3f %.3f\n", $1 + $2, b - a, e - s, w1 - w0 }' "$work/time"
}

printf 'image: %d bytes; %d runs; each update waits 45 s for the restart of the device\n' "$size" "$runs"
printf '%-4s %12s %12s %12s %12s %12s %12s %13s\n' run "process cpu" "upload cpu" "upload wall" \
       "curl cpu" "curl wall" "upload/curl" "process wall"
for run in $(seq "$runs"); do
  update_once >"$work/figures" || exit 1
  read -r pcpu ucpu uwall pwall <"$work/figures"
  read -r ccpu cwall < <(measure curl -s -o /dev/null -F "hexfile=@$firmware;filename=VestrolanVxyy.hex;type=application/octet-stream" \
                           http://192.168.0.151/protect/update.htm)
  ratio=$(awk -v a="$ucpu" -v b="$ccpu" 'BEGIN { printf "%.1f", (b > 0 ? a / b : 0) }')
  printf '%-4s %12s %12s %12s %12s %12s %12s %13s\n' "$run" "$pcpu" "$ucpu" "$uwall" "$ccpu" "$cwall" "$ratio" "$pwall"
done
echo "targets: process cpu <= 0.200 s; upload cpu <= 5 x curl cpu (all times in seconds)"
