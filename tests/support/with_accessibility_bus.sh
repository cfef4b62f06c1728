#!/usr/bin/env bash
# Runs a command on a private session bus with the desktop's accessibility bus (AT-SPI, what Orca reads)
# started on it, as a desktop session has them; Qt programs started by the command report their
# widgets there (QT_LINUX_ACCESSIBILITY_ALWAYS_ON is set for them).
#
#   with_accessibility_bus.sh -- COMMAND [ARGS...]
set -uo pipefail
[ "${1:-}" = "--" ] && shift
[ $# -gt 0 ] || { echo "with_accessibility_bus.sh: no command" >&2; exit 2; }

if [ -z "${VOLTINA_ACCESSIBILITY_BUS:-}" ]; then
    export VOLTINA_ACCESSIBILITY_BUS=1
    exec dbus-run-session -- "$0" -- "$@"
fi

. "$(dirname "$0")/server_session.sh"
server_session atspi
/usr/libexec/at-spi-bus-launcher --launch-immediately >"$dir/bus.log" 2>&1 &
pid=$!
# The launcher is ready once it owns its name on the session bus.
for _ in $(seq 100); do
    dbus-send --session --print-reply --dest=org.freedesktop.DBus / org.freedesktop.DBus.NameHasOwner \
        string:org.a11y.Bus 2>/dev/null | grep -q "boolean true" && break
    sleep 0.05
done
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 NO_AT_BRIDGE=0
"$@"
exit $?
