#!/usr/bin/env bash
# Runs .clusterfuzzlite/build.sh here as the OSS-Fuzz / ClusterFuzzLite
# builder runs it in its image (base-builder's `compile`): a copy of the
# sources in $SRC/xemidi (all but build/, as the Dockerfile copies them) and
# build.sh in $SRC, run with `bash -eux` from $SRC/xemidi,
# with the builder's variables for one sanitizer: clang, the base image's
# CFLAGS, the sanitizer's flags and libFuzzer's coverage instrumentation in
# CFLAGS and CXXFLAGS, and -fsanitize=fuzzer as the engine.
#
#   bash .ci/oss-fuzz-build.sh address|undefined FOLDER
#
# leaves the fuzzer, its seed corpus, dictionary and options in FOLDER/out
# (FOLDER/src and FOLDER/work are the builder's $SRC and $WORK; FOLDER
# belongs under build/, which is not copied). One
# difference from the builder: CXXFLAGS lack its -stdlib=libc++, since
# Debian's libFuzzer is built against libstdc++ and links with nothing else
# (the builder's own libFuzzer is built against libc++).
set -euo pipefail
[ $# = 2 ] || { echo "usage: $0 address|undefined FOLDER" >&2; exit 2; }
sanitizer=$1
repo=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$2"
folder=$(cd "$2" && pwd)

# The base-builder image's flags for each sanitizer (SANITIZER_FLAGS_*).
case $sanitizer in
  address) sanitizer_flags="-fsanitize=address -fsanitize-address-use-after-scope" ;;
  undefined)
    checks=array-bounds,bool,builtin,enum,float-divide-by-zero,function,integer-divide-by-zero,null
    checks=$checks,object-size,return,returns-nonnull-attribute,shift,signed-integer-overflow
    checks=$checks,unreachable,vla-bound,vptr
    sanitizer_flags="-fsanitize=$checks,unsigned-integer-overflow -fno-sanitize-recover=$checks" ;;
  *) echo "$0: no such sanitizer: $sanitizer" >&2; exit 2 ;;
esac

rm -rf "$folder/src" "$folder/out"
mkdir -p "$folder/src/xemidi" "$folder/work" "$folder/out"
tar -C "$repo" --exclude=./build -cf - . | tar -C "$folder/src/xemidi" -xf -
cp "$repo/.clusterfuzzlite/build.sh" "$folder/src/build.sh"

export CC=clang CXX=clang++ SANITIZER=$sanitizer FUZZING_ENGINE=libfuzzer FUZZING_LANGUAGE=c++
export ARCHITECTURE=x86_64
export CFLAGS="-O1 -fno-omit-frame-pointer -gline-tables-only -DFUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION"
export CFLAGS="$CFLAGS $sanitizer_flags -fsanitize=fuzzer-no-link"
export CXXFLAGS=$CFLAGS
export LIB_FUZZING_ENGINE=-fsanitize=fuzzer
export SRC=$folder/src WORK=$folder/work OUT=$folder/out
cd "$SRC/xemidi"
bash -eux "$SRC/build.sh"
