#!/usr/bin/env bash
# A private PulseAudio server for the measurement tests and the demo: a sound
# card's two ends as two null sinks on 48 kHz, with nothing of the user's.
#   pulse-session.sh DIR start   starts the server with DIR as its runtime
#                                folder (its socket is DIR/pulse/native)
#   pulse-session.sh DIR stop    stops it
#   pulse-session.sh DIR env     prints the variables a client needs
#
# The devices:
#   quenbar_out (2 channels)  what a program plays: the unit's two inputs
#   quenbar_mic (2 channels)  what the emulated room plays: the microphone on
#                             channel 1, a loopback of the output on channel 2
# Their monitors give back what was played into them, so a program that plays
# into quenbar_out and records quenbar_mic.monitor measures whatever plays
# quenbar_out.monitor into quenbar_mic (rx74-emulator --audio, or one of the
# loops of scripts/sound-loop.sh). These are the server's default sink and
# source. The server mixes in 32-bit float at 48 kHz, as a sound card's
# driver hands a measurement its samples: no 16-bit step in the loop.
set -euo pipefail
dir="$1" command="$2"
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
export XDG_RUNTIME_DIR="$dir" PULSE_SERVER="unix:$dir/pulse/native"
unset PULSE_SINK PULSE_SOURCE

case "$command" in
  env)
    echo "XDG_RUNTIME_DIR=$dir"
    echo "PULSE_SERVER=unix:$dir/pulse/native"
    ;;
  start)
    chmod 700 "$dir"
    "$0" "$dir" stop
    cat >"$dir/session.pa" <<PA
load-module module-native-protocol-unix
load-module module-null-sink sink_name=quenbar_out rate=48000 channels=2 sink_properties=device.description=Quenbar_output
load-module module-null-sink sink_name=quenbar_mic rate=48000 channels=2 sink_properties=device.description=Quenbar_microphone
set-default-sink quenbar_out
set-default-source quenbar_mic.monitor
PA
    printf 'default-sample-format = float32le\ndefault-sample-rate = 48000\n' >"$dir/daemon.conf"
    # Started with its output in a file, so that it holds no caller's pipe.
    PULSE_CONFIG="$dir/daemon.conf" pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit --use-pid-file=yes \
      -F "$dir/session.pa" --log-target=file:"$dir/server.log" </dev/null >/dev/null 2>&1 &
    echo $! >"$dir/server.pid"
    for _ in $(seq 100); do
      pactl info >/dev/null 2>&1 && { echo "PulseAudio on $PULSE_SERVER"; exit 0; }
      kill -0 "$(cat "$dir/server.pid")" 2>/dev/null || break
      sleep 0.1
    done
    echo "PulseAudio did not start: see $dir/server.log" >&2
    exit 1
    ;;
  stop)
    if [ -f "$dir/server.pid" ]; then
      pid=$(cat "$dir/server.pid")
      kill "$pid" 2>/dev/null || true
      for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
      kill -9 "$pid" 2>/dev/null || true
      rm -f "$dir/server.pid"
    fi
    ;;
  *)
    echo "usage: $0 DIR start|stop|env" >&2
    exit 2
    ;;
esac
