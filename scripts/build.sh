#!/usr/bin/env bash
# Configures and builds the station. Usage: scripts/build.sh [build-dir] [extra cmake options...]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-"$here/build"}
shift || true
launcher=()
# A compiler cache, where one is installed, keeps rebuilds of several checkouts short.
command -v ccache >/dev/null 2>&1 && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S "$here" -B "$dir" -G Ninja "${launcher[@]}" "$@" >/dev/null
cmake --build "$dir" -j "$(nproc)"
