#!/usr/bin/env bash
# Ardour 7, headless (ardour7-lua), exports a session with Voltina again and again, as a musician does:
# a MIDI track with the instrument, a factory preset (the MIDI voice's sine into the mixer; at 44100 Hz
# a preset of the script's own, the same configuration at 44100 Hz), notes 69 and 57. Each ardour7-lua run gets a JACK dummy server of its own. Then it checks:
#   - no run aborts (glibc's heap-corruption messages go to the log: LIBC_FATAL_STDERR_=1);
#   - every export holds the same samples;
#   - each note sounds at its pitch (440 Hz, then 220 Hz);
#   - the levels Ardour shows for the plugin's mixer controls are the ones the plugin plays (the preset's,
#     with channel 1's set through Ardour's control);
#   - at 44100 Hz, the export equals voltina-render of that configuration with the same notes.
#     That needs the plugin to follow the host's transport; with --known-render-difference a mismatch is
#     reported as a known difference instead of failing.
#   With --known-controls-difference, levels Ardour's controls show that differ from the ones the plugin
#   plays are reported as a known difference (Ardour 7.3's controls do not take a plugin's answers).
#
#   ardour_export.sh [--rate HZ] [--period FRAMES] [--exports N] [--per-run K] [--known-render-difference]
#                    [--known-controls-difference] [--control-plugin URI] OUT_FOLDER
#
# --control-plugin runs the same session with another instrument (no preset; only the runs are counted),
# to tell Ardour's own faults from the plugin's.
# LV2_PATH must name the folder holding voltina.lv2; VOLTINA_RENDER names voltina-render (default: on PATH).
set -uo pipefail

rate=48000
period=1024
preset="MIDI voice into the mixer"
exports=20
perRun=1
knownRenderDifference=no
knownControlsDifference=no
while [ $# -gt 1 ]; do
    case "$1" in
        --rate) rate=$2; shift 2 ;;
        --exports) exports=$2; shift 2 ;;
        --per-run) perRun=$2; shift 2 ;;
        --known-render-difference) knownRenderDifference=yes; shift ;;
        --known-controls-difference) knownControlsDifference=yes; shift ;;
        --period) period=$2; shift 2 ;;
        --control-plugin) export VOLTINA_PLUGIN=$2; preset=""; shift 2 ;;
        *) echo "ardour_export.sh: unknown option $1" >&2; exit 2 ;;
    esac
