#!/usr/bin/env bash
# Reads what the library writes with MIDI software from Debian (mido, libsmf,
# timidity with freepats, fluidsynth), and builds the benchmarks so that they keep
# compiling (they are not run here).
set -euo pipefail
cd "$(dirname "$0")/../.."

if [ "$(id -u)" = 0 ]; then
  apt-get install -y -q --no-install-recommends \
    pkg-config libsmf-dev python3-mido timidity freepats fluidsynth timgm6mb-soundfont \
    libbenchmark-dev libportsmf-dev python3-midiutil
fi

cmake --workflow --preset readers

cmake --preset bench
cmake --build --preset bench -j2
