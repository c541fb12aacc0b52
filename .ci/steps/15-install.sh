#!/usr/bin/env bash
# Installing and linking the library as a Linux user does: the Release build
# installed under a staging prefix, and two hosts built outside the source
# tree against it, one through the CMake package (find_package), one through
# pkg-config; each runs and mido reads the file it wrote, and the installed
# xemidi command converts it to format 1 and back. Then the Debian package:
# its fields, its exact file list and its licence file checked, and, as root
# only, installed with apt-get, a host built against /usr and the command
# run, and removed again, leaving none of its files, then purged. Prints the
# time.
set -euo pipefail
cd "$(dirname "$0")/../.."

source .ci/packages.sh
packages_require cmake ninja-build g++ pkg-config dpkg-dev file python3-mido

SECONDS=0
say() { echo "-- [${SECONDS}s] $*"; }
work=$(mktemp -d)
installed=""
cleanup() {
  [ -z "$installed" ] || apt-get purge -y -q xemidi >/dev/null || true
  rm -rf "$work"
  echo "-- install step: ${SECONDS} s"
}
trap cleanup EXIT
fail() { echo "install step: $*" >&2; exit 1; }

say "Release build, installed under a staging prefix"
cmake --preset deb >/dev/null
cmake --build --preset deb
stage=$work/stage
cmake --install build/deb --prefix "$stage" >/dev/null
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/deb/CMakeCache.txt)
libdir=$(sed -n 's/^CMAKE_INSTALL_LIBDIR:PATH=//p' build/deb/CMakeCache.txt)

# run_host <program> <name>: the host writes <name>.mid, built with the
# header of this version, and mido reads it back.
run_host() {
  local said
  said=$("$1" "$work/$2.mid")
  [ "$said" = "xemidi $version" ] || fail "$2 says '$said', expected 'xemidi $version'"
  /usr/bin/python3 tests/install/read_back.py "$work/$2.mid"
}
build_with_pkg_config() {
  cc -std=c99 -Wall -Wextra -pedantic -Werror tests/install/host.c \
    $(pkg-config --cflags --libs xemidi) -o "$1"
}

# The xemidi command installed beside the library finds it under any
# prefix: it converts the host's file to format 1 and back, as mido reads.
run_command() {
  local said
  said=$("$1" --version)
  [ "$said" = "xemidi $version" ] || fail "$1 says '$said', expected 'xemidi $version'"
  "$1" convert "$work/$2.mid" "$work/$2-1.mid" --format 1
  "$1" convert "$work/$2-1.mid" "$work/$2-0.mid"
  cmp "$work/$2.mid" "$work/$2-0.mid" || fail "$1: $2.mid converted to format 1 and back differs"
  /usr/bin/python3 tests/install/read_back.py "$work/$2-0.mid"
}

say "host through the CMake package: find_package(xemidi 1.3), xemidi::xemidi"
cmake -S tests/install -B "$work/cmake-host" -G Ninja -DCMAKE_PREFIX_PATH="$stage" >/dev/null
cmake --build "$work/cmake-host"
run_host "$work/cmake-host/xemidi_install_host" cmake-host
# Same major version, and no older than asked for: an older major, the next
# minor and the next major are refused.
major=${version%%.*} minor=$(cut -d. -f2 <<<"$version")
for wanted in "$((major - 1)).9" "$major.$((minor + 1))" "$((major + 1)).0"; do
  if cmake -S tests/install -B "$work/wants-$wanted" -G Ninja -DCMAKE_PREFIX_PATH="$stage" \
      -DXEMIDI_REQUIRED_VERSION=$wanted >/dev/null 2>&1; then
    fail "find_package(xemidi $wanted) accepts $version"
  fi
done

say "host through pkg-config --cflags --libs xemidi"
export PKG_CONFIG_PATH=$stage/$libdir/pkgconfig
[ "$(pkg-config --modversion xemidi)" = "$version" ] || fail "xemidi.pc is not version $version"
build_with_pkg_config "$work/pc-host"
LD_LIBRARY_PATH=$(pkg-config --variable=libdir xemidi) run_host "$work/pc-host" pc-host
unset PKG_CONFIG_PATH
say "the xemidi command of the staging prefix"
run_command "$stage/bin/xemidi" pc-host

say "Debian package"
rm -f build/deb/xemidi_*.deb
cpack --preset deb
deb=build/deb/xemidi_${version}_$(dpkg --print-architecture).deb
dpkg-deb -I "$deb"
# Depends names the package of every library libxemidi.so links.
depends=$(dpkg-deb -f "$deb" Depends)
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
for needed in $(readelf -d "$stage/$libdir/libxemidi.so" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
  owner=$(dpkg -S "*/$multiarch/$needed" | awk -F: 'NR == 1 {print $1}')
  [[ ", $depends," == *", $owner "* || ", $depends," == *", $owner,"* ]] \
    || fail "Depends ($depends) lacks $owner, which has $needed"
done
expected=$(sort <<LIST
./usr/bin/xemidi
./usr/include/xemidi.h
./usr/include/xemidi_clipboard.h
./usr/$libdir/libxemidi.so
./usr/$libdir/libxemidi.so.${version%%.*}
./usr/$libdir/libxemidi.so.$version
./usr/$libdir/cmake/xemidi/xemidiConfig.cmake
./usr/$libdir/cmake/xemidi/xemidiConfigVersion.cmake
./usr/$libdir/cmake/xemidi/xemidiTargets.cmake
./usr/$libdir/cmake/xemidi/xemidiTargets-release.cmake
./usr/$libdir/pkgconfig/xemidi.pc
./usr/share/doc/xemidi/README.md
./usr/share/doc/xemidi/copyright
LIST
)
files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sort)
diff <(echo "$expected") <(echo "$files") || fail "the package's files differ (< expected, > packed)"
dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/doc/xemidi/copyright | cmp - LICENSE \
  || fail "the package's copyright file is not LICENSE"
dpkg-deb --fsys-tarfile "$deb" | tar -xO "./usr/$libdir/pkgconfig/xemidi.pc" | grep -qx 'prefix=/usr' \
  || fail "the package's xemidi.pc does not name the prefix /usr"
ls -l "$deb"
dpkg-deb -c "$deb"

if [ "$(id -u)" != 0 ]; then
  say "not root: the package is not installed"
  exit 0
fi
say "apt-get install the package, a host built against /usr, apt-get remove and purge"
installed=yes
packages_require "./$deb"
build_with_pkg_config "$work/usr-host"
run_host "$work/usr-host" usr-host
run_command /usr/bin/xemidi usr-host
apt-get remove -y -q xemidi
for file in $files; do
  [ ! -e "${file#.}" ] && [ ! -L "${file#.}" ] || fail "${file#.} is left after apt-get remove"
done
[ ! -e /usr/share/doc/xemidi ] || fail "/usr/share/doc/xemidi is left after apt-get remove"
# dpkg keeps a removed package's postrm (CPack's, which runs ldconfig) until
# it is purged; purging leaves no trace of it.
apt-get purge -y -q xemidi
installed=""
if dpkg-query -W xemidi >/dev/null 2>&1; then fail "dpkg still knows xemidi after apt-get purge"; fi
say "install step passed"
