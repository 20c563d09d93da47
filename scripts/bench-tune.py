#!/usr/bin/env python3
"""The tuning pass's rows of bench.sh's table, from what bench-tune.sh left.

  bench-tune.py RESULTS_DIR ROOM...

Per room: the RMS from the target after one pass (Left, Right, Sub), the
chosen delay against the best one found by trying every step on the room's
own responses (its truth, with the polarity either way), the deepest dip of
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


def best_relative_steps(truth, region, sub_change_db):
    """The Sub's delay less the tops' that makes the sum strongest over the
    region (its mean level, the grid's points), every step and polarity tried."""
    outputs = truth["outputs"]
    hz = outputs["left"]["hz"]
    left, right, sub = (truth_response(outputs[name]) for name in ("left", "right", "sub"))
    gain = 10 ** (sub_change_db / 20)
    points = [i for i, f in enumerate(hz) if region["lowHz"] <= f <= region["highHz"]]

    def mean_db(relative, sign):
        return sum(20 * math.log10(max(abs(left[i] + right[i] + sign * gain * sub[i] *
                                           cmath.exp(-2j * math.pi * hz[i] * relative * STEP_S)), 1e-15))
                   for i in points) / len(points)

    return max(((mean_db(r, s), r, s) for r in range(-STEPS, STEPS + 1) for s in (1, -1)))


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
    _, best, best_sign = best_relative_steps(truth, tune["predicted"]["region"],
                                             proposal["levels"]["sub"]["changeDb"])
    first = {o["output"]: o for o in tune["passes"][0]["outputs"]}
    rms = " / ".join(f"{first[name]['rmsAfterDb']:.2f}" for name in ("left", "right", "sub"))
    last = tune["verify"]["crossoverSum"]
    polarity = lambda sign: "inverted" if sign < 0 else "normal"
    out = [
        [f"Tune, {room} room: RMS from the target after one pass, L / R / Sub (goal <= 1.0 dB)", f"{rms} dB", "", ""],
        [f"Tune, {room} room: Sub less tops delay chosen / best of every step (goal: within 1 step)",
         f"{chosen} {polarity(chosen_sign)} / {best} {polarity(best_sign)}", "", f"{abs(chosen - best)} steps"],
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
