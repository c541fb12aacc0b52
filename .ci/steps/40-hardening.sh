#!/usr/bin/env bash
# Hardening: the whole test suite built with AddressSanitizer, LeakSanitizer
# and UBSan (the out-of-memory sweep and the unload checks included); the
# unload checks under valgrind memcheck; and a bounded libFuzzer run of the
# interface harness from the seed corpus, after its regression inputs.
#
# XEMIDI_FUZZ_SECONDS sets the length of the fuzz run (default 60). For a
# long run, see docs/hardening.md.
set -euo pipefail
cd "$(dirname "$0")/../.."

if [ "$(id -u)" = 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get install -y -q --no-install-recommends \
    cmake ninja-build g++ libgtest-dev clang libclang-rt-14-dev valgrind locales
fi

SECONDS=0
say() { echo "-- [${SECONDS}s] $*"; }

say "sanitizer build: every test under ASan, LSan and UBSan"
cmake --workflow --preset asan

say "valgrind memcheck: unloading with live objects, leaving without DeleteSmf"
cmake --preset dev >/dev/null
grep -q '^XEMIDI_VALGRIND:FILEPATH=/' build/dev/CMakeCache.txt || { echo "valgrind not found"; exit 1; }
cmake --build --preset dev
ctest --preset dev -L unload

say "fuzzing the interface for ${XEMIDI_FUZZ_SECONDS:-60}s"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
fuzzer=build/fuzz/tests/fuzz/xemidi_api_fuzzer
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
shopt -s nullglob
regressions=(tests/fuzz/regressions/*)
if [ ${#regressions[@]} -gt 0 ]; then
  "$fuzzer" "${regressions[@]}"
fi
mkdir "$work/corpus"
cp tests/fuzz/corpus/* "$work/corpus/"
if ! "$fuzzer" -max_total_time="${XEMIDI_FUZZ_SECONDS:-60}" -max_len=4096 -print_final_stats=1 \
    -artifact_prefix="$work/" "$work/corpus" >"$work/log" 2>&1; then
  tail -n 60 "$work/log"
  for crash in "$work"/crash-* "$work"/leak-* "$work"/timeout-* "$work"/oom-*; do
    echo "input $(basename "$crash") (base64): $(base64 -w0 "$crash")"
  done
  exit 1
fi
grep -E '^#[0-9]+[[:space:]]+(INITED|DONE)|^stat::' "$work/log"
say "hardening passed"
