# The start both rounds under Wine share, sourced by the round with its name in $round: the two
# build folders from the round's arguments, the checkout, the skip where the test bed could not be
# made, and the Wine that runs the Windows programs.
win_build=$1
linux_build=$2
here=$(cd "$(dirname "$0")/../.." && pwd)
if [ -n "${VST_TESTBED_UNAVAILABLE:-}" ]; then
  echo "$round round SKIPPED: $VST_TESTBED_UNAVAILABLE"
  exit 0
fi
wine=${VST_WINE:-/usr/lib/wine/wine64}

# The three simulated devices' addresses in the device namespace (two on the first card, one on the
# second) and the Linux simulator over "$work/fleet.ini", its process in $sim; the round ends here
# when the simulator does not start.
start_simulator() {
  for a in 192.168.0.101/24 192.168.0.102/24; do nsenter -t "$VST_DEVICE_NS_PID" -n ip addr add "$a" dev vst1; done
  nsenter -t "$VST_DEVICE_NS_PID" -n ip addr add 10.20.0.7/16 dev vst3
  nsenter -t "$VST_DEVICE_NS_PID" -n "$devsim" --fleet "$work/fleet.ini" > "$work/sim.out" 2>&1 &
  sim=$!
  for _ in $(seq 200); do grep -q ready "$work/sim.out" 2>/dev/null && break; sleep 0.05; done
  grep -q ready "$work/sim.out" || { echo "$round round FAILED: the simulator did not start"; cat "$work/sim.out"; exit 1; }
}
