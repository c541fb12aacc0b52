"""Reading MIDI files with software we did not write: mido, and libsmf through
the small smf_dump program. Each reader hands back (format, division,
tracks), every track a list of events as (tick, bytes) at their absolute
ticks, in file order, the end of track included:

  channel message   status byte and data bytes (running status undone)
  system exclusive  F0 ... F7
  meta event        FF, type, length as a variable-length quantity, data

READERS read a format-0 file as (division, events); TRACK_READERS read any.
"""

import subprocess

import mido

END_OF_TRACK = bytes([0xFF, 0x2F, 0x00])


class Mismatch(Exception):
    """A file does not hold what it should."""


def read_tracks_with_mido(path, dump=None):
    midi = mido.MidiFile(path)
    tracks = []
    for track in midi.tracks:
        events, tick = [], 0
        for message in track:
            tick += message.time
            events.append((tick, bytes(message.bytes())))
        tracks.append(events)
    return midi.type, midi.ticks_per_beat, tracks


def read_tracks_with_libsmf(path, dump):
    run = subprocess.run([dump, path], capture_output=True, text=True, check=False)
    if run.returncode != 0:
        raise Mismatch(f"{path}: libsmf refuses it: {run.stderr.strip()}")
    lines = run.stdout.splitlines()
    if not (lines[:1] and lines[0].startswith("format ") and lines[1].startswith("division ")):
        raise Mismatch(f"{path}: libsmf reads {lines[:2]}")
    tracks = []
    for line in lines[2:]:
        if line.startswith("track "):
            tracks.append([])
            continue
        tick, hexbytes = line.split()
        tracks[-1].append((int(tick), bytes.fromhex(hexbytes)))
    return int(lines[0].split()[1]), int(lines[1].split()[1]), tracks


def format_0(read_tracks):
    """A reader of format-0 files from a reader of any: (division, events)."""
    def read(path, dump=None):
        file_format, division, tracks = read_tracks(path, dump)
        if file_format != 0 or len(tracks) != 1:
            raise Mismatch(f"{path}: read as format {file_format} with {len(tracks)} tracks")
        return division, tracks[0]
    return read


read_with_mido = format_0(read_tracks_with_mido)
read_with_libsmf = format_0(read_tracks_with_libsmf)

READERS = {"mido": read_with_mido, "libsmf": read_with_libsmf}
TRACK_READERS = {"mido": read_tracks_with_mido, "libsmf": read_tracks_with_libsmf}


def without_end_of_track(path, events):
    """The events before the end of track, which must be the one last event,
    at the tick of the event before it (0 in an empty track)."""
    ends = [i for i, (_, data) in enumerate(events) if data == END_OF_TRACK]
    if ends != [len(events) - 1]:
        raise Mismatch(f"{path}: end of track at positions {ends} of {len(events)} events")
    last_tick = events[-2][0] if len(events) > 1 else 0
    if events[-1][0] != last_tick:
        raise Mismatch(f"{path}: end of track at tick {events[-1][0]}, last event at {last_tick}")
    return events[:-1]


def describe(event):
    tick, data = event
    return f"tick {tick} {data.hex().upper()}"
