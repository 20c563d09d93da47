#!/usr/bin/env python3
"""Start-up time of the desktop program to its first painted window, and its
peak memory by then, under QT_QPA_PLATFORM=offscreen with an emulated unit
behind COM1.

  bench-startup.py <bin dir> <output json> [runs]

The program is started with QUENBAR_EXIT_AFTER_FIRST_PAINT=1: on the main
window's first paint it prints a line starting "first paint" and quits.
The time is measured from the spawn to that line: process start, library
loading, settings, port and windows included. Peak memory is the program's
maximum resident set (wait4).
"""
import json
import os
import select
import statistics
import subprocess
import sys
import tempfile
import time

MARKER = b"first paint"
GIVE_UP_S = 30.0


def start_emulator(bin_dir):
    emulator = subprocess.Popen([os.path.join(bin_dir, "rx74-emulator")], stdout=subprocess.PIPE,
                                stderr=subprocess.DEVNULL)
    device = emulator.stdout.readline().decode().strip()
    return emulator, device


def one_start(bin_dir, device, home):
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", QUENBAR_COM1=device, HOME=home,
               XDG_CONFIG_HOME=os.path.join(home, ".config"), QUENBAR_EXIT_AFTER_FIRST_PAINT="1")
    start = time.perf_counter()
    program = subprocess.Popen([os.path.join(bin_dir, "quenbar")], stdout=subprocess.PIPE,
                               stderr=subprocess.DEVNULL, env=env)
    painted = None
    buffered = b""
    while painted is None and time.perf_counter() - start < GIVE_UP_S:
        ready, _, _ = select.select([program.stdout], [], [], 0.5)
        if not ready:
            if program.poll() is not None:
                break
            continue
        chunk = os.read(program.stdout.fileno(), 4096)
        if not chunk:
            break
        buffered += chunk
        if MARKER in buffered:
            painted = time.perf_counter() - start
    if program.poll() is None and painted is None:
        program.kill()
    _, _, usage = os.wait4(program.pid, 0)
    program.returncode = 0
    return painted, usage.ru_maxrss


def main():
    bin_dir, out_path = sys.argv[1], sys.argv[2]
    runs = int(sys.argv[3]) if len(sys.argv) > 3 else 5
    emulator, device = start_emulator(bin_dir)
    times, peaks = [], []
    try:
        with tempfile.TemporaryDirectory() as home:
            for _ in range(runs):
                painted, peak = one_start(bin_dir, device, home)
                peaks.append(peak)
                if painted is None:
                    print("quenbar did not report a first paint", file=sys.stderr)
                    break
                times.append(painted)
    finally:
        emulator.terminate()
        emulator.wait()
    result = {"first_paint_s": statistics.median(times) if times else None, "peak_rss_kib": max(peaks)}
    with open(out_path, "w") as f:
        json.dump(result, f)


if __name__ == "__main__":
    main()
