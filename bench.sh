#!/usr/bin/env bash
# Builds the benchmarks and the programs in build-bench/ (as the project
# builds by default, optimised with debug information), runs
# them and prints one table: response curve, graph draw, frame building, a
# parameter round trip and the connect sequence (unpaced and paced at the
# line rate, with their line-time ratios), the desktop's exchanges off its
# GUI thread (event-loop stall on a silent unit, drag release to the unit,
# messages per second during a drag), the network remote's answers to a
# token holder while clients without the token crowd it and its changes to
# four units behind ser2net with one of them silent, start-up to the
# first painted window, the PEQ fit's quality and time on synthetic
# measurements, the live watch's analysis per second of audio, peak memory,
# the sound measurement through the emulated
# rooms against their truth (scripts/bench-measure.py; the built-in room
# also with the Windows build's quenbar-cli.exe under Wine, built in
# build-mingw/), the tuning pass in
# them (scripts/bench-tune.sh), the live watch on programme material in the
# built-in room (scripts/bench-watch.py), and QUENBAR_BENCH_LOOP_RUNS (default 100)
# measurements in a row through the emulated room and through each sound
# server's loop (scripts/measure-loops.py: runs ok, the spread of right - left,
# the sweeps played again, the sequence against its sweeps; sweeps of 0.5 s,
# three paths side by side, each on a server of its own: some 15 minutes at
# 100). Raw results stay
# in build-bench/results/ (QUENBAR_BENCH_DIR names another build directory).
set -euo pipefail
cd "$(dirname "$0")"
source scripts/common.sh

ensure_packages python3 jq
dir="${QUENBAR_BENCH_DIR:-build-bench}"
results="$dir/results"
mkdir -p "$results"
cmake -S . -B "$dir" -G Ninja >/dev/null
benches=(core_bench link_bench peq_fit_bench live_bench)
cmake --build "$dir" --target help | grep -q '^graph_bench:' && benches+=(graph_bench unit_work_bench)
cmake --build "$dir" --target help | grep -q '^remote_lockout_bench:' && benches+=(remote_lockout_bench remote_units_bench)
cmake --build "$dir" -j "$(nproc)" --target "${benches[@]}" quenbar rx74-emulator quenbar-cli >/dev/null

rss_entries=()
for bench in "${benches[@]}"; do
  echo "running $bench ..." >&2
  /usr/bin/time -f %M -o "$results/$bench.rss" \
    "$dir/bin/$bench" --benchmark_format=json >"$results/$bench.json"
  rss_entries+=(--argjson "$bench" "$(cat "$results/$bench.rss")")
done
echo "measuring start-up ..." >&2
python3 scripts/bench-startup.py "$dir/bin" "$results/startup.json"
echo "building the Windows command line (build-mingw/) ..." >&2
ensure_packages "${QUENBAR_WINDOWS_PACKAGES[@]}"
cmake -S . -B build-mingw -G Ninja --toolchain cmake/mingw-w64-x86_64.cmake >/dev/null
cmake --build build-mingw -j "$(nproc)" --target quenbar-cli >/dev/null
echo "measuring through the emulated rooms, the built-in one with the Windows build under Wine too ..." >&2
python3 scripts/bench-measure.py "$dir/bin" "$results/measure.json" \
  --windows-cli "$PWD/build-mingw/bin/quenbar-cli.exe" --wine-prefix "$PWD/build-mingw/wine-prefix"
echo "tuning the emulated rooms ..." >&2
scripts/bench-tune.sh "$dir" "$results"
echo "watching the emulated room on programme material ..." >&2
python3 scripts/bench-watch.py "$dir/bin" "$results/watch-rows.json"
echo "measuring through the emulated room and the sound servers' loops ..." >&2
python3 scripts/measure-loops.py "$dir/bin" --runs "${QUENBAR_BENCH_LOOP_RUNS:-100}" --length 0.5 --lanes 3 \
  --json "$results/loops.json" --rows "$results/loop-rows.json" >&2
jq "${rss_entries[@]}" '. + {bench_peak_rss_kib: $ARGS.named}' "$results/startup.json" >"$results/summary.json"

echo
echo "Machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//'), $(date -u +%Y-%m-%d)"
echo
files=()
for bench in "${benches[@]}"; do files+=("$results/$bench.json"); done
python3 scripts/bench-table.py --startup "$results/summary.json" --measure "$results/measure.json" \
  --rows "$results/tune-rows.json" --rows "$results/watch-rows.json" --rows "$results/loop-rows.json" "${files[@]}"
