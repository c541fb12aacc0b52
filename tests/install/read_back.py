#!/usr/bin/python3
"""Reads the file of tests/install/host.c with mido:
    read_back.py out.mid
It must hold the tempo, then the four notes of the arpeggio, each a quarter
note long (a note ends before the next begins), then the end of the track."""
import sys

import mido

KEYS = [60, 64, 67, 72]

song = mido.MidiFile(sys.argv[1])
assert song.type == 0 and song.ticks_per_beat == 480 and len(song.tracks) == 1, song
tick, found = 0, []
for message in song.tracks[0]:
    tick += message.time
    if message.type in ("note_on", "note_off"):
        sounding = message.type == "note_on" and message.velocity > 0
        found.append((tick, message.note, sounding))
expected = []
for i, key in enumerate(KEYS):
    expected += [(i * 480, key, True), ((i + 1) * 480, key, False)]
assert found == expected, found
assert song.tracks[0][0].type == "set_tempo" and song.tracks[0][0].tempo == 500000
assert song.tracks[0][-1].type == "end_of_track"
print(f"mido reads {sys.argv[1]}: tempo and {len(KEYS)} notes as inserted")
