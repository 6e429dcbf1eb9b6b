#!/usr/bin/env bash
# Benchmark: what the production workflows cost beyond their prescribed waits, at real protocol
# speed against the simulator (its restart time set to zero) in the test network.
# For each of final test, repair start, stock update and initial programming (with the programmer
# stand-in) it prints the wall time, the sum of the fixed waits the protocol prescribes in that run
# (restart and reboot waits, search scopes, calibration settling, the WLAN attachment, the board's
# start; the console counts them as they pass: VESTROLAN_REPORT_WAITS) and the overhead in percent.
# Target: overhead <= 10 %. Usage: scripts/bench-workflows.sh [workflow ...]
#   workflows: final-test repair-start stock-update programming (default: all four)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bench_targets=(vestrolan-cli vestrolan-devsim vestrolan-ipe-standin)
. "$here/scripts/bench-testbed.sh" "$@"
[ $# -gt 0 ] || set -- final-test repair-start stock-update programming
cli="$build/src/cli/vestrolan-cli"
devsim="$build/tools/devsim/vestrolan-devsim"
work=$(mktemp -d)
trap 'stop_simulator; rm -rf "$work"' EXIT
unset VESTROLAN_TIME_SCALE
export VESTROLAN_SETTINGS="$work/settings.ini" VESTROLAN_REPORT_WAITS=1

# The records folder and the firmware folder the workflows use.
records="$work/snr"
mkdir -p "$records/_Dauerlauf" "$work/fw" "$work/ipe"
: >"$records/SNR.LOG"
cp -r "$here/res/templates/_Vorlagen" "$records/"
cp "$here"/res/demo/firmware/* "$work/fw/"
cp "$build/tools/ipe-standin/vestrolan-ipe-standin" "$work/ipe/ipecmd.exe"

# One simulated device at ADDRESS (added on the devices' side unless "dormant"), with the fleet
# keys given, as the only device of a fresh simulator.
device() {
  local address=$1 dormant=$2; shift 2
  stop_simulator
  nsenter -t "$VST_DEVICE_NS_PID" -n ip addr flush dev vst1
  { printf '[device]\nmac = 02:00:00:00:03:01\naddress = %s/24\ngateway = 192.168.0.1\nname = Bench\n' "$address"
    printf 'password = 730\nrestart_ms = 0\n'
    printf '%s\n' "$@"; } >"$work/fleet.ini"
  [ "$dormant" = dormant ] || nsenter -t "$VST_DEVICE_NS_PID" -n ip addr add "$address/24" dev vst1
  nsenter -t "$VST_DEVICE_NS_PID" -n "$devsim" --fleet "$work/fleet.ini" >"$work/sim.log" 2>&1 &
  simulator=$!
  for _ in $(seq 200); do grep -q ready "$work/sim.log" && break; sleep 0.05; done
  grep -q ready "$work/sim.log" || { cat "$work/sim.log" >&2; return 1; }
}

# Runs the console with the given arguments; prints "wall_ms prescribed_ms".
timed() {
  local begin end status=0
  begin=$(date +%s%N)
  "$cli" --lang en --sign BE "$@" >"$work/out" 2>"$work/err" || status=$?
  end=$(date +%s%N)
  if [ $status -ne 0 ]; then
    echo "the workflow failed (exit $status):" >&2; tail -n 20 "$work/err" "$work/out" "$work/sim.log" >&2; return 1
  fi
  local waits
  waits=$(sed -n 's/^vestrolan-cli: prescribed waits: \([0-9]*\) ms$/\1/p' "$work/err")
  echo "$(( (end - begin) / 1000000 )) ${waits:?the console did not report its waits}"
}

run_one() {
  case "$1" in
    final-test)
      device 192.168.0.101 live "serial = 1001" "wlan = on" "calibration_item = ENG;AIN1;3;1,0.5,2.0"
      mkdir -p "$records/SNR_00001001"
      printf 'CH-BENCH\r\n' >"$records/SNR_00001001/Charge.txt"
      printf 'Name=Bench\r\n\r\nP1=Bench\r\n' >"$records/SNR_00001001/config-processlist.bak"
      VESTROLAN_WLAN_DOUBLE=1 timed --card 0 --target 192.168.0.101 --directed-only --snr "$records" \
        --answer 30045=yes --calibrate 100,1,230,5 endtest 02:00:00:00:03:01
      ;;
    repair-start)
      device 192.168.0.101 live "serial = 1001" "wlan = on" "config_line = Name=Kunde"
      rm -rf "$records/SNR_00001001"
      mkdir -p "$records/SNR_00001001"
      VESTROLAN_WLAN_DOUBLE=1 timed --card 0 --target 192.168.0.101 --directed-only --snr "$records" \
        --config keep --answer 30044=yes repair-start 02:00:00:00:03:01 R-BENCH
      ;;
    stock-update)
      device 192.168.0.120 live "serial = none" "app = 1.04" "boot = 1.01" "config_line = Name=Lager"
      local serial; serial=$(( $(wc -l <"$records/SNR.LOG") + 7001 ))
      timed --card 0 --snr "$records" --fw "$work/fw" --target 192.168.0.120 --config keep --serial "$serial" stock
      ;;
    programming)
      device 192.168.0.110 dormant "serial = none" "app = 1.05" "boot = 1.02"
      printf 'power-up = nsenter -t %s -n ip addr add 192.168.0.110/24 dev vst1\n' "$VST_DEVICE_NS_PID" \
        >"$work/ipe/ipe-standin.conf"
      timed --card 0 --fw "$work/fw" --ipe "$work/ipe" --target 192.168.0.110 --ssid "" program
      ;;
    *) echo "unknown workflow: $1 (final-test, repair-start, stock-update, programming)" >&2; return 2 ;;
  esac
}

printf '%-14s %10s %16s %10s\n' workflow "wall (s)" "prescribed (s)" overhead
status=0
for workflow in "$@"; do
  # Not in a subshell: the simulator started for one workflow must be stopped before the next.
  if run_one "$workflow" >"$work/figures"; then
    read -r wall waits <"$work/figures"
    awk -v n="$workflow" -v w="$wall" -v p="$waits" \
      'BEGIN { printf "%-14s %10.1f %16.1f %9.1f%%\n", n, w / 1000, p / 1000, (p > 0 ? (w - p) * 100 / p : 0) }'
  else
    printf '%-14s %10s\n' "$workflow" failed
    status=1
  fi
done
echo "target: overhead <= 10 % ($(nproc) cores, load $(cut -d' ' -f1 /proc/loadavg))"
exit $status
