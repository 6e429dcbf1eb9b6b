#!/usr/bin/env bash
# Benchmark: endurance runs of many simulated devices from the console.
# For each device count N the run prepares N new devices (each connected at the run's notice),
# then runs its test passes. The preparation runs on a clock VESTROLAN_TIME_SCALE times faster
# than real time (default 20, so that the station's 2 s answer limits stay 100 ms of real time
# for a simulator of 100 devices on a busy machine); the clock returns to real speed when the first
# pass starts, so the figures of the passes are real-time figures:
#   - pass delay: how much later than 30 s after its previous test each device's test started
#     (the largest over all devices and passes; target <= 1 s);
#   - pass length: the wall time of the longest pass from its first device to its last;
#   - CPU: the console's CPU time over the passes, as a share of one core (target < 10 %);
#   - preparation: the wall time of the preparation at the scaled clock.
# Usage: scripts/bench-endurance.sh [N ...]   (default: 10 50 100)   VST_BENCH_PASSES (default 4)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bench_targets=(vestrolan-cli vestrolan-devsim)
. "$here/scripts/bench-testbed.sh" "$@"
[ $# -gt 0 ] || set -- 10 50 100
passes=${VST_BENCH_PASSES:-4}
scale=${VESTROLAN_TIME_SCALE:-20}
cli="$build/src/cli/vestrolan-cli"
devsim="$build/tools/devsim/vestrolan-devsim"
work=$(mktemp -d)
trap 'stop_simulator; rm -rf "$work"' EXIT

# CPU seconds a running process has used so far, all threads, from the scheduler's nanoseconds.
cpu_of() { cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{ ns += $1 } END { printf "%.3f", ns / 1e9 }'; }

# Device n (1..N) starts at 192.168.0.(1+n), not yet connected; the run moves it to
# 192.168.0.(110+n-1) and up. Both blocks fit the card's /24 for up to 100 devices.
first_target=110
one_run() {
  local n=$1 i
  local dir="$work/run$n"
  rm -rf "$dir"; mkdir -p "$dir/snr/_Dauerlauf" "$dir/fw"
  : >"$dir/snr/SNR.LOG"
  cp -r "$here/res/templates/_Vorlagen" "$dir/snr/"
  cp "$here"/res/demo/firmware/* "$dir/fw/"
  : >"$dir/fleet.ini"
  for i in $(seq "$n"); do
    printf '[device]\nmac = 02:00:00:00:%02X:%02X\naddress = 192.168.0.%d/24\nname = Neu %d\napp = 1.05\nboot = 1.02\npassword = 730\nserial = none\nrestart_ms = 0\n\n' \
      $((i / 256)) $((i % 256)) $((1 + i)) "$i" >>"$dir/fleet.ini"
  done
  # Clear the devices' side, then give it the addresses the run moves the devices to.
  nsenter -t "$VST_DEVICE_NS_PID" -n ip addr flush dev vst1
  for i in $(seq "$n"); do
    nsenter -t "$VST_DEVICE_NS_PID" -n ip addr add "192.168.0.$((first_target + i - 1))/24" dev vst1
  done
  cat >"$dir/connect" <<CONNECT
#!/bin/sh
exec nsenter -t $VST_DEVICE_NS_PID -n ip addr add 192.168.0.\$((1 + \$1))/24 dev vst1
CONNECT
  chmod +x "$dir/connect"
  nsenter -t "$VST_DEVICE_NS_PID" -n "$devsim" --fleet "$dir/fleet.ini" >"$dir/sim.log" 2>&1 &
  simulator=$!
  for _ in $(seq 200); do grep -q ready "$dir/sim.log" && break; sleep 0.05; done

  local serials
  serials=$(seq -s, 5001 $((5000 + n)))
  # Every line the console prints on its error stream, stamped with the time it arrived (bash's
  # own clock: no process per line); the console's CPU time is read when the first pass starts.
  local begin=$EPOCHREALTIME
  /usr/bin/time -f '%U %S' -o "$dir/time" env VESTROLAN_TIME_SCALE="$scale" VESTROLAN_TIME_SCALE_PREPARATION_ONLY=1 \
    VESTROLAN_SETTINGS="$dir/settings.ini" \
    "$cli" --lang en --card 0 --snr "$dir/snr" --fw "$dir/fw" --target "192.168.0.$first_target" --config keep \
    --sign BE --on-notice "35407=$dir/connect \$VST_DEVICE" --passes "$passes" \
    endurance --type production --number "BENCH-$n" --count "$n" --serials "$serials" \
    >"$dir/out" 2> >(while IFS= read -r line; do printf '%s %s\n' "$EPOCHREALTIME" "$line"; done >"$dir/err") &
  local timer=$!
  local pid=""
  # The console's CPU time, sampled every 0.1 s.
  : >"$dir/cpu"
  while kill -0 "$timer" 2>/dev/null; do
    [ -n "$pid" ] || pid=$(pgrep -P "$timer" | head -n 1)
    [ -n "$pid" ] && printf '%s %s\n' "$EPOCHREALTIME" "$(cpu_of "$pid")" >>"$dir/cpu"
    sleep 0.1
  done
  if ! wait "$timer"; then
    local kept="${TMPDIR:-/tmp}/bench-endurance-$n.log"
    cp "$dir/err" "$kept"
    echo "the run of $n devices failed (its progress, stamped: $kept):" >&2
    tail -n 12 "$dir/out" >&2
    stop_simulator
    return 1
  fi
  stop_simulator
  python3 - "$n" "$begin" "$dir/err" "$dir/cpu" <<'PY'
import re, sys
n, begin, err, cpu = int(sys.argv[1]), float(sys.argv[2]), sys.argv[3], sys.argv[4]
lines = [l.rstrip("\n").split(" ", 1) for l in open(err, encoding="utf-8", errors="replace")]
lines = [(float(t), text) for t, text in lines if text is not None] if lines else []
samples = [tuple(map(float, l.split())) for l in open(cpu) if len(l.split()) == 2]
first = next((t for t, text in lines if "long run function test running" in text), None)
if first is None:
    sys.exit("the run of %d devices never started its passes" % n)
last_test = {}
worst = 0.0
pass_start, pass_end = [], []
last_heading_index = None
for i, (t, text) in enumerate(lines):
    m = re.search(r"== function test of the (CPU|process list) #(\d+) ", text)
    if not m:
        continue
    device = int(m.group(2))
    if m.group(1) == "CPU":
        if device in last_test:
            worst = max(worst, t - last_test[device] - 30.0)
        last_test[device] = t
        if device == 1:
            pass_start.append(t)
    elif device == n:
        last_heading_index = i
        # The pass ends when the next line comes (the next step after its last device's test).
        pass_end.append(lines[i + 1][0] if i + 1 < len(lines) else t)
end = pass_end[-1] if pass_end else lines[-1][0]
def cpu_at(when):
    best = min(samples, key=lambda s: abs(s[0] - when))
    return best[1]
share = (cpu_at(end) - cpu_at(first)) * 100.0 / max(end - first, 1e-9)
longest = max((e - s for s, e in zip(pass_start, pass_end)), default=0.0)
print("%6d %12.1f %8d %12.3f %12.2f %10.1f" % (n, first - begin, len(pass_start), worst, longest, share))
PY
}

printf 'passes per run: %d; preparation clock %sx real time; passes at real speed\n' "$passes" "$scale"
printf '%6s %12s %8s %12s %12s %10s\n' devices "prep (s)" passes "delay (s)" "pass (s)" "cpu (%)"
status=0
for n in "$@"; do
  if [ "$n" -lt 1 ] || [ "$n" -gt 100 ]; then echo "$n: between 1 and 100 devices (the card's /24 holds two addresses per device)" >&2; status=1; continue; fi
  one_run "$n" || status=1
done
echo "targets: delay <= 1 s, cpu < 10 % of one core over the passes ($(nproc) cores, load $(cut -d' ' -f1 /proc/loadavg))"
exit $status
