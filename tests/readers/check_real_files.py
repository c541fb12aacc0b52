#!/usr/bin/python3
"""Reads MIDI files written by other software with xemidi (read_dump, both
ways: every track merged into one object, and one object per track) and
with mido, and compares them event for event.

  check_real_files.py --dump read_dump [--midiutil DIR] FILE_OR_GLOB...

Per track, xemidi's events must be mido's messages of that track, at the
same absolute ticks, without the end of track. Merged, they must be what
mido.merge_tracks gives (a stable sort by tick: at a shared tick, the
earlier track's first). mido hands out a system-exclusive packet as F0, its
data without a final F7, then F7, whether it began with F0 or F7; xemidi
keeps the packet as stored (F0 or F7, its length, its bytes): it is compared
in mido's form. With --midiutil, files written by MIDIUtil (python3-midiutil)
from a fixed random piece are added to the files read.
"""

import argparse
import glob
import os
import random
import subprocess
import sys

import mido


class Mismatch(Exception):
    """The two readers disagree."""


def var_len(data, at):
    """The variable-length quantity at data[at:] and where it ends."""
    value = 0
    while True:
        value = value << 7 | (data[at] & 0x7F)
        at += 1
        if data[at - 1] < 0x80:
            return value, at


def in_mido_form(data):
    """A stored event as mido's message.bytes() gives it."""
    if data[0] in (0xF0, 0xF7):
        length, at = var_len(data, 1)
        body = data[at:at + length]
        if body.endswith(b"\xf7"):
            body = body[:-1]
        return b"\xf0" + body + b"\xf7"
    return data


def read_with_xemidi(dump, path, per_track):
    run = subprocess.run([dump] + (["--tracks"] if per_track else []) + [path],
                         capture_output=True, text=True, check=False)
    if run.returncode != 0:
        raise Mismatch(f"{path}: xemidi refuses it: {run.stderr.strip()}")
    lines = run.stdout.splitlines()
    division, tracks = int(lines[0].split()[1]), []
    for line in lines[1:]:
        if line.startswith("track "):
            tracks.append([])
            continue
        if not tracks:
            tracks.append([])
        tick, data = line.split()
        tracks[-1].append((int(tick), in_mido_form(bytes.fromhex(data))))
    return division, tracks


def absolute(messages):
    """(tick, bytes) of every message but the end of track."""
    events, tick = [], 0
    for message in messages:
        tick += message.time
        if message.type != "end_of_track":
            events.append((tick, bytes(message.bytes())))
    return events


def compare(path, name, ours, theirs):
    for index, (a, b) in enumerate(zip(ours, theirs)):
        if a != b:
            raise Mismatch(f"{path}: {name}, event {index}: xemidi {a[0]} {a[1].hex()}, "
                           f"mido {b[0]} {b[1].hex()}")
    if len(ours) != len(theirs):
        raise Mismatch(f"{path}: {name}: xemidi {len(ours)} events, mido {len(theirs)}")


def check(dump, path):
    midi = mido.MidiFile(path)
    division, tracks = read_with_xemidi(dump, path, True)
    if division != midi.ticks_per_beat or len(tracks) != len(midi.tracks):
        raise Mismatch(f"{path}: xemidi reads division {division} with {len(tracks)} tracks, "
                       f"mido {midi.ticks_per_beat} with {len(midi.tracks)}")
    for number, (ours, theirs) in enumerate(zip(tracks, midi.tracks)):
        compare(path, f"track {number}", ours, absolute(theirs))
    _, merged = read_with_xemidi(dump, path, False)
    compare(path, "merged", merged[0] if merged else [], absolute(mido.merge_tracks(midi.tracks)))
    return sum(len(track) for track in tracks)


def midiutil_files(folder, count=6, seed=37):
    """Files that MIDIUtil writes from random notes, controllers, tempos,
    texts and system-exclusive messages over a few tracks."""
    from midiutil import MIDIFile  # python3-midiutil
    os.makedirs(folder, exist_ok=True)
    rng, paths = random.Random(seed), []
    for number in range(count):
        tracks = rng.randint(1, 5)
        song = MIDIFile(tracks, file_format=1,
                        ticks_per_quarternote=rng.choice([96, 192, 480, 960]),
                        eventtime_is_ticks=False)
        for track in range(tracks):
            song.addTrackName(track, 0, f"track {track}")
            song.addTempo(track, rng.randint(0, 8), rng.randint(40, 240))
            for _ in range(rng.randint(10, 200)):
                time = rng.randint(0, 256) / 4
                channel = rng.randint(0, 15)
                song.addNote(track, channel, rng.randint(0, 127), time, rng.randint(1, 8) / 4,
                             rng.randint(1, 127))
                if rng.random() < 0.2:
                    song.addControllerEvent(track, channel, time, rng.randint(0, 119),
                                            rng.randint(0, 127))
                if rng.random() < 0.05:
                    song.addSysEx(track, time, rng.randint(1, 0x7D), bytes(rng.randint(0, 127)
                                                                          for _ in range(5)))
                if rng.random() < 0.05:
                    song.addText(track, time, "text %d" % rng.randint(0, 999))
        path = os.path.join(folder, f"midiutil_{number}.mid")
        with open(path, "wb") as out:
            song.writeFile(out)
        paths.append(path)
    return paths


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--dump", required=True, help="the read_dump program")
    parser.add_argument("--midiutil", help="a folder for files written by MIDIUtil")
    parser.add_argument("files", nargs="*")
    args = parser.parse_args()
    paths = sorted(p for pattern in args.files for p in glob.glob(pattern))
    if args.midiutil:
        paths += midiutil_files(args.midiutil)
    if not paths:
        print("no files to read")
        return 1
    events = 0
    try:
        for path in paths:
            events += check(args.dump, path)
    except Mismatch as error:
        print(f"FAIL {error}")
        return 1
    print(f"{len(paths)} files, {events} events: xemidi reads what mido reads, both ways")
    return 0


if __name__ == "__main__":
    sys.exit(main())
