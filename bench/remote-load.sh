#!/usr/bin/env bash
# The network remote under load: an emulated unit paced at 57600 baud,
# quenbar-cli serve on it (127.0.0.1 only), and CLIENTS clients (default 20)
# each changing a random field RATE times a second (default 10) for SECONDS
# (default 60), each also listening on the push channel. Prints the API's
# latency, how soon the clients heard of each change, the server's memory,
# and whether every client, the server and the unit (read back afresh with
# quenbar-cli dump once the server stopped) agree. Raw results go to
# build-bench/results/remote-load.json (QUENBAR_BENCH_DIR names another
# build directory).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh

ensure_packages python3
dir="${QUENBAR_BENCH_DIR:-build-bench}"
results="$dir/results"
mkdir -p "$results"
cmake -S . -B "$dir" -G Ninja >/dev/null
cmake --build "$dir" -j "$(nproc)" --target quenbar-cli rx74-emulator remote_load_bench >/dev/null

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# wait_for FILE PATTERN: until FILE holds a line matching PATTERN (10 s at most).
wait_for() {
  for _ in $(seq 100); do
    grep -qE "$2" "$1" 2>/dev/null && return 0
    sleep 0.1
  done
  echo "timed out waiting for $2 in $1" >&2
  exit 1
}

"$dir/bin/rx74-emulator" --pace 57600 >"$work/emulator.out" &
pids+=($!)
wait_for "$work/emulator.out" '^/'
device=$(head -1 "$work/emulator.out")

"$dir/bin/quenbar-cli" --port "$device" serve --listen 127.0.0.1:0 >"$work/serve.out" 2>&1 &
server=$!
wait_for "$work/serve.out" '^Remote page: '
port=$(sed -n 's|^Remote page: http://127.0.0.1:\([0-9]*\)/.*|\1|p' "$work/serve.out")

echo "load: ${CLIENTS:-20} clients x ${RATE:-10} changes/s for ${SECONDS_RUN:-60} s on 127.0.0.1:$port ..." >&2
status=0
"$dir/bin/remote_load_bench" --port "$port" --server-pid "$server" --clients "${CLIENTS:-20}" \
  --rate "${RATE:-10}" --seconds "${SECONDS_RUN:-60}" --state "$work/server-state.json" \
  >"$results/remote-load.json" || status=$?

kill -TERM "$server"
server_exit=0
wait "$server" || server_exit=$?
"$dir/bin/quenbar-cli" --port "$device" dump >"$work/dump.json"

python3 - "$results/remote-load.json" "$work/server-state.json" "$work/dump.json" "$server_exit" <<'PY'
import json, sys
result = json.load(open(sys.argv[1]))
server = json.load(open(sys.argv[2]))
unit = json.load(open(sys.argv[3]))["settings"]
result["server_exit_code"] = int(sys.argv[4])
result["unit_equals_server"] = unit == server
json.dump(result, open(sys.argv[1], "w"), indent=2)
lat, lag, rss = result["api_latency"], result["announcement_after_answer"], result["server_rss_kib"]
print(f"changes answered: {result['changes']} ({result['changes_per_second']:.0f}/s), failed: {result['failed']}")
print(f"API latency ms: p50 {lat['p50_ms']:.1f}  p90 {lat['p90_ms']:.1f}  p99 {lat['p99_ms']:.1f}  max {lat['max_ms']:.1f}")
print(f"heard after the answer ms: p50 {lag['p50_ms']:.2f}  p99 {lag['p99_ms']:.2f}  max {lag['max_ms']:.2f}"
      f"  (not heard: {result['announcements_not_heard']})")
print(f"server RSS KiB: first {rss['first']}  middle {rss['middle']}  last {rss['last']}  max {rss['max']}")
print(f"clients agreeing with the server: {result['clients_agreeing_with_server']}/{result['clients']}; "
      f"unit equals server: {result['unit_equals_server']}; server exit code: {result['server_exit_code']}")
PY
echo "Machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//'), $(date -u +%Y-%m-%d)"
exit "$status"
