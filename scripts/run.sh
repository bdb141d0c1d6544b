#!/usr/bin/env bash
# Starts Ivra, or explains how to when there is no graphical session.
#   scripts/run.sh [ARGS...]          install what is missing, build, start Ivra with ARGS
#   scripts/run.sh --binary B [ARGS]  start an already built binary B
#   scripts/run.sh --check            only the check: the explanation and status 1 without one
# Without a session the explanation comes first, before anything is installed or built,
# and the status is Ivra's own (1).
set -u
cd "$(dirname "$0")/.."
mode=all
binary=build/src/app/ivra
case "${1:-}" in
--check)
    mode=check
    ;;
--binary)
    mode=binary
    binary=$2
    shift 2
    ;;
esac
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    cat >&2 <<MSG
Ivra needs a graphical session (X11 or Wayland), and none was found: DISPLAY and
WAYLAND_DISPLAY are both unset.

Run it from your desktop session, or try it headless under Xvfb:
    xvfb-run -a $binary
MSG
    exit 1
fi
case $mode in
check)
    exit 0
    ;;
all)
    make --no-print-directory build || exit
    ;;
esac
exec "$binary" "$@"
