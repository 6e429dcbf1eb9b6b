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
            /usr/share/man/man1/vestrolan-cli.1.gz /usr/share/man/man1/vestrolan-manager.1.gz \
            /usr/share/doc/vestrolan/copyright /usr/share/doc/vestrolan/changelog.Debian.gz \
            /usr/share/vestrolan/examples/_Vorlagen/setup.ini; do
  grep -qx "$file" "$work/files" || { echo "missing: $file" >&2; failed=1; }
done
# The version carries a Debian revision, and the changelog's newest entry names the same version.
version=$(dpkg-deb -f "$deb" Version)
echo "Version: $version"
case "$version" in *-[0-9]*) ;; *) echo "the version $version has no Debian revision" >&2; failed=1 ;; esac
changelog=$(head -n 1 "$(dirname "$0")/../../res/debian/changelog")
case "$changelog" in "vestrolan ($version) "*) ;; *) echo "res/debian/changelog does not start with $version" >&2; failed=1 ;; esac
head -n 1 "$(dirname "$0")/../../res/debian/copyright" |
  grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
  { echo "res/debian/copyright is not in the machine-readable format" >&2; failed=1; }
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
