#!/usr/bin/env bash
# The sound card's two ends of scripts/pulse-session.sh (quenbar_out, what a
# program plays, and quenbar_mic, what it records through quenbar_mic's
# monitor), joined by a loop made of sound-server parts we did not write, in
# a private server of its own: a measurement through it meets the buffering
# and timing of an ordinary desktop's sound path, with no room in between.
#   sound-loop.sh DIR start KIND   starts the server and the loop in DIR
#   sound-loop.sh DIR stop         stops everything start started
#   sound-loop.sh DIR env          prints the variables a client needs: the
#                                  server and the two devices as its defaults
# KIND:
#   parec-pacat             parec on quenbar_out.monitor piped into pacat on
#                           quenbar_mic (PulseAudio)
#   parec-filter-pacat      the same with a filter between them that passes
#                           the sound on in blocks of 20 ms
#   pulse-loopback          PulseAudio's module-loopback, as a cable: no rate
#                           control of its own
#   pulse-loopback-suspend  the same with module-suspend-on-idle (after a
#                           second without sound). The loopback's own streams
#                           keep both null sinks awake on PulseAudio 16 (seen
#                           IDLE and RUNNING, never SUSPENDED, after 3 s), so
#                           only the measurement's own streams come and go
#   pipewire                PipeWire, pipewire-pulse and WirePlumber in a
#                           D-Bus session of their own, the devices and the
#                           loopback made through pipewire-pulse
# The loop carries one channel, a microphone that hears both of the unit's
# inputs: the server mixes them into it and plays it on both of quenbar_mic's
# channels, so every output reaches the measurement's microphone channel 1.
# DIR is the server's runtime folder (its socket is DIR/pulse/native); never
# the user's.
set -euo pipefail
dir="$1" command="$2" kind="${3:-}"
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
unset PULSE_SINK PULSE_SOURCE
export XDG_RUNTIME_DIR="$dir" PULSE_SERVER="unix:$dir/pulse/native"
# PipeWire and WirePlumber read their settings and keep their state (the
# chosen defaults, stream volumes) here, never in the user's home.
export XDG_CONFIG_HOME="$dir/config" XDG_STATE_HOME="$dir/state" PIPEWIRE_RUNTIME_DIR="$dir"

kinds="parec-pacat parec-filter-pacat pulse-loopback pulse-loopback-suspend pipewire"
# 20 ms of the loop's one channel of 32-bit float at 48 kHz.
block_bytes=$((960 * 4))
stream=(--raw --format=float32le --channels=1 --rate=48000)

fail() {
  echo "sound-loop.sh: $*" >&2
  "$0" "$dir" stop
  exit 1
}

# The source a measurement records: PipeWire lists a sink's monitor under the
# sink's own description, so a remapped source stands there for the monitor.
record_source() {
  if [ "$(cat "$dir/kind" 2>/dev/null)" = pipewire ]; then echo quenbar_mic_in; else echo quenbar_mic.monitor; fi
}

# Waits until the loop's stream plays into quenbar_mic: then it is linked.
wait_for_loop() {
  local mic
  for _ in $(seq 100); do
    mic=$(pactl list short sinks 2>/dev/null | awk '$2 == "quenbar_mic" { print $1 }')
    [ -n "$mic" ] && pactl list short sink-inputs 2>/dev/null | awk -v mic="$mic" '$2 == mic { found = 1 } END { exit !found }' &&
      return 0
    sleep 0.1
  done
  return 1
}

# spawn IN OUT PROGRAM ARGS...: a program of the loop in the background,
# reading IN and writing OUT (opened in the background: a pipe's end waits
# for the other), its pid kept for stop.
spawn() {
  local in="$1" out="$2"
  shift 2
  "$@" <"$in" >"$out" 2>>"$dir/loop.log" &
  echo $! >>"$dir/loop.pids"
}

start_pipewire() {
  mkdir -p "$XDG_CONFIG_HOME" "$XDG_STATE_HOME"
  # A session bus of their own: WirePlumber needs one, and the user's is not theirs to use.
  env -u DBUS_SESSION_BUS_ADDRESS dbus-run-session -- "$0" "$dir" pipewire-session </dev/null >"$dir/pipewire.log" 2>&1 &
  echo $! >"$dir/dbus.pid"
  for _ in $(seq 100); do
    pactl info >/dev/null 2>&1 && break
    kill -0 "$(cat "$dir/dbus.pid")" 2>/dev/null || fail "PipeWire did not start: see $dir/pipewire.log"
    sleep 0.1
  done
  pactl info >/dev/null 2>&1 || fail "pipewire-pulse does not answer on $PULSE_SERVER: see $dir/pipewire.log"
  # Every device has a description of its own: the names a person picks from.
  pactl load-module module-null-sink sink_name=quenbar_out rate=48000 channels=2 \
    sink_properties=device.description=Quenbar_output >/dev/null
  pactl load-module module-null-sink sink_name=quenbar_mic rate=48000 channels=2 \
    sink_properties=device.description=Quenbar_microphone >/dev/null
  pactl load-module module-remap-source source_name=quenbar_mic_in master=quenbar_mic.monitor \
    source_properties=device.description=Quenbar_microphone_input >/dev/null
  pactl load-module module-loopback source=quenbar_out.monitor sink=quenbar_mic channels=1 >/dev/null
}

