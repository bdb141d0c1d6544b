#!/usr/bin/env bash
# Starts Ivra, or explains how to when there is no graphical session.
set -u
binary=$1
shift
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    cat >&2 <<MSG
Ivra needs a graphical session (X11 or Wayland), and none was found: DISPLAY and
WAYLAND_DISPLAY are both unset.

Run it from your desktop session, or try it headless under Xvfb:
    scripts/headless.sh $binary
MSG
    exit 1
fi
exec "$binary" "$@"
