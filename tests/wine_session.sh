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
# every 30 s (only the branches that changed since its last save, each to a
# temporary file that it then renames) and when it exits, so a boot's end
# says nothing about the files. A new prefix is therefore booted once, in
# the lingering server, and then one program writes a value made for this
# run into each of the three branches: once system.reg, userdef.reg and
# user.reg all hold it, the server has saved, after the boot, everything
# the boot changed. Only then is the prefix marked as made. A boot whose
# programs stop using the processor has stalled (see boot_ended) and is made
# again, three times at most. The script gives up (ending the server) when a
# wait lasts past BOOT_LIMIT seconds (default 1500) from its start.
set -euo pipefail
loader=$1
linger=${LINGER:-900}
limit=${BOOT_LIMIT:-1500}
stall_limit=${STALL_LIMIT:-120}
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
# A 64-bit prefix holds the 32-bit part (syswow64) only if the 32-bit Wine
# ran when it was made: one made before is made again once it runs.
wine32=$(dirname "$loader")/wine
needs_wow64=
if [ "$WINEARCH" = win64 ] && "$wine32" --version >/dev/null 2>&1; then
    needs_wow64=1
fi
# The files that a made prefix holds.
prefix_written() {
    [ -f "$WINEPREFIX/system.reg" ] && [ -f "$WINEPREFIX/user.reg" ] &&
        [ -f "$WINEPREFIX/drive_c/windows/system32/kernel32.dll" ] &&
        { [ -z "$needs_wow64" ] || [ -f "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ]; }
}
made() { [ -f "$made_mark" ] && prefix_written; }
booting() { [ -n "$(prefix_processes wineboot.exe)" ]; }
booted() { [ -n "$(prefix_processes services.exe)" ]; }
seconds_left() { echo $((deadline > SECONDS ? deadline - SECONDS : 1)); }
give_up() {
    echo "$1 after $((SECONDS - start)) s; see $log" >&2
    "$server" -k >/dev/null 2>&1 || true
    exit 1
}
# Starts a boot of the prefix in the background, bounded like every wait.
# Under emulation this first program may fail while the boot that it
# started goes on: what counts is the boot's end (boot_ended).
boot() {
    echo "Booting a Wine session in $WINEPREFIX"
    timeout --foreground "$(seconds_left)" "$loader" wineboot --init >>"$log" 2>&1 &
    loader_pid=$!
}
loader_pid=
# Ends the prefix's server and its programs, and waits until it has gone;
# a server writes the registry as it exits.
end_server() {
    "$server" -k >/dev/null 2>&1 || true
    timeout "$(seconds_left)" "$server" -w || give_up "A wine server of $WINEPREFIX did not end"
}
# Processor time (clock ticks) used so far by the prefix's programs.
programs_time() {
    local pid
    for pid in $(prefix_processes '\.exe|wineboot'); do
        cat "/proc/$pid/stat" 2>/dev/null || true
    done | awk '{ sub(/.*\) /, ""); t += $12 + $13 } END { print t + 0 }'
}
# Waits for the boot to end: its first program, and the boot that it
# started. Under emulation a program of the boot now and then crashes as it
# starts, and the boot then waits for it for ever: when the prefix's
# programs have used no processor time for STALL_LIMIT seconds (default
# 120) while the boot lasts, it returns 1.
boot_ended() {
    local used last=-1 still=$SECONDS
    while { [ -n "$loader_pid" ] && kill -0 "$loader_pid" 2>/dev/null; } || booting; do
        [ "$SECONDS" -lt "$deadline" ] || give_up "The boot of a session in $WINEPREFIX did not end"
        sleep 1
        used=$(programs_time)
        if [ "$used" != "$last" ]; then
            last=$used
            still=$SECONDS
        elif [ $((SECONDS - still)) -ge "$stall_limit" ]; then
            return 1
        fi
    done
    if [ -n "$loader_pid" ]; then
        wait "$loader_pid" || echo "(wineboot --init returned $?)"
        loader_pid=
    fi
}

mkdir -p "$WINEPREFIX"
fresh=
for attempt in 1 2 3; do
    if ! made; then
        # A new prefix, or one whose making did not finish: its server, if
        # any, ends first (writing what it holds), and the stamp by which
        # wineboot skips the setup of a prefix it has seen goes, so the
        # setup runs whole.
        end_server
        rm -f "$made_mark" "$WINEPREFIX/.update-timestamp"
        echo "Creating the $WINEARCH Wine prefix $WINEPREFIX"
        fresh=1
    fi

    # Status 2: a server already runs for this prefix (its session may be up).
    status=0
    "$server" -p"$linger" >/dev/null 2>&1 || status=$?
    if [ "$status" != 0 ] && [ "$status" != 2 ]; then
        echo "wineserver -p$linger failed with status $status" >&2
        exit 1
    fi
    if [ -z "$fresh" ] && [ "$status" = 2 ] && booted && ! booting; then
        echo "The Wine session of $WINEPREFIX is running"
        exit 0
    fi

    booting || boot
    boot_ended && break
    [ "$attempt" -lt 3 ] || give_up "The boots of $WINEPREFIX stalled three times"
    echo "The boot stalled: no program of it ran for $stall_limit s; booting again"
    end_server
    [ -z "$loader_pid" ] || wait "$loader_pid" || true
    loader_pid=
done

if [ -n "$fresh" ]; then
    # The value that shows a save made after the boot: unique to this run.
    token="made-$$-$(date +%s%N)"
    values=$WINEPREFIX/drive_c/xemidi-session.reg
    {
        printf 'REGEDIT4\r\n\r\n'
        for key in 'HKEY_LOCAL_MACHINE' 'HKEY_USERS\.Default' 'HKEY_CURRENT_USER'; do
            printf '[%s\\Software\\xemidi-session]\r\n"made"="%s"\r\n\r\n' "$key" "$token"
        done
    } >"$values"
    timeout --foreground "$(seconds_left)" "$loader" reg import 'C:\xemidi-session.reg' >>"$log" 2>&1 ||
        give_up "The registry of $WINEPREFIX took no value"
    rm -f "$values"
    for file in system.reg userdef.reg user.reg; do
        until grep -qsF "$token" "$WINEPREFIX/$file"; do
            [ "$SECONDS" -lt "$deadline" ] || give_up "No complete Wine prefix in $WINEPREFIX"
            sleep 1
        done
    done
    prefix_written || give_up "No complete Wine prefix in $WINEPREFIX"
    touch "$made_mark"
fi
echo "Ready in $((SECONDS - start)) s"