# Inside dbus-run-session: the three daemons, ended together on TERM or INT.
pipewire_session() {
  local pids=()
  pipewire & pids+=($!)
  wireplumber & pids+=($!)
  pipewire-pulse & pids+=($!)
  trap 'kill "${pids[@]}" 2>/dev/null; wait; exit 0' TERM INT
  echo $$ >"$dir/pipewire-session.pid"
  wait
}

# Waits up to 5 s for a process to end.
gone() {
  for _ in $(seq 50); do kill -0 "$1" 2>/dev/null || return 0; sleep 0.1; done
  return 1
}

# Ends a process by its pid and waits for it; KILL after 5 s.
end_process() {
  kill "$1" 2>/dev/null || return 0
  gone "$1" || kill -9 "$1" 2>/dev/null || true
}

case "$command" in
  env)
    echo "XDG_RUNTIME_DIR=$dir"
    echo "PULSE_SERVER=unix:$dir/pulse/native"
    echo "PULSE_SINK=quenbar_out"
    echo "PULSE_SOURCE=$(record_source)"
    ;;
  start)
    case " $kinds " in
      *" $kind "*) ;;
      *) echo "usage: $0 DIR start KIND, KIND one of: $kinds" >&2; exit 2 ;;
    esac
    "$0" "$dir" stop
    # A step that fails stops what the steps before it started.
    set -o errtrace
    trap 'fail "the $kind loop did not start (line $LINENO): see the logs in $dir"' ERR
    chmod 700 "$dir"
    echo "$kind" >"$dir/kind"
    : >"$dir/loop.log"
    if [ "$kind" = pipewire ]; then
      start_pipewire
    else
      "$here/pulse-session.sh" "$dir" start >/dev/null || fail "PulseAudio did not start: see $dir/server.log"
    fi
    case "$kind" in
      parec-pacat)
        mkfifo "$dir/loop.fifo"
        spawn /dev/null "$dir/loop.fifo" parec "${stream[@]}" --latency-msec=20 -d quenbar_out.monitor
        spawn "$dir/loop.fifo" /dev/null pacat "${stream[@]}" --latency-msec=256 -d quenbar_mic
        ;;
      parec-filter-pacat)
        mkfifo "$dir/loop.fifo" "$dir/filtered.fifo"
        spawn /dev/null "$dir/loop.fifo" parec "${stream[@]}" --latency-msec=20 -d quenbar_out.monitor
        # dd hands on each block only once it is whole, as a filter that works in blocks does.
        spawn "$dir/loop.fifo" "$dir/filtered.fifo" dd bs=$block_bytes iflag=fullblock status=none
        spawn "$dir/filtered.fifo" /dev/null pacat "${stream[@]}" --latency-msec=256 -d quenbar_mic
        ;;
      pulse-loopback | pulse-loopback-suspend)
        [ "$kind" = pulse-loopback-suspend ] && pactl load-module module-suspend-on-idle timeout=1 >/dev/null
        # adjust_time=0: a cable. The loopback's own rate control, which holds
        # its latency between the two null sinks' timers, moves its delay by
        # some 16 ppm while it settles: 0.03 ms between two sweeps 2 s apart.
        pactl load-module module-loopback source=quenbar_out.monitor sink=quenbar_mic channels=1 \
          source_dont_move=true sink_dont_move=true adjust_time=0 >/dev/null
        ;;
    esac
    pactl set-default-sink quenbar_out
    pactl set-default-source "$(record_source)"
    wait_for_loop || fail "the $kind loop does not play into quenbar_mic: see $dir/loop.log"
    echo "$kind loop on $PULSE_SERVER"
    ;;
  pipewire-session)
    pipewire_session
    ;;
  stop)
    if [ -f "$dir/loop.pids" ]; then
      while read -r pid; do end_process "$pid"; done <"$dir/loop.pids"
      rm -f "$dir/loop.pids"
    fi
    rm -f "$dir/loop.fifo" "$dir/filtered.fifo"
    if [ -f "$dir/pipewire-session.pid" ]; then
      end_process "$(cat "$dir/pipewire-session.pid")"
      rm -f "$dir/pipewire-session.pid"
    fi
    if [ -f "$dir/dbus.pid" ]; then
      # Once its session has ended, dbus-run-session ends its bus itself.
      gone "$(cat "$dir/dbus.pid")" || end_process "$(cat "$dir/dbus.pid")"
      rm -f "$dir/dbus.pid"
    fi
    "$here/pulse-session.sh" "$dir" stop
    ;;
  *)
    echo "usage: $0 DIR start KIND|stop|env" >&2
    exit 2
    ;;
esac
