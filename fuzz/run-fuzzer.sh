#!/usr/bin/env bash
# Replays a fuzz target's seed corpus, then fuzzes for a bounded time.
#   run-fuzzer.sh <fuzzer> <seed corpus dir> <seconds>
# New inputs go to a scratch corpus beside the fuzzer, never into the seeds;
# a crash leaves its input there too and fails the run.
set -euo pipefail
fuzzer="$1" seeds="$2" seconds="$3"
work="$(dirname "$fuzzer")/../fuzz-work/$(basename "$fuzzer")"
mkdir -p "$work/corpus" "$work/artifacts"

echo "== replaying $(find "$seeds" -type f | wc -l) seeds"
"$fuzzer" -runs=0 "$seeds"

echo "== fuzzing for ${seconds}s"
log="$work/last-run.log"
status=0
"$fuzzer" -max_total_time="$seconds" -print_final_stats=1 -timeout=10 -rss_limit_mb=2048 \
  -artifact_prefix="$work/artifacts/" "$work/corpus" "$seeds" >"$log" 2>&1 || status=$?
grep -E '^(Done|stat::number_of_executed_units|stat::peak_rss_mb)|ERROR|SUMMARY|property broken' "$log" || true
if [ "$status" -ne 0 ]; then
  tail -n 60 "$log"
  exit "$status"
fi
