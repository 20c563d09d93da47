#!/usr/bin/env python3
"""Builds bench.sh's one table from Google Benchmark JSON files and the
start-up measurement.

  bench-table.py --startup startup.json [--measure measure.json] core.json link.json [graph.json ...]

Each benchmark contributes its median when it ran with repetitions, else its
single run. Link benchmarks paced at the line rate carry the line time of
their bytes and the ratio of measured to line time; a few rows show a counter
instead (the longest event-loop stall, messages per second against the line's
limit).
"""
import argparse
import json
import re

UNIT_SCALE = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}

# Rows of the table: benchmark name (as Google Benchmark reports it), label
# (formatted with the run's fields), and optionally the counter shown in place
# of the time (in milliseconds), or a rate counter and the rate the line allows.
ROWS = [
    ("BM_ComputeResponseBusyChannel", "ComputeResponse, busy channel"),
    ("BM_ComputeResponseDefaults", "ComputeResponse, defaults"),
    ("BM_DrawResponseGraphCentred", "Response graph draw, unscaled"),
    ("BM_DrawResponseGraphScaled", "Response graph draw, scaled"),
    ("BM_BuildFrame/7", "BuildFrame, 7-byte payload"),
    ("BM_BuildFrame/192", "BuildFrame, 192-byte payload"),
    ("BM_ParameterRoundTrip/paceBaud:0", "Parameter round trip, unpaced"),
    ("BM_ParameterRoundTrip/paceBaud:57600", "Parameter round trip, paced 57600"),
    # Through ser2net on 127.0.0.1, beside the direct device's round trip taken in turn with it.
    ("BM_RoundTripThroughSer2net/comPortControl:0",
     "Parameter round trip through ser2net, raw, paced 57600 ({vs_direct:.2f} x direct {direct_ms:.2f} ms)"),
    ("BM_RoundTripThroughSer2net/comPortControl:1",
     "Parameter round trip through ser2net, COM-port control, paced 57600 ({vs_direct:.2f} x direct {direct_ms:.2f} ms)"),
    ("BM_ConnectSequence/paceBaud:0", "Connect sequence, unpaced"),
    ("BM_ConnectSequence/paceBaud:57600", "Connect sequence, paced 57600"),
    # The PEQ fit on synthetic measurements (inverse of a random setting the unit can hold, 0.3 dB noise).
    ("BM_PeqFitSynthetic", "PEQ fit, time per fit ({cases:.0f} synthetic measurements)", "ms_per_fit"),
    ("BM_PeqFitSynthetic", "PEQ fit: RMS <= 0.5 dB in {within_pct:.1f} % of cases (goal 95 %), rounding alone "
     "{rounded_pct:.1f} %; 95th percentile RMS {rms_p95_db:.2f} dB", "ms_per_fit"),
    # The live watch's analysis on noise through a delayed system, looked at five times a second.
    ("BM_LiveAnalysis", "Live analysis at 48 kHz: CPU per second of audio (goal < 150 ms)", "cpu_ms_per_audio_s"),
    # The desktop's exchanges off its GUI thread.
    ("BM_SilentConnectStall", "Event-loop stall during a silent connect, max", "stall_max_ms"),
    ("BM_LevelDrag/moveIntervalUs:1000", "Drag release to final value at the unit, paced 57600, moves 1 ms apart"),
    ("BM_LevelDrag/moveIntervalUs:10000", "Drag release to final value at the unit, paced 57600, moves 10 ms apart"),
    ("BM_LevelDrag/moveIntervalUs:1000", "Messages per second during a drag of {moves_per_s:.0f} moves/s, paced 57600",
     ("messages_per_s", "line_messages_per_s")),
    # The network remote: a token holder's GET /api/state, each on a new connection, while 500 slow
    # connections and 200 idle push clients without the token crowd its address.
    ("BM_TokenHolderUnderLockoutAttack", "Remote under lock-out attack: token holder's GET /api/state, p50", "p50_ms"),
    ("BM_TokenHolderUnderLockoutAttack",
     "Remote under lock-out attack: token holder's GET /api/state, p99 ({within_1s:.0f} of 100 within 1 s)", "p99_ms"),
    ("BM_TokenHolderUnderLockoutAttack", "Remote under lock-out attack: token holder's GET /api/state, max", "max_ms"),
    # Four units paced at 57600 behind ser2net (units 1-2 raw, 3-4 COM-port control), 10 clients each
    # changing a level 10 times a second: (a) all answering, (b) unit 4 silent.
    ("BM_FourUnitsThroughSer2net", "Remote, 4 units via ser2net, all answering: unit 1 {a_u1_per_s:.0f} changes/s, "
     "p50 {a_u1_p50_ms:.1f} ms, p99", "a_u1_p99_ms"),
    ("BM_FourUnitsThroughSer2net", "Remote, 4 units via ser2net, all answering: unit 2 {a_u2_per_s:.0f} changes/s, "
     "p50 {a_u2_p50_ms:.1f} ms, p99", "a_u2_p99_ms"),
    ("BM_FourUnitsThroughSer2net", "Remote, 4 units via ser2net, all answering: unit 3 {a_u3_per_s:.0f} changes/s, "
     "p50 {a_u3_p50_ms:.1f} ms, p99", "a_u3_p99_ms"),
    ("BM_FourUnitsThroughSer2net", "Remote, 4 units via ser2net, all answering: unit 4 {a_u4_per_s:.0f} changes/s, "
     "p50 {a_u4_p50_ms:.1f} ms, p99", "a_u4_p99_ms"),
    ("BM_FourUnitsThroughSer2net", "Remote, 4 units via ser2net, unit 4 silent: unit 1 {b_u1_per_s:.0f} changes/s, "
     "p50 {b_u1_p50_ms:.1f} ms, p99", "b_u1_p99_ms"),
    ("BM_FourUnitsThroughSer2net", "Remote, 4 units via ser2net, unit 4 silent: unit 2 {b_u2_per_s:.0f} changes/s, "
     "p50 {b_u2_p50_ms:.1f} ms, p99", "b_u2_p99_ms"),
    ("BM_FourUnitsThroughSer2net", "Remote, 4 units via ser2net, unit 4 silent: unit 3 {b_u3_per_s:.0f} changes/s, "
     "p50 {b_u3_p50_ms:.1f} ms, p99", "b_u3_p99_ms"),
    ("BM_FourUnitsThroughSer2net", "Remote, 4 units via ser2net: p99 of units 1-3 with unit 4 silent "
     "({b_vs_a_u123_p99:.2f} x all answering pooled, {b_vs_a_u123_p99_median_of_rounds:.2f} x as the median "
     "of the rounds, goal <= 1.10; unit 4 refused {b_u4_failed:.0f} changes)",
     "b_u123_p99_ms"),
]


