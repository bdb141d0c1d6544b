#!/usr/bin/env bash
# Runs one test with a fresh HOME and XDG folders that are removed afterwards, so no test
# reads or writes the real user's files. $1: the Qt platform ("offscreen" or empty for the
# current DISPLAY); the rest: the command.
set -u
platform=$1
shift
root=$(mktemp -d "${TMPDIR:-/tmp}/ivra-test.XXXXXX")
trap 'rm -rf "$root"' EXIT
mkdir -p "$root/home" "$root/config" "$root/data" "$root/cache" "$root/runtime"
chmod 700 "$root/runtime"
export HOME="$root/home" XDG_CONFIG_HOME="$root/config" XDG_DATA_HOME="$root/data" \
       XDG_CACHE_HOME="$root/cache" TMPDIR="$root"
# Keep a PulseAudio server started by the harness reachable.
export XDG_RUNTIME_DIR="${IVRA_TEST_RUNTIME_DIR:-$root/runtime}"
# Sanitizer builds: leaks that libraries keep on purpose are listed here.
export LSAN_OPTIONS="suppressions=$(dirname "$0")/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
if [ -n "$platform" ]; then
    export QT_QPA_PLATFORM="$platform"
elif [ -z "${DISPLAY:-}" ]; then
    echo "SKIP: this test needs an X server; run it through scripts/headless.sh" >&2
    exit 77
else
    # Display tests start real Ivras, which keep one instance per session bus: each test
    # gets a bus of its own, so tests running side by side never meet.
    dbus-run-session -- "$@"
    exit $?
fi
"$@"
