#!/usr/bin/env bash
# The README's main-job command as it stands, then an independent reader
# (mido) opens the file it wrote. Then the README's first C program, built
# and run with each of the README's two lines as they stand: against this
# build, from the repository's folder, and against an installed library (a
# CMake install of this build into a staging prefix, which pkg-config finds
# through PKG_CONFIG_PATH, as the README says for such a prefix). Then the
# xemidi command on the main job's file.
set -euo pipefail
cd "$(dirname "$0")/../.."

source .ci/packages.sh
packages_require pkg-config python3-mido

# The one line of the README that matches $1.
readme_line() {
  local lines
  lines=$(grep -E "$1" README.md || true)
  [ -n "$lines" ] && [ "$(wc -l <<<"$lines")" = 1 ] || {
    echo "main job: the README has no single line matching $1" >&2
    exit 1
  }
  printf '%s\n' "$lines"
}

main_job=$(sed -n '/^# Main job:/{n;p;q}' README.md)
[ -n "$main_job" ] || { echo "main job: no command after '# Main job:' in the README" >&2; exit 1; }
echo "+ $main_job"
eval "$main_job"
/usr/bin/python3 - build/dev/song.mid <<'PY'
import sys, mido
song = mido.MidiFile(sys.argv[1])
assert song.type == 0 and len(song.tracks) == 1, "not a format-0 file"
notes = sum(1 for m in song.tracks[0] if m.type == "note_on" and m.velocity > 0)
assert notes > 0 and song.tracks[0][-1].type == "end_of_track"
print(f"mido reads {sys.argv[1]}: {len(song.tracks[0])} events, {notes} notes, {song.length:.1f} s")
PY

# The README's first C program, and what its file must hold: the tempo,
# the time signature, the program change and the first note at tick 0, and
# at each later beat the note before ending before the next one starts.
check_hello() {
  /usr/bin/python3 - "$1" <<'PY'
import sys, mido
track, tick, events = mido.MidiFile(sys.argv[1]).tracks[0], 0, []
for message in track:
    tick += message.time
    events.append((tick, message))
kinds = [m.type for _, m in events[:4]]
assert kinds == ["set_tempo", "time_signature", "program_change", "note_on"], kinds
notes = [(t, m.type, m.note) for t, m in events if m.type in ("note_on", "note_off")]
melody = [60, 62, 64, 65]
expected = [(0, "note_on", 60)] + [item for i, key in enumerate(melody[1:]) for item in
                                   ((480 * (i + 1), "note_off", melody[i]),
                                    (480 * (i + 1), "note_on", key))] + [(1920, "note_off", 65)]
assert notes == expected, notes
print(f"{sys.argv[1]} starts {', '.join(kinds)}; each note ends before the next starts")
PY
}

work=$(mktemp -d)
for file in hello.c hello hello.mid; do
  [ ! -e "$file" ] || { echo "main job: $file is in the way in $PWD" >&2; exit 1; }
done
trap 'rm -rf "$work" hello.c hello hello.mid' EXIT
sed -n '/^```c$/,/^```$/{/^```/d;p}' README.md >hello.c
cc -std=c99 -Wall -Wextra -pedantic -Werror -Iinclude -fsyntax-only hello.c

# Against this build, in the repository's folder, as the README says.
tree_line=$(readme_line '^cc hello\.c .*-Lbuild/dev')
echo "+ $tree_line"
eval "$tree_line"
check_hello hello.mid
rm -f hello hello.mid

# Against a library installed under a prefix of its own.
prefix=$work/prefix
cmake --install build/dev --prefix "$prefix" >/dev/null
pc=$(find "$prefix" -name xemidi.pc)
installed_line=$(readme_line '^cc hello\.c \$\(pkg-config')
mkdir "$work/host"
cp hello.c "$work/host/"
echo "+ PKG_CONFIG_PATH=$(dirname "$pc") $installed_line"
(cd "$work/host" && export PKG_CONFIG_PATH=$(dirname "$pc") && eval "$installed_line" &&
  ldd hello | grep -q "$prefix/.*/libxemidi.so" || { echo "main job: hello does not load the library under $prefix" >&2; exit 1; })
check_hello "$work/host/hello.mid"

# The README's xemidi command on the main job's file: to format 1 and back
# gives the same file, and mido reads the format 1 one as one track.
cmake --build --preset dev --target xemidi_cli
./build/dev/cli/xemidi convert build/dev/song.mid "$work/song-1.mid" --format 1
./build/dev/cli/xemidi convert "$work/song-1.mid" "$work/song-0.mid"
cmp build/dev/song.mid "$work/song-0.mid"
/usr/bin/python3 -c 'import mido, sys; song = mido.MidiFile(sys.argv[1])
assert song.type == 1 and len(song.tracks) == 1, song
print(f"xemidi convert: {sys.argv[1]} is format 1, back to format 0 the same file")' "$work/song-1.mid"
