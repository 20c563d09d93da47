#!/usr/bin/env python3
"""The tuning pass's rows of bench.sh's table, from what bench-tune.sh left.

  bench-tune.py RESULTS_DIR ROOM...

Per room: the RMS from the target after one pass (Left, Right, Sub), the
chosen delay against the best one found by trying every step on the room's
own responses (its truth with the setting the pass left: the levels, the
PEQ and the Sub's polarity as they play), the deepest dip of
the sum in the crossover region measured after, and the time of the pass.
Then tuning from one position beside tuning from four, judged from the
room's truth at each of its four positions: the system's RMS from a flat
target (40 Hz - 16 kHz, 1/6 octave) before and after each, the most any
position got worse, the deepest dip of the sum in the crossover region at
any position, the four-position delay against the best one for the worst
position, and the four-position pass's time without the waiting.
"""
import cmath
import json
import math
import sys

STEP_S = 1e-4
STEPS = 125
DIP_DB = 3.0  # a crossover dip deeper than this at a seat: the goal, and the tuning's judge of the delay


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
    chosen = chosen_steps(tune)
    chosen_sign = -1 if applied_alignment(tune)["subPolarity"] == "inverted" else 1
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
        [f"Tune, {room} room: whole pass, 2 s sweeps, {len(tune['passes'])} pass(es), {lead(results)} (goal < 30 s)",
         f"{seconds:.1f} s", "", ""],
    ]
    if tune["shortfalls"]:
        out.append([f"Tune, {room} room: not reached", "; ".join(tune["shortfalls"]), "", ""])
    return out


def position_outputs(truth):
    """Each position's left, right and sub on the microphone's time base, and the grid."""
    positions = truth.get("positions") or [{"outputs": truth["outputs"]}]
    hz = positions[0]["outputs"]["left"]["hz"]
    return hz, [tuple(truth_response(p["outputs"][name]) for name in ("left", "right", "sub")) for p in positions]


def system_rms_db(hz, left, right, sub):
    """The RMS from a flat target of the system's level, 1/6 octave around
    each point from 40 Hz to 16 kHz, its mean level taken off."""
    power = [abs(left[i] + right[i] + sub[i]) ** 2 for i in range(len(hz))]
    levels = []
    for centre in (f for f in hz if 40 <= f <= 16000):
        around = [power[i] for i, f in enumerate(hz) if centre * 2 ** (-1 / 12) <= f <= centre * 2 ** (1 / 12)]
        levels.append(10 * math.log10(max(sum(around) / len(around), 1e-30)))
    mean = sum(levels) / len(levels)
    return math.sqrt(sum((db - mean) ** 2 for db in levels) / len(levels))


def worth_db(hz, left, right, sub, region, shift_steps=0):
    """Over the region's points, how tops and Sub add against the louder of the
    two (the Sub delayed by `shift_steps` more): the mean and the deepest."""
    worth = []
    for i, f in enumerate(hz):
        if not region["lowHz"] <= f <= region["highHz"]:
            continue
        tops = left[i] + right[i]
        s = sub[i] * cmath.exp(-2j * math.pi * f * shift_steps * STEP_S)
        worth.append(20 * math.log10(max(abs(tops + s), 1e-15) / max(abs(tops), abs(s), 1e-15)))
    return sum(worth) / len(worth), min(worth)


def applied_alignment(tune):
    """The delay and the Sub's polarity the last pass left (a second pass judges them again)."""
    passes = tune.get("passes") or []
    return passes[-1]["applied"] if passes and "applied" in passes[-1] else tune["proposal"]


def chosen_steps(tune):
    delay = applied_alignment(tune)["delay"]
    return delay["steps"] if delay["channel"] == "sub" else -delay["steps"]


