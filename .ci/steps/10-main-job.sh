#!/usr/bin/env bash
# The README's main-job command, then an independent reader (mido) opens
# the file it wrote.
set -euo pipefail
cmake --preset dev >/dev/null
cmake --build --preset dev
./build/dev/examples/xemidi_song build/dev/song.mid
/usr/bin/python3 - build/dev/song.mid <<'PY'
import sys, mido
song = mido.MidiFile(sys.argv[1])
assert song.type == 0 and len(song.tracks) == 1, "not a format-0 file"
notes = sum(1 for m in song.tracks[0] if m.type == "note_on" and m.velocity > 0)
assert notes > 0 and song.tracks[0][-1].type == "end_of_track"
print(f"mido reads {sys.argv[1]}: {len(song.tracks[0])} events, {notes} notes, {song.length:.1f} s")
PY
