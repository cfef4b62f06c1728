#!/usr/bin/env bash
# What live play costs: the default patch played for SECONDS (default 10) through a private PulseAudio
# null sink under a private X server, at 11025 Hz (the start-up patch) and at 44100 Hz (the same patch
# from a configuration with "rate": 44100). Reports the CPU each thread of the program used while it played,
# from /proc/PID/task/*/stat, as a percentage of one core, and the whole process. Not part of scripts/test.
# /proc counts in clock ticks (10 ms): 20 s or more give figures to about 0.05 %. The wake-ups (voluntary
# context switches) per second show how often each thread runs; on a virtual machine the CPU time of the
# same wake-ups can vary several times from run to run with the host's load, the count does not. Last, the
# latency the sound server adds past the ring (what it has buffered of ours and its sink's own). Each rate is
# measured twice in one run, without and with the scope open.
#
#   bench/live_cpu.sh VOLTINA_BINARY [SECONDS]
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
bin=$(realpath "$1")
seconds=${2:-10}

if [ -z "${VOLTINA_TEST_PULSE_SINK:-}" ]; then
    for rate in 11025 44100; do
        "$here/../tests/support/with_pulse_null_sink.sh" --rate "$rate" -- "$0" "$bin" "$seconds" || exit 1
    done
    exit 0
fi

rate=$VOLTINA_TEST_PULSE_RATE
work=$(mktemp -d "${TMPDIR:-/tmp}/voltina-cpu.XXXXXX")
xpid="" vpid=""
cleanup() {
    for p in $vpid $xpid; do kill "$p" 2>/dev/null && wait "$p" 2>/dev/null; done
    rm -rf "$work"
}
trap cleanup EXIT
export JACK_DEFAULT_SERVER="voltina-bench-nobody-$$" XDG_DATA_HOME="$work/data"
unset VOLTINA_AUDIO

exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset >"$work/xvfb.log" 2>&1 &
xpid=$!
exec 3>&-
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
export DISPLAY=":$(head -n1 "$work/display")"

args=()
if [ "$rate" != 11025 ]; then
    cat >"$work/patch.json" <<JSON
{
  "voltina": 1,
  "rate": $rate,
  "oscillators": [ {"type": "square", "frequency": 256}, {"type": "sine", "frequency": 1.52},
                   {"type": "sine", "frequency": 2.16}, {"type": "sine", "frequency": 130},
                   {"type": "sine", "frequency": 140}, {"type": "sine", "frequency": 150},
                   {"type": "sine", "frequency": 160}, {"type": "sine", "frequency": 170} ],
  "mixer": [ {"level": 80, "pan": 50}, {"level": 80, "pan": 50}, {"level": 80, "pan": 50},
             {"level": 80, "pan": 50}, {"level": 80, "pan": 50}, {"level": 80, "pan": 50},
             {"level": 80, "pan": 50}, {"level": 80, "pan": 50} ],
  "cords": [ [401, 321], [402, 322], [415, 327], [403, 328], [418, 307] ]
}
JSON
    args=("$work/patch.json")
fi

"$bin" --stats "${args[@]}" >"$work/voltina.log" 2>&1 &
vpid=$!
. "$here/../tests/support/main_window.sh"
win=$(main_window 20)
[ -n "$win" ] || { echo "no window" >&2; cat "$work/voltina.log" >&2; exit 1; }
sleep 3  # the start-up and the first laps

ticks=$(getconf CLK_TCK)
snapshot() {  # "tid name utime+stime wake-ups" for every thread
    for t in /proc/"$vpid"/task/*; do
        # the name is in parentheses and may hold spaces: fields 14 and 15 count from after it
        awk -v tid="${t##*/}" -v wakes="$(awk '/^voluntary_ctxt_switches/ { print $2 }' "$t/status")" \
            '{ s = $0; sub(/^[^(]*\(/, "", s); name = s; sub(/\).*$/, "", name);
             sub(/^.*\) /, "", s); split(s, f, " "); gsub(/ /, "_", name); print tid, name, f[12] + f[13], wakes }' "$t/stat"
    done
}
# SECONDS of play, measured: the CPU of each thread and of the whole process, as a percentage of one core.
measure() {  # what
    snapshot >"$work/before"
    local start end
    start=$(date +%s.%N)
    sleep "$seconds"
    snapshot >"$work/after"
    end=$(date +%s.%N)
    echo "== $rate Hz, $seconds s of $1 =="
    awk -v ticks="$ticks" -v span="$(awk "BEGIN { print $end - $start }")" '
        NR == FNR { before[$1] = $3; woke[$1] = $4; next }
        { used = ($3 - before[$1]) / ticks; total += used; wakes = ($4 - woke[$1]) / span; allWakes += wakes
          printf "  %-8s %-18s %6.2f %%  %7.1f wake-ups/s\n", $1, $2, 100 * used / span, wakes }
        END { printf "  %-27s %6.2f %% of one core, %.1f wake-ups/s\n", "whole process", 100 * total / span, allWakes }' \
        "$work/before" "$work/after"
}
measure "the default patch"
# The same with the scope open (Ctrl+K, on what the mixer plays): its cost is the difference.
xdotool windowfocus --sync "$win" key ctrl+k
sleep 1
measure "the default patch, the scope open"

# What the sound server holds of ours, sampled 20 times over a second: the part of a knob's latency that
# lies past the ring (the ring's own render-ahead is the engine's and does not change with the device).
for _ in $(seq 20); do
    pactl list sink-inputs 2>/dev/null | awk '/Buffer Latency:/ { b = $3 } /Sink Latency:/ { s = $3 }
        END { if (b != "") print b + s }'
    sleep 0.05
done >"$work/latency"

kill "$vpid"
wait "$vpid" 2>/dev/null
vpid=""
awk '{ sum += $1; n++ } END { if (n) printf "  server-side latency         %6.1f ms on average (buffered and in the sink)\n", sum / n / 1000 }' \
    "$work/latency"

