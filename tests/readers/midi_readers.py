"""Reading MIDI files with software we did not write: mido, and libsmf through
the small smf_dump program. Both hand back (division, events), every event as
(tick, bytes) at its absolute tick, in file order, the end of track included:

  channel message   status byte and data bytes (running status undone)
  system exclusive  F0 ... F7
  meta event        FF, type, length as a variable-length quantity, data
"""

import subprocess

import mido

END_OF_TRACK = bytes([0xFF, 0x2F, 0x00])


class Mismatch(Exception):
    """A file does not hold what it should."""


def read_with_mido(path, dump=None):
    midi = mido.MidiFile(path)
    if midi.type != 0 or len(midi.tracks) != 1:
        raise Mismatch(f"{path}: mido reads type {midi.type} with {len(midi.tracks)} tracks")
    events, tick = [], 0
    for message in midi.tracks[0]:
        tick += message.time
        events.append((tick, bytes(message.bytes())))
    return midi.ticks_per_beat, events


def read_with_libsmf(path, dump):
    run = subprocess.run([dump, path], capture_output=True, text=True, check=False)
    if run.returncode != 0:
        raise Mismatch(f"{path}: libsmf refuses it: {run.stderr.strip()}")
    lines = run.stdout.splitlines()
    if lines[:1] != ["format 0"] or not lines[1].startswith("division "):
        raise Mismatch(f"{path}: libsmf reads {lines[:2]}")
    events = []
    for line in lines[2:]:
        tick, hexbytes = line.split()
        events.append((int(tick), bytes.fromhex(hexbytes)))
    return int(lines[1].split()[1]), events


READERS = {"mido": read_with_mido, "libsmf": read_with_libsmf}


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
