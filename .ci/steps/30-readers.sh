#!/usr/bin/env bash
# Reads what the library writes with MIDI software from Debian (mido, libsmf,
# timidity with freepats, fluidsynth), reads files other software wrote
# (openttd-openmsx's music, MIDIUtil's) with the library and with mido, and
# builds the benchmarks so that they keep compiling (they are not run here).
# Each is skipped, and said so, when its packages cannot be installed while
# an index failed (.ci/packages.sh).
set -euo pipefail
cd "$(dirname "$0")/../.."
source .ci/packages.sh

if packages_want "readers: mido, libsmf, timidity and fluidsynth read the library's files, the library reads others'" \
    pkg-config libsmf-dev python3-mido timidity freepats fluidsynth timgm6mb-soundfont \
    python3-midiutil openttd-openmsx; then
  cmake --workflow --preset readers
fi

if packages_want "benchmarks: the build of the benchmarks and their peers" \
    pkg-config libbenchmark-dev libsmf-dev libportsmf-dev python3-midiutil; then
  cmake --preset bench
  cmake --build --preset bench -j2
fi
