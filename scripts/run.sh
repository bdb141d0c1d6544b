#!/usr/bin/env bash
# Starts Ivra, or explains how to when there is no graphical session.
#   scripts/run.sh BINARY [ARGS...]   start it
#   scripts/run.sh --check            only the check: the explanation and status 1 without one
set -u
binary=$1
shift
check_only=false
if [ "$binary" = "--check" ]; then
    check_only=true
    binary=build/src/app/ivra
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    cat >&2 <<MSG
Ivra needs a graphical session (X11 or Wayland), and none was found: DISPLAY and
WAYLAND_DISPLAY are both unset.

Run it from your desktop session, or try it headless under Xvfb:
    xvfb-run -a $binary
MSG
    exit 1
fi
if $check_only; then
    exit 0
fi
exec "$binary" "$@"
