#!/usr/bin/env bash
# Runs every entry point of the test network as a user would and then looks for what is left:
#   - the console in the demonstration network, ending by itself;
#   - scripts/run.sh ended by SIGTERM, by Ctrl+C (SIGINT to its process group, as a terminal sends
#     it), and by the station's own end;
#   - scripts/demo-production.sh program.
# After each, no process that any of them started may be left (every process carries a mark in its
# environment), the simulated devices' state and the demonstrations' settings are in the cache
# folder, and nothing is written to the user's settings folder.
# Usage: tests/integration/no-leftovers.sh BUILD-DIR
set -u
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")/../.." && pwd)
probe=$(unshare -rnm --fork true 2>&1) || { echo "[  SKIPPED ] cannot create network namespaces: $probe"; exit 0; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CACHE_HOME=$work/cache XDG_CONFIG_HOME=$work/config
export VESTROLAN_BUILD_DIR=$build VESTROLAN_SKIP_BUILD=1 QT_QPA_PLATFORM=offscreen
unset VESTROLAN_SETTINGS VST_DEMO_STATE VST_DEMO_FLEET
mark=vst-leftover-$$-$RANDOM
export VST_LEFTOVER_MARK=$mark
failed=0

# Every process whose environment carries this run's mark: "pid command line". A process shows
# the environment it was started with, so this script and its subshells carry no mark, and the
# tools that look run without it.
marked() {
  local file pid
  for file in $(env -u VST_LEFTOVER_MARK grep -l -a -z -x "VST_LEFTOVER_MARK=$mark" /proc/[0-9]*/environ 2>/dev/null); do
    pid=${file#/proc/}
    pid=${pid%/environ}
    [ -e "/proc/$pid" ] || continue
    echo "$pid $(env -u VST_LEFTOVER_MARK tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null)"
  done
}

check_nothing_left() {
  local what=$1 left
  left=$(marked)
  if [ -n "$left" ]; then
    echo "FAIL $what: processes left behind:" >&2
    echo "$left" >&2
    failed=1
    for pid in $(echo "$left" | cut -d' ' -f1); do kill -KILL "$pid" 2>/dev/null; done
  else
    echo "ok   $what: nothing left"
  fi
}

# Waits until the file holds the text (at most 30 s).
wait_for() {
  for _ in $(seq 300); do grep -q "$2" "$1" 2>/dev/null && return 0; sleep 0.1; done
  echo "FAIL: '$2' did not appear in $1:" >&2
  cat "$1" >&2
  failed=1
  return 1
}

# Waits for the process to end (at most 60 s); its exit status.
wait_end() {
  for _ in $(seq 600); do kill -0 "$1" 2>/dev/null || break; sleep 0.1; done
  if kill -0 "$1" 2>/dev/null; then
    echo "FAIL: process $1 did not end" >&2
    failed=1
    kill -KILL -- "-$1" 2>/dev/null
  fi
  wait "$1"
}

# Starts run.sh in a process group of its own, as a shell starts a command in the foreground: with
# job control, so that SIGINT is not ignored as in a background job of a script. Sets $run.
start_run() {
  local output=$1
  shift
  set -m
  "$here/scripts/run.sh" "$@" >"$output" 2>&1 &
  run=$!
  set +m
}

cli=$build/src/cli/vestrolan-cli
testbed=$here/tests/integration/testbed.sh
demo=$here/scripts/demo-network.sh

# 1. The console in the demonstration network; a device renamed there keeps its name next time.
"$testbed" "$demo" "$cli" --card 0 rename 02:00:00:00:00:01 Umbenannt >"$work/out1" 2>&1
rc=$?
[ "$rc" -eq 0 ] || { echo "FAIL console rename: exit $rc" >&2; cat "$work/out1" >&2; failed=1; }
check_nothing_left "console (rename)"
"$testbed" "$demo" "$cli" --card 0 search >"$work/out2" 2>"$work/err2"
grep -q "^Umbenannt	" "$work/out2" || { echo "FAIL: the renamed device was not kept" >&2; cat "$work/out2" "$work/err2" >&2; failed=1; }
check_nothing_left "console (search)"

# 2. run.sh ended by SIGTERM: the simulator writes its state on the way out.
start_run "$work/run1"
wait_for "$work/run1" "Simulated devices are answering" && sleep 1
kill -TERM "$run"
wait_end "$run"
check_nothing_left "run.sh + SIGTERM"
grep -q "name = Umbenannt" "$XDG_CACHE_HOME/vestrolan/devsim-state.ini" ||
  { echo "FAIL: no state kept in the cache folder" >&2; failed=1; }

# 3. run.sh ended by Ctrl+C: the terminal sends SIGINT to the whole foreground process group.
start_run "$work/run2"
wait_for "$work/run2" "Simulated devices are answering" && sleep 1
kill -INT -- "-$run"
wait_end "$run"
check_nothing_left "run.sh + Ctrl+C"

# 4. run.sh when the station ends by itself ("Beenden"); --fresh starts from the fleet file again.
start_run "$work/run3" --fresh
wait_for "$work/run3" "Simulated devices are answering" && sleep 1
station=$(marked | grep "$build/src/ui/vestrolan-manager" | cut -d' ' -f1 | head -n 1)
if [ -n "$station" ]; then kill -TERM "$station"; else echo "FAIL: no station found" >&2; failed=1; fi
wait_end "$run"
check_nothing_left "run.sh, station ended"
grep -q "start from res/demo/fleet.ini again" "$work/run3" || { echo "FAIL: --fresh said nothing" >&2; failed=1; }
if grep -q "name = Umbenannt" "$XDG_CACHE_HOME/vestrolan/devsim-state.ini" 2>/dev/null; then
  echo "FAIL: --fresh kept the old state" >&2
  failed=1
fi

# 5. The production demonstration.
"$here/scripts/demo-production.sh" program >"$work/demo1" 2>&1
rc=$?
[ "$rc" -eq 0 ] || { echo "FAIL demo-production.sh program: exit $rc" >&2; cat "$work/demo1" >&2; failed=1; }
check_nothing_left "demo-production.sh program"
grep -q "records of the production demonstration are in $XDG_CACHE_HOME/vestrolan/demo-production" "$work/demo1" ||
  { echo "FAIL: the records folder was not named" >&2; failed=1; }

# Nothing went to the user's settings folder.
if [ -n "$(ls -A "$XDG_CONFIG_HOME" 2>/dev/null)" ]; then
  echo "FAIL: written to the user's settings folder:" >&2
  find "$XDG_CONFIG_HOME" >&2
  failed=1
fi
exit $failed
