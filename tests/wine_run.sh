#!/usr/bin/env bash
# Runs a GoogleTest program under Wine and reads its verdict from the XML
# report that the program writes when its last test is done (or another
# program's from its last line, see DONE below):
#   [DONE=REGEX OUTPUT=FILE] tests/wine_run.sh LOADER PROGRAM [ARGS...]
#
# Under the emulated 32-bit Wine (qemu-i386) a program that has passed all
# its tests now and then fails to exit: one of Wine's own threads dies in the
# emulator during the process's shutdown, and the process crashes or hangs
# until it is killed. Such an attempt is run again, up to ATTEMPTS times
# (default 3). Should every attempt pass all its tests and then fail only to
# exit, the run passes with a warning: each test's verdict was given, and the
# library's own unloading is a test of the program (run before the report).
# A failed test, a report of no tests, or an end before the report is
# complete fails at once.
#
# An attempt whose report is complete is given EXIT_GRACE seconds (default
# 60) to exit; any attempt is stopped after LIMIT seconds (default 400).
#
# Another program names the line that it prints last, once its work is
# done, in DONE (an extended regular expression): its standard output goes
# to the file OUTPUT, and an attempt is complete and passed once a line of
# OUTPUT matches DONE; one that ends without that line fails at once.
set -uo pipefail
loader=$1
program=$2
shift 2
attempts=${ATTEMPTS:-3}
limit=${LIMIT:-400}
grace=${EXIT_GRACE:-60}
done_line=${DONE:-}
# Relative, so that the program running under Wine writes it into the
# working folder on the drive that maps the host's file system.
report=wine-report-$(basename "$program" .exe).xml
if [ -n "$done_line" ]; then
    report=${OUTPUT:?OUTPUT names the file for the output of a program with DONE}
fi

complete() {
    if [ -n "$done_line" ]; then
        [ -f "$report" ] && grep -Eq -- "$done_line" "$report"
    else
        [ -f "$report" ] && grep -q '</testsuites>' "$report"
    fi
}
# At least one test ran, and none failed.
all_passed() {
    [ -n "$done_line" ] && { complete; return; }
    complete && grep -Eq '<testsuites tests="[1-9]' "$report" &&
        ! grep -Eq '<testsuites [^>]*(failures|errors)="[1-9]' "$report"
}

run_once() {
    rm -f "$report"
    if [ -n "$done_line" ]; then
        "$loader" "$program" "$@" >"$report" &
    else
        "$loader" "$program" "$@" "--gtest_output=xml:$report" &
    fi
    local pid=$! waited=0 done_at=""
    while kill -0 "$pid" 2>/dev/null; do
        if [ -z "$done_at" ] && complete; then done_at=$waited; fi
        if [ "$waited" -ge "$limit" ] ||
            { [ -n "$done_at" ] && [ $((waited - done_at)) -ge "$grace" ]; }; then
            echo "wine_run: stopping the program after $waited s" >&2
            kill -KILL "$pid" 2>/dev/null
            break
        fi
        sleep 1
        waited=$((waited + 1))
    done
    wait "$pid"
}

for attempt in $(seq 1 "$attempts"); do
    run_once "$@"
    status=$?
    if [ "$status" = 0 ] && all_passed; then
        exit 0
    fi
    if ! all_passed; then
        echo "wine_run: a test failed, none ran, or the program ended early (status $status)" >&2
        [ -z "$done_line" ] || cat "$report" >&2
        exit 1
    fi
    echo "wine_run: attempt $attempt passed every test, then failed to exit (status $status)" >&2
done
echo "wine_run: WARNING: every test passed in each of $attempts attempts, but the program" \
    "never exited cleanly under this Wine; counted as passed" >&2
exit 0
