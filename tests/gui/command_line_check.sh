#!/usr/bin/env bash
# voltina's command line as a shell sees it, with no display at all: --version and --help answer on
# stdout with exit code 0; every wrong command line is refused on stderr with exit code 2 and nothing on
# stdout, before any window could be made; what it echoes is escaped; without a display it says so and
# exits 1; and `voltina --recover` lists a hostile takes folder without waiting, escaped, and exits 1 for
# what the user cannot read.
#
#   command_line_check.sh VOLTINA_BINARY
set -uo pipefail
bin=$1
fail() { echo "FAIL: $*" >&2; exit 1; }
run() {  # args... -> rc, out, err
    local o e
    o=$(mktemp) e=$(mktemp)
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$bin" "$@" >"$o" 2>"$e"
    rc=$?
    out=$(cat "$o") err=$(cat "$e")
    rm -f "$o" "$e"
}

run --version
[ "$rc" -eq 0 ] && [ "$out" = "Voltina 3.10" ] && [ -z "$err" ] || fail "--version: rc $rc, '$out', '$err'"

run --help
[ "$rc" -eq 0 ] || fail "--help: rc $rc"
for word in "Usage: voltina" --audio --no-connect VOLTINA_NO_CONNECT --midi-port --zoom --stats --version CONFIG; do
    grep -q -- "$word" <<<"$out" || fail "--help does not mention $word"
done

while IFS='|' read -r args expected; do
    read -ra words <<<"$args"
    run "${words[@]}"
    [ "$rc" -eq 2 ] || fail "'$args' gave exit code $rc"
    [ -z "$out" ] || fail "'$args' printed on stdout: $out"
    grep -q -- "$expected" <<<"$err" || fail "'$args': expected '$expected' on stderr, got '$err'"
    echo "refused: $args -> $(head -n1 <<<"$err")"
done <<'CASES'
--bogus|unknown option --bogus
--zoom 3|--zoom must be 1, 1.5 or 2
--zoom|--zoom needs a value
--audio foo|unknown audio system "foo"
--midi-port|--midi-port needs the name
one two|"two" is one too many
-x|unknown option -x
--plugin-window 9|no socket from the plugin there
CASES

# What voltina echoes of its command line is escaped: no raw control character reaches the terminal.
no_raw() { ! LC_ALL=C grep -q $'[\x01-\x08\x0b-\x1f\x7f]' <<<"$1"; }
for args in $'--\e]0;T\a' $'--zoom=\e[31m' $'--audio=\e[2J' ""; do
    run "$args"
    [ "$rc" -eq 2 ] || fail "$(printf %q "$args") gave exit code $rc"
    no_raw "$err" || fail "$(printf %q "$args") echoed a control character: $(printf %q "$err")"
    grep -q 'voltina: ' <<<"$err" || fail "$(printf %q "$args"): no message"
done
grep -q 'empty name' <<<"$err" || fail "an empty argument was not refused as one: $err"

# Without a display, or with a platform that does not exist: a sentence and exit code 1, not an abort.
# VOLTINA_AUDIO's warning comes first, escaped.
o=$(mktemp)
VOLTINA_AUDIO=$'\e[31m' timeout 20 env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$bin" 2>"$o"
rc=$? err=$(cat "$o")
[ "$rc" -eq 1 ] || fail "no display: exit code $rc, $err"
grep -q 'no display could be opened' <<<"$err" || fail "no display: $err"
grep -q 'VOLTINA_AUDIO' <<<"$err" && no_raw "$err" || fail "VOLTINA_AUDIO's warning: $(printf %q "$err")"
timeout 20 "$bin" -platform bogus --audio null 2>"$o"
rc=$? err=$(cat "$o")
[ "$rc" -eq 1 ] && grep -q 'no display could be opened' <<<"$err" || fail "-platform bogus: rc $rc, $err"
rm -f "$o"

# voltina --recover on a takes folder that holds what it should not: names that would drive the
# terminal or forge a line, a FIFO, a take the user cannot read; then a folder the user cannot read.
data=$(mktemp -d)
chmod 755 "$data"
trap 'rm -rf "$data"' EXIT
unsaved=$data/voltina/unsaved
mkdir -p "$unsaved"
chmod -R 755 "$data/voltina"
take() {  # NAME: a one-second stereo take at 11025 Hz, in the form the program spools
    sox -n -r 11025 -b 8 -c 2 -e unsigned "$unsaved/$1" trim 0 1 || fail "sox could not make a take"
    chown nobody "$unsaved/$1"
}
take $'take-\e]0;T\a\e[2J.wav'
take $'take-1.wav\nforged line take-2.wav'
take take-locked.wav
chmod 000 "$unsaved/take-locked.wav"
mkfifo "$unsaved/take-fifo.wav"
as_user() { XDG_DATA_HOME=$data timeout 20 setpriv --reuid=65534 --regid=65534 --clear-groups "$@"; }
out=$(as_user "$bin" --recover 2>"$data/err")
rc=$? err=$(cat "$data/err")
[ "$rc" -eq 1 ] || fail "--recover with an unreadable take: exit code $rc (124: it waited on the FIFO)"
grep -q 'cannot read the take .*take-locked.wav: Permission denied' <<<"$err" || fail "--recover said: $err"
no_raw "$out$err" || fail "--recover printed a control character: $(printf %q "$out")"
[ "$(grep -c 'Hz stereo' <<<"$out")" -eq 2 ] || fail "--recover listed: $out"
grep -q 'take-1.wav\\nforged' <<<"$out" || fail "a newline in a name was not escaped: $out"
chmod 000 "$unsaved"
out=$(as_user "$bin" --recover 2>"$data/err")
rc=$? err=$(cat "$data/err")
[ "$rc" -eq 1 ] && grep -q 'Cannot read the folder' <<<"$err" || fail "unreadable folder: rc $rc, $out $err"
echo "PASS"
