#!/usr/bin/env bash
# The Windows side: both DLLs cross-built with MinGW-w64, each checked as a
# file (exports and ordinals, imports, import library, version resource),
# and the interface tests run against the 64-bit DLL under wine64.
set -euo pipefail
cd "$(dirname "$0")/../.."

if [ "$(id -u)" = 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get install -y -q --no-install-recommends \
    cmake ninja-build g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix \
    binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 googletest wine64 python3-pefile
fi

SECONDS=0
say() { echo "-- [${SECONDS}s] $*"; }

say "64-bit DLL: build, file check, interface tests under wine64"
cmake --preset win64 >/dev/null
cmake --build --preset win64
ctest --preset win64

say "32-bit DLL: build and file check"
cmake --preset win32 >/dev/null
cmake --build --preset win32
ctest --preset win32 -R dll_check
say "windows passed"
