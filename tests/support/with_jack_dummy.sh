#!/usr/bin/env bash
# Runs a command against a private JACK server on the dummy driver (no sound card needed). The server gets a
# name of its own, so it cannot meet another one, and is stopped when the command ends.
#
#   with_jack_dummy.sh [--rate HZ] [--period FRAMES] -- COMMAND [ARGS...]
#
# The command sees JACK_DEFAULT_SERVER naming the server, VOLTINA_TEST_JACK_PID and VOLTINA_TEST_JACK_RATE.
set -uo pipefail

rate=44100
period=256
while [ $# -gt 0 ]; do
    case "$1" in
        --rate) rate=$2; shift 2 ;;
        --period) period=$2; shift 2 ;;
        --) shift; break ;;
        *) echo "with_jack_dummy.sh: unknown option $1" >&2; exit 2 ;;
    esac
done
[ $# -gt 0 ] || { echo "with_jack_dummy.sh: no command" >&2; exit 2; }

. "$(dirname "$0")/server_session.sh"
server_session jack

export JACK_DEFAULT_SERVER="voltina_test_$$_$(basename "$dir" | tr -cd 'A-Za-z0-9')"
export JACK_NO_AUDIO_RESERVATION=1
# Servers of other test runs on the machine can fill JACK's table of servers for a moment: try again.
started=no
for attempt in 1 2 3 4 5; do
    jackd --no-realtime -d dummy -r "$rate" -p "$period" </dev/null >"$dir/jackd.log" 2>&1 &
    pid=$!
    disown "$pid" 2>/dev/null
    if jack_wait -w -t 20 >/dev/null 2>&1 && kill -0 "$pid" 2>/dev/null; then
        started=yes
        break
    fi
    kill -KILL "$pid" 2>/dev/null
    pid=""
    sleep $((attempt * 2))
done
if [ "$started" != yes ]; then
    echo "with_jack_dummy.sh: the JACK server did not start; its log:" >&2
    cat "$dir/jackd.log" >&2
    exit 1
fi

export VOLTINA_TEST_JACK_PID=$pid VOLTINA_TEST_JACK_RATE=$rate
"$@"
exit $?
