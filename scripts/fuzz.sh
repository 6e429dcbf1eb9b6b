#!/usr/bin/env bash
# Builds the libFuzzer programs of tests/fuzz with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs them.
#
#   scripts/fuzz.sh HARNESS|all SECONDS   run one harness, or each in turn, for SECONDS each
#   scripts/fuzz.sh merge HARNESS|all     fold what the runs found into the checked-in corpus
#   scripts/fuzz.sh list                  name the harnesses
#
# Runs read the checked-in corpus tests/fuzz/corpus/HARNESS and keep new inputs in
# build-fuzz/corpus/HARNESS; a crashing input lands in build-fuzz/artifacts/HARNESS. The output
# goes to build-fuzz/logs/HARNESS-<time>.log. FUZZ_NICE (default 19) lowers the priority.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${FUZZ_BUILD_DIR:-"$here/build-fuzz"}
corpus="$here/tests/fuzz/corpus"
harnesses=(udp_answer byte_ring web_head web_body documents test_lines catalogue configuration
           restore_split serial_log command_line settings)

usage() { sed -n '5,8p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }

select_harnesses() {
  if [ "$1" = all ]; then
    selected=("${harnesses[@]}")
  elif printf '%s\n' "${harnesses[@]}" | grep -qx -- "$1"; then
    selected=("$1")
  else
    echo "unknown harness: $1 (scripts/fuzz.sh list)" >&2
    exit 2
  fi
}

# clang and its fuzzer runtime are needed here only, not by the normal build or CI.
install_clang() {
  local missing=()
  for p in clang libclang-rt-dev; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -qq
    $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
}

build_fuzzers() {
  install_clang
  local targets=()
  for h in "${selected[@]}"; do targets+=(--target "fuzz_$h"); done
  CC=clang CXX=clang++ "$here/scripts/build.sh" "$build" -DVESTROLAN_FUZZ=ON -DVESTROLAN_BUILD_UI=OFF \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ "${targets[@]}"
}

[ $# -ge 1 ] || usage
case "$1" in
list)
  printf '%s\n' "${harnesses[@]}"
  ;;
merge)
  [ $# -eq 2 ] || usage
  select_harnesses "$2"
  build_fuzzers
  for h in "${selected[@]}"; do
    [ -d "$build/corpus/$h" ] || continue
    mkdir -p "$corpus/$h"
    "$build/tests/fuzz/fuzz_$h" -merge=1 -timeout=10 -rss_limit_mb=2048 "$corpus/$h" "$build/corpus/$h"
  done
  ;;
*)
  [ $# -eq 2 ] && [[ "$2" =~ ^[0-9]+$ ]] || usage
  select_harnesses "$1"
  seconds=$2
  build_fuzzers
  mkdir -p "$build/logs"
  status=0
  for h in "${selected[@]}"; do
    mkdir -p "$build/corpus/$h" "$build/artifacts/$h"
    log="$build/logs/$h-$(date -u +%Y%m%dT%H%M%S).log"
    echo "fuzzing $h for $seconds s, output in $log"
    if ! nice -n "${FUZZ_NICE:-19}" "$build/tests/fuzz/fuzz_$h" -max_total_time="$seconds" -timeout=10 \
         -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$build/artifacts/$h/" \
         "$build/corpus/$h" "$corpus/$h" >"$log" 2>&1; then
      echo "$h: finding, see $log and $build/artifacts/$h/" >&2
      status=1
    fi
    grep -E '^stat::number_of_executed_units' "$log" | sed "s/^/$h: /" || true
  done
  exit $status
  ;;
esac
