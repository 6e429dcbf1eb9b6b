#!/usr/bin/env bash
# Configures and builds the station. Usage: scripts/build.sh [build-dir] [extra cmake options...]
# "--target NAME" among the options (given any number of times) builds only those targets.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-"$here/build"}
shift || true
options=()
targets=()
while [ $# -gt 0 ]; do
  if [ "$1" = "--target" ] && [ $# -ge 2 ]; then
    targets+=(--target "$2")
    shift 2
  else
    options+=("$1")
    shift
  fi
done
launcher=()
# A compiler cache, where one is installed, keeps rebuilds of several checkouts short.
command -v ccache >/dev/null 2>&1 && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S "$here" -B "$dir" -G Ninja "${launcher[@]}" "${options[@]}" >/dev/null
cmake --build "$dir" -j "$(nproc)" "${targets[@]}"
