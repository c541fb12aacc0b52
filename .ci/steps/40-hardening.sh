#!/usr/bin/env bash
# Hardening: the whole test suite built with AddressSanitizer, LeakSanitizer
# and UBSan (the out-of-memory sweep and the unload checks included); the
# unload checks under valgrind memcheck; and bounded libFuzzer runs of both
# harnesses (the interface's and the file reader's), each from its seed
# corpus with its dictionary, after its regression inputs: the build of the
# fuzz preset, then the OSS-Fuzz /
# ClusterFuzzLite build (.clusterfuzzlite/build.sh, run as their builder runs
# it) with each of its sanitizers, so that the fuzzing services' build
# contract keeps working.
#
# XEMIDI_FUZZ_SECONDS sets the length of each of the preset's runs (default
# 60), XEMIDI_OSS_FUZZ_SECONDS that of each run of the services' build
# (default 25). For a long run, see docs/hardening.md.
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
max_len=$(sed -n 's/^max_len *= *//p' tests/fuzz/xemidi_api_fuzzer.options)
# Each fuzzer's name, the folder of its seeds and that of its regressions.
fuzzers=(api:corpus:regressions read:read_corpus:read_regressions)

# Runs a fuzzer over the regression inputs in folder $5, then for $2 seconds
# from the corpus in folder $3 with the dictionary $4; a failure prints the
# input.
fuzz() {
  local fuzzer=$1 seconds=$2 corpus=$3 dictionary=$4
  local regressions=(tests/fuzz/$5/*)
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

say "the seeds and the dictionaries are what seeds.py and read_seeds.py write"
python3 tests/fuzz/seeds.py "$work/seeds/api" "$work/api.dict"
python3 tests/fuzz/read_seeds.py "$work/seeds/read" "$work/read.dict"
for seed in "$work"/seeds/api/*; do
  cmp "$seed" "tests/fuzz/corpus/$(basename "$seed")"
done
for seed in "$work"/seeds/read/*; do
  cmp "$seed" "tests/fuzz/read_corpus/$(basename "$seed")"
done
cmp "$work/api.dict" tests/fuzz/xemidi_api_fuzzer.dict
cmp "$work/read.dict" tests/fuzz/xemidi_read_fuzzer.dict

if [ -z "$fuzzing" ]; then
  say "fuzzing skipped (its packages could not be installed, see above)"
  exit 0
fi

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
for entry in "${fuzzers[@]}"; do
  IFS=: read -r name seeds regressions <<<"$entry"
  say "fuzzing xemidi_${name}_fuzzer for ${XEMIDI_FUZZ_SECONDS:-60}s (preset fuzz)"
  mkdir "$work/$name-corpus"
  cp tests/fuzz/"$seeds"/* "$work/$name-corpus/"
  fuzz "build/fuzz/tests/fuzz/xemidi_${name}_fuzzer" "${XEMIDI_FUZZ_SECONDS:-60}" \
    "$work/$name-corpus" "tests/fuzz/xemidi_${name}_fuzzer.dict" "$regressions"
done

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
  for entry in "${fuzzers[@]}"; do
    IFS=: read -r name seeds regressions <<<"$entry"
    fuzzer=xemidi_${name}_fuzzer
    # The builder's flags alone choose the sanitizer: AddressSanitizer is in
    # the address build only.
    asan=$(nm "$out/$fuzzer" | grep -c ' __asan_init$' || true)
    if [ "$asan" != "$([ "$sanitizer" = address ] && echo 1 || echo 0)" ]; then
      echo "the $sanitizer build of $fuzzer has AddressSanitizer $asan times: the build adds flags of its own"
      exit 1
    fi
    # Every seed and regression input is in the seed corpus zip.
    corpus=$work/$sanitizer-$name-corpus
    mkdir "$corpus"
    unzip -q "$out/${fuzzer}_seed_corpus.zip" -d "$corpus"
    expected=(tests/fuzz/"$seeds"/* tests/fuzz/"$regressions"/*) zipped=("$corpus"/*)
    if [ ${#zipped[@]} != ${#expected[@]} ]; then
      echo "the seed corpus zip of $fuzzer holds ${#zipped[@]} inputs, not ${#expected[@]}"
      exit 1
    fi
    say "fuzzing its $fuzzer for ${XEMIDI_OSS_FUZZ_SECONDS:-25}s from its seed corpus zip, with its dictionary"
    fuzz "$out/$fuzzer" "${XEMIDI_OSS_FUZZ_SECONDS:-25}" "$corpus" "$out/$fuzzer.dict" "$regressions"
  done
done
say "hardening passed"
