#!/usr/bin/env bash
# jalv, a real LV2 host, plays Voltina under a JACK server: a state (the panel: the MIDI voice's sine on
# mixer input 1, at 11025 Hz, so the plugin converts it to the server's rate) loaded at start, a note
# sent by jack_midiseq, the output recorded by jack_rec and its pitch measured; then jalv quits cleanly.
# Run through with_jack_dummy.sh, with LV2_PATH naming the build tree's lib/lv2.
#
#   jalv_plays_note.sh RESULT_FOLDER
set -uo pipefail
out=$1
rm -rf "$out"
mkdir -p "$out/state"
fail() { echo "jalv_plays_note: $*" >&2; for f in "$out"/*.log; do echo "--- $f"; cat "$f"; done >&2; exit 1; }

uri=https://voltina.github.io/Voltina/lv2
oscillators=$(printf '{"type": "sine", "frequency": 100},%.0s' 1 2 3 4 5 6 7)
mixer=$(printf '{"level": 0, "pan": 50},%.0s' 1 2 3 4 5 6 7)
cat >"$out/state/state.ttl" <<TTL
@prefix lv2: <http://lv2plug.in/ns/lv2core#> .
@prefix pset: <http://lv2plug.in/ns/ext/presets#> .
@prefix state: <http://lv2plug.in/ns/ext/state#> .
<> a pset:Preset ;
	lv2:appliesTo <$uri> ;
	state:state [
		<$uri#configuration-text> """{"voltina": 1, "rate": 11025,
 "oscillators": [$oscillators {"type": "sine", "frequency": 100}],
 "mixer": [{"level": 128, "pan": 50}, ${mixer%,}],
 "cords": [[429, 301]]}"""
	] .
TTL
cat >"$out/state/manifest.ttl" <<TTL
@prefix lv2: <http://lv2plug.in/ns/lv2core#> .
@prefix pset: <http://lv2plug.in/ns/ext/presets#> .
<state.ttl> a pset:Preset ; lv2:appliesTo <$uri> .
TTL

name="voltina_jalv_$$"
waitPort() {
    for _ in $(seq 100); do jack_lsp 2>/dev/null | grep -qxF "$1" && return 0; sleep 0.2; done
    return 1
}
# jalv reads commands on its standard input: keep it open until the end.
mkfifo "$out/stdin"
jalv -x -n "$name" -l "$out/state" <"$out/stdin" >"$out/jalv.log" 2>&1 &
jalv_pid=$!
exec 3>"$out/stdin"
waitPort "$name:out_left" || fail "jalv did not show its ports"
kill -0 "$jalv_pid" 2>/dev/null || fail "jalv stopped"

# Note 69 (A, 440 Hz) held for 44000 of every 44100 frames.
jack_midiseq "${name}_seq" 44100 0 69 44000 >"$out/midiseq.log" 2>&1 &
seq_pid=$!
waitPort "${name}_seq:out" || fail "jack_midiseq did not show its port"
jack_connect "${name}_seq:out" "$name:control" || fail "cannot connect the sequencer"
sleep 0.5
jack_rec -f "$out/heard.wav" -d 2 -b 16 "$name:out_left" >"$out/rec.log" 2>&1 || fail "jack_rec failed"
kill "$seq_pid" 2>/dev/null
wait "$seq_pid" 2>/dev/null

kill -INT "$jalv_pid"
exec 3>&-
for _ in $(seq 50); do kill -0 "$jalv_pid" 2>/dev/null || break; sleep 0.2; done
kill -0 "$jalv_pid" 2>/dev/null && { kill -KILL "$jalv_pid"; fail "jalv did not quit"; }
wait "$jalv_pid"
status=$?
[ "$status" -eq 0 ] || fail "jalv exited with status $status"
grep -qi "error\|fail" "$out/jalv.log" && fail "jalv reported an error"

stat=$(sox "$out/heard.wav" -n stat 2>&1)
echo "$stat" >"$out/stat.log"
rms=$(echo "$stat" | awk '/RMS +amplitude/ {print $3}')
frequency=$(echo "$stat" | awk '/Rough +frequency/ {print $3}')
echo "recorded: RMS $rms, rough frequency $frequency Hz"
awk -v r="$rms" 'BEGIN { exit !(r > 0.2) }' || fail "the note is not heard (RMS $rms)"
awk -v f="$frequency" 'BEGIN { exit !(f > 427 && f < 453) }' || fail "heard at $frequency Hz, not 440"
exit 0
