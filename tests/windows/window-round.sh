#!/usr/bin/env bash
# The station window for Windows under Wine, on a virtual X display (Xvfb), run from the unpacked
# Windows zip so that the zip alone must carry every DLL and plugin it needs:
#  1. vestrolan-screenshots.exe renders every window in both languages; the file names must be the
#     ones the Linux renderer writes, and none may be blank (the renderer refuses one-colour pictures);
#  2. the station against the Linux device simulator: the language is read from the registry's
#     machine value, a search is started with the keyboard as an operator would (xdotool), the found
#     devices are read from the window's list export, the language dialog stores the other language
#     in the registry, and the menu's "Beenden" ends the program; no Wine process may remain.
# Runs inside the test bed: tests/integration/testbed.sh tests/windows/window-round.sh WINBUILD LINUXBUILD
set -u
round=window
. "$(dirname "$0")/round-start.sh"
wineserver=${wine%/*}/wineserver64
devsim=$linux_build/tools/devsim/vestrolan-devsim
for tool in Xvfb xdotool; do
  command -v "$tool" >/dev/null || { echo "window round FAILED: $tool is missing (scripts/setup.sh installs it)"; exit 1; }
done
zip=$(ls "$win_build"/vestrolan-[0-9]*-win64.zip 2>/dev/null | head -n 1)
[ -n "$zip" ] || { echo "window round FAILED: no station zip in $win_build"; exit 1; }

work=$(mktemp -d)
sim=
xvfb=
station=
cleanup() {
  [ -n "$station" ] && kill "$station" 2>/dev/null
  "$wineserver" -k 2>/dev/null
  [ -n "$sim" ] && kill "$sim" 2>/dev/null
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() { echo "FAILED $*"; failures=$((failures + 1)); }

# The zip unpacked: the station and, beside it for this round only, the screenshot renderer.
(cd "$work" && cmake -E tar xf "$zip") || { echo "window round FAILED: cannot unpack $zip"; exit 1; }
app=$(ls -d "$work"/vestrolan-*-win64)
cp "$win_build/src/ui/vestrolan-screenshots.exe" "$app/"

# A virtual display of our own in this network namespace.
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp >"$work/xvfb.out" 2>&1 &
xvfb=$!
exec 3>&-
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
[ -s "$work/display" ] || { echo "window round FAILED: Xvfb did not start"; cat "$work/xvfb.out"; exit 1; }
export DISPLAY=:$(head -n 1 "$work/display")
export WINEDEBUG=-all LC_ALL=C.UTF-8
# One Wine server in this network namespace for the whole round: Wine reads the cards from here.
"$wineserver" -p 2>/dev/null

# ---- 1. the screenshots ----------------------------------------------------------------------
QT_QPA_PLATFORM=offscreen "$linux_build/src/ui/vestrolan-screenshots" "$work/linux-shots" >/dev/null 2>&1 ||
  fail "the Linux screenshots (reference names)"
start=$(date +%s)
"$wine" "$app/vestrolan-screenshots.exe" "Z:$work/windows-shots" >"$work/shots.out" 2>"$work/shots.err" ||
  { fail "vestrolan-screenshots.exe: $(grep -c FAILED "$work/shots.out") failed picture(s)"; grep FAILED "$work/shots.out" | head -5; tail -5 "$work/shots.err"; }
linux_names=$(cd "$work/linux-shots" 2>/dev/null && ls)
windows_names=$(cd "$work/windows-shots" 2>/dev/null && ls)
if [ -n "$windows_names" ] && [ "$linux_names" = "$windows_names" ]; then
  echo "same   screenshots: $(echo "$windows_names" | wc -l) pictures in both languages under Wine ($(( $(date +%s) - start )) s), none blank"
else
  fail "the screenshot names differ from Linux:"
  diff <(echo "$linux_names") <(echo "$windows_names") | head -10
fi
[ -n "${VST_KEEP_SCREENSHOTS:-}" ] && mkdir -p "$VST_KEEP_SCREENSHOTS" && cp "$work"/windows-shots/*.png "$VST_KEEP_SCREENSHOTS"/

# ---- 2. the station against the simulator ----------------------------------------------------
cat > "$work/fleet.ini" <<'FLEET'
[device]
mac = 02:00:00:00:00:01
address = 192.168.0.101/24
name = Kessel 1
serial = 1001

[device]
mac = 02:00:00:00:00:02
address = 192.168.0.102/24
name = Halle 2

[device]
kind = 1
mac = 02:00:00:00:00:07
address = 10.20.0.7
mask = 255.255.0.0
name = Lager 7
FLEET
start_simulator

# German stored as the station's language, where the station has always kept it (the machine's
# registry, 32-bit view); Wine's own installation language is English, so German proves the read.
key='HKLM\SOFTWARE\KW\Vestrolan-Manager'
"$wine" reg add "$key" /v Language /t REG_DWORD /d 0 /reg:32 /f >/dev/null 2>&1 ||
  { echo "window round FAILED: cannot store the language in Wine's registry"; exit 1; }

VESTROLAN_TIME_SCALE=10 "$wine" "$app/vestrolan-manager.exe" >"$work/station.out" 2>&1 &
station=$!
window=$(timeout 180 xdotool search --sync --onlyvisible --name '^Vestrolan-Manager' 2>/dev/null | head -n 1)
if [ -z "$window" ]; then
  echo "window round FAILED: the station's window did not appear"
  cat "$work/station.out" | head -20
  exit 1
fi
echo "ok     the station's window is shown under Wine"
focus() { xdotool windowfocus --sync "$window" 2>/dev/null; sleep 0.3; }
keys() { focus; for k in "$@"; do xdotool key --clearmodifiers "$k"; sleep 0.3; done; }

# export FILE: "Liste exportieren…" from the file menu (Alt, down into the first menu, its first
# item), the file name typed into the save dialog.
export_list() {
  local file=$1
  keys alt Down Return
  sleep 2
  # The proposed name cleared (Wine's edit field has no Ctrl+A).
  xdotool key --clearmodifiers End shift+Home Delete
  xdotool type --delay 20 "Z:${file//\//\\}"
  xdotool key --clearmodifiers Return
  for _ in $(seq 100); do [ -s "$file" ] && break; sleep 0.1; done
}

# The search, started as the operator does: the window opens with the search button focused.
keys space
devices=0
for attempt in 1 2 3 4 5 6; do
  sleep 3
  rm -f "$work/list$attempt.csv"
  export_list "$work/list$attempt.csv"
  devices=$(grep -c -E '02:00:00:00:00:0[127]|02-00-00-00-00-0[127]' "$work/list$attempt.csv" 2>/dev/null)
  [ "${devices:-0}" -ge 3 ] && break
done
list="$work/list$attempt.csv"
if [ "${devices:-0}" -ge 3 ] && grep -q 'Kessel 1' "$list" && grep -q 'Halle 2' "$list" && grep -q 'Lager 7' "$list"; then
  echo "ok     search started with the keyboard; the list export holds the 3 simulated devices"
else
  fail "the list export does not hold the 3 simulated devices:"
  cat "$list" 2>/dev/null | head -5
fi
german_header=$(head -n 1 "$list" 2>/dev/null)

# The language dialog ("Hilfe", "Sprache"): English chosen and stored.
keys alt Right Down Return
sleep 1
xdotool key --clearmodifiers Down
sleep 0.3
xdotool key --clearmodifiers Return
sleep 1
stored=$("$wine" reg query "$key" /v Language /reg:32 2>/dev/null | tr -d '\r' | awk '/Language/ {print $3}')
if [ "$stored" = "0x2710" ]; then
  echo "ok     the language dialog stored English (10000) in $key (32-bit view)"
else
  fail "the registry holds Language=${stored:-nothing} after choosing English"
fi
rm -f "$work/english.csv"
export_list "$work/english.csv"
english_header=$(head -n 1 "$work/english.csv" 2>/dev/null)
if [ -n "$german_header" ] && [ -n "$english_header" ] && [ "$german_header" != "$english_header" ]; then
  echo "ok     the list's column titles followed the language: German from the registry, then English"
else
  fail "the column titles did not change with the language ('$german_header' / '$english_header')"
fi

# "Beenden" from the file menu (Alt, into the first menu, up to its last item).
keys alt Down Up Return
ended=0
for _ in $(seq 100); do
  kill -0 "$station" 2>/dev/null || { ended=1; break; }
  sleep 0.1
done
if [ $ended -eq 1 ]; then
  wait "$station"
  echo "ok     \"Beenden\" ended the station (status $?)"
  station=
else
  fail "\"Beenden\" did not end the station"
fi

"$wine" reg delete "$key" /reg:32 /f >/dev/null 2>&1
"$wineserver" -k 2>/dev/null
"$wineserver" -w 2>/dev/null
# Wine's processes of this prefix (Windows programs, services, the server), wherever they hang.
left=0
for environ in $(grep -l -s -z "^WINEPREFIX=$WINEPREFIX\$" /proc/[0-9]*/environ); do
  pid_dir=${environ%/environ}
  case $(readlink "$pid_dir/exe" 2>/dev/null) in
    */wine*) left=$((left + 1)); echo "  left: $(tr '\0' ' ' < "$pid_dir/cmdline" 2>/dev/null)" ;;
  esac
done
if [ "$left" -eq 0 ]; then
  echo "ok     no Wine process left"
else
  fail "$left Wine process(es) left behind"
fi

if [ $failures -ne 0 ]; then
  echo "window round: $failures failure(s)"
  exit 1
fi
echo "window round: the Windows station works under Wine"
