#!/usr/bin/env bash
# Runs tests/wine_session.sh on a prefix made anew, then a program at once:
#   WINEPREFIX=... WINEARCH=... tests/wine_session_check.sh LOADER
# When the session script returns, the prefix's registry must be on disk,
# a program must run in the session and see it, and the session must still
# be up for the next call; the same once the registry files are lost. Removes
# the prefix first; ends its server last.
set -euo pipefail
loader=$1
: "${WINEPREFIX:?}"
server=$(dirname "$loader")/wineserver
session=$(dirname "$0")/wine_session.sh
fail() {
    echo "FAIL: $1" >&2
    exit 1
}
stop() {
    "$server" -k >/dev/null 2>&1 || true
    timeout 60 "$server" -w || true
}

stop
rm -rf "$WINEPREFIX" "$WINEPREFIX.log"
trap stop EXIT
export LINGER=120
bash "$session" "$loader" || fail "the session script failed on a new prefix"
for file in system.reg user.reg userdef.reg; do
    [ -s "$WINEPREFIX/$file" ] || fail "the session script returned before $file was written"
done
# A program at once: it runs, and reads a value that the prefix's setup wrote.
query() {
    local out
    out=$(timeout --foreground 120 "$loader" reg query \
        'HKLM\Software\Microsoft\Windows NT\CurrentVersion' /v CurrentBuildNumber) ||
        fail "$1: a program started at once failed: $out"
    grep -Eq 'CurrentBuildNumber +REG_SZ +[0-9]+' <<<"$out" || fail "$1: no build number in: $out"
}
query "new prefix"
again=$(bash "$session" "$loader") || fail "the second call failed: $again"
grep -q 'session of .* is running' <<<"$again" || fail "no session ran on: $again"

# A prefix whose server was killed before it wrote the registry: the setup
# must run again, though wineboot's stamp says that it ran.
stop
rm "$WINEPREFIX"/*.reg
bash "$session" "$loader" || fail "the session script failed on a prefix without registry"
query "prefix without registry"
echo "New prefixes were ready: registry on disk, a program ran, the session stayed up"
