#!/usr/bin/env bash
# Packs a Windows build for the DLL's users, one package per host bitness:
#   .ci/package-windows.sh [--no-run] [build folder, default build/win32]
# Writes <build>/xemidi-<version>-win32.zip (from build/win32) or
# -win64.zip (from build/win64), alike but for the bitness: xemidi.dll and
# the xemidi command xemidi.exe (without their debug information),
# xemidi.h, xemidi.def, the import libraries for MinGW (libxemidi.dll.a)
# and MSVC (xemidi.lib), README-windows.txt, the licence as LICENSE.txt, the
# Python package xemidi/ with a copy of the DLL, which it loads from its own
# folder, and the example host's sources (examples/). Then checks what it
# packed: the DLL and both import libraries with check_dll.py, the README
# made for this bitness, the licence, the Python package's files, version
# and copy of the DLL, and the example host compiled from the packed
# sources and header and linked with each import library, run under Wine
# in the build's prefix beside the packed DLL (wine64 for win64, the 32-bit
# Wine for win32), with the command's --version: both files the host writes
# must read back through mido with what the example printed. --no-run
# builds the example hosts without running them (no 32-bit Wine). The
# version in the name is the build's, which comes from xemidi.h; the
# bitness is the build's too.
set -euo pipefail
cd "$(dirname "$0")/.."
run=1
if [ "${1:-}" = --no-run ]; then
  run=
  shift
fi
build=${1:-build/win32}
cached() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
version=$(cached CMAKE_PROJECT_VERSION)
bits=$(cached XEMIDI_PACKAGE_BITS)
[ -n "$version" ] && [ -n "$bits" ] || {
  echo "package-windows: no configured Windows build in $build" >&2
  exit 1
}
case $bits in
  32) tools=i686-w64-mingw32 machine=i386 loader=/usr/lib/wine/wine ;;
  64) tools=x86_64-w64-mingw32 machine=AMD64 loader=/usr/lib/wine/wine64 ;;
  *) echo "package-windows: $build is a $bits-bit build" >&2; exit 1 ;;
esac
name=xemidi-$version-win$bits
stage=$build/package/$name
rm -rf "$build/package" "$build/$name.zip"
mkdir -p "$stage"

echo "package-windows: staging $name"
$tools-strip --strip-debug -o "$stage/xemidi.dll" "$build/xemidi.dll"
$tools-strip --strip-debug -o "$stage/xemidi.exe" "$build/xemidi.exe"
cp include/xemidi.h "$build/xemidi.def" "$build/libxemidi.dll.a" "$stage/"
cp "$build/README-windows.txt" "$stage/"
cp LICENSE "$stage/LICENSE.txt"
mkdir "$stage/xemidi"
cp python/xemidi/*.py python/xemidi/py.typed "$stage/xemidi/"
# The version written out, as a wheel carries it (no header beside the package).
PYTHONPATH=python /usr/bin/python3 -c 'import sys, build_xemidi
sys.stdout.buffer.write(build_xemidi.version_module(sys.argv[1]))' "$version" \
  >"$stage/xemidi/_version.py"
cp "$stage/xemidi.dll" "$stage/xemidi/"
mkdir "$stage/examples"
cp examples/*.c examples/*.h "$stage/examples/"
$tools-dlltool --input-def "$build/xemidi.def" --dllname xemidi.dll --kill-at \
  --output-lib "$stage/xemidi.lib"
(cd "$build/package" && zip -q -X -r "../$name.zip" "$name")

echo "package-windows: checking the packed files"
check=$build/package/check
mkdir -p "$check"
(cd "$check" && unzip -q "../../$name.zip")
packed=$check/$name
fail() { echo "package-windows: $1" >&2; exit 1; }
cmp "$packed/LICENSE.txt" LICENSE || fail "LICENSE.txt is not LICENSE"
readme=$packed/README-windows.txt
head -1 "$readme" | grep -q "$bits-bit" || fail "README-windows.txt is not the $bits-bit one"
! grep -nE '^(32|64)\||@[A-Z_]+@' "$readme" || fail "README-windows.txt holds template marks"
for library in libxemidi.dll.a xemidi.lib; do
  /usr/bin/python3 .ci/check_dll.py --dll "$packed/xemidi.dll" \
    --import-library "$packed/$library" --exports "$build/xemidi_exports.table" \
    --machine $machine --version "$version"
  $tools-gcc-posix -std=c99 -Wall -Werror -I "$packed" "$packed"/examples/*.c "$packed/$library" \
    -o "$check/song-$library.exe"
done
cmp "$packed/xemidi.dll" "$packed/xemidi/xemidi.dll"
diff -r --exclude=CMakeLists.txt examples "$packed/examples" || fail "examples/ is not the example host's sources"
diff <(cd python/xemidi && ls *.py py.typed) <(cd "$packed/xemidi" && ls *.py py.typed)
PYTHONPATH=$packed PYTHONDONTWRITEBYTECODE=1 /usr/bin/python3 -c 'import sys, xemidi
assert not xemidi.ACCELERATED and xemidi.__version__ == sys.argv[1], xemidi.__version__' "$version"

if [ -n "$run" ]; then
  # The tests' Wine settings (tests/windows.cmake) and their prefix, whose
  # session the session script boots unless it is up.
  root=$PWD
  WINEPREFIX=$(cached XEMIDI_WINE_PREFIX)
  export WINEPREFIX=${WINEPREFIX:-$root/$build/wine-prefix} WINEARCH=win64 WINEDEBUG=-all \
    WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe,winedbg.exe="
  unset DISPLAY WAYLAND_DISPLAY
  bash tests/wine_session.sh /usr/lib/wine/wine64
  cp "$packed/xemidi.dll" "$packed/xemidi.exe" "$check/"
  echo "package-windows: the xemidi command, under $(basename $loader)"
  (cd "$check" && DONE='^xemidi ' OUTPUT=version.txt \
    bash "$root/tests/wine_run.sh" $loader xemidi.exe --version)
  said=$(tr -d '\r' <"$check/version.txt")
  [ "$said" = "xemidi $version" ] || fail "xemidi.exe --version says '$said'"
  for library in libxemidi.dll.a xemidi.lib; do
    echo "package-windows: the example host linked with $library, under $(basename $loader)"
    out=run-$library
    mkdir "$check/$out"
    (cd "$check" && DONE='^clipboard: ' OUTPUT=$out.txt \
      bash "$root/tests/wine_run.sh" $loader "song-$library.exe" "$out/song.mid" &&
      /usr/bin/python3 "$root/tests/readers/check_example.py" --reader mido \
        --printed "$out.txt" --out "$out")
  done
else
  echo "package-windows: the example hosts are built, not run (--no-run)"
fi
rm -rf "$check"
unzip -l "$build/$name.zip"
echo "package-windows: $build/$name.zip"
