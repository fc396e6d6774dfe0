#!/usr/bin/env bash
# The main window's start, memory and idle load, side by side with VMPK (the Debian MIDI
# keyboard program, `apt-get install -y vmpk`; it is not part of the set-up) started the same
# way, each on an X server of its own (Xvfb):
#   - start: from the process start until its main window is mapped (xdotool search);
#   - memory: resident set 3 s after the start;
#   - idle: processor time used over the next IDLE seconds while nobody does anything
#     (Cantavo with the virtual ZQ31 connected), in percent of one core.
#   bench/window_start.sh [IDLE seconds, default 10] [runs, default 3] [SETTLE seconds, default 3]
# WINDOW_START_COMPARE=0 leaves VMPK out (the build's smoke run).
# Prints "window_start:", then one line per program:
# "NAME start N ms, NAME memory N MB, NAME idle cpu N %," (medians of the runs).
set -euo pipefail
idle=${1:-10}
runs=${2:-3}
settle=${3:-3}
here=$(cd "$(dirname "$0")" && pwd)
program=${CANTAVO_PROGRAM:-}
if [[ -z "$program" ]]; then
    for candidate in "$here/../build/bench/bin/Cantavo" "$here/../build/release/bin/Cantavo" \
        "$here/../build/dev/bin/Cantavo"; do
        if [[ -x "$candidate" ]]; then
            program=$candidate
            break
        fi
    done
fi
for tool in xvfb-run xdotool; do
    if ! command -v "$tool" >/dev/null; then
        echo "window_start: $tool is not installed (scripts/setup.sh installs it)"
        exit 0
    fi
done
if [[ -z "$program" ]]; then
    echo "window_start: no Cantavo built (build/bench, build/release or build/dev)"
    exit 1
fi

# One measurement of one program on a fresh server: prints "start_ms rss_kb cpu_percent".
measure() {
    local title=$1
    shift
    # -noreset: the looks below connect and leave every 10 ms; a server that resets whenever
    # its last client leaves refuses the program that connects in that moment (Qt then aborts).
    xvfb-run --auto-servernum --server-args="-screen 0 1280x1024x24 -nolisten tcp -noreset" \
        bash -c '
        title=$1; idle=$2; settle=$3; shift 3
        tick=$(getconf CLK_TCK)
        output=$(mktemp)
        trap "rm -f \"\$output\"" EXIT
        begin=$(date +%s%N)
        "$@" >"$output" 2>&1 &
        pid=$!
        # Looked for every 10 ms (xdotool --sync looks only every half second).
        until xdotool search --onlyvisible --name "$title" >/dev/null 2>&1; do
            if ! kill -0 $pid 2>/dev/null || (( $(date +%s%N) - begin > 60000000000 )); then
                kill -KILL $pid 2>/dev/null
                echo "window never mapped; what the program printed:" >&2
                tail -n 20 "$output" >&2
                exit 1
            fi
            sleep 0.01
        done
        mapped=$(date +%s%N)
        # Resident memory SETTLE seconds after the start.
        while (( $(date +%s%N) - begin < settle * 1000000000 )); do sleep 0.05; done
        rss=$(awk "/^VmRSS/ {print \$2}" /proc/$pid/status)
        cpu() { awk "{print \$14 + \$15}" /proc/$pid/stat; }
        before=$(cpu)
        sleep "$idle"
        after=$(cpu)
        kill -TERM $pid; wait $pid 2>/dev/null || true
        echo $(( (mapped - begin) / 1000000 )) $rss \
            $(awk -v t=$(( after - before )) -v hz=$tick -v s=$idle \
                "BEGIN {printf \"%.2f\", (s > 0 ? t / hz / s * 100 : 0)}")
        ' measure "$title" "$idle" "$settle" "$@"
}

median() {
    sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'
}

report() {
    local name=$1 title=$2
    shift 2
    local starts=() rss=() cpu=()
    for ((run = 0; run < runs; ++run)); do
        read -r s r c < <(measure "$title" "$@")
        starts+=("$s")
        rss+=("$r")
        cpu+=("$c")
    done
    local s r c
    s=$(printf '%s\n' "${starts[@]}" | median)
    r=$(printf '%s\n' "${rss[@]}" | median)
    c=$(printf '%s\n' "${cpu[@]}" | median)
    echo "$name start $s ms, $name memory $(awk -v k="$r" 'BEGIN {printf "%.1f", k / 1024}') MB," \
        "$name idle cpu $c %,"
}

echo "window_start:"
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
CANTAVO_HOME="$home" report Cantavo "ZQ31 Concertino" "$program" --virtual-piano
if [[ "${WINDOW_START_COMPARE:-1}" == 0 ]]; then
    :
elif command -v vmpk >/dev/null; then
    HOME="$home" report VMPK "Virtual MIDI Piano Keyboard" vmpk
else
    echo "VMPK not installed (apt-get install -y vmpk to compare)"
fi
