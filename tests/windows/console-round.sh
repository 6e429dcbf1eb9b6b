#!/usr/bin/env bash
# The Windows console under Wine against the Linux device simulator, command for command beside the
# Linux console: search, rename, backup, restore and config must print the same bytes and end with
# the same status; cards are compared by index and addresses (Wine names the adapters its own way).
# Runs inside the test bed: tests/integration/testbed.sh tests/windows/console-round.sh WINBUILD LINUXBUILD
set -u
round=console
. "$(dirname "$0")/round-start.sh"
linux_cli=$linux_build/src/cli/vestrolan-cli
windows_cli=$win_build/src/cli/vestrolan-cli.exe
devsim=$linux_build/tools/devsim/vestrolan-devsim
work=$(mktemp -d)
trap 'kill $sim 2>/dev/null; "${wine%/*}/wineserver64" -k 2>/dev/null; rm -rf "$work"' EXIT

# The devices: two on the first card, one on the second.
cat > "$work/fleet.ini" <<'FLEET'
[device]
mac = 02:00:00:00:00:01
address = 192.168.0.101/24
name = Kessel ä
serial = 1001
app = 1.05
boot = 1.02
config_line = [User]
process_line = #PCN 1
restart_ms = 200

[device]
mac = 02:00:00:00:00:02
address = 192.168.0.102/24
name = Halle 2
restart_ms = 200

[device]
kind = 1
mac = 02:00:00:00:00:07
address = 10.20.0.7
mask = 255.255.0.0
name = Lager 7
app = 2.5
FLEET
start_simulator

# One Wine server in this network namespace for the whole round: Wine reads the cards from here.
export WINEDEBUG=-all LC_ALL=C.UTF-8 VESTROLAN_TIME_SCALE=10 VESTROLAN_SETTINGS=$work/settings.ini
"${wine%/*}/wineserver64" -p 2>/dev/null

# English as the stored language of both: the settings file here, the registry's 32-bit view there.
printf '[SOFTWARE\\KW\\Vestrolan-Manager]\nLanguage=dword:10000\n' > "$work/settings.ini"
"$wine" reg add 'HKLM\SOFTWARE\KW\Vestrolan-Manager' /v Language /t REG_DWORD /d 10000 /reg:32 /f >/dev/null 2>&1 ||
  { echo "cannot store the language in Wine's registry"; exit 1; }

failures=0
# run NAME FILTER ARGS...: both consoles with the same arguments; a path argument is written as
# @name (a file of each console's own folder) or %/absolute/path (the same place for both: Wine
# shows the root as drive Z:).
run() {
  local name=$1 filter=$2
  shift 2
  mkdir -p "$work/linux" "$work/windows"
  local la=() wa=()
  for a in "$@"; do
    case $a in
      @*) la+=("$work/linux/${a#@}"); wa+=("Z:$work/windows/${a#@}") ;;
      %*) la+=("${a#%}"); wa+=("Z:${a#%}") ;;
      *) la+=("$a"); wa+=("$a") ;;
    esac
  done
  "$linux_cli" "${la[@]}" > "$work/linux.out" 2> "$work/linux.err"
  local ls=$?
  "$wine" "$windows_cli" "${wa[@]}" > "$work/windows.out" 2> "$work/windows.err"
  local ws=$?
  $filter < "$work/linux.out" > "$work/linux.cmp"
  $filter < "$work/windows.out" > "$work/windows.cmp"
  if [ $ls -eq $ws ] && cmp -s "$work/linux.cmp" "$work/windows.cmp"; then
    echo "same   $name (status $ls, $(wc -c < "$work/linux.out") bytes: $(head -c 60 "$work/linux.out" | tr '\t\n' '  '))"
  else
    echo "DIFFER $name: status linux $ls, windows $ws"
    diff <(od -c "$work/linux.cmp") <(od -c "$work/windows.cmp") | head -20
    sed 's/^/  linux stderr: /' "$work/linux.err" | head -5
    sed 's/^/  windows stderr: /' "$work/windows.err" | head -5
    failures=$((failures + 1))
  fi
}
as_is() { cat; }
sorted() { LC_ALL=C sort; }
index_and_addresses() { cut -f1,3-; }

run "cards" index_and_addresses cards
run "search" sorted search
run "search on card 0, directed" as_is --card 0 search --target 192.168.0.101 --directed-only
run "search as CSV" sorted search --csv
run "rename (German, umlaut in the argument)" as_is --lang de --card 0 rename 02:00:00:00:00:02 "Prüfstand"
run "search after rename" sorted --card 0 search
run "rename of a missing device" as_is --lang en --card 0 rename 02:00:00:00:00:09 X
run "backup" as_is --lang en --card 0 backup 02:00:00:00:00:01 @dev.bak
if cmp -s "$work/linux/dev.bak" "$work/windows/dev.bak"; then
  echo "same   backup file ($(wc -c < "$work/linux/dev.bak") bytes)"
else
  echo "DIFFER backup file"; failures=$((failures + 1))
fi
printf '[User]\n\n#PCN 2\n' > "$work/linux/new.bak"
cp "$work/linux/new.bak" "$work/windows/new.bak"
run "restore" as_is --lang en --card 0 restore 02:00:00:00:00:01 @new.bak
run "backup after restore" as_is --lang de --card 0 backup 02:00:00:00:00:01 @after.bak
cmp -s "$work/linux/after.bak" "$work/windows/after.bak" || { echo "DIFFER backup after restore"; failures=$((failures + 1)); }
grep -q '^#PCN 2' "$work/windows/after.bak" || { echo "the restored configuration is not on the device"; failures=$((failures + 1)); }
run "config (Windows-1252 bytes)" as_is config --snr "%$here/res/templates" --base "Vestrolan Basis" \
  --sensor "Energiezähler 5A" --extension "Eingänge"
run "config in English" as_is config --snr "%$here/res/templates" --base "Vestrolan Basis" --english
run "config with an unknown base" as_is config --snr "%$here/res/templates" --base "Nichts"

"$wine" reg delete 'HKLM\SOFTWARE\KW\Vestrolan-Manager' /reg:32 /f >/dev/null 2>&1

if [ $failures -ne 0 ]; then
  echo "console round: $failures difference(s)"
  exit 1
fi
echo "console round: the Windows console printed what the Linux console printed"
