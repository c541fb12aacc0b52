#!/usr/bin/python3
"""Reads MIDI files written by other software with the xemidi command and
with mido, and compares them event for event:

  check_real_files.py --xemidi COMMAND [--midiutil DIR] FILE_OR_GLOB...

For each file: `xemidi events` must list, per track, mido's messages of
that track at the same absolute ticks, without the end of track; the file
converted to format 1 must read in mido with those tracks and the file's
division; converted to format 0, as what mido.merge_tracks gives (a stable
sort by tick: at a shared tick, the earlier track's first); and that file
converted back to format 1 must give the same one track. mido hands out a
system-exclusive packet as F0, its data without a final F7, then F7,
whether it began with F0 or F7; xemidi lists the packet as stored (F0 or
F7, its length, its bytes): it is compared in mido's form. With
--midiutil, files written by MIDIUtil (python3-midiutil) from a fixed
random piece are added to the files read.
"""

import argparse
import glob
import os
import random
import shutil
import subprocess
import sys
import tempfile

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


def xemidi(command, *arguments):
    run = subprocess.run([command, *arguments], capture_output=True, text=True, check=False)
    if run.returncode != 0:
        raise Mismatch(f"xemidi {' '.join(arguments)}: {run.stderr.strip()}")
    return run.stdout


def listed_tracks(command, path):
    """`xemidi events`: per track, (tick, bytes in mido's form)."""
    tracks = []
    for line in xemidi(command, "events", path).splitlines():
        track, tick, _, data = line.split()
        while len(tracks) <= int(track):
            tracks.append([])
        tracks[int(track)].append((int(tick), in_mido_form(bytes.fromhex(data))))
    return tracks


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


def check(command, path, work):
    midi = mido.MidiFile(path)
    theirs = [absolute(track) for track in midi.tracks]
    ours = listed_tracks(command, path)
    ours += [[]] * (len(theirs) - len(ours))  # tracks without events list nothing
    for number, (a, b) in enumerate(zip(ours, theirs)):
        compare(path, f"track {number}", a, b)
    if len(ours) != len(theirs):
        raise Mismatch(f"{path}: xemidi lists {len(ours)} tracks, mido reads {len(theirs)}")
    one, zero, back = (os.path.join(work, name) for name in ("one.mid", "zero.mid", "back.mid"))
    xemidi(command, "convert", path, one, "--format", "1")
    xemidi(command, "convert", path, zero)
    xemidi(command, "convert", zero, back, "--format", "1")
    merged = absolute(mido.merge_tracks(midi.tracks))
    for written, kind, tracks in [(one, 1, theirs), (zero, 0, [merged]), (back, 1, [merged])]:
        again = mido.MidiFile(written)
        if (again.type, again.ticks_per_beat) != (kind, midi.ticks_per_beat):
            raise Mismatch(f"{path}: converted to format {kind}, mido reads format "
                           f"{again.type}, division {again.ticks_per_beat}")
        if len(again.tracks) != len(tracks):
            raise Mismatch(f"{path}: converted to format {kind}, {len(again.tracks)} tracks")
        for number, (a, b) in enumerate(zip(again.tracks, tracks)):
            compare(path, f"format {kind}, track {number}", absolute(a), b)
    return sum(len(track) for track in theirs)


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
    parser.add_argument("--xemidi", required=True, help="the xemidi command")
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
    work = tempfile.mkdtemp()
    try:
        for path in paths:
            events += check(args.xemidi, path, work)
    except Mismatch as error:
        print(f"FAIL {error}")
        return 1
    finally:
        shutil.rmtree(work)
    print(f"{len(paths)} files, {events} events: xemidi reads and converts them as mido reads them")
    return 0


if __name__ == "__main__":
    sys.exit(main())
