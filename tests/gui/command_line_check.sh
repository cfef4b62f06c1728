#!/usr/bin/env bash
# voltina's command line as a shell sees it, with no display at all: --version and --help answer on
# stdout with exit code 0; every wrong command line is refused on stderr with exit code 2 and nothing on
# stdout, before any window could be made.
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
CASES
echo "PASS"
