#!/usr/bin/env bash
# Benchmark: 1000 simulated devices in one /16 answer a search; prints how many are listed.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/build.sh" "$here/build" >/dev/null
exec "$here/tests/integration/testbed.sh" "$here/build/tests/integration/vst_search_benchmark"
