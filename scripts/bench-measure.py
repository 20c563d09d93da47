#!/usr/bin/env python3
"""The measurement's figures against the emulated room's truth, for bench.sh.

  bench-measure.py <bin dir> <output json> [--windows-cli EXE --wine-prefix DIR]

A private PulseAudio server (scripts/pulse-session.sh) carries the sound
between quenbar-cli measure and rx74-emulator --audio. For each room (the
built-in one and emulator/rooms/*.json) it measures the four outputs, then
changes the Sub's delay on the unit by a known number of 0.1 ms steps and
measures again. It writes, per room:

  - the magnitude of Left, Right and Sub against the room's truth
    (--room-truth) at 1/12 octave from 30 Hz to 16 kHz, largest and RMS
    deviation. The sound card's gain is unknown, so ONE gain is aligned for
    all three outputs: the mean difference of the tops over the band. The
    Sub is judged at that same gain, so its level (the unit's feed to it) is
    what the measurement found; its own mean difference is written too.
    The Sub is compared where its truth stands within 30 dB of its peak.
  - the error of the arrival differences right - left and sub - left against
    the truth (the Sub's includes the group delay of its band: for it the
    goal is the change below);
  - the change of the Sub's arrival (sub - left) after the delay change,
    against that change;
  - each sequence's time (stream start to the mutes put back) over the time
    its sweeps take to play.

With --windows-cli, the Windows build's quenbar-cli.exe measures the
built-in room as well, under Wine in the given prefix (a session of
scripts/wine-session.sh, its COM5 the emulated unit's pseudo-terminal, Wine's
sound through the same private server): its figures are written under
"windows:built-in".
"""
import argparse
import json
import math
import os
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
ROOMS = [("built-in", None), ("sub-behind", "emulator/rooms/sub-behind.json"),
         ("sub-ahead-reversed", "emulator/rooms/sub-ahead-reversed.json")]
DELAY_STEPS = 23  # of 0.1 ms: 2.3 ms
LOW_HZ, HIGH_HZ = 30.0, 16000.0
SUB_RANGE_DB = 30.0


def smoothed(hz, db):
    """Power average over 1/12 octave around each point."""
    result = []
    for centre in hz:
        low, high = centre * 2 ** (-1 / 24), centre * 2 ** (1 / 24)
        powers = [10 ** (d / 10) for f, d in zip(hz, db) if low <= f <= high]
        result.append(10 * math.log10(sum(powers) / len(powers)))
    return result


def differences(measured, truth, range_db):
    """Measured minus true dB at 1/12 octave over the band, where the truth
    stands within range_db of its peak."""
    ours, theirs = smoothed(measured["hz"], measured["db"]), smoothed(truth["hz"], truth["db"])
    peak = max(theirs)
    return [o - t for f, o, t in zip(measured["hz"], ours, theirs)
            if LOW_HZ <= f <= HIGH_HZ and t > peak - range_db]


def output(measurement, name):
    return next(o for o in measurement["outputs"] if o["output"] == name)


def magnitude_figures(measurement, truth):
    diffs = {name: differences(output(measurement, name), truth[name], SUB_RANGE_DB if name == "sub" else 400.0)
             for name in ("left", "right", "sub")}
    tops = diffs["left"] + diffs["right"]
    gain = sum(tops) / len(tops)
    figures = {"gain_db": gain, "sub_own_offset_db": sum(diffs["sub"]) / len(diffs["sub"]) - gain}
    for name, values in diffs.items():
        aligned = [v - gain for v in values]
        figures[name + "_max_db"] = max(abs(v) for v in aligned)
        figures[name + "_rms_db"] = math.sqrt(sum(v * v for v in aligned) / len(aligned))
    return figures


class WindowsCli:
    """quenbar-cli.exe of the Windows build under Wine; its COM5 is the unit measured."""

    def __init__(self, exe, prefix):
        self.session, self.exe, self.prefix = os.path.join(ROOT, "scripts/wine-session.sh"), exe, prefix
        self.com5 = prefix + "-com5"
        subprocess.run([self.session, prefix, "start", self.com5, "bench-measure"], check=True)

    def close(self):
        subprocess.run([self.session, self.prefix, "stop", "bench-measure"], check=False)

    def command(self, device, *args):
        if os.path.lexists(self.com5):
            os.remove(self.com5)
        os.symlink(device, self.com5)
        return [self.session, self.prefix, "run", self.exe, "--port", "COM5", *args]


def arrival_difference(measurement, name):
    return output(measurement, name)["arrivalMs"] - output(measurement, "left")["arrivalMs"]


