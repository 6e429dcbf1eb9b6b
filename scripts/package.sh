#!/usr/bin/env bash
# Builds the station's Debian package (the programs only, without the tests) in a Release build in
# which a compiler warning is an error, lists its files and checks it with lintian, which must
# report no error (the warnings it leaves are named in the README).
# Usage: scripts/package.sh [build-dir]   (default: build-package)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-"$here/build-package"}
"$here/scripts/build.sh" "$dir" -DVESTROLAN_BUILD_TESTS=OFF -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_COMPILE_WARNING_AS_ERROR=ON
rm -f "$dir"/vestrolan_*.deb
(cd "$dir" && cpack -G DEB >/dev/null)
deb=$(ls "$dir"/vestrolan_*.deb)
dpkg-deb -c "$deb"
if command -v lintian >/dev/null 2>&1; then
  echo "lintian:" >&2
  lintian --fail-on error --display-info "$deb" >&2
else
  echo "lintian is not installed (scripts/setup.sh installs it): the package was not checked" >&2
fi
echo "$deb"
