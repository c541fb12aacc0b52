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

# The README's first C program, built against this build and run: its file
# must open with the tempo, the time signature, the program change and the
# first note, as the README says.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sed -n '/^```c$/,/^```$/{/^```/d;p}' README.md >"$work/hello.c"
cc -std=c99 -Wall -Wextra -pedantic -Werror -Iinclude "$work/hello.c" -Lbuild/dev -lxemidi \
  -Wl,-rpath,"$PWD/build/dev" -o "$work/hello"
(cd "$work" && ./hello)
/usr/bin/python3 - "$work/hello.mid" <<'PY'
import sys, mido
kinds = [m.type for m in mido.MidiFile(sys.argv[1]).tracks[0]][:4]
assert kinds == ["set_tempo", "time_signature", "program_change", "note_on"], kinds
print(f"the README's C program writes a file that starts {', '.join(kinds)}")
PY

# The README's xemidi command on the main job's file: to format 1 and back
# gives the same file, and mido reads the format 1 one as one track.
cmake --build --preset dev --target xemidi_cli
./build/dev/cli/xemidi convert build/dev/song.mid "$work/song-1.mid" --format 1
./build/dev/cli/xemidi convert "$work/song-1.mid" "$work/song-0.mid"
cmp build/dev/song.mid "$work/song-0.mid"
/usr/bin/python3 -c 'import mido, sys; song = mido.MidiFile(sys.argv[1])
assert song.type == 1 and len(song.tracks) == 1, song
print(f"xemidi convert: {sys.argv[1]} is format 1, back to format 0 the same file")' "$work/song-1.mid"
