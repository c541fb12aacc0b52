#!/usr/bin/env bash
# Prepares Wine for the test programs:
#   WINEPREFIX=... WINEARCH=win32|win64 tests/wine_session.sh LOADER
# Creates the prefix if needed and boots a session in a wine server that
# outlives its last program by LINGER seconds (default 900), so that the
# test programs share one booted session (a boot costs minutes under
# emulation) and the session's own processes write to the log beside the
# prefix, never to a test program's output.
#
# A wine server keeps the registry in memory and writes it to the prefix
# only every 30 s and when it exits, so a boot's end says nothing about the
# files. A new prefix is therefore made by a boot in a server that the
# loader starts itself, one that does not linger: it exits once the boot's
# last program has, writing the registry as it goes, and `wineserver -w`
# waits for exactly that. Only then is the prefix marked as made and the
# lingering session booted in it. The script gives up (ending the server)
# when a wait lasts past BOOT_LIMIT seconds (default 1500) from its start.
set -euo pipefail
loader=$1
linger=${LINGER:-900}
limit=${BOOT_LIMIT:-1500}
: "${WINEPREFIX:?}" "${WINEARCH:?}"
server=$(dirname "$loader")/wineserver
log=$WINEPREFIX.log
# Written when a creation has ended with the registry on disk.
made_mark=$WINEPREFIX/.prefix-made
start=$SECONDS
deadline=$((SECONDS + limit))

# Process ids of this prefix's programs whose command line contains $1.
prefix_processes() {
    local pid
    for pid in $(pgrep -f -- "$1" || true); do
        if tr '\0' '\n' 2>/dev/null <"/proc/$pid/environ" | grep -qxF "WINEPREFIX=$WINEPREFIX"; then
            echo "$pid"
        fi
    done
}
registry_written() {
    [ -f "$WINEPREFIX/system.reg" ] && [ -f "$WINEPREFIX/user.reg" ] &&
        [ -f "$WINEPREFIX/drive_c/windows/system32/kernel32.dll" ]
}
made() { [ -f "$made_mark" ] && registry_written; }
booting() { [ -n "$(prefix_processes wineboot.exe)" ]; }
booted() { [ -n "$(prefix_processes services.exe)" ]; }
seconds_left() { echo $((deadline > SECONDS ? deadline - SECONDS : 1)); }
give_up() {
    echo "$1 after $((SECONDS - start)) s; see $log" >&2
    "$server" -k >/dev/null 2>&1 || true
    exit 1
}
# Boots the prefix, bounded like every wait. Under emulation this first
# program may fail while the boot that it started goes on: what counts is
# the boot's end, which the callers wait for.
boot() {
    timeout --foreground "$(seconds_left)" "$loader" wineboot --init >>"$log" 2>&1 ||
        echo "(wineboot --init returned $?)"
}
# Waits until no server runs for the prefix; a server writes the registry
# as it exits.
server_ended() { timeout "$(seconds_left)" "$server" -w; }

mkdir -p "$WINEPREFIX"
if ! made; then
    # A new prefix, or one whose making did not finish: its server, if any,
    # ends first (writing what it holds), and the stamp by which wineboot
    # skips the setup of a prefix it has seen goes, so the setup runs whole.
    "$server" -k >/dev/null 2>&1 || true
    server_ended || give_up "A wine server of $WINEPREFIX did not end"
    rm -f "$WINEPREFIX/.update-timestamp"
    echo "Creating the $WINEARCH Wine prefix $WINEPREFIX"
    boot
    server_ended || give_up "The boot creating $WINEPREFIX did not end"
    registry_written || give_up "No complete Wine prefix in $WINEPREFIX"
    touch "$made_mark"
fi

# Status 2: a server already runs for this prefix (its session may be up).
status=0
"$server" -p"$linger" >/dev/null 2>&1 || status=$?
if [ "$status" != 0 ] && [ "$status" != 2 ]; then
    echo "wineserver -p$linger failed with status $status" >&2
    exit 1
fi
if [ "$status" = 2 ] && booted && ! booting; then
    echo "The Wine session of $WINEPREFIX is running"
    exit 0
fi

if ! booting; then
    echo "Booting a Wine session in $WINEPREFIX"
    boot
fi
while booting; do
    [ "$SECONDS" -lt "$deadline" ] || give_up "The boot of a session in $WINEPREFIX did not end"
    sleep 1
done
echo "Ready in $((SECONDS - start)) s"
