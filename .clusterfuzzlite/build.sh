#!/bin/bash -eu
# The OSS-Fuzz / ClusterFuzzLite build of the two fuzzers, the interface
# fuzzer (xemidi_api_fuzzer) and the file reader's (xemidi_read_fuzzer). It
# takes everything from the builder's variables: the compilers and their
# flags ($CC, $CXX, $CFLAGS, $CXXFLAGS, which bring the sanitizer and the
# coverage instrumentation), the engine to link ($LIB_FUZZING_ENGINE), the
# sources ($SRC/xemidi), a folder to build in ($WORK) and one for what the
# fuzzing machines get ($OUT): each fuzzer, <fuzzer>_seed_corpus.zip (its
# seeds and the inputs that once failed), <fuzzer>.dict and
# <fuzzer>.options. CI runs it as the builder does (.ci/oss-fuzz-build.sh).
source=$SRC/xemidi
build=$WORK/xemidi

# Build type None: no flags of CMake's own, only the builder's. Only the
# harnesses and the library's code they link; no tests, no GoogleTest.
cmake -S "$source" -B "$build" -DCMAKE_BUILD_TYPE=None \
  -DCMAKE_C_COMPILER="$CC" -DCMAKE_CXX_COMPILER="$CXX" \
  -DCMAKE_C_FLAGS="$CFLAGS" -DCMAKE_CXX_FLAGS="$CXXFLAGS" \
  -DXEMIDI_FUZZ=ON -DXEMIDI_FUZZING_ENGINE="$LIB_FUZZING_ENGINE" \
  -DXEMIDI_BUILD_TESTS=OFF -DXEMIDI_BUILD_EXAMPLES=OFF -DXEMIDI_INSTALL=OFF

# Each fuzzer with the folders of its seeds and of its regression inputs.
for entry in api:corpus:regressions read:read_corpus:read_regressions; do
  IFS=: read -r name seeds regressions <<<"$entry"
  fuzzer=xemidi_${name}_fuzzer
  cmake --build "$build" --target "$fuzzer" --parallel "$(nproc)"
  cp "$build/tests/fuzz/$fuzzer" "$OUT/"
  rm -f "$OUT/${fuzzer}_seed_corpus.zip"
  zip -j -q "$OUT/${fuzzer}_seed_corpus.zip" "$source/tests/fuzz/$seeds"/* \
    $(find "$source/tests/fuzz/$regressions" -type f 2>/dev/null)
  cp "$source/tests/fuzz/$fuzzer.dict" "$source/tests/fuzz/$fuzzer.options" "$OUT/"
done
