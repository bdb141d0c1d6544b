#!/usr/bin/env bash
# Runs a command inside a private headless desktop: Xvfb with two monitors side by side
# (LEFT-1 1920x1080 primary, RIGHT-1 1280x1024), openbox for EWMH, and a D-Bus session
# bus. Everything started here is stopped on exit, whatever the command's outcome.
#
#   scripts/headless.sh COMMAND [ARGS...]
set -uo pipefail

if [ $# -eq 0 ]; then
    echo "usage: $0 COMMAND [ARGS...]" >&2
    exit 2
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/ivra-headless.XXXXXX")
mkdir -m 700 "$work/runtime"
export XDG_RUNTIME_DIR="$work/runtime"
pids=()
cleanup() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null
    done
    for pid in "${pids[@]}"; do
        wait "$pid" 2>/dev/null
    done
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# -displayfd picks a free display number; -noreset keeps the monitors when the last
# client leaves.
Xvfb -displayfd 3 -screen 0 3200x1080x24 -nolisten tcp -noreset 3>"$work/display" \
    >"$work/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 1 100); do
    [ -s "$work/display" ] && break
    sleep 0.05
done
if [ ! -s "$work/display" ]; then
    echo "headless.sh: Xvfb did not start" >&2
    cat "$work/xvfb.log" >&2
    exit 1
fi
export DISPLAY=":$(head -n1 "$work/display")"

xrandr --setmonitor '*LEFT-1' 1920/508x1080/286+0+0 screen >/dev/null
xrandr --setmonitor RIGHT-1 1280/338x1024/270+1920+0 none >/dev/null

eval "$(dbus-launch --sh-syntax)"
pids+=("$DBUS_SESSION_BUS_PID")

openbox --sm-disable >"$work/openbox.log" 2>&1 &
pids+=($!)

"$@"
