#!/usr/bin/env bash
# The tuning pass's benchmark rows for bench.sh: quenbar-cli tune --apply
# with 2 s sweeps against rx74-emulator --audio in the built-in room and the
# rooms of emulator/rooms/, through a private PulseAudio server; the room's
# truth is taken with the setting the pass left on the emulated unit. Each
# room is tuned twice from the factory setting: from one position (the
# first) and from all four (bench-tune-walk.py moves the microphone), the
# truth taken before and after each at every position.
#   bench-tune.sh BUILD_DIR RESULTS_DIR [ROOM...]   writes RESULTS_DIR/tune-rows.json
# (the rooms: default, the built-in one, and those of emulator/rooms/; all four by default)
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

# The emulated unit plays the room's sound this far ahead of its inputs: a
# unit's own latency is about a millisecond, the emulator's default 150 ms
# rides out a busy machine. Every sweep's sound comes back that much later,
# and each change of the mutes waits for it; the passes' times are taken
# nearer a unit's (and the four-position pass in the built-in room once
# more with the default, for comparison).
lead_ms=50
echo "$lead_ms" >"$results/tune-lead-ms"

# start_emulator NAME ROOM_ARGS...: the emulated unit with its sound, from the factory setting.
start_emulator() {
  local name="$1"; shift
  rm -f "$results/$name.state" "$results/tune-emulator.out"  # a stale device line would be read before the emulator writes its own
  "$bin/rx74-emulator" --audio --state "$results/$name.state" --lead "$lead_ms" "$@" >"$results/tune-emulator.out" &
  emulator=$!
  # It says its line once its sound runs steadily (a few seconds at most).
  for _ in $(seq 150); do [[ -s "$results/tune-emulator.out" ]] && break; sleep 0.1; done
  port=$(head -1 "$results/tune-emulator.out")
}

# stop_emulator NAME ROOM_ARGS...: and the room's own responses with the
# setting the pass left (saved at exit).
stop_emulator() {
  local name="$1"; shift
  kill "$emulator" && wait "$emulator" 2>/dev/null || true
  emulator=""
  "$bin/rx74-emulator" --state "$results/$name.state" "$@" --room-truth >"$results/$name-truth.json"
}

rooms=("${@:3}")
[[ ${#rooms[@]} -eq 0 ]] && rooms=(default sub-behind sub-ahead-reversed sub-far)
for room in "${rooms[@]}"; do
  echo "tuning in the room $room ..." >&2
  room_args=()
  [[ "$room" != default ]] && room_args=(--room "emulator/rooms/$room.json")
  "$bin/rx74-emulator" "${room_args[@]}" --room-truth >"$results/tune-$room-before-truth.json"
  start_emulator "tune-$room" "${room_args[@]}"
  start=$(date +%s.%N)
  "$bin/quenbar-cli" --port "$port" tune --apply --json --length 2 >"$results/tune-$room.json" 2>"$results/tune-$room.err" ||
    echo "tune in $room failed: $(tail -3 "$results/tune-$room.err")" >&2
  python3 -c "print($(date +%s.%N) - $start)" >"$results/tune-$room.seconds"
  stop_emulator "tune-$room" "${room_args[@]}"

  echo "tuning in the room $room from four positions ..." >&2
  start_emulator "tune4-$room" "${room_args[@]}"
  python3 scripts/bench-tune-walk.py "$bin/quenbar-cli" "$port" "$emulator" 4 "$results/tune4-$room.json" \
    "$results/tune4-$room.err" >"$results/tune4-$room.seconds" ||
    echo "tune --positions 4 in $room failed: $(tail -3 "$results/tune4-$room.err")" >&2
  stop_emulator "tune4-$room" "${room_args[@]}"

  if [[ "$room" == default ]]; then
    echo "tuning in the room $room from four positions, the emulator's default lead ..." >&2
    lead_ms=150 start_emulator "tune4-lead-$room"
    python3 scripts/bench-tune-walk.py "$bin/quenbar-cli" "$port" "$emulator" 4 "$results/tune4-lead-$room.json" \
      "$results/tune4-lead-$room.err" >"$results/tune4-lead-$room.seconds" ||
      echo "tune --positions 4 in $room at the default lead failed: $(tail -3 "$results/tune4-lead-$room.err")" >&2
    stop_emulator "tune4-lead-$room"
  fi
done
python3 scripts/bench-tune.py "$results" "${rooms[@]}" >"$results/tune-rows.json"
