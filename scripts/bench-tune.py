#!/usr/bin/env python3
"""The tuning pass's rows of bench.sh's table, from what bench-tune.sh left.

  bench-tune.py RESULTS_DIR ROOM...

Per room: the RMS from the target after one pass (Left, Right, Sub), the
chosen delay against the best one found by trying every step on the room's
own responses (its truth with the setting the pass left: the levels, the
PEQ and the Sub's polarity as they play), the deepest dip of
the sum in the crossover region measured after, and the time of the pass.
"""
import cmath
import json
import math
import sys

STEP_S = 1e-4
STEPS = 125


def truth_response(output):
    """The truth's output on the microphone's time base (its phase holds the arrival)."""
    return [cmath.rect(10 ** (db / 20), math.radians(phase) - 2 * math.pi * hz * output["arrivalMs"] / 1000)
            for hz, db, phase in zip(output["hz"], output["db"], output["phaseDeg"])]


def best_relative_steps(truth, region, current):
    """The Sub's delay less the tops' that makes the sum strongest over the
    region (its mean level, the grid's points), every step tried with the Sub's
    polarity as it is (the other polarity about half a period away is as good
    with crossovers of the Link-Riley kind, and the shorter delay is taken);
    `current`: the steps the truth's setting holds."""
    outputs = truth["outputs"]
    hz = outputs["left"]["hz"]
    left, right, sub = (truth_response(outputs[name]) for name in ("left", "right", "sub"))
    points = [i for i, f in enumerate(hz) if region["lowHz"] <= f <= region["highHz"]]

    def mean_db(relative):
        return sum(20 * math.log10(max(abs(left[i] + right[i] + sub[i] *
                                           cmath.exp(-2j * math.pi * hz[i] * (relative - current) * STEP_S)), 1e-15))
                   for i in points) / len(points)

    return max((mean_db(r), r) for r in range(-STEPS, STEPS + 1))


def rows(results, room):
    with open(f"{results}/tune-{room}.json") as f:
        tune = json.load(f)
    with open(f"{results}/tune-{room}-truth.json") as f:
        truth = json.load(f)
    with open(f"{results}/tune-{room}.seconds") as f:
        seconds = float(f.read())
    proposal = tune["proposal"]
    delay = proposal["delay"]
    chosen = delay["steps"] if delay["channel"] == "sub" else -delay["steps"]
    chosen_sign = -1 if proposal["subPolarity"] == "inverted" else 1
    _, best = best_relative_steps(truth, tune["predicted"]["region"], chosen)
    first = {o["output"]: o for o in tune["passes"][0]["outputs"]}
    rms = " / ".join("n/a" if first[name]["rmsAfterDb"] is None else f"{first[name]['rmsAfterDb']:.2f}"
                     for name in ("left", "right", "sub"))
    last = tune["verify"]["crossoverSum"]
    polarity = "inverted" if chosen_sign < 0 else "normal"
    out = [
        [f"Tune, {room} room: RMS from the target after one pass, L / R / Sub (goal <= 1.0 dB)", f"{rms} dB", "", ""],
        [f"Tune, {room} room: Sub less tops delay, chosen / best of every step, Sub {polarity} (goal: within 1 step)",
         f"{chosen} / {best} steps", "", f"{abs(chosen - best)} steps off"],
        [f"Tune, {room} room: deepest dip in the crossover region after (goal: >= -3 dB)",
         f"{last['deepestDipDb']:.1f} dB at {last['deepestDipHz']:.0f} Hz", "", ""],
        [f"Tune, {room} room: whole pass, 2 s sweeps, {len(tune['passes'])} pass(es) (goal < 30 s)",
         f"{seconds:.1f} s", "", ""],
    ]
    if tune["shortfalls"]:
        out.append([f"Tune, {room} room: not reached", "; ".join(tune["shortfalls"]), "", ""])
    return out


def main():
    results, rooms = sys.argv[1], sys.argv[2:]
    table = []
    for room in rooms:
        try:
            table += rows(results, room)
        except (OSError, ValueError, KeyError, TypeError) as e:
            table.append([f"Tune, {room} room", f"not measured ({e})", "", ""])
    print(json.dumps(table))


if __name__ == "__main__":
    main()
