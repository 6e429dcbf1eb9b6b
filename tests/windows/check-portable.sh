#!/usr/bin/env bash
# The window is cross-built for Windows only where Qt for Windows exists (scripts/build-qt-windows.sh),
# so this check runs everywhere: it fails when src/ui (or any other code outside src/platform)
# includes a POSIX header or calls a POSIX-only function. The platform layer is the one place for
# such calls.
set -u
src=${1:?usage: check-portable.sh SOURCE-DIR}
found=$(grep -rnE --include='*.cpp' --include='*.h' \
  -e '#include <(unistd|fcntl|poll|pthread|dirent|termios|ifaddrs|netdb|spawn|dlfcn|pwd|grp)\.h>' \
  -e '#include <(sys|arpa|netinet|net)/' \
  -e '\b(localtime_r|gmtime_r|strcasecmp|strncasecmp|mkstemp|mkdtemp|fork|execvp|waitpid|popen|pclose|isatty|gethostname|getpid|readlink|realpath)\(' \
  "$src/src/app" "$src/src/net" "$src/src/ops" "$src/src/config" "$src/src/cli" "$src/src/ui" | grep -v '^\s*//')
if [ -n "$found" ]; then
  echo "POSIX outside the platform layer (use src/platform instead):"
  echo "$found"
  exit 1
fi
echo "no POSIX outside src/platform"
