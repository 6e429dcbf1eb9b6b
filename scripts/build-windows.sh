#!/usr/bin/env bash
# Cross-builds the Windows programs with MinGW-w64 and packs the Windows zip: the console, the device
# simulator and the unit tests always; the station window (vestrolan-manager.exe) and the screenshot
# renderer (vestrolan-screenshots.exe) when Qt for Windows is there (scripts/build-qt-windows.sh,
# $VESTROLAN_QT_WINDOWS, default $XDG_CACHE_HOME/vestrolan/qt-6.4.2-mingw64).
# Usage: scripts/build-windows.sh [build-dir] [extra cmake options...]   (default build-dir: build-win)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-"$here/build-win"}
shift || true
qt=${VESTROLAN_QT_WINDOWS:-${XDG_CACHE_HOME:-$HOME/.cache}/vestrolan/qt-6.4.2-mingw64}
if [ -f "$qt/.vestrolan-qt-stamp" ]; then
  window=(-DVESTROLAN_BUILD_UI=ON -DVESTROLAN_QT_WINDOWS="$qt"
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake)
else
  echo "build-windows: no Qt for Windows in $qt (scripts/build-qt-windows.sh builds it): without the window" >&2
  window=(-DVESTROLAN_BUILD_UI=OFF -UVESTROLAN_QT_WINDOWS)
fi
"$here/scripts/build.sh" "$dir" \
  -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64.cmake" -DCMAKE_BUILD_TYPE=Release \
  "${window[@]}" -DVESTROLAN_BUILD_TESTS=ON "$@"
# The zip (CPack; its contents come from the install rules of cmake/PackagingWindows.cmake).
rm -f "$dir"/vestrolan-*-win64.zip
(cd "$dir" && cpack -G ZIP >/dev/null)
ls "$dir"/vestrolan-*-win64.zip
