#!/usr/bin/env bash
# Makes the 32-bit Wine usable for the win32 tests:
#   .ci/setup-wine32.sh
# The tests run in a 64-bit prefix (under WoW64, as on 64-bit Windows),
# which must be made after this: a prefix made before it is made again.
# On a kernel that cannot run 32-bit x86 code itself, i386 programs run
# under qemu-i386-static through binfmt_misc, registered here with the F
# flag (the interpreter is opened once, so it works in any mount namespace).
# Needs root; exits 77 (skipped) without it, or when wine32:i386 cannot be
# installed while an index failed to download (.ci/packages.sh records why).
set -euo pipefail
loader=/usr/lib/wine/wine
binfmt=/proc/sys/fs/binfmt_misc

if [ "$(id -u)" != 0 ]; then
  echo "setup-wine32: SKIPPED: root is needed to install wine32:i386 and register qemu-i386"
  exit 77
fi

source "$(dirname "$0")/packages.sh"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  echo "setup-wine32: adding the i386 architecture"
  dpkg --add-architecture i386
  packages_update again
fi
echo "setup-wine32: installing wine32:i386 and qemu-user-static"
if ! packages_want "windows: the 32-bit DLL's runs under the 32-bit Wine (still built, packed and its exports checked)" \
    wine32:i386 qemu-user-static; then
  echo "setup-wine32: SKIPPED: wine32:i386 could not be installed while an index had failed"
  exit 77
fi

if ! "$loader" --version >/dev/null 2>&1; then
  if [ ! -e "$binfmt/register" ]; then
    echo "setup-wine32: mounting binfmt_misc"
    mount -t binfmt_misc binfmt_misc "$binfmt"
  fi
  if [ ! -e "$binfmt/qemu-i386" ]; then
    echo "setup-wine32: registering qemu-i386-static for i386 ELF programs"
    magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
    mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
    printf '%s' ":qemu-i386:M::$magic:$mask:/usr/bin/qemu-i386-static:F" >"$binfmt/register"
  fi
  echo 1 >"$binfmt/qemu-i386"
fi
# binfmt_misc comes before the kernel's own loader of ELF programs: with
# qemu-i386 registered and enabled, 32-bit programs run emulated.
if grep -qsx enabled "$binfmt/qemu-i386"; then
  how="under qemu-i386 emulation (binfmt_misc: qemu-i386)"
else
  how="natively (the kernel runs 32-bit x86 code)"
fi
# Fails here if the 32-bit loader still cannot run.
version=$("$loader" --version)
echo "setup-wine32: $version runs $how"