def best_for_the_worst(hz, positions, region, current):
    """The Sub's delay less the tops' whose worst position adds best, every step
    tried with the Sub's polarity as it is; `current`: the truth's own. As the
    tuning judges: a step that leaves no dip deeper than 3 dB at any position
    before every one that leaves one."""
    def judged(relative):
        figures = [worth_db(hz, *p, region, relative - current) for p in positions]
        return min(dip for _, dip in figures) >= -DIP_DB, min(mean for mean, _ in figures)

    return max((judged(r), r) for r in range(-STEPS, STEPS + 1))[1]


def lead(results):
    """How far behind its inputs the emulated unit played, as bench-tune.sh ran it."""
    with open(f"{results}/tune-lead-ms") as f:
        return f"the emulated unit {int(f.read())} ms behind its inputs"


def positions_rows(results, room):
    def load(name):
        with open(f"{results}/{name}") as f:
            return json.load(f)

    hz, before = position_outputs(load(f"tune-{room}-before-truth.json"))
    runs = {"one": load(f"tune-{room}.json"), "four": load(f"tune4-{room}.json")}
    after = {key: position_outputs(load(f"{prefix}-{room}-truth.json"))[1]
             for key, prefix in (("one", "tune"), ("four", "tune4"))}
    with open(f"{results}/tune4-{room}.seconds") as f:
        seconds, proposing = (float(x) for x in f.read().split())
    timed = f"{4 * (1 + len(runs['four']['passes']))} sequences of {len(runs['four']['measured']['outputs'])} sweeps"
    try:
        with open(f"{results}/tune4-lead-{room}.seconds") as f:
            timed += f"; {float(f.read().split()[0]):.1f} s with the emulator's default lead of 150 ms"
    except (OSError, ValueError, IndexError):
        pass
    rms_before = [system_rms_db(hz, *p) for p in before]
    rms = {key: [system_rms_db(hz, *p) for p in after[key]] for key in after}
    dips = {key: min(worth_db(hz, *p, runs[key]["predicted"]["region"])[1] for p in after[key]) for key in after}
    worse = {key: max(a - b for a, b in zip(rms[key], rms_before)) for key in rms}
    region = runs["four"]["predicted"]["region"]
    chosen = chosen_steps(runs["four"])
    best = best_for_the_worst(hz, after["four"], region, chosen)

    def mean_worst(values):
        return f"{sum(values) / len(values):.2f} / {max(values):.2f}"

    return [
        [f"Tune, {room} room: system RMS from the target at its {len(before)} positions, mean / worst: before, "
         "after one position, after four (goal: four below one on average)",
         f"{mean_worst(rms_before)}, {mean_worst(rms['one'])}, {mean_worst(rms['four'])} dB", "", ""],
        [f"Tune, {room} room: most a position got worse than before tuning, one / four positions (goal <= 0.5 dB)",
         f"{worse['one']:+.2f} / {worse['four']:+.2f} dB", "", ""],
        [f"Tune, {room} room: deepest crossover dip at any position, one / four positions (goal >= -3 dB)",
         f"{dips['one']:.1f} / {dips['four']:.1f} dB", "", ""],
        [f"Tune, {room} room: four positions' Sub less tops delay, chosen / best for the worst position of every "
         "step (goal: within 1 step)", f"{chosen} / {best} steps", "", f"{abs(chosen - best)} steps off"],
        [f"Tune, {room} room: four-position pass without the waiting, 2 s sweeps, {len(runs['four']['passes'])} "
         f"pass(es), {lead(results)}: the whole / measuring and proposing (goal < 60 s)",
         f"{seconds:.1f} / {proposing:.1f} s", "", timed],
    ]


def main():
    results, rooms = sys.argv[1], sys.argv[2:]
    table = []
    for room in rooms:
        try:
            table += rows(results, room)
        except (OSError, ValueError, KeyError, TypeError) as e:
            table.append([f"Tune, {room} room", f"not measured ({e})", "", ""])
        try:
            table += positions_rows(results, room)
        except (OSError, ValueError, KeyError, TypeError, ZeroDivisionError) as e:
            table.append([f"Tune, {room} room, four positions", f"not measured ({e})", "", ""])
    print(json.dumps(table))


if __name__ == "__main__":
    main()