def base_name(name):
    """The benchmark's name without its repetition, iteration and timing suffixes."""
    return re.sub(r"/(repeats:\d+|iterations:\d+|real_time|manual_time)", "", name)


def load_runs(paths):
    """Benchmark name -> the run to report (median aggregate, else the plain run)."""
    runs = {}
    for path in paths:
        with open(path) as f:
            for run in json.load(f).get("benchmarks", []):
                base = base_name(run.get("run_name", run["name"]))
                if run.get("run_type") == "aggregate":
                    if run.get("aggregate_name") == "median":
                        runs[base] = run
                elif base not in runs:
                    runs[base] = run
    return runs


def pretty_time(seconds):
    for unit, scale in (("s", 1.0), ("ms", 1e-3), ("µs", 1e-6)):
        if seconds >= scale:
            return f"{seconds / scale:.3g} {unit}"
    return f"{seconds / 1e-9:.3g} ns"


def row_cells(run, line_ms):
    """Time, and for link runs the line time of their bytes and the ratio to it."""
    seconds = run["real_time"] * UNIT_SCALE[run["time_unit"]]
    if line_ms is None:
        return pretty_time(seconds), "", ""
    return pretty_time(seconds), f"{line_ms:.3g} ms", f"{seconds * 1e3 / line_ms:.2f}"