class Session:
    """The private sound server and an emulated unit in one room."""

    def __init__(self, bin_dir, folder):
        self.bin_dir, self.folder = bin_dir, folder
        self.pulse = os.path.join(folder, "pulse")
        subprocess.run([os.path.join(ROOT, "scripts/pulse-session.sh"), self.pulse, "start"], check=True,
                       stdout=subprocess.DEVNULL)
        lines = subprocess.run([os.path.join(ROOT, "scripts/pulse-session.sh"), self.pulse, "env"], check=True,
                               capture_output=True, text=True).stdout.split()
        self.env = dict(os.environ, **dict(line.split("=", 1) for line in lines))
        self.env.pop("PULSE_SINK", None)
        self.env.pop("PULSE_SOURCE", None)

    def close(self):
        subprocess.run([os.path.join(ROOT, "scripts/pulse-session.sh"), self.pulse, "stop"], check=False)

    def program(self, name, *args, check=True):
        return subprocess.run([os.path.join(self.bin_dir, name), *args], env=self.env, capture_output=True,
                              text=True, check=check, timeout=120)

    def measure_command(self, windows, device, *args):
        if windows:
            return windows.command(device, *args)
        return [os.path.join(self.bin_dir, "quenbar-cli"), "--port", device, *args]

    def room_args(self, room):
        return ["--room", os.path.join(ROOT, room)] if room else []

    def measure_room(self, room, windows=None):
        state = os.path.join(self.folder, "state.json")
        if os.path.exists(state):
            os.remove(state)
        emulator = subprocess.Popen([os.path.join(self.bin_dir, "rx74-emulator"), "--audio", "--state", state,
                                     *self.room_args(room)], env=self.env, stdout=subprocess.PIPE,
                                    stderr=subprocess.DEVNULL, text=True)
        try:
            device = emulator.stdout.readline().strip()
            return self.measure_unit(room, device, state, windows)
        finally:
            emulator.terminate()
            emulator.wait()

    def measure_unit(self, room, device, state, windows):
        failures = []

        # A measurement spoilt by a dropout (the machine busy) is said and taken again, twice at most.
        def measure():
            for _ in range(3):
                run = subprocess.run(self.measure_command(windows, device, "measure", "--json"), env=self.env,
                                     capture_output=True, text=True, check=False, timeout=120)
                if run.returncode == 0:
                    return json.loads(run.stdout)
                failures.append(run.stderr.strip().splitlines()[-1])
                print("  not ok, again: " + failures[-1], file=sys.stderr)
            raise RuntimeError("quenbar-cli measure failed three times: " + " / ".join(failures))

        def truth():
            return json.loads(self.program("rx74-emulator", "--room-truth", "--state", state,
                                           *self.room_args(room)).stdout)["outputs"]

        self.program("quenbar-cli", "--port", device, "set", "sub", "delay", "0ms")
        before, truth_before = measure(), truth()
        self.program("quenbar-cli", "--port", device, "set", "sub", "delay", f"{DELAY_STEPS / 10:.1f}ms")
        after, truth_after = measure(), truth()
        change_ms = DELAY_STEPS / 10
        true_change = truth_after["sub"]["arrivalMs"] - truth_before["sub"]["arrivalMs"]
        if abs(true_change - change_ms) > 1e-9:
            raise RuntimeError(f"the room's Sub moved {true_change} ms for a change of {change_ms} ms")
        figures = magnitude_figures(before, truth_before)
        for name in ("right", "sub"):
            true_difference = truth_before[name]["arrivalMs"] - truth_before["left"]["arrivalMs"]
            figures[name + "_arrival_error_ms"] = max(
                abs(arrival_difference(m, name) - (t[name]["arrivalMs"] - t["left"]["arrivalMs"]))
                for m, t in ((before, truth_before), (after, truth_after)))
            figures[name + "_true_difference_ms"] = true_difference
        figures["sub_delay_change_ms"] = change_ms
        figures["sub_delay_error_ms"] = arrival_difference(after, "sub") - arrival_difference(before, "sub") - change_ms
        # The slower of the two, with its own sweeps (a sweep played again is one more).
        slower = max((before, after), key=lambda m: m["sequenceSeconds"] / m["sweepsSeconds"])
        figures["sequence_ratio"] = slower["sequenceSeconds"] / slower["sweepsSeconds"]
        figures["sequence_s"] = slower["sequenceSeconds"]
        figures["sweeps_s"] = slower["sweepsSeconds"]
        figures["measurements_not_ok"] = len(failures)
        return figures


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("bin_dir")
    parser.add_argument("out_path")
    parser.add_argument("--windows-cli", help="quenbar-cli.exe of the Windows build")
    parser.add_argument("--wine-prefix", help="the Wine prefix it runs in")
    args = parser.parse_args()
    bin_dir, out_path = args.bin_dir, args.out_path
    results = {}
    with tempfile.TemporaryDirectory() as folder:
        session = Session(bin_dir, folder)
        try:
            for name, room in ROOMS:
                print(f"measuring the {name} room ...", file=sys.stderr)
                results[name] = session.measure_room(room)
            if args.windows_cli:
                print("measuring the built-in room with the Windows build under Wine ...", file=sys.stderr)
                windows = WindowsCli(args.windows_cli, args.wine_prefix)
                try:
                    results["windows:built-in"] = session.measure_room(None, windows)
                finally:
                    windows.close()
        finally:
            session.close()
    with open(out_path, "w") as f:
        json.dump(results, f, indent=2)


if __name__ == "__main__":
    main()
