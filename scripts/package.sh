#!/usr/bin/env bash
# Builds the station's Debian package (the programs only, without the tests) and lists its files.
# Usage: scripts/package.sh [build-dir]   (default: build-package)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-"$here/build-package"}
"$here/scripts/build.sh" "$dir" -DVESTROLAN_BUILD_TESTS=OFF -DCMAKE_BUILD_TYPE=Release
(cd "$dir" && cpack -G DEB >/dev/null)
deb=$(ls -t "$dir"/vestrolan_*.deb | head -n 1)
dpkg-deb -c "$deb"
echo "$deb"
