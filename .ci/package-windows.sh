#!/usr/bin/env bash
# Packs the 32-bit Windows build for the DLL's users:
#   .ci/package-windows.sh [build folder, default build/win32]
# Writes <build>/xemidi-<version>-win32.zip with xemidi.dll (without its
# debug information), xemidi.h, xemidi.def, the import libraries for MinGW
# (libxemidi.dll.a) and MSVC (xemidi.lib), README-windows.txt, the licence
# as LICENSE.txt and the Python package xemidi/ with a copy of the DLL,
# which it loads from its own folder. Then checks what it packed: the DLL
# and both import libraries with check_dll.py, the example host compiled
# from the packed header and linked with each, the licence, and the Python
# package's files and its copy of the DLL. The version in the name is the
# build's, which comes from xemidi.h.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/win32}
tools=i686-w64-mingw32
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ -n "$version" ] || { echo "package-windows: no configured build in $build" >&2; exit 1; }
name=xemidi-$version-win32
stage=$build/package/$name
rm -rf "$build/package" "$build/$name.zip"
mkdir -p "$stage"

echo "package-windows: staging $name"
$tools-strip --strip-debug -o "$stage/xemidi.dll" "$build/xemidi.dll"
cp include/xemidi.h "$build/xemidi.def" "$build/libxemidi.dll.a" "$stage/"
cp "$build/README-windows.txt" "$stage/"
cp LICENSE "$stage/LICENSE.txt"
mkdir "$stage/xemidi"
cp python/xemidi/*.py python/xemidi/py.typed "$stage/xemidi/"
cp "$stage/xemidi.dll" "$stage/xemidi/"
$tools-dlltool --input-def "$build/xemidi.def" --dllname xemidi.dll --kill-at \
  --output-lib "$stage/xemidi.lib"
(cd "$build/package" && zip -q -X -r "../$name.zip" "$name")

echo "package-windows: checking the packed files"
check=$build/package/check
mkdir -p "$check"
(cd "$check" && unzip -q "../../$name.zip")
packed=$check/$name
cmp "$packed/LICENSE.txt" LICENSE || { echo "package-windows: LICENSE.txt is not LICENSE" >&2; exit 1; }
for library in libxemidi.dll.a xemidi.lib; do
  /usr/bin/python3 .ci/check_dll.py --dll "$packed/xemidi.dll" \
    --import-library "$packed/$library" --exports "$build/xemidi_exports.table" --machine i386 \
    --version "$version"
  $tools-gcc-posix -std=c99 -Wall -Werror -I "$packed" examples/*.c "$packed/$library" \
    -o "$check/song-$library.exe"
done
cmp "$packed/xemidi.dll" "$packed/xemidi/xemidi.dll"
diff <(cd python/xemidi && ls *.py py.typed) <(cd "$packed/xemidi" && ls *.py py.typed)
PYTHONPATH=$packed PYTHONDONTWRITEBYTECODE=1 /usr/bin/python3 -c 'import xemidi; assert not xemidi.ACCELERATED'
rm -rf "$check"
unzip -l "$build/$name.zip"
echo "package-windows: $build/$name.zip"
