#!/usr/bin/env bash
# The Windows simulator under Wine, on the loopback addresses of this machine: a fleet of two
# devices (127.0.0.1 and 127.0.0.2) answers a search sent to the first device from that device's
# own address (bash's UDP socket is connected, so an answer from any other address would not reach
# it), serves the web page of the second, stops on Ctrl+C, and refuses --interface with a message.
# Wine ignores the source address an answer asks for, so the search sent to the second device must
# either be answered from 127.0.0.2 (as on Windows) or be logged as not sent, never come from
# another address.
# Usage: tests/windows/devsim-smoke.sh WINDOWS-BUILD-DIR WINE
set -u
win=${1:?usage: devsim-smoke.sh WINDOWS-BUILD-DIR WINE}
wine=${2:?usage: devsim-smoke.sh WINDOWS-BUILD-DIR WINE}
exe="$win/tools/devsim/vestrolan-devsim.exe"
work=$(mktemp -d)
pid=
cleanup() {
  [ -n "$pid" ] && kill -KILL "$pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "devsim smoke test FAILED: $*"
  echo "--- simulator output:"; cat "$work/out" "$work/err" 2>/dev/null
  exit 1
}

"$wine" "$exe" --generate 2 --network 127.0.0.2/8 --bind 0.0.0.0 --port 0 --web-port 0 --verbose \
  >"$work/out" 2>"$work/err" &
pid=$!
for _ in $(seq 300); do
  grep -q '^ready' "$work/out" 2>/dev/null && break
  kill -0 "$pid" 2>/dev/null || fail "the simulator ended before it was ready"
  sleep 0.1
done
grep -q '^ready' "$work/out" || fail "no \"ready\" within 30 s"
read -r port web < <(sed -n 's/.* device(s) on port \([0-9]*\), web port \([0-9]*\).*/\1 \2/p' "$work/err")
[ -n "${port:-}" ] && [ -n "${web:-}" ] || fail "no ports in the simulator's first line"

# The search: magic, command word "?S", length 16, MAC filter for all devices. Prints the answer
# in hex (empty when none came within the time).
search() {
  exec 3<>"/dev/udp/$1/$port" || fail "no UDP socket"
  printf 'KW_VtL?S\x10\x00\xff\xff\xff\xff\xff\xff' >&3
  timeout "$2" dd bs=2048 count=1 <&3 2>/dev/null | od -An -tx1 -v | tr -d ' \n'
  exec 3<&-
}
answer=$(search 127.0.0.1 10)
[ "${answer:0:12}" = "4b575f56744c" ] || fail "no answer from 127.0.0.1:$port to the search (got '${answer:0:40}')"
[ $(( ${#answer} / 2 )) -eq 67 ] || fail "the search answer has $(( ${#answer} / 2 )) bytes, not 67"
answer=$(search 127.0.0.2 3)
if [ -z "$answer" ]; then
  grep -q 'answer from 127.0.0.2 to 127.0.0.1:[0-9]* not sent' "$work/err" ||
    fail "the search to 127.0.0.2 got no answer and no message"
elif [ "${answer:0:12}" != "4b575f56744c" ]; then
  fail "a wrong answer from 127.0.0.2:$port (got '${answer:0:40}')"
fi
device=127.0.0.2

exec 4<>"/dev/tcp/$device/$web" || fail "no connection to $device:$web"
printf 'GET / HTTP/1.1\r\nHost: %s\r\nConnection: close\r\n\r\n' "$device" >&4
page=$(timeout 10 cat <&4 | head -c 200)
exec 4<&-
case "$page" in
  HTTP/1.?\ *) ;;
  *) fail "no HTTP answer from $device:$web (got '${page:0:60}')" ;;
esac

kill -INT "$pid"
for _ in $(seq 100); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
kill -0 "$pid" 2>/dev/null && fail "still running 10 s after Ctrl+C"
wait "$pid"
status=$?
pid=
[ "$status" -eq 0 ] || fail "exit status $status after Ctrl+C"

refusal=$("$wine" "$exe" --generate 1 --network 127.0.0.2/8 --interface lo 2>&1)
status=$?
[ "$status" -eq 1 ] && grep -q -- '--interface is not available on Windows' <<<"$refusal" ||
  fail "--interface not refused as it should be (status $status: $refusal)"

echo "devsim smoke test passed: search answer from 127.0.0.1, web answer from $device, Ctrl+C, --interface refused"
