#!/usr/bin/env bash
# The production demonstration with simulated devices (res/demo/production.ini) and the
# programmer stand-in installed as "ipecmd.exe":
#   scripts/demo-production.sh program   initial programming of the blank board at 192.168.0.110
#   scripts/demo-production.sh stock     stock update of the device at 192.168.0.120
#   scripts/demo-production.sh endurance [PASSES]   endurance run of three new devices, connected
#                                        one by one at the run's notice (res/demo/endurance.ini)
#   scripts/demo-production.sh window production|stock|endurance   the station window in that mode
# The records (SNR.LOG, MA.LST, _Vorlagen, _Dauerlauf, the device folders) are kept in
# $XDG_CACHE_HOME/vestrolan/demo-production (see scripts/demo-folder.sh), so each run continues the
# last one; its path is printed at the end. The firmware and the tool are copied into a temporary
# folder for each run.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
. "$here/scripts/demo-folder.sh"
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
  if [ "${VST_DEMO_WINDOW:-}" = endurance ]; then
    echo "Connect device n (1, 2, 3) when the window asks for it, in another shell:" >&2
    echo "  $work/connect-device n" >&2
  fi
  exec "$@"
fi
what=${1:-}
usage="usage: $0 program | stock | endurance [PASSES] | window production|stock|endurance"
case "$what" in
  program | stock | endurance | window) ;;
  *) echo "$usage" >&2; exit 1 ;;
esac
mode=${2:-production}
if [ "$what" = window ]; then
  case "$mode" in production | stock | endurance) ;; *) echo "$usage" >&2; exit 1 ;; esac
fi
# VESTROLAN_BUILD_DIR and VESTROLAN_SKIP_BUILD as for scripts/run.sh.
build=${VESTROLAN_BUILD_DIR:-$here/build}
export VESTROLAN_BUILD_DIR=$build
targets=(--target vestrolan-cli --target vestrolan-devsim --target vestrolan-ipe-standin)
[ "$what" = window ] && targets+=(--target vestrolan-manager)
if [ -z "${VESTROLAN_SKIP_BUILD:-}" ]; then
  "$here/scripts/build.sh" "$build" "${targets[@]}" >&2
fi

# The records folder, as a production mode needs it: the serial-number log SNR.LOG (the station
# never creates it), the operator signs MA.LST, the configuration templates _Vorlagen, and
# _Dauerlauf for the endurance runs.
records="$(demo_folder)/demo-production"
mkdir -p "$records/_Dauerlauf"
[ -e "$records/SNR.LOG" ] || : >"$records/SNR.LOG"
[ -e "$records/MA.LST" ] || printf 'DEMO\r\nMM\r\n' >"$records/MA.LST"
[ -d "$records/_Vorlagen" ] || cp -r "$here/res/templates/_Vorlagen" "$records/"

# Serial numbers the log has not seen yet, from 4711 up, so that a demonstration can run again.
next_serial() {
  local highest
  highest=$(tr -d '\r' <"$records/SNR.LOG" | grep -oE '[0-9]{8}$' | sort -n | tail -n 1 || true)
  highest=$((10#${highest:-0}))
  [ "$highest" -lt 4710 ] && highest=4710
  echo $((highest + 1))
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/ipe" "$work/fw"
cp "$build/tools/ipe-standin/vestrolan-ipe-standin" "$work/ipe/ipecmd.exe"
cp "$here"/res/demo/firmware/* "$work/fw/"
export VST_DEMO_FLEET="$here/res/demo/production.ini" VST_DEMO_DORMANT=192.168.0.110
if [ "$what" = endurance ] || [ "$mode" = endurance ]; then
  export VST_DEMO_FLEET="$here/res/demo/endurance.ini" VST_DEMO_DORMANT="192.168.0.131 192.168.0.132 192.168.0.133"
fi
cli="$build/src/cli/vestrolan-cli"
case "$what" in
  program) cmd=("$cli" --card 0 --snr "$records" --fw "$work/fw" --ipe "$work/ipe" --target 192.168.0.110 --ssid "" program) ;;
  stock)
    serial=$(next_serial)
    cmd=("$cli" --card 0 --snr "$records" --fw "$work/fw" --target 192.168.0.120 --config keep --serial "$serial" stock)
    ;;
  endurance)
    first=$(next_serial)
    # A batch number of its own for each run: an existing run folder would be a question.
    cmd=("$cli" --card 0 --snr "$records" --fw "$work/fw" --target 192.168.0.201 --config keep
         --on-notice "35407=$work/connect-device \$VST_DEVICE" --passes "${2:-2}"
         endurance --type production --number "$(date +%Y%m%d-%H%M%S)" --count 3
         --serials "$first,$((first + 1)),$((first + 2))")
    ;;
  window)
    # A production mode needs the card (-NETCARD) for its searches and, for "Urladen", the
    # firmware and tool folders and the board's address.
    args=(-VAZIR -NETCARD=0 "-FW=$work/fw" "-SNR=$records" "-IPE=$work/ipe")
    case "$mode" in
      stock) args+=(-LAGER -DSTIP=192.168.0.120) ;;
      endurance) args+=(-DL -DSTIP=192.168.0.201) ;;
      production) args+=(-PROREP -DSTIP=192.168.0.110) ;;
    esac
    export VST_DEMO_WINDOW=$mode
    # The window's CPU test always joins the device's wireless network: here the stand-in of
    # VESTROLAN_WLAN_DOUBLE, through which the board answers (the console leaves it out, --ssid "").
    [ "$mode" = production ] && export VESTROLAN_WLAN_DOUBLE=${VESTROLAN_WLAN_DOUBLE:-1}
    cmd=("$build/src/ui/vestrolan-manager" "${args[@]}")
    if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then cmd=(xvfb-run -a "${cmd[@]}"); fi
    ;;
esac
rc=0
"$here/tests/integration/testbed.sh" "$here/scripts/demo-network.sh" "$0" --inside "$work" "${cmd[@]}" || rc=$?
echo "The records of the production demonstration are in $records" >&2
exit $rc
