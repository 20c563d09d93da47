#!/usr/bin/env python3
"""quenbar-cli measure many times in a row through sound paths we did not
write, for the sound tests (--check) and bench.sh.

  measure-loops.py BIN_DIR [--paths P,P,...] [--runs N] [--length S]
                   [--pause S] [--folder DIR] [--json OUT] [--rows OUT] [--check]

The paths: each loop of scripts/sound-loop.sh (parec-pacat,
parec-filter-pacat, pulse-loopback, pulse-loopback-suspend, pipewire), each
in a private server of its own under --folder, measured with --no-unit; and
emulator, rx74-emulator --audio as the room on a private PulseAudio server
(scripts/pulse-session.sh), measured with the unit. Every measurement takes
the four outputs with sweeps of --length seconds. Between two measurements
the suspend loop pauses 4 s, as a person does, so that idle devices may
sleep; the others go on at once unless --pause says otherwise.

Per path: the runs that were ok of all runs, each failure's message, the
spread (largest less smallest) of the right - left arrival over the ok runs,
and the sequence's time against its sweeps' (largest and median). With
--check it fails unless every run of every path was ok and the spread stays
within 0.02 ms.
"""
import argparse
import concurrent.futures
import json
import os
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
LOOPS = ["parec-pacat", "parec-filter-pacat", "pulse-loopback", "pulse-loopback-suspend", "pipewire"]
PATHS = ["emulator"] + LOOPS
SUSPEND_PAUSE_S = 4.0
SPREAD_LIMIT_MS = 0.02
LABELS = {
    "emulator": "rx74-emulator --audio (PulseAudio)",
    "parec-pacat": "parec piped into pacat (PulseAudio)",
    "parec-filter-pacat": "parec, a filter of 20 ms blocks, pacat (PulseAudio)",
    "pulse-loopback": "PulseAudio module-loopback",
    "pulse-loopback-suspend": "PulseAudio module-loopback, suspend-on-idle, 4 s pauses",
    "pipewire": "PipeWire 0.3 module-loopback (pipewire-pulse, WirePlumber)",
}


def script(name, *args, **kwargs):
    return subprocess.run([os.path.join(ROOT, "scripts", name), *args], check=True, text=True, **kwargs)


def env_of(lines):
    env = dict(os.environ)
    env.pop("PULSE_SINK", None)
    env.pop("PULSE_SOURCE", None)
    env.update(line.split("=", 1) for line in lines.split())
    return env


class Path:
    """A path's private server, and its loop or its emulated room, for as long as it is open."""

    def __init__(self, name, bin_dir, folder):
        self.name, self.bin_dir, self.folder = name, bin_dir, folder
        self.emulator = None
        self.unit_args = ["--no-unit"]
        if name == "emulator":
            script("pulse-session.sh", folder, "start", stdout=subprocess.DEVNULL)
            self.env = env_of(script("pulse-session.sh", folder, "env", capture_output=True).stdout)
            self.emulator = subprocess.Popen([os.path.join(bin_dir, "rx74-emulator"), "--audio",
                                              "--state", os.path.join(folder, "state.json")],
                                             env=self.env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                             stdin=subprocess.DEVNULL, text=True)
            device = self.emulator.stdout.readline().strip()
            if not device:
                self.close()
                raise RuntimeError("rx74-emulator --audio did not start")
            self.unit_args = ["--port", device]
        else:
            script("sound-loop.sh", folder, "start", name, stdout=subprocess.DEVNULL)
            self.env = env_of(script("sound-loop.sh", folder, "env", capture_output=True).stdout)

    def close(self):
        if self.emulator:
            self.emulator.terminate()
            self.emulator.wait()
            self.emulator = None
        if self.name == "emulator":
            script("pulse-session.sh", self.folder, "stop")
        else:
            script("sound-loop.sh", self.folder, "stop")

    def measure(self, length):
        """One measurement of the four outputs: its figures, or what went wrong."""
        started = time.monotonic()
        run = subprocess.run([os.path.join(self.bin_dir, "quenbar-cli"), "measure", *self.unit_args,
                              "--outputs", "left,right,sub,system", "--length", str(length), "--json"],
                             env=self.env, capture_output=True, text=True, timeout=120, stdin=subprocess.DEVNULL)
        result = {"wall_s": time.monotonic() - started, "exit": run.returncode}
        try:
            measured = json.loads(run.stdout)
        except json.JSONDecodeError:
            measured = None
        if measured:
            arrival = {o["output"]: o["arrivalMs"] for o in measured["outputs"]}
            result.update(sequence_s=measured["sequenceSeconds"], sweeps_s=measured["sweepsSeconds"],
                          right_minus_left_ms=arrival["right"] - arrival["left"],
                          verdicts={o["output"]: o["verdict"] for o in measured["outputs"]},
                          played_again=[f"{o['output']}: {o['playedAgain']}" for o in measured["outputs"]
                                        if o.get("playedAgain")])
        result["ok"] = (run.returncode == 0 and measured is not None and
                        all(v == "ok" for v in result["verdicts"].values()))
        if not result["ok"]:
            # The command's own words: each output's fault after its "not ok", or its last line.
            lines = [line for line in run.stderr.splitlines() if line.strip()]
            faults = lines[lines.index("The measurement is not ok:") + 1:] if "The measurement is not ok:" in lines else []
            result["message"] = " / ".join(faults or lines[-1:]) or f"exit {run.returncode}"
        return result


