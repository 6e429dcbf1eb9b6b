#!/usr/bin/env bash
# Builds the Debian package from a built tree, lists its files and checks that it holds what an
# installation needs and nothing of the tests. Usage: tests/package/check-package.sh BUILD-DIR
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if ! cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work" >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log" >&2
  exit 1
fi
deb=$(ls "$work"/*.deb)
echo "$(basename "$deb"):"
dpkg-deb -c "$deb" | awk '{ print $6 }' | sed 's|^\./|/|' | tee "$work/files"
echo "Depends: $(dpkg-deb -f "$deb" Depends)"

failed=0
for file in /usr/bin/vestrolan-manager /usr/bin/vestrolan-cli \
            /usr/share/applications/vestrolan-manager.desktop \
            /usr/share/icons/hicolor/scalable/apps/vestrolan-manager.svg \
            /usr/share/man/man1/vestrolan-cli.1.gz \
            /usr/share/vestrolan/examples/_Vorlagen/setup.ini; do
  grep -qx "$file" "$work/files" || { echo "missing: $file" >&2; failed=1; }
done
if grep -E 'test|devsim|screenshots' "$work/files" >&2; then
  echo "the files above do not belong in the package" >&2
  failed=1
fi
for dependency in libqt6widgets6 qt6-qpa-plugins; do
  dpkg-deb -f "$deb" Depends | grep -q "$dependency" || { echo "no dependency on $dependency" >&2; failed=1; }
done
# Every template of the configuration catalogue is there.
templates=$(cd "$(dirname "$0")/../../res/templates/_Vorlagen" && ls | sort)
packaged=$(sed -n 's|^/usr/share/vestrolan/examples/_Vorlagen/\(..*\)$|\1|p' "$work/files" | sort)
[ "$templates" = "$packaged" ] || { echo "templates differ from res/templates/_Vorlagen" >&2; failed=1; }
exit $failed
