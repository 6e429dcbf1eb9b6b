#!/usr/bin/env bash
# Builds everything and runs the whole test suite. With --sanitize the build uses
# AddressSanitizer and UndefinedBehaviorSanitizer, and any report fails the run.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
if [ "${1:-}" = "--sanitize" ]; then
  dir="$here/build-sanitize"
  "$here/scripts/build.sh" "$dir" -DVESTROLAN_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
  export ASAN_OPTIONS=abort_on_error=1:detect_leaks=1:strict_string_checks=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
else
  dir="$here/build"
  "$here/scripts/build.sh" "$dir"
fi
cd "$dir"
ctest --output-on-failure -j "$(nproc)" --timeout 300
