#!/usr/bin/env bash
# Installs what is missing, builds and starts Quenbar.
#
#   ./run.sh              an emulated unit behind the port Quenbar opens, unless
#                         a device is configured for that port (RS232 dialog)
#   ./run.sh /dev/ttyUSB0 the unit on that device, no emulator
#   ./run.sh COM2         the unit on the device COM2 stands for, no emulator
set -euo pipefail
cd "$(dirname "$0")"
source scripts/common.sh

build="${QUENBAR_BUILD_DIR:-build}"

ensure_packages
cmake -S . -B "$build" -G Ninja >/dev/null
cmake --build "$build" -j "$(nproc)" --target quenbar rx74-emulator

settings="${XDG_CONFIG_HOME:-$HOME/.config}/Local AppWizard-Generated Applications/Quenbar.conf"

# setting SECTION KEY: prints the stored value, if any.
setting() {
  [ -f "$settings" ] || return 0
  awk -F= -v section="[$1]" -v key="$2" '
    /^\[/ { inside = ($0 == section) }
    inside && $1 == key { sub(/^[^=]*=/, ""); print; exit }' "$settings"
}

# The COM number Quenbar opens at start: the stored choice, else 1.
port=$(setting Settings RS232Port)
[[ "$port" =~ ^([1-9]|10)$ ]] || port=1

# com_device N: the device COMN stands for (configured path, else ttyS<N-1>).
com_device() {
  local configured
  configured=$(setting Ports "COM$1")
  echo "${configured:-/dev/ttyS$(($1 - 1))}"
}

device=""
case "${1:-}" in
  "") ;;
  /*) device="$1" ;;
  [Cc][Oo][Mm][1-9]|[Cc][Oo][Mm]10) device=$(com_device "${1:3}") ;;
  *) echo "usage: $0 [/dev/DEVICE | COMn]" >&2; exit 2 ;;
esac

if [ -n "$device" ]; then
  export "QUENBAR_COM$port=$device"
  exec "$build/bin/quenbar"
fi
if [ -n "$(setting Ports "COM$port")" ]; then
  exec "$build/bin/quenbar"
fi

# No unit named: an emulated one on a pseudo-terminal, for as long as Quenbar
# runs, with its sound in an emulated room (the room file QUENBAR_ROOM, else
# the built-in one) between two sound devices: quenbar_out, where a
# measurement plays, and quenbar_mic, its microphone. Where no sound server
# runs, a private one has just those two; a running server is used when it
# has both devices (README: "The emulated unit as a loudspeaker in a room").
emulator_args=(--state "$build/rx74-emulator.state")
[ -n "${QUENBAR_ROOM:-}" ] && emulator_args+=(--room "$QUENBAR_ROOM")
pulse_dir=""
if ! pactl info >/dev/null 2>&1; then
  pulse_dir="$build/pulse-demo"  # not the tests' build/pulse-session
  scripts/pulse-session.sh "$pulse_dir" start
  export PULSE_SERVER="unix:$(cd "$pulse_dir" && pwd)/pulse/native"
fi
sinks=$(pactl list short sinks 2>/dev/null | cut -f2)
if grep -qx quenbar_out <<<"$sinks" && grep -qx quenbar_mic <<<"$sinks"; then
  emulator_args+=(--audio)
else
  echo "The sound server has no quenbar_out and quenbar_mic: the emulated unit is silent (see README)" >&2
fi

emulator_out=$(mktemp)
"$build/bin/rx74-emulator" "${emulator_args[@]}" >"$emulator_out" &
emulator_pid=$!
cleanup() {
  kill "$emulator_pid" 2>/dev/null
  wait "$emulator_pid" 2>/dev/null
  rm -f "$emulator_out"
  [ -z "$pulse_dir" ] || scripts/pulse-session.sh "$pulse_dir" stop
}
trap cleanup EXIT
for _ in $(seq 50); do
  [ -s "$emulator_out" ] && break
  kill -0 "$emulator_pid" 2>/dev/null || { echo "rx74-emulator did not start" >&2; exit 1; }
  sleep 0.1
done
pty=$(head -n 1 "$emulator_out")
[ -n "$pty" ] || { echo "rx74-emulator printed no device" >&2; exit 1; }
echo "Emulated RX7.4 on $pty (COM$port)"
[ -z "$pulse_dir" ] || echo "Its sound: PULSE_SERVER=$PULSE_SERVER (play into quenbar_out, record quenbar_mic.monitor)"
export "QUENBAR_COM$port=$pty"
"$build/bin/quenbar"
