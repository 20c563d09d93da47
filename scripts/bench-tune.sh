#!/usr/bin/env bash
# The tuning pass's benchmark rows for bench.sh: quenbar-cli tune --apply
# with 2 s sweeps against rx74-emulator --audio in the built-in room and the
# rooms of emulator/rooms/, through a private PulseAudio server; the room's
# truth is taken with the setting the pass left on the emulated unit.
#   bench-tune.sh BUILD_DIR RESULTS_DIR   writes RESULTS_DIR/tune-rows.json
set -euo pipefail
cd "$(dirname "$0")/.."
bin="$1/bin"
results="$2"
pulse="$results/tune-pulse"
scripts/pulse-session.sh "$pulse" start >/dev/null
emulator=""
cleanup() {
  [[ -n "$emulator" ]] && kill "$emulator" 2>/dev/null && wait "$emulator" 2>/dev/null
  scripts/pulse-session.sh "$pulse" stop >/dev/null || true
}
trap cleanup EXIT
eval "$(scripts/pulse-session.sh "$pulse" env)"
export PULSE_SERVER

rooms=(default sub-behind sub-ahead-reversed sub-far)
for room in "${rooms[@]}"; do
  echo "tuning in the room $room ..." >&2
  room_args=()
  [[ "$room" != default ]] && room_args=(--room "emulator/rooms/$room.json")
  state="$results/tune-$room.state"
  rm -f "$state" "$results/tune-emulator.out"  # a stale device line would be read before the emulator writes its own
  "$bin/rx74-emulator" --audio --state "$state" "${room_args[@]}" >"$results/tune-emulator.out" &
  emulator=$!
  # It says its line once its sound runs steadily (a few seconds at most).
  for _ in $(seq 150); do [[ -s "$results/tune-emulator.out" ]] && break; sleep 0.1; done
  port=$(head -1 "$results/tune-emulator.out")
  start=$(date +%s.%N)
  "$bin/quenbar-cli" --port "$port" tune --apply --json --length 2 >"$results/tune-$room.json" 2>"$results/tune-$room.err" ||
    echo "tune in $room failed: $(tail -3 "$results/tune-$room.err")" >&2
  python3 -c "print($(date +%s.%N) - $start)" >"$results/tune-$room.seconds"
  kill "$emulator" && wait "$emulator" 2>/dev/null || true
  emulator=""
  # The room's own responses with the setting the pass left (saved at exit).
  "$bin/rx74-emulator" --state "$state" "${room_args[@]}" --room-truth >"$results/tune-$room-truth.json"
done
python3 scripts/bench-tune.py "$results" "${rooms[@]}" >"$results/tune-rows.json"
