#!/usr/bin/env bash
# The production demonstration with simulated devices (res/demo/production.ini) and the
# programmer stand-in installed as "ipecmd.exe":
#   scripts/demo-production.sh program   initial programming of the blank board at 192.168.0.110
#   scripts/demo-production.sh stock     stock update of the device at 192.168.0.120
#   scripts/demo-production.sh endurance [PASSES]   endurance run of three new devices, connected
#                                        one by one at the run's notice (res/demo/endurance.ini)
#   scripts/demo-production.sh window production|stock|endurance   the station window in that mode
# The work folders (firmware, tool, serial numbers) are made in a temporary folder.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
if [ "${1:-}" = "--inside" ]; then
  shift
  work=$1
  shift
  # The stand-in "starts" the board: its address appears on the devices' side.
  cat >"$work/ipe/ipe-standin.conf" <<CONF
power-up = nsenter -t $VST_DEVICE_NS_PID -n ip addr add 192.168.0.110/24 dev vst1
CONF
  # The endurance run gives its devices 192.168.0.201 and up; a device answers there once moved.
  for n in 1 2 3; do nsenter -t "$VST_DEVICE_NS_PID" -n ip addr add "192.168.0.20$n/24" dev vst1 2>/dev/null || true; done
  # "Connect device n": its address appears on the devices' side.
  cat >"$work/connect-device" <<CONNECT
#!/bin/sh
exec nsenter -t $VST_DEVICE_NS_PID -n ip addr add 192.168.0.13\$1/24 dev vst1
CONNECT
  chmod +x "$work/connect-device"
  exec "$@"
fi
what=${1:-}
targets=(--target vestrolan-cli --target vestrolan-devsim --target vestrolan-ipe-standin)
[ "$what" = window ] && targets+=(--target vestrolan-manager)
"$here/scripts/build.sh" "$here/build" "${targets[@]}" >&2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/ipe" "$work/snr" "$work/fw"
cp "$here/build/tools/ipe-standin/vestrolan-ipe-standin" "$work/ipe/ipecmd.exe"
cp "$here"/res/demo/firmware/* "$work/fw/"
: >"$work/snr/SNR.LOG"
cp -r "$here/res/templates/_Vorlagen" "$work/snr/"
export VST_DEMO_FLEET="$here/res/demo/production.ini" VST_DEMO_DORMANT=192.168.0.110
if [ "$what" = endurance ] || [ "${2:-}" = endurance ]; then
  export VST_DEMO_FLEET="$here/res/demo/endurance.ini" VST_DEMO_DORMANT="192.168.0.131 192.168.0.132 192.168.0.133"
  mkdir -p "$work/snr/_Dauerlauf"
fi
export VESTROLAN_SETTINGS="$work/settings.ini"
cli="$here/build/src/cli/vestrolan-cli"
case "$what" in
  program) cmd=("$cli" --card 0 --fw "$work/fw" --ipe "$work/ipe" --target 192.168.0.110 --ssid "" program) ;;
  stock) cmd=("$cli" --card 0 --snr "$work/snr" --fw "$work/fw" --target 192.168.0.120 --config keep --serial 4711 stock) ;;
  endurance)
    cmd=("$cli" --card 0 --snr "$work/snr" --fw "$work/fw" --target 192.168.0.201 --config keep
         --on-notice "35407=$work/connect-device \$VST_DEVICE" --passes "${2:-2}"
         endurance --type production --number 2026-12 --count 3 --serials 4001,4002,4003)
    ;;
  window)
    mode=${2:-production}
    args=(-VAZIR "-FW=$work/fw" "-SNR=$work/snr" "-IPE=$work/ipe")
    case "$mode" in
      stock) args+=(-LAGER -DSTIP=192.168.0.120) ;;
      endurance) args+=(-DL -DSTIP=192.168.0.201) ;;
      *) args+=(-PROREP -DSTIP=192.168.0.110) ;;
    esac
    cmd=("$here/build/src/ui/vestrolan-manager" "${args[@]}")
    if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then cmd=(xvfb-run -a "${cmd[@]}"); fi
    ;;
  *) echo "usage: $0 program | stock | endurance [PASSES] | window production|stock|endurance" >&2; exit 1 ;;
esac
"$here/tests/integration/testbed.sh" "$here/scripts/demo-network.sh" "$0" --inside "$work" "${cmd[@]}"
