#!/bin/bash -eu
# The OSS-Fuzz / ClusterFuzzLite build of the interface fuzzer. It takes
# everything from the builder's variables: the compilers and their flags
# ($CC, $CXX, $CFLAGS, $CXXFLAGS, which bring the sanitizer and the coverage
# instrumentation), the engine to link ($LIB_FUZZING_ENGINE), the sources
# ($SRC/xemidi), a folder to build in ($WORK) and one for what the fuzzing
# machines get ($OUT): the fuzzer, <fuzzer>_seed_corpus.zip (the seeds and
# the inputs that once failed), <fuzzer>.dict and <fuzzer>.options.
# CI runs it as the builder does (.ci/oss-fuzz-build.sh).
fuzzer=xemidi_api_fuzzer
source=$SRC/xemidi
build=$WORK/xemidi

# Build type None: no flags of CMake's own, only the builder's. Only the
# harness and the library's code it links; no tests, no GoogleTest.
cmake -S "$source" -B "$build" -DCMAKE_BUILD_TYPE=None \
  -DCMAKE_C_COMPILER="$CC" -DCMAKE_CXX_COMPILER="$CXX" \
  -DCMAKE_C_FLAGS="$CFLAGS" -DCMAKE_CXX_FLAGS="$CXXFLAGS" \
  -DXEMIDI_FUZZ=ON -DXEMIDI_FUZZING_ENGINE="$LIB_FUZZING_ENGINE" \
  -DXEMIDI_BUILD_TESTS=OFF -DXEMIDI_BUILD_EXAMPLES=OFF -DXEMIDI_INSTALL=OFF
cmake --build "$build" --target "$fuzzer" --parallel "$(nproc)"
cp "$build/tests/fuzz/$fuzzer" "$OUT/"

rm -f "$OUT/${fuzzer}_seed_corpus.zip"
zip -j -q "$OUT/${fuzzer}_seed_corpus.zip" "$source"/tests/fuzz/corpus/* "$source"/tests/fuzz/regressions/*
cp "$source/tests/fuzz/$fuzzer.dict" "$source/tests/fuzz/$fuzzer.options" "$OUT/"
