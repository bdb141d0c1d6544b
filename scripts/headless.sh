#!/usr/bin/env bash
# Runs a command inside a private headless desktop: Xvfb with two monitors side by side
# (LEFT-1 1920x1080 primary, RIGHT-1 1280x1024), openbox for EWMH, and a D-Bus session
# bus. Everything started here is stopped on exit, whatever the command's outcome.
#
#   scripts/headless.sh COMMAND [ARGS...]
#
# Another layout (benchmarks use 4K monitors): the X screen's size and the monitors as
# NAME=WxH+X+Y, the first one primary:
#   IVRA_HEADLESS_SCREEN=7680x2160 \
#   IVRA_HEADLESS_MONITORS="A=3840x2160+0+0 B=3840x2160+3840+0" scripts/headless.sh ...
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
# A termination request reaches the command too (a shell waits for a foreground child
# before it runs its traps, so the command runs in the background and is waited for).
child=""
stop() {
    [ -n "$child" ] && kill -TERM "$child" 2>/dev/null
    exit "$1"
}
trap 'stop 130' INT
trap 'stop 143' TERM
trap 'stop 129' HUP

# -displayfd picks a free display number; -noreset keeps the monitors when the last
# client leaves.
screen_size=${IVRA_HEADLESS_SCREEN:-3200x1080}
monitors=${IVRA_HEADLESS_MONITORS:-LEFT-1=1920x1080+0+0 RIGHT-1=1280x1024+1920+0}

Xvfb -displayfd 3 -screen 0 "${screen_size}x24" -nolisten tcp -noreset 3>"$work/display" \
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

# RandR monitors on the one wide screen; the first is bound to the output "screen" so no
# automatic whole-screen monitor stays beside them. Physical sizes as at 96 dpi.
first=1
for monitor in $monitors; do
    name=${monitor%%=*}
    geometry=${monitor#*=}
    w=${geometry%%x*}
    rest=${geometry#*x}
    h=${rest%%+*}
    offset=${rest#"$h"}
    output=none
    if [ $first -eq 1 ]; then
        name="*$name"
        output=screen
        first=0
    fi
    xrandr --setmonitor "$name" "$w/$((w * 254 / 960))x$h/$((h * 254 / 960))$offset" "$output" \
        >/dev/null
done

eval "$(dbus-launch --sh-syntax)"
pids+=("$DBUS_SESSION_BUS_PID")

openbox --sm-disable >"$work/openbox.log" 2>&1 &
pids+=($!)

# A private PulseAudio server with null sinks: "sys_out" (the default output; its monitor
# is the system audio) and "mic_feed", heard through the default source "virtual_mic".
# Tests reach it through PULSE_SERVER whatever runtime folder they use.
if command -v pulseaudio >/dev/null; then
    cat >"$work/pa.pa" <<'PA'
load-module module-native-protocol-unix
load-module module-null-sink sink_name=sys_out
load-module module-null-sink sink_name=mic_feed
load-module module-remap-source master=mic_feed.monitor source_name=virtual_mic
set-default-sink sys_out
set-default-source virtual_mic
PA
    pulseaudio -n -F "$work/pa.pa" --daemonize=no --exit-idle-time=-1 \
        >"$work/pulseaudio.log" 2>&1 &
    pids+=($!)
    export PULSE_SERVER="unix:$XDG_RUNTIME_DIR/pulse/native"
    for _ in $(seq 1 100); do
        [ -S "$XDG_RUNTIME_DIR/pulse/native" ] && break
        sleep 0.05
    done
fi

"$@" &
child=$!
wait "$child"
