#!/usr/bin/env bash
# The Windows DLLs: cross-built with MinGW-w64 for 64 and 32 bits, checked
# as files, their interface tests run in one 64-bit Wine prefix, under
# wine64 and under the 32-bit Wine (emulated by qemu-i386 where the kernel
# cannot run 32-bit code), and both packages built and checked, the example
# host run from each under Wine. Prints the time of each part.
set -euo pipefail
cd "$(dirname "$0")/../.."
times=()
part_start=$SECONDS
part() {
    local elapsed=$((SECONDS - part_start))
    [ -z "${part_name:-}" ] || times+=("$(printf '%-62s %5d s' "$part_name" "$elapsed")")
    part_name=$1
    part_start=$SECONDS
    [ -z "$1" ] || echo "== windows: $1"
}
summary() {
    part ""
    echo "== windows: times"
    printf '   %s\n' "${times[@]}"
}
# Wine servers linger for later test runs; CI ends them and their sessions.
# A 32-bit setup still running (when a part before the wait failed) ends
# first, with all it started: it runs in a process group of its own.
stop_wine() {
    local prefix
    if [ -n "${setup_pid:-}" ] && kill -0 "$setup_pid" 2>/dev/null; then
        kill -- "-$setup_pid" 2>/dev/null || true
        wait "$setup_pid" 2>/dev/null || true
    fi
    for prefix in build/wine-prefix build/win64/wine-prefix-new; do
        [ -d "$prefix" ] && WINEPREFIX=$PWD/$prefix /usr/lib/wine/wineserver -k 2>/dev/null || true
    done
}
trap 'stop_wine; summary' EXIT

source .ci/packages.sh
part "install MinGW-w64, wine64, pefile, mido, zip"
if ! packages_want "windows: both DLLs built, their tests under Wine, both packages" \
    g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix googletest wine64 python3-pefile \
    python3-mido zip unzip; then
    exit 0
fi

# The 32-bit Wine is installed while the 64-bit DLL builds; the prefix that
# both builds' tests share is made after it, with its 32-bit part.
part "start the 32-bit Wine setup (background)"
mkdir -p build
setsid .ci/setup-wine32.sh >build/setup-wine32.log 2>&1 &
setup_pid=$!

part "build the 64-bit DLL and its tests"
cmake --preset win64 >/dev/null
cmake --build --preset win64

part "wait for the 32-bit Wine setup"
setup_status=0
wait "$setup_pid" || setup_status=$?
setup_pid=
cat build/setup-wine32.log
if [ "$setup_status" != 0 ] && [ "$setup_status" != 77 ]; then
    echo "== windows: the 32-bit Wine setup failed ($setup_status)" >&2
    exit 1
fi
# 77: no 32-bit Wine (not root, or its packages skipped: the log says which).
no_wine32=$(sed -n 's/^setup-wine32: SKIPPED: //p' build/setup-wine32.log | head -n 1)

part "64-bit: DLL check, interface tests under wine64"
ctest --preset win64

part "build the 32-bit DLL and its tests"
cmake --preset win32 >/dev/null
cmake --build --preset win32

if [ "$setup_status" = 0 ]; then
    # The setup registers qemu-i386 only where the kernel cannot run 32-bit code.
    if grep -qsx enabled /proc/sys/fs/binfmt_misc/qemu-i386; then
        wine32="emulated 32-bit Wine"
    else
        wine32="native 32-bit Wine"
    fi
    part "32-bit: DLL check, interface tests under $wine32"
    ctest --preset win32
else
    part "32-bit: DLL check only (no 32-bit Wine: $no_wine32)"
    ctest --preset win32 -R '^(dll_check|python\.)'
fi

if [ -x /usr/lib/wine/wine64 ]; then
    part "package win64, its example host run under wine64"
    .ci/package-windows.sh build/win64
else
    part "package win64 (no wine64 to run its example host: not root)"
    .ci/package-windows.sh --no-run build/win64
fi

if [ "$setup_status" = 0 ]; then
    part "package win32, its example host run under $wine32"
    .ci/package-windows.sh build/win32
else
    part "package win32 (no 32-bit Wine to run its example host: $no_wine32)"
    .ci/package-windows.sh --no-run build/win32
fi
