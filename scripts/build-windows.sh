#!/usr/bin/env bash
# Cross-builds the Windows programs (console, device simulator, unit tests) with MinGW-w64.
# Usage: scripts/build-windows.sh [build-dir] [extra cmake options...]   (default build-dir: build-win)
# The Qt window is not built here; see the README for building it on Windows with a Qt kit.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-"$here/build-win"}
shift || true
exec "$here/scripts/build.sh" "$dir" \
  -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64.cmake" -DCMAKE_BUILD_TYPE=Release \
  -DVESTROLAN_BUILD_UI=OFF -DVESTROLAN_BUILD_TESTS=ON "$@"
