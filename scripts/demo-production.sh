#!/usr/bin/env bash
# The production demonstration with simulated devices (res/demo/production.ini) and the
# programmer stand-in installed as "ipecmd.exe":
#   scripts/demo-production.sh program   initial programming of the blank board at 192.168.0.110
#   scripts/demo-production.sh stock     stock update of the device at 192.168.0.120
#   scripts/demo-production.sh window production|stock   the station window in that mode
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
export VESTROLAN_SETTINGS="$work/settings.ini"
cli="$here/build/src/cli/vestrolan-cli"
case "$what" in
  program) cmd=("$cli" --card 0 --fw "$work/fw" --ipe "$work/ipe" --target 192.168.0.110 --ssid "" program) ;;
  stock) cmd=("$cli" --card 0 --snr "$work/snr" --fw "$work/fw" --target 192.168.0.120 --config keep --serial 4711 stock) ;;
  window)
    mode=${2:-production}
    args=(-VAZIR "-FW=$work/fw" "-SNR=$work/snr" "-IPE=$work/ipe")
    if [ "$mode" = stock ]; then args+=(-LAGER -DSTIP=192.168.0.120); else args+=(-PROREP -DSTIP=192.168.0.110); fi
    cmd=("$here/build/src/ui/vestrolan-manager" "${args[@]}")
    if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then cmd=(xvfb-run -a "${cmd[@]}"); fi
    ;;
  *) echo "usage: $0 program | stock | window production|stock" >&2; exit 1 ;;
esac
"$here/tests/integration/testbed.sh" "$here/scripts/demo-network.sh" "$0" --inside "$work" "${cmd[@]}"
