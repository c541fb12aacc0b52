#!/usr/bin/env bash
# Hardening: the whole test suite built with AddressSanitizer, LeakSanitizer
# and UBSan (the out-of-memory sweep and the unload checks included); the
# unload checks under valgrind memcheck; and bounded libFuzzer runs of the
# interface harness from its seed corpus with its dictionary, after its
# regression inputs: the build of the fuzz preset, then the OSS-Fuzz /
# ClusterFuzzLite build (.clusterfuzzlite/build.sh, run as their builder runs
# it) with each of its sanitizers, so that the fuzzing services' build
# contract keeps working.
#
# XEMIDI_FUZZ_SECONDS sets the length of the preset's run (default 60),
# XEMIDI_OSS_FUZZ_SECONDS that of each run of the services' build (default
# 25). For a long run, see docs/hardening.md.
set -euo pipefail
cd "$(dirname "$0")/../.."

source .ci/packages.sh
packages_require cmake ninja-build g++ libgtest-dev valgrind python3 locales
fuzzing=yes
packages_want "fuzzing: libFuzzer runs of the preset's and the services' builds" \
  make clang libclang-rt-14-dev zip unzip || fuzzing=""

SECONDS=0
say() { echo "-- [${SECONDS}s] $*"; }

say "sanitizer build: every test under ASan, LSan and UBSan"
cmake --workflow --preset asan

say "valgrind memcheck: unloading with live objects, leaving without DeleteSmf"
cmake --preset dev >/dev/null
grep -q '^XEMIDI_VALGRIND:FILEPATH=/' build/dev/CMakeCache.txt || { echo "valgrind not found"; exit 1; }
cmake --build --preset dev
ctest --preset dev -L unload

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
shopt -s nullglob
regressions=(tests/fuzz/regressions/*)
max_len=$(sed -n 's/^max_len *= *//p' tests/fuzz/xemidi_api_fuzzer.options)

# Runs a fuzzer over the regression inputs, then for $2 seconds from the
# corpus in folder $3 with the dictionary $4; a failure prints the input.
fuzz() {
  local fuzzer=$1 seconds=$2 corpus=$3 dictionary=$4
  if [ ${#regressions[@]} -gt 0 ]; then
    "$fuzzer" "${regressions[@]}"
  fi
  if ! "$fuzzer" -max_total_time="$seconds" -max_len="$max_len" -dict="$dictionary" \
      -print_final_stats=1 -artifact_prefix="$work/" "$corpus" >"$work/log" 2>&1; then
    tail -n 60 "$work/log"
    for crash in "$work"/crash-* "$work"/leak-* "$work"/timeout-* "$work"/oom-*; do
      echo "input $(basename "$crash") (base64): $(base64 -w0 "$crash")"
    done
    exit 1
  fi
  grep -E '^Dictionary:|^#[0-9]+[[:space:]]+(INITED|DONE)|^stat::' "$work/log"
}

say "the seeds and the dictionary are what seeds.py writes from the harness's tables"
python3 tests/fuzz/seeds.py "$work/seeds" "$work/seeds.dict"
for seed in "$work"/seeds/*; do
  cmp "$seed" "tests/fuzz/corpus/$(basename "$seed")"
done
cmp "$work/seeds.dict" tests/fuzz/xemidi_api_fuzzer.dict

if [ -z "$fuzzing" ]; then
  say "fuzzing skipped (its packages could not be installed, see above)"
  exit 0
fi

say "fuzzing the interface for ${XEMIDI_FUZZ_SECONDS:-60}s (preset fuzz)"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
mkdir "$work/corpus"
cp tests/fuzz/corpus/* "$work/corpus/"
fuzz build/fuzz/tests/fuzz/xemidi_api_fuzzer "${XEMIDI_FUZZ_SECONDS:-60}" "$work/corpus" \
  tests/fuzz/xemidi_api_fuzzer.dict

# What the builder's runner sets for the undefined build, whose flags add
# unsigned overflow as a signal of coverage only.
export UBSAN_OPTIONS=silence_unsigned_overflow=1:halt_on_error=1:print_stacktrace=1
for sanitizer in address undefined; do
  say "the OSS-Fuzz / ClusterFuzzLite build (.clusterfuzzlite/build.sh), SANITIZER=$sanitizer"
  if ! bash .ci/oss-fuzz-build.sh "$sanitizer" "build/oss-fuzz/$sanitizer" >"$work/build.log" 2>&1; then
    tail -n 60 "$work/build.log"
    exit 1
  fi
  out=build/oss-fuzz/$sanitizer/out
  ls "$out"
  # The builder's flags alone choose the sanitizer: AddressSanitizer is in
  # the address build only.
  asan=$(nm "$out/xemidi_api_fuzzer" | grep -c ' __asan_init$' || true)
  if [ "$asan" != "$([ "$sanitizer" = address ] && echo 1 || echo 0)" ]; then
    echo "the $sanitizer build has AddressSanitizer $asan times: the build adds flags of its own"
    exit 1
  fi
  # Every seed and regression input is in the seed corpus zip.
  mkdir "$work/$sanitizer-corpus"
  unzip -q "$out/xemidi_api_fuzzer_seed_corpus.zip" -d "$work/$sanitizer-corpus"
  expected=(tests/fuzz/corpus/* "${regressions[@]}") zipped=("$work/$sanitizer-corpus"/*)
  if [ ${#zipped[@]} != ${#expected[@]} ]; then
    echo "the seed corpus zip holds ${#zipped[@]} inputs, not ${#expected[@]}"
    exit 1
  fi
  say "fuzzing its build for ${XEMIDI_OSS_FUZZ_SECONDS:-25}s from its seed corpus zip, with its dictionary"
  fuzz "$out/xemidi_api_fuzzer" "${XEMIDI_OSS_FUZZ_SECONDS:-25}" "$work/$sanitizer-corpus" \
    "$out/xemidi_api_fuzzer.dict"
done
say "hardening passed"
