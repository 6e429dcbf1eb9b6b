#!/usr/bin/env bash
# Cross-builds Qt (QtCore, QtGui, QtWidgets as DLLs, the "windows" and "offscreen" platform plugins
# and the "windowsvista" style) for x86_64-w64-mingw32 from Debian's own qt6-base source package, the
# same version as the host Qt, whose moc/rcc/uic serve the cross build through QT_HOST_PATH.
#
# Usage: scripts/build-qt-windows.sh
#   VESTROLAN_QT_WINDOWS  install prefix (default $XDG_CACHE_HOME/vestrolan/qt-6.4.2-mingw64)
#   VESTROLAN_QT_JOBS     parallel compile jobs (default 2)
#   VESTROLAN_DEBIAN_MIRROR, VESTROLAN_DEBIAN_SECURITY_MIRROR   where apt fetches the source from
#
# The source, the build tree and the logs live in "$VESTROLAN_QT_WINDOWS.work" beside the prefix.
# Every step leaves a mark there, so a run after an interrupted one resumes where that one stopped
# (the compile itself resumes through ninja); once Qt is installed a second run does nothing.
# A failing step names its log file.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
prefix=${VESTROLAN_QT_WINDOWS:-${XDG_CACHE_HOME:-$HOME/.cache}/vestrolan/qt-6.4.2-mingw64}
work="$prefix.work"
jobs=${VESTROLAN_QT_JOBS:-2}
mirror=${VESTROLAN_DEBIAN_MIRROR:-http://deb.debian.org/debian}
security_mirror=${VESTROLAN_DEBIAN_SECURITY_MIRROR:-http://deb.debian.org/debian-security}
keyring=/usr/share/keyrings/debian-archive-keyring.gpg
host=x86_64-w64-mingw32

say() { printf 'build-qt-windows: %s\n' "$*"; }
die() { printf 'build-qt-windows: %s\n' "$*" >&2; exit 1; }

# Runs one step with its output in $work/log/STEP.log; on failure names the step and the log.
step() {
  local name=$1; shift
  local log="$work/log/$name.log"
  say "$name (log: $log)"
  if ! "$@" >"$log" 2>&1; then
    tail -n 30 "$log" >&2 || true
    die "step '$name' failed; its log: $log"
  fi
}

# ---- what this machine must have -------------------------------------------------------------
host_version=$(dpkg-query -W -f='${source:Version}' qt6-base-dev 2>/dev/null) ||
  die "qt6-base-dev is not installed (scripts/setup.sh installs it)"
upstream=${host_version%%+*}
upstream=${upstream%%-*}
for tool in "$host-gcc-posix" "$host-g++-posix" "$host-windres" cmake ninja apt-get dpkg-source; do
  command -v "$tool" >/dev/null || die "$tool is missing (scripts/setup.sh installs it)"
done
[ -r "$keyring" ] || die "$keyring is missing (package debian-archive-keyring)"
for d in Qt6CoreTools Qt6GuiTools Qt6WidgetsTools Qt6HostInfo; do
  [ -d "/usr/lib/x86_64-linux-gnu/cmake/$d" ] ||
    die "the host Qt's $d is missing (qt6-base-dev, qt6-base-dev-tools)"
done

# Everything that decides what gets built; a change to it starts the configure and build afresh.
configure_options=(
  -G Ninja
  -DCMAKE_TOOLCHAIN_FILE="$work/toolchain.cmake"
  -DCMAKE_BUILD_TYPE=Release
  -DCMAKE_INSTALL_PREFIX="$prefix"
  -DBUILD_SHARED_LIBS=ON
  -DQT_HOST_PATH=/usr
  -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF
  -DQT_BUILD_TOOLS_WHEN_CROSSCOMPILING=OFF
  # The +dfsg source has no src/3rdparty/wintab, which the tablet support needs.
  -DFEATURE_tabletevent=OFF
  # Like configure -no-opengl: switching only FEATURE_opengl off would leave the dynamic OpenGL
  # loader on, and the windows plugin then refers to the OpenGL context it no longer has.
  -DINPUT_opengl=no
  -DFEATURE_vulkan=OFF
  # The "direct2d" platform plugin compiles the windows plugin a second time; the station uses
  # only the "windows" one.
  -DFEATURE_direct2d1_1=OFF
  -DFEATURE_accessibility=ON
  # Modules the station does not use.
  -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_xml=OFF
  -DFEATURE_testlib=OFF -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF
  # Image formats beyond the built-in PNG/BMP/XPM/PPM, and zstd-compressed resources.
  -DFEATURE_jpeg=OFF -DFEATURE_gif=OFF -DFEATURE_ico=OFF -DFEATURE_zstd=OFF
  # The bundled libraries only: nothing is taken from the MinGW system root by chance.
  -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_harfbuzz=OFF
  -DFEATURE_system_freetype=OFF -DFEATURE_system_png=OFF -DFEATURE_system_doubleconversion=OFF
  -DFEATURE_pkg_config=OFF
)
# The bundled libraries (src/3rdparty) that these options compile into QtCore and QtGui.
needed_3rdparty=(zlib pcre2 double-conversion tinycbor easing sha1 sha3 md4 md5 rfc6234 blake2
  harfbuzz-ng freetype libpng md4c)

# Raise when a patch below changes, so that an existing build tree is not reused.
patch_level=1
stamp_text=$(printf '%s\n' "qt6-base=$host_version" "patches=$patch_level" "${configure_options[@]}" |
  sha256sum | cut -d' ' -f1)
if [ -f "$prefix/.vestrolan-qt-stamp" ] && [ "$(cat "$prefix/.vestrolan-qt-stamp")" = "$stamp_text" ]; then
  say "Qt for Windows is installed in $prefix"
  exit 0
fi

mkdir -p "$work/log"
start=$(date +%s)

# ---- the source: apt with a private deb-src list and state; the system's apt stays untouched ----
apt_dir="$work/apt"
apt_options=(
  -o Dir::Etc::SourceList="$apt_dir/sources.list"
  -o Dir::Etc::SourceParts="$apt_dir/sources.list.d"
  -o Dir::State::Lists="$apt_dir/lists"
  -o Dir::Cache="$apt_dir/cache"
)
src="$work/src/qtbase"
# A source of another version, or patched at another patch level, is fetched afresh.
if [ "$(cat "$work/src/.fetched" 2>/dev/null)" != "$host_version" ] ||
   { [ -f "$work/src/.patched" ] && [ "$(cat "$work/src/.patched")" != "$patch_level" ]; }; then
  rm -rf "$apt_dir" "$work/src"
  mkdir -p "$apt_dir/sources.list.d" "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$work/src/dl"
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
  cat >"$apt_dir/sources.list" <<EOF
deb-src [signed-by=$keyring] $mirror $codename main
deb-src [signed-by=$keyring] $mirror $codename-updates main
deb-src [signed-by=$keyring] $security_mirror $codename-security main
EOF
  # apt checks the Release signatures and then the hashes of every file it fetches; no option
  # here weakens that.
  step apt-update apt-get "${apt_options[@]}" update
  step apt-source bash -c 'cd "$1" && shift && apt-get "$@" source "qt6-base=$0"' \
    "$host_version" "$work/src/dl" "${apt_options[@]}"
  extracted=$(find "$work/src/dl" -mindepth 1 -maxdepth 1 -type d -name 'qt6-base-*' | head -n 1)
  [ -n "$extracted" ] || die "apt-get source left no qt6-base folder (log: $work/log/apt-source.log)"
  mv "$extracted" "$src"
  rm -rf "$work/src/dl"
  echo "$host_version" >"$work/src/.fetched"
fi

# ---- the bundled libraries the Windows build needs (there are no system ones to fall back on) ----
missing=()
for lib in "${needed_3rdparty[@]}"; do
  [ -n "$(ls -A "$src/src/3rdparty/$lib" 2>/dev/null)" ] || missing+=("src/3rdparty/$lib")
done
if [ ${#missing[@]} -gt 0 ]; then
  die "the qt6-base $host_version source lacks bundled libraries the Windows build needs: ${missing[*]}"
fi

# ---- patches for the mingw-w64 GCC 12 toolchain -----------------------------------------------
if [ ! -f "$work/src/.patched" ]; then
  # (none needed so far; each patch goes here with a comment saying why)
  echo "$patch_level" >"$work/src/.patched"
fi

# ---- configure -------------------------------------------------------------------------------
cat >"$work/toolchain.cmake.new" <<EOF
# MinGW-w64 (posix threads) for Qt's DLLs: no -static, the C++ runtime DLLs go beside Qt's.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER $host-gcc-posix)
set(CMAKE_CXX_COMPILER $host-g++-posix)
set(CMAKE_RC_COMPILER $host-windres)
set(CMAKE_FIND_ROOT_PATH /usr/$host)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
EOF
# Replaced only when it changes: a newer toolchain file makes ninja run the configure step again.
if cmp -s "$work/toolchain.cmake.new" "$work/toolchain.cmake"; then
  rm "$work/toolchain.cmake.new"
else
  mv "$work/toolchain.cmake.new" "$work/toolchain.cmake"
fi

build="$work/build"
if [ ! -f "$build/build.ninja" ] || [ "$(cat "$build/.vestrolan-stamp" 2>/dev/null)" != "$stamp_text" ]; then
  rm -rf "$build"
  mkdir -p "$build"
  step configure cmake -S "$src" -B "$build" "${configure_options[@]}"
  echo "$stamp_text" >"$build/.vestrolan-stamp"
fi

# ---- build and install -----------------------------------------------------------------------
step build nice -n 10 cmake --build "$build" --parallel "$jobs"
step install cmake --install "$build"
for plugin in platforms/qwindows.dll platforms/qoffscreen.dll styles/qwindowsvistastyle.dll; do
  [ -f "$prefix/plugins/$plugin" ] || die "the install lacks plugins/$plugin (log: $work/log/install.log)"
done
echo "$stamp_text" >"$prefix/.vestrolan-qt-stamp"
say "Qt for Windows is installed in $prefix ($(( ($(date +%s) - start) / 60 )) min this run)"
say "the source and build tree in $work can be removed"
