#!/usr/bin/env bash
# Runs a command on the station's side of a private test network, made without privileges:
# a user, network and mount namespace of its own for the station, and a second network namespace
# for the simulated devices, joined by two veth pairs (two network cards):
#   station vst0 192.168.0.1/24   <->  vst1 (devices)
#   station vst2 10.20.255.254/16 <->  vst3 (devices)
# The devices' namespace is named by VST_DEVICE_NS_PID (a process living in it); tests add the
# device addresses to vst1 or vst3 and start the simulator there. No packet leaves the namespaces.
# When the namespaces cannot be made, the command still runs, with VST_TESTBED_UNAVAILABLE
# holding the reason, so that the tests report themselves skipped.
#
# Every process of the test network (the namespaces' helpers, the command and whatever it starts,
# the simulator among them) runs in a session and process group of its own, and no process of it
# outlives the run:
# - Ctrl+C, SIGTERM or SIGHUP to this script is passed on as SIGTERM to the whole group, so each
#   program ends in its own way (the simulator writes its state, the console finishes its step);
#   this script returns once the group is empty. A second signal kills the group at once, and so
#   does a group that has not ended 120 s after the first.
# - When the command has ended by itself, whatever it left behind gets SIGTERM and, 5 s later,
#   SIGKILL.
# - When this script itself is killed, the group gets SIGTERM as well (parent-death signal).
set -u
if [ "$#" -eq 0 ]; then
  echo "usage: testbed.sh COMMAND [ARGS...]" >&2
  exit 2
fi

if [ -z "${VST_INSIDE_TESTBED:-}" ]; then
  probe=$(unshare -rnm --fork true 2>&1)
  if [ $? -ne 0 ]; then
    VST_TESTBED_UNAVAILABLE="cannot create network namespaces: ${probe:-unshare failed}" exec "$@"
  fi
  # A background job of this script is no process-group leader, so setsid makes the new session
  # in place: the job's pid is the group's id.
  VST_INSIDE_TESTBED=1 VST_TESTBED_OUTER=$$ setsid setpriv --pdeathsig TERM unshare -rnm --kill-child=SIGTERM \
    "$0" "$@" &
  group=$!
  signals=0
  stop_group() {
    signals=$((signals + 1))
    if [ "$signals" -eq 1 ]; then
      kill -TERM -- "-$group" 2>/dev/null
    else
      echo "testbed.sh: stopping the test network at once" >&2
      kill -KILL -- "-$group" 2>/dev/null
    fi
  }
  trap stop_group INT TERM HUP
  # `wait` returns early when a signal is trapped; the job's status is kept for the last one.
  while kill -0 "$group" 2>/dev/null; do wait "$group"; done
  wait "$group"
  rc=$?
  if [ "$signals" -eq 0 ]; then
    kill -TERM -- "-$group" 2>/dev/null
    limit=50
  else
    limit=1200
  fi
  for _ in $(seq "$limit"); do
    kill -0 -- "-$group" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 -- "-$group" 2>/dev/null; then
    echo "testbed.sh: processes of the test network did not end; killing them" >&2
    kill -KILL -- "-$group" 2>/dev/null
  fi
  exit "$rc"
fi

fail() {
  local reason=$1
  shift
  VST_TESTBED_UNAVAILABLE="test network setup failed: $reason" exec "$@"
}

# Inside. When the outer script is gone (killed), the signal that reached this shell through the
# namespaces' parent is passed on to the whole group, once; while it lives, it has signalled the
# group itself, and every process has its SIGTERM already (a second one could mean more to a
# program than the first).
passed_on=
pass_on() {
  [ -n "$passed_on" ] && return
  kill -0 "${VST_TESTBED_OUTER:-0}" 2>/dev/null && return
  passed_on=1
  kill -TERM 0 2>/dev/null
}
trap pass_on INT TERM HUP

mount -t sysfs sysfs /sys 2>/dev/null || true
ip link set lo up || fail "loopback" "$@"
ip link add vst0 type veth peer name vst1 || fail "veth pair vst0/vst1" "$@"
ip link add vst2 type veth peer name vst3 || fail "veth pair vst2/vst3" "$@"

unshare -n sleep infinity &
holder=$!
trap 'kill $holder 2>/dev/null' EXIT
for _ in $(seq 100); do
  [ "$(readlink /proc/$holder/ns/net)" != "$(readlink /proc/self/ns/net)" ] && break
  sleep 0.01
done

ip link set vst1 netns "$holder" && ip link set vst3 netns "$holder" || fail "moving the device ends" "$@"
nsenter -t "$holder" -n sh -c '
  ip link set lo up && ip link set vst1 up && ip link set vst3 up &&
  sysctl -qw net.ipv4.conf.all.rp_filter=0 net.ipv4.conf.default.rp_filter=0 \
             net.ipv4.conf.vst1.rp_filter=0 net.ipv4.conf.vst3.rp_filter=0 2>/dev/null
  # A fixed address on each side keeps the routes back to the station when devices move away.
  ip addr add 192.168.0.254/24 dev vst1 && ip addr add 10.20.255.253/16 dev vst3' || fail "device side" "$@"
sysctl -qw net.ipv4.conf.all.rp_filter=0 net.ipv4.conf.default.rp_filter=0 2>/dev/null
ip addr add 192.168.0.1/24 dev vst0 && ip link set vst0 up || fail "card vst0" "$@"
ip addr add 10.20.255.254/16 dev vst2 && ip link set vst2 up || fail "card vst2" "$@"
sysctl -qw net.ipv4.conf.vst0.rp_filter=0 net.ipv4.conf.vst2.rp_filter=0 2>/dev/null

# Give the links a moment to come up.
for _ in $(seq 100); do
  ip -br link show vst0 | grep -q UP && ip -br link show vst2 | grep -q UP && break
  sleep 0.01
done

export VST_DEVICE_NS_PID=$holder
# In the background, so that a signal is handled while the command runs (a shell runs its traps
# only after a command in the foreground has ended).
"$@" &
command=$!
while kill -0 "$command" 2>/dev/null; do wait "$command"; done
wait "$command"
rc=$?
kill "$holder" 2>/dev/null
exit $rc