def measure_path(name, bin_dir, folder, runs, length, pause):
    print(f"{name}: {runs} measurements ...", file=sys.stderr)
    path = Path(name, bin_dir, folder)
    results = []
    try:
        for index in range(runs):
            if index and pause:
                time.sleep(pause)
            results.append(path.measure(length))
            r = results[-1]
            print(f"  {name} {index + 1}: " + ("ok, right - left %.4f ms" % r["right_minus_left_ms"] if r["ok"]
                                               else "NOT OK: " + r["message"])
                  + "".join(f"; {again}" for again in r.get("played_again", [])), file=sys.stderr)
    finally:
        path.close()
    return summary(results)


def summary(results):
    ok = [r for r in results if r["ok"]]
    differences = [r["right_minus_left_ms"] for r in ok]
    ratios = [r["sequence_s"] / r["sweeps_s"] for r in results if "sequence_s" in r]
    walls = [r["wall_s"] / r["sweeps_s"] for r in results if "sweeps_s" in r]
    return {
        "runs": len(results),
        "ok": len(ok),
        "failures": [r["message"] for r in results if not r["ok"]],
        "played_again": [again for r in results for again in r.get("played_again", [])],
        "right_minus_left_spread_ms": max(differences) - min(differences) if differences else None,
        "right_minus_left_ms": statistics.median(differences) if differences else None,
        "sequence_ratio_median": statistics.median(ratios) if ratios else None,
        "sequence_ratio_max": max(ratios) if ratios else None,
        "wall_ratio_median": statistics.median(walls) if walls else None,
        "sweeps_s": results[0].get("sweeps_s") if results else None,
        "results": results,
    }


def rows(figures):
    """bench-table.py's rows: [measurement, time, line time, ratio] per path."""
    table = []
    for name, f in figures.items():
        spread = "-" if f["right_minus_left_spread_ms"] is None else "%.4f ms" % f["right_minus_left_spread_ms"]
        again = len(f["played_again"])
        label = (f"Measure through {LABELS[name]}: {f['ok']}/{f['runs']} ok, right - left spread {spread}, "
                 f"{again} sweep{'' if again == 1 else 's'} played again")
        if f["sequence_ratio_median"] is None:
            table.append([label, "-", "-", "-"])
            continue
        sequence_s = f["sequence_ratio_median"] * f["sweeps_s"]
        table.append([label, "%.2f s" % sequence_s, "%.2f s" % f["sweeps_s"],
                      "%.2f (max %.2f)" % (f["sequence_ratio_median"], f["sequence_ratio_max"])])
    return table


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("bin_dir")
    parser.add_argument("--paths", default=",".join(PATHS))
    parser.add_argument("--runs", type=int, default=100)
    parser.add_argument("--length", type=float, default=1.0)
    parser.add_argument("--pause", type=float, help="seconds between measurements (default: 4 s on the suspend loop)")
    parser.add_argument("--folder", help="the servers' folders go here (default: a temporary one)")
    parser.add_argument("--json", help="write every path's figures and runs here")
    parser.add_argument("--rows", help="write bench-table.py's rows here")
    parser.add_argument("--check", action="store_true", help="fail unless every run was ok and the spread holds")
    parser.add_argument("--lanes", type=int, default=1,
                        help="paths measured side by side, each on a server of its own (default 1)")
    args = parser.parse_args()
    names = args.paths.split(",")
    unknown = [n for n in names if n not in PATHS]
    if unknown:
        parser.error("no such path: " + ", ".join(unknown) + "; the paths: " + ", ".join(PATHS))

    def measure(name, scratch):
        folder = os.path.join(os.path.abspath(args.folder or scratch), name)
        pause = args.pause if args.pause is not None else (SUSPEND_PAUSE_S if name.endswith("-suspend") else 0.0)
        return measure_path(name, args.bin_dir, folder, args.runs, args.length, pause)

    with tempfile.TemporaryDirectory(prefix="measure-loops-") as scratch:
        with concurrent.futures.ThreadPoolExecutor(max_workers=max(1, args.lanes)) as lanes:
            futures = {name: lanes.submit(measure, name, scratch) for name in names}
            figures = {name: future.result() for name, future in futures.items()}
    if args.json:
        with open(args.json, "w") as f:
            json.dump(figures, f, indent=2)
    if args.rows:
        with open(args.rows, "w") as f:
            json.dump(rows(figures), f, indent=2)

    faults = []
    for name, f in figures.items():
        spread = f["right_minus_left_spread_ms"]
        print(f"{name}: {f['ok']}/{f['runs']} ok, right - left spread "
              f"{'-' if spread is None else '%.4f ms' % spread}, sequence/sweeps "
              f"{'-' if f['sequence_ratio_median'] is None else '%.2f' % f['sequence_ratio_median']}")
        for message in f["failures"]:
            print(f"  not ok: {message}")
        if f["ok"] < f["runs"]:
            faults.append(f"{name}: {f['runs'] - f['ok']} of {f['runs']} measurements not ok")
        if spread is not None and spread > SPREAD_LIMIT_MS:
            faults.append(f"{name}: right - left arrival moved {spread:.4f} ms between measurements "
                          f"(at most {SPREAD_LIMIT_MS} ms)")
    if args.check and faults:
        print("\n".join(faults), file=sys.stderr)
        sys.exit(1)


if __name__ == "__main__":
    main()