done
[ $# -eq 1 ] || { echo "usage: ardour_export.sh [--rate HZ] [--exports N] [--per-run K] [--known-render-difference] [--known-controls-difference] [--control-plugin URI] OUT_FOLDER" >&2; exit 2; }
out=$(realpath -m "$1")
here=$(cd "$(dirname "$0")" && pwd)
source=$(cd "$here/../.." && pwd)
render=${VOLTINA_RENDER:-voltina-render}
configuration="$source/configurations/midi-voice.json"  # the preset's
seconds=4
# Channel 1's level, set through Ardour's control after the preset: what the plugin then plays is the
# preset's configuration with that level.
level1=100
# Key, first beat, last beat at Ardour's 120 bpm: note 69 from 0 s to 1.5 s, note 57 from 2 s to 3.5 s.
notes="69:0:3 57:4:7"

[ -n "${LV2_PATH:-}" ] || { echo "ardour_export.sh: LV2_PATH must name the folder holding voltina.lv2" >&2; exit 2; }
for tool in ardour7-lua jackd jack_wait jack_midiseq sox; do
    command -v "$tool" >/dev/null || { echo "ardour_export.sh: $tool is missing" >&2; exit 2; }
done

rm -rf "$out"
mkdir -p "$out/home" "$out/config/ardour7/export" "$out/data" "$out/cache" "$out/logs" "$out/session"
# Ardour's settings and caches stay in the run's own folders.
export HOME="$out/home" XDG_CONFIG_HOME="$out/config" XDG_DATA_HOME="$out/data" XDG_CACHE_HOME="$out/cache"
export LIBC_FATAL_STDERR_=1 JACK_NO_AUDIO_RESERVATION=1
export LV2_PATH="$out/lv2:$LV2_PATH:/usr/lib/lv2"

# At 44100 Hz the patch runs at the session's rate, so the plugin plays the engine's own frames, which
# voltina-render can match byte for byte: a preset of our own, the factory one at 44100 Hz. It is the way
# a configuration of one's own reaches a headless session (Ardour's Lua cannot set a path parameter).
if [ "$rate" = 44100 ] && [ -z "${VOLTINA_PLUGIN:-}" ]; then
    uri=https://voltina.github.io/Voltina/lv2
    preset="MIDI voice into the mixer at 44100 Hz"
    mkdir -p "$out/lv2/voltina-scenario.lv2"
    sed 's/"rate": 11025/"rate": 44100/' "$source/configurations/midi-voice.json" >"$out/configuration.json"
    configuration="$out/configuration.json"
    cat >"$out/lv2/voltina-scenario.lv2/manifest.ttl" <<TTL
@prefix lv2: <http://lv2plug.in/ns/lv2core#> .
@prefix pset: <http://lv2plug.in/ns/ext/presets#> .
@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .
<preset.ttl> a pset:Preset ; lv2:appliesTo <$uri> ; rdfs:label "$preset" ; rdfs:seeAlso <preset.ttl> .
TTL
    cat >"$out/lv2/voltina-scenario.lv2/preset.ttl" <<TTL
@prefix lv2: <http://lv2plug.in/ns/lv2core#> .
@prefix pset: <http://lv2plug.in/ns/ext/presets#> .
@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .
@prefix state: <http://lv2plug.in/ns/ext/state#> .
<> a pset:Preset ; lv2:appliesTo <$uri> ; rdfs:label "$preset" ;
	state:state [ <$uri#configuration-text> """$(cat "$configuration")""" ] .
TTL
fi

# Ardour's stock WAV preset is 16-bit with shaped dither: noise that differs at every export. This
# preset names Ardour's own undithered float format ("BWAV 32float Export"), which holds the plugin's
# samples exactly.
export VOLTINA_EXPORT_PRESET=5a3e4c2b-7d1f-4e0a-9b6c-766f6c74696e
cat >"$out/config/ardour7/export/voltina-float.preset" <<XML
<?xml version="1.0" encoding="UTF-8"?>
<ExportPreset id="$VOLTINA_EXPORT_PRESET" name="Voltina float WAV">
  <ExportFormat id="20b4ab09-6452-4cb3-bd66-b921cdbd2942"/>
  <ExportFilename>
    <Folder relative="1" path="export"/>
    <Field name="label" enabled="0"/>
    <Field name="session" enabled="0"/>
    <Field name="snapshot" enabled="0"/>
    <Field name="timespan" enabled="1"/>
    <Field name="revision" enabled="0"/>
    <Field name="time" enabled="0" value="T_None"/>
    <Field name="date" enabled="0" value="D_None"/>
  </ExportFilename>
</ExportPreset>
XML

jackPid=""
seqPid=""
stopAll() {
    # A server whose client aborted waits up to 20 s for it before it quits. A server killed keeps its
    # entry in JACK's table of servers (room for eight) until a server of the same name starts: one is
    # started and stopped at once to give the entry back.
    local killed=no
    for p in $seqPid $jackPid; do
        if kill -0 "$p" 2>/dev/null; then
            kill -TERM "$p" 2>/dev/null
            for _ in $(seq 300); do kill -0 "$p" 2>/dev/null || break; sleep 0.1; done
            kill -0 "$p" 2>/dev/null && { kill -KILL "$p" 2>/dev/null; [ "$p" = "$jackPid" ] && killed=yes; }
        fi
        wait "$p" 2>/dev/null
    done
    if [ "$killed" = yes ]; then
        jackd --no-realtime -d dummy -r "$rate" -p "$period" </dev/null >/dev/null 2>&1 &
        local again=$!
        jack_wait -w -t 10 >/dev/null 2>&1
        kill -TERM "$again" 2>/dev/null
        wait "$again" 2>/dev/null
    fi
    seqPid=""
    jackPid=""
    # What an aborted client leaves of the run's own server.
    [ -n "${JACK_DEFAULT_SERVER:-}" ] && rm -f /dev/shm/jack_sem.*_"${JACK_DEFAULT_SERVER}"_* 2>/dev/null
}
trap stopAll EXIT
trap 'exit 130' INT TERM

# A fresh server for each run: Ardour leaves a server it used in a state the next client cannot trust.
# Every run's server has the same name, so one that had to be killed leaves no lasting entry in JACK's
# table of servers (a new server takes over its name's entry). Servers of other test runs on the
# machine can fill the table for a moment: try again.
startJack() {
    export JACK_DEFAULT_SERVER="voltina_ardour_$$"
    for attempt in 1 2 3 4 5; do
        jackd --no-realtime -t 10000 -d dummy -r "$rate" -p "$period" </dev/null >"$out/logs/jackd-$1.log" 2>&1 &
        jackPid=$!
        jack_wait -w -t 20 >/dev/null 2>&1 && kill -0 "$jackPid" 2>/dev/null && return 0
        stopAll
        sleep $((attempt * 2))
    done
    return 1
}

ardour() {
    timeout -k 10 300 ardour7-lua "$here/ardour_export.lua" >"$1" 2>&1
}

fail() { echo "ardour_export: FAIL: $*" >&2; exit 1; }
started=$(date +%s)
session="$out/session/voltina"

# The session: the track, the preset, a take from the sequencer whose notes are then replaced.
startJack build || fail "the JACK server did not start"
jack_midiseq voltina_seq 24000 0 60 12000 >"$out/logs/midiseq.log" 2>&1 &
seqPid=$!
for _ in $(seq 50); do jack_lsp 2>/dev/null | grep -qxF voltina_seq:out && break; sleep 0.1; done
VOLTINA_STEP=build VOLTINA_SESSION="$session" VOLTINA_RATE=$rate VOLTINA_PRESET="$preset" \
    VOLTINA_SEQ_PORT=voltina_seq:out VOLTINA_LEVEL1=$level1 VOLTINA_NOTES="$notes" VOLTINA_SECONDS=$seconds ardour "$out/logs/build.log"
status=$?
stopAll
grep -q '^voltina: built' "$out/logs/build.log" ||
    { tail -30 "$out/logs/build.log" >&2; fail "the session was not built (status $status)"; }
built=$(date +%s)

# The exports, K to a run, each run against a server of its own. Two faults of Ardour 7.3 itself show
# here, with its own Reasonable Synth as well (--control-plugin https://community.ardour.org/node/7596):
# - its threads share one JACK connection, and at a session's load two of them sometimes talk on it at
#   once: the server drops the garbled client ("JACK HALTED"). Such a run, with no heap message, is run
#   again (four times at most) and counted apart;
# - once an export's file is written whole, freeing the export (inside run_export() or at the Lua
#   object's collection) often finds the heap damaged and glibc aborts (now and then it is a segfault).
#   Those are counted apart too; an abort or a crash before the file is whole counts as the export's.
heapMessages='free\(\)|malloc|corrupted|double free|munmap_chunk|stack smashing'
aborted=0
afterExport=0
jackLost=0
runs=0
n=1
tries=0
while [ "$n" -le "$exports" ]; do
    k=$((exports - n + 1 < perRun ? exports - n + 1 : perRun))
    runs=$((runs + 1))
    log="$out/logs/export-$runs.log"
    if startJack "run$runs"; then
        VOLTINA_STEP=export VOLTINA_SESSION="$session" VOLTINA_EXPORTS=$k VOLTINA_FIRST=$n ardour "$log"
        status=$?
    else
        status=255
        echo "the JACK server did not start" >"$log"
    fi
    stopAll
    if [ "$status" -ne 0 ] || grep -qE "$heapMessages" "$log"; then
        if ! grep -qE "$heapMessages" "$log" && grep -q 'JACK HALTED' "$log" && [ "$tries" -lt 4 ]; then
            jackLost=$((jackLost + 1))
            tries=$((tries + 1))
            echo "run $runs lost its JACK connection (exports $n..$((n + k - 1))); running it again" >&2
            continue
        fi
        # Where the run was: after its last export, or inside it with the file already written whole
        # (Ardour frees the export's graph before run_export() returns).
        last=$(grep -E '^voltina: (exporting|exported|done)' "$log" | tail -1)
        final=$((n + k - 1))
        written=$(soxi -s "$session/export/$(printf 'export-%02d.wav' "$final")" 2>/dev/null)
        if { grep -qE "$heapMessages" "$log" || [ "$status" -eq 134 ] || [ "$status" -eq 139 ]; } &&
            { [ "$last" = "voltina: exported $final" ] ||
            { [ "$last" = "voltina: exporting $final" ] && [ "$written" = "$((seconds * rate))" ]; }; }; then
            afterExport=$((afterExport + 1))
            echo "run $runs aborted once its exports were written (status $status):" \
                "$(grep -m1 -E "$heapMessages" "$log")" >&2
        else
            aborted=$((aborted + 1))
            echo "run $runs (exports $n..$((n + k - 1))) ended with status $status:" >&2
            grep -E "$heapMessages|FAIL|HALTED" "$log" | head -5 >&2
        fi
    fi
    tries=0
    n=$((n + k))
done
finished=$(date +%s)
echo "session built in $((built - started)) s; $exports exports in $runs runs took $((finished - built)) s" \
    "($aborted failed or aborted in an export, $afterExport aborted once their exports were written," \
    "$jackLost lost the JACK connection and ran again)"

if [ -n "${VOLTINA_PLUGIN:-}" ]; then
    echo "control case with $VOLTINA_PLUGIN: of $runs runs, $aborted failed or aborted in an export," \
        "$afterExport aborted once it was written"
    exit 0
fi

problems=0
problem() { echo "ardour_export: PROBLEM: $*" >&2; problems=$((problems + 1)); }
[ "$aborted" -eq 0 ] || problem "$aborted of $runs ardour7-lua runs aborted or failed"

# Sample data as floats, which hold both the export's and voltina-render's bytes exactly (sox would
# dither a conversion to fewer bits).
samples() { sox "$1" -t raw -e float -b 32 -c 2 - 2>/dev/null; }
made=0
declare -A hashes=()
first=""
for f in "$session"/export/export-*.wav; do
    [ -e "$f" ] || continue
    length=$(soxi -s "$f" 2>/dev/null)
    [ "$length" = "$((seconds * rate))" ] || { problem "$(basename "$f") holds $length frames, not $((seconds * rate))"; continue; }
    made=$((made + 1))
    hashes[$(samples "$f" | sha256sum | cut -c1-64)]+="$(basename "$f") "
    [ -n "$first" ] || first=$f
done
[ "$made" -eq "$exports" ] || problem "$made of $exports exports were made whole"
echo "$made exports, ${#hashes[@]} different sample data"
[ "${#hashes[@]}" -le 1 ] || {
    problem "the exports differ"
    for h in "${!hashes[@]}"; do echo "  ${h:0:12}: ${hashes[$h]}" >&2; done
}

if [ -n "$first" ]; then
    pitch() { sox "$first" -n remix 1 trim "$1" "$2" lowpass 1000 stat 2>&1 | awk '/Rough +frequency/ {print $3}'; }
    a=$(pitch 0.2 1.1)
    b=$(pitch 2.2 1.1)
    echo "note 69 heard at $a Hz, note 57 at $b Hz"
    awk -v f="$a" 'BEGIN { exit !(f > 427 && f < 453) }' || problem "note 69 is heard at $a Hz, not 440"
    awk -v f="$b" 'BEGIN { exit !(f > 213 && f < 227) }' || problem "note 57 is heard at $b Hz, not 220"
fi

# The configuration the plugin plays: the preset's, with channel 1's level as Ardour's control set it.
sed "0,/\"level\": [0-9]*/s//\"level\": $level1/" "$configuration" >"$out/playing.json"

# What Ardour shows for the mixer's levels, against the levels the plugin plays. Ardour 7.3 keeps in its
# controls the values it set itself; the plugin's answers (patch:Set, as Float) reach its property table
# and its editor window, not the controls a script reads.
playing=$(grep -o '"level": [0-9]*' "$out/playing.json" | awk '{print $2}' | tr '\n' ' ')
shown=$(for c in 1 2 3 4 5 6 7 8; do
    grep -h "^voltina: shown channel$c-level " "$out"/logs/export-*.log | head -1 | awk '{printf "%g ", $4}'
done)
echo "levels played: $playing; shown by Ardour's controls: $shown"
if [ "$shown" != "$playing" ]; then
    if [ "$knownControlsDifference" = yes ]; then
        echo "KNOWN DIFFERENCE (Ardour 7.3's controls do not take the plugin's answers):" \
            "Ardour shows \"$shown\", the plugin plays \"$playing\""
    else
        problem "Ardour shows the levels as \"$shown\", the plugin plays \"$playing\""
    fi
fi

# At 44100 Hz the export should be voltina-render's frames for the same notes, from the first frame.
if [ "$rate" = 44100 ] && [ -n "$first" ]; then
    python3 - "$out/notes.mid" "$notes" <<'PY'
import struct, sys
# One track at 120 bpm, 480 ticks a beat: the notes the session holds.
events = []
for note in sys.argv[2].split():
    key, start, end = (int(x) for x in note.split(":"))
    events += [(start * 480, 0x90, key, 100), (end * 480, 0x80, key, 0)]
events.sort()
track, now = b"", 0
def vlq(n):
    out = [n & 0x7F]
    while n > 127:
        n >>= 7
        out.insert(0, 0x80 | (n & 0x7F))
    return bytes(out)
track += vlq(0) + b"\xff\x51\x03" + (500000).to_bytes(3, "big")
for tick, status, key, velocity in events:
    track += vlq(tick - now) + bytes([status, key, velocity])
    now = tick
track += vlq(0) + b"\xff\x2f\x00"
with open(sys.argv[1], "wb") as f:
    f.write(b"MThd" + struct.pack(">IHHH", 6, 0, 1, 480) + b"MTrk" + struct.pack(">I", len(track)) + track)
PY
    "$render" "$out/playing.json" --midi "$out/notes.mid" --rate 44100 --seconds $seconds --quiet \
        -o "$out/rendered.wav" || problem "voltina-render failed"
    if cmp -s <(samples "$first") <(samples "$out/rendered.wav"); then
        echo "the export equals voltina-render's frames"
    else
        differing=$(cmp -l <(samples "$first") <(samples "$out/rendered.wav") 2>/dev/null | wc -l)
        if [ "$knownRenderDifference" = yes ]; then
            echo "KNOWN DIFFERENCE (the plugin does not follow the host's transport yet):" \
                "the export differs from voltina-render's frames in $differing bytes"
        else
            problem "the export differs from voltina-render's frames in $differing bytes"
        fi
    fi
fi

[ "$problems" -eq 0 ] || fail "$problems problems; logs in $out/logs"
echo "ardour_export: all checks hold"