def counter_cells(run, counter):
    """A counter in milliseconds, or a rate, the line's limit and their ratio."""
    if isinstance(counter, str):
        return pretty_time(run[counter] * 1e-3), "", ""
    rate, limit = counter
    return f"{run[rate]:.0f} /s", f"{run[limit]:.0f} /s", f"{run[rate] / run[limit]:.2f}"


def line_ms_of(name, runs):
    """The line time a link run's bytes take at 57600 baud, from its paced sibling (or itself)."""
    paced = runs.get(re.sub(r"paceBaud:\d+", "paceBaud:57600", name), {})
    return paced.get("line_ms")


def measure_rows(path):
    """The measurement's rows per room, from bench-measure.py's results."""
    with open(path) as f:
        rooms = json.load(f)
    for key, r in rooms.items():
        # "windows:ROOM": the Windows build under Wine, in the same run.
        build, _, room_name = key.rpartition(":")
        room = room_name + (" room, Windows build under Wine" if build == "windows" else " room")
        for name in ("left", "right", "sub"):
            print(f"| Measure, {room}: {name} vs the room's truth, largest / RMS deviation (1/12 octave, "
                  f"30 Hz - 16 kHz, one gain for all outputs; goal 0.5 dB) | {r[name + '_max_db']:.2f} dB / "
                  f"{r[name + '_rms_db']:.2f} dB | | |")
        print(f"| Measure, {room}: the Sub's level found against the tops' gain | "
              f"{r['sub_own_offset_db']:+.2f} dB | | |")
        print(f"| Measure, {room}: error of right - left arrival (truly {r['right_true_difference_ms']:.3f} ms; "
              f"goal 0.05 ms) | {r['right_arrival_error_ms']:.3f} ms | | |")
        print(f"| Measure, {room}: error of sub - left arrival (truly {r['sub_true_difference_ms']:.3f} ms; "
              f"the Sub's band delay included) | {r['sub_arrival_error_ms']:.3f} ms | | |")
        print(f"| Measure, {room}: the Sub's arrival after its delay moved {r['sub_delay_change_ms']:.1f} ms, "
              f"error (goal 0.05 ms) | {r['sub_delay_error_ms']:+.3f} ms | | |")
        print(f"| Measure, {room}: four-output sequence against its sweeps' {r['sweeps_s']:.0f} s (goal 1.3; "
              f"{r['measurements_not_ok']} measurements taken again) | {pretty_time(r['sequence_s'])} | "
              f"{pretty_time(r['sweeps_s'])} | {r['sequence_ratio']:.2f} |")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--startup", help="JSON with first_paint_s and peak_rss_kib")
    parser.add_argument("--measure", help="JSON of bench-measure.py")
    parser.add_argument("--rows", action="append", default=[],
                        help="JSON file of rows made elsewhere: [[measurement, time, line time, ratio], ...]")
    parser.add_argument("files", nargs="+")
    args = parser.parse_args()
    runs = load_runs(args.files)

    print("| measurement | time | line time | measured / line |")
    print("|---|---|---|---|")
    for name, label, *counter in ROWS:
        if name in runs:
            run = runs[name]
            cells = counter_cells(run, counter[0]) if counter else row_cells(run, line_ms_of(name, runs))
            print("| {} | {} | {} | {} |".format(label.format(**run), *cells))
    if args.startup:
        with open(args.startup) as f:
            startup = json.load(f)
        if startup.get("first_paint_s") is not None:
            print(f"| Start-up to first painted window | {pretty_time(startup['first_paint_s'])} | | |")
        else:
            print("| Start-up to first painted window | not measured | | |")
        print(f"| Peak memory, desktop program to first paint | {startup['peak_rss_kib'] / 1024:.1f} MiB | | |")
        for name, kib in sorted(startup.get("bench_peak_rss_kib", {}).items()):
            print(f"| Peak memory, {name} | {kib / 1024:.1f} MiB | | |")
    if args.measure:
        measure_rows(args.measure)
    for path in args.rows:
        with open(path) as f:
            for cells in json.load(f):
                print("| {} | {} | {} | {} |".format(*cells))


if __name__ == "__main__":
    main()
