#!/usr/bin/env bash
# Programme material for watching the system live, made with sox, mono on
# both channels of a 48 kHz WAV, in DIR:
#   pink.wav   pink noise in stretches of different levels with pauses
#   music.wav  a generated piece: bass, chords, a lead, drums, and silences
# Neither resembles a sweep. Usage: scripts/programme.sh DIR
set -euo pipefail
out="$1"
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
gen() { sox -V1 -n -r 48000 -c 1 -b 16 "$@"; }

# Pink noise: level changes of up to 14 dB and pauses of 0.5 to 1.5 s.
gen p1.wav synth 5 pinknoise vol -18dB
gen p2.wav synth 4 pinknoise vol -12dB
gen p3.wav synth 6 pinknoise vol -26dB
gen p4.wav synth 5 pinknoise vol -16dB
gen s1.wav trim 0 1.0
gen s2.wav trim 0 0.5
gen s3.wav trim 0 1.5
sox -q p1.wav s1.wav p2.wav s2.wav p3.wav s3.wav p4.wav pink-mono.wav
sox -q pink-mono.wav -c 2 "$out/pink.wav" remix 1 1

# Music at 120 beats a minute, in 2 s bars: drums (kick, snare, hats), a
# plucked bass, chords and a lead; a bar of silence and a bar of drums alone.
gen kick.wav synth 0.25 sine 90:40 fade 0 0.25 0.2 vol 0.9
gen snare.wav synth 0.18 whitenoise vol 0.35 lowpass 5000 fade 0 0.18 0.16
gen hat.wav synth 0.06 whitenoise vol 0.2 highpass 7000 fade 0 0.06 0.05
beat() {  # beat FILE SECONDS: the sound at that time within a 2 s bar
  sox -V1 "$1" "p$2-$1" pad "$2" 2 trim 0 2
}
parts=()
for t in 0 1; do beat kick.wav $t; parts+=("p$t-kick.wav"); done
for t in 0.5 1.5; do beat snare.wav $t; parts+=("p$t-snare.wav"); done
for t in 0 0.25 0.5 0.75 1 1.25 1.5 1.75; do beat hat.wav $t; parts+=("p$t-hat.wav"); done
sox -q -m "${parts[@]}" drums.wav trim 0 2

bar() {  # bar NAME BASS CHORD... : one bar of bass, chord and a four-note lead
  local name="$1" bass="$2" lead="$3"; shift 3
  gen "$name-bass.wav" synth 0.9 pluck "$bass" fade 0 0.9 0.3 pad 0 0.1 repeat 1 vol 0.6
  local tones=()
  for note in "$@"; do gen "$name-$note.wav" synth 1.9 pluck "$note" fade 0 1.9 1 pad 0 0.1 vol 0.25; tones+=("$name-$note.wav"); done
  gen "$name-lead.wav" synth 0.45 triangle "$lead" fade 0.02 0.45 0.1 pad 0 0.05 repeat 3 vol 0.15
  sox -q -m drums.wav "$name-bass.wav" "${tones[@]}" "$name-lead.wav" "$name.wav" trim 0 2
}
bar a A1 E5 A3 C4 E4
bar b F1 C5 F3 A3 C4
bar c C2 G5 C4 E4 G4
bar d G1 D5 G3 B3 D4
gen rest.wav trim 0 2
sox -q a.wav b.wav c.wav d.wav rest.wav a.wav b.wav drums.wav c.wav d.wav a.wav b.wav c.wav d.wav music-mono.wav norm -6
sox -q music-mono.wav -c 2 "$out/music.wav" remix 1 1
