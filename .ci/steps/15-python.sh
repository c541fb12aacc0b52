#!/usr/bin/env bash
# The Python binding (python/): its tests from the dev build, with every part
# they need installed (python3-venv for the offline pip install into a
# virtual environment, python3-dev for the compiled batch loops, python3-mido
# for the round trip, python3-numpy for its arrays), so that here a missing
# part fails instead of being skipped.
set -euo pipefail
cd "$(dirname "$0")/../.."

source .ci/packages.sh
packages_require python3 python3-venv python3-dev python3-mido python3-numpy

cmake --preset dev >/dev/null
cmake --build --preset dev
XEMIDI_PYTHON_STRICT=1 ctest --preset dev -L python

# The README's Python examples, run in place against this build as the README
# says; mido reads the file it wrote.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sed -n '/^```python$/,/^```$/{/^```/d;p}' README.md >"$work/song.py"
(cd "$work" && XEMIDI_LIBRARY="$OLDPWD/build/dev/libxemidi.so" PYTHONPATH="$OLDPWD/python" \
  /usr/bin/python3 song.py)
/usr/bin/python3 -c 'import mido, sys; notes = [m for m in mido.MidiFile(sys.argv[1]).tracks[0]
if m.type == "note_on" and m.velocity]; assert len(notes) == 18, len(notes)
print(f"the README'"'"'s Python example writes {len(notes)} notes")' "$work/song.mid"
# ... and its format 1 example a tempo track, then a track per instrument.
/usr/bin/python3 -c 'import mido, sys; band = mido.MidiFile(sys.argv[1])
assert band.type == 1 and [len([m for m in t if m.type == "note_on"]) for t in band.tracks] == \
    [0, 8, 16], band
assert band.tracks[0][0].type == "set_tempo" and band.tracks[1][0].type == "program_change"
print(f"the README'"'"'s format 1 example writes {len(band.tracks)} tracks")' "$work/band.mid"

# In place the package runs its pure loops; the README's command builds the
# compiled ones into python/xemidi/, which then run (removed again after).
in_place() {
  XEMIDI_LIBRARY=build/dev/libxemidi.so PYTHONPATH=python PYTHONDONTWRITEBYTECODE=1 \
    /usr/bin/python3 -c 'import xemidi; print(xemidi.ACCELERATED)'
}
trap 'rm -rf "$work" python/xemidi/_cbatch*.so' EXIT
rm -f python/xemidi/_cbatch*.so  # built in place before: a build product
[ "$(in_place)" = False ] || { echo "python: in place, the package runs compiled loops" >&2; exit 1; }
/usr/bin/python3 python/build_xemidi.py
[ "$(in_place)" = True ] || { echo "python: build_xemidi.py built no compiled loops that run" >&2; exit 1; }
echo "in place: the compiled loops run once python3 python/build_xemidi.py built them"
