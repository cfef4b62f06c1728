# Sourced by the with_*.sh wrappers: a fresh temporary folder for a private server, and, when the wrapper
# ends or is interrupted, the server stopped (TERM, then KILL after five seconds) and the folder removed.
#
#   server_session NAME   makes $dir (voltina-NAME.XXXXXX); the wrapper sets pid once its server runs

stop_server() {
    if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
        kill -TERM "$pid" 2>/dev/null
        for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
        kill -KILL "$pid" 2>/dev/null
    fi
    rm -rf "$dir"
}

server_session() {
    dir=$(mktemp -d "${TMPDIR:-/tmp}/voltina-$1.XXXXXX")
    pid=""
    trap stop_server EXIT
    trap 'exit 130' INT TERM
}
