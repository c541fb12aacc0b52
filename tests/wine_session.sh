#!/usr/bin/env bash
# Prepares Wine for the test programs:
#   WINEPREFIX=... WINEARCH=win32|win64 tests/wine_session.sh LOADER
# Creates the prefix if needed and boots a session in a wine server that
# outlives its last program by LINGER seconds (default 900), so that the
# test programs share one booted session (a boot costs minutes under
# emulation) and the session's own processes write to the log beside the
# prefix, never to a test program's output.
set -euo pipefail
loader=$1
linger=${LINGER:-900}
: "${WINEPREFIX:?}" "${WINEARCH:?}"
server=$(dirname "$loader")/wineserver
log=$WINEPREFIX.log

# Process ids of this prefix's programs whose command line contains $1.
prefix_processes() {
    local pid
    for pid in $(pgrep -f -- "$1" || true); do
        if tr '\0' '\n' 2>/dev/null <"/proc/$pid/environ" | grep -qxF "WINEPREFIX=$WINEPREFIX"; then
            echo "$pid"
        fi
    done
}
complete() {
    [ -f "$WINEPREFIX/system.reg" ] && [ -f "$WINEPREFIX/drive_c/windows/system32/kernel32.dll" ]
}
booting() { [ -n "$(prefix_processes wineboot.exe)" ]; }
booted() { [ -n "$(prefix_processes services.exe)" ]; }

mkdir -p "$WINEPREFIX"
# Status 2: a server already runs for this prefix (its session may be up).
status=0
"$server" -p"$linger" >/dev/null 2>&1 || status=$?
if [ "$status" != 0 ] && [ "$status" != 2 ]; then
    echo "wineserver -p$linger failed with status $status" >&2
    exit 1
fi
if [ "$status" = 2 ] && complete && booted && ! booting; then
    echo "The Wine session of $WINEPREFIX is running"
    exit 0
fi

start=$SECONDS
if ! booting; then
    if complete; then
        echo "Booting a Wine session in $WINEPREFIX"
    else
        echo "Creating the $WINEARCH Wine prefix $WINEPREFIX"
    fi
    # Under emulation this first program may fail while the boot that it
    # started goes on: what counts is the boot's end and the prefix.
    "$loader" wineboot --init >>"$log" 2>&1 || echo "(wineboot --init returned $?)"
fi
while booting; do sleep 5; done
if ! complete; then
    echo "No complete Wine prefix in $WINEPREFIX after $((SECONDS - start)) s; see $log" >&2
    exit 1
fi
echo "Ready in $((SECONDS - start)) s"
