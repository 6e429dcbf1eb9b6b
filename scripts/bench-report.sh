#!/usr/bin/env bash
# Benchmark: `vestrolan-cli report` over a generated journal of 100 000 runs (three stations, two
# years, every workflow with retests and failures), on one core, in each output format. The target
# is at most 2 s; the script fails when a format takes longer.
# Usage: scripts/bench-report.sh [LINES]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
lines=${1:-100000}
"$here/scripts/build.sh" "$here/build" --target vestrolan-cli --target vst_journal_generator >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$here/build/tests/cli/vst_journal_generator" "$work" "$lines"
size=$(du -sb "$work/_Records" | cut -f1)
echo "journal: $lines lines, $((size / 1000000)) MB in $(find "$work/_Records" -name '*.jsonl' | wc -l) files"
one_core=()
command -v taskset >/dev/null 2>&1 && one_core=(taskset -c 0)
status=0
for format in text json html; do
  best=""
  for _ in 1 2 3; do
    start=$(date +%s%N)
    "${one_core[@]}" "$here/build/src/cli/vestrolan-cli" --lang en --snr "$work" report --format "$format" >"$work/out" \
      || { echo "report --format $format failed" >&2; exit 1; }
    ms=$(( ($(date +%s%N) - start) / 1000000 ))
    if [ -z "$best" ] || [ "$ms" -lt "$best" ]; then best=$ms; fi
  done
  verdict=ok
  if [ "$best" -gt 2000 ]; then verdict="over the 2 s target"; status=1; fi
  printf 'report --format %-4s %6d ms (best of 3, one core)  %s\n' "$format" "$best" "$verdict"
done
exit $status
