#!/usr/bin/env bash
# Builds the benchmarks for release (build/bench) and runs every one of them briefly, printing
# one table: benchmark, figure, unit. Run it on two commits on the same machine to compare
# them; the figures the issues report come from it.
#   scripts/bench.sh [seconds per Google Benchmark case, default 0.2]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
min_time=${1:-0.2}
"$root/scripts/setup.sh" >/dev/null
build="$root/build/bench"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCANTAVO_BENCH=ON >/dev/null
benchmarks=(foundation_bench model_bench smf_bench codec_bench skin_bench widget_bench)
timings=("winmsg_latency 2000" "stream_timing 2" "stream_timing 2 alsa" "wave_drift 2" "watch_load 2"
    "panel_latency 200" "seq_play_timing 60" "metronome_timing 2" "compression_timing 60"
    "rec_load 10 5" "audio_play_load 5" "manage_timing 20" "palette_animation 10"
    "note_display_lag 30" "voice_load 10" "piano_soak 20")
targets=("${benchmarks[@]}")
for timing in "${timings[@]}"; do
    targets+=("${timing%% *}")
done
# Scripts that time the real program: "script arguments".
scripts=("window_start.sh 10 3")
targets+=(Cantavo)
cmake --build "$build" -j "$(nproc)" --target "${targets[@]}" >/dev/null
export CANTAVO_HOME="$build/home"
mkdir -p "$CANTAVO_HOME"

{
    for name in "${benchmarks[@]}"; do
        echo "#benchmark $name"
        "$build/bin/$name" --benchmark_format=csv --benchmark_min_time="$min_time" 2>/dev/null
    done
    for timing in "${timings[@]}"; do
        echo "#timing ${timing%% *}"
        # shellcheck disable=SC2086
        "$build/bin/"$timing 2>&1
    done
    for script in "${scripts[@]}"; do
        echo "#timing ${script%% *}"
        # shellcheck disable=SC2086
        CANTAVO_PROGRAM="$build/bin/Cantavo" "$root/bench/"$script 2>&1
    done
} | python3 "$root/scripts/bench_table.py"
