#!/usr/bin/python3
"""Runs the example host and reads both files it writes with an independent
reader (mido, or libsmf through smf_dump). Each file must read back whole,
with one end of track at its end; the two files must hold the same events;
the counts the example printed must be the reader's counts; and the piece
must contain what the example promises.

  check_example.py --reader mido --song xemidi_song --out DIR
  check_example.py --reader libsmf --dump smf_dump --song xemidi_song --out DIR
  check_example.py --reader mido --printed OUTPUT --out DIR   (it ran elsewhere)
"""

import argparse
import collections
import os
import re
import subprocess
import sys

import mido
from midi_readers import READERS, Mismatch, without_end_of_track

CHANNEL_KINDS = {0x8: "note-off", 0x9: "note-on", 0xA: "key pressure", 0xB: "controller",
                 0xC: "program change", 0xD: "channel pressure", 0xE: "pitch wheel"}


def song_paths(out):
    """The files the example writes when given out/song.mid."""
    return [os.path.join(out, "song.mid"), os.path.join(out, "song-copy.mid")]


def run_song(song, out):
    os.makedirs(out, exist_ok=True)
    paths = song_paths(out)
    for path in paths:
        if os.path.exists(path):
            os.remove(path)
    run = subprocess.run([song, paths[0]], capture_output=True, text=True, check=False)
    if run.returncode != 0:
        raise Mismatch(f"xemidi_song failed: {run.stderr.strip()}")
    return paths, run.stdout


def printed_counts(stdout, path):
    """The counts the example printed under the file's name."""
    lines = stdout.splitlines()
    start = next(i for i, line in enumerate(lines) if line.startswith(path + ": "))
    counts = {}
    for line in lines[start + 1:]:
        match = re.match(r"  (\S.*\S)\s+(\d+)$", line)
        if not match:
            break
        name = match.group(1)
        counts[name[:9] if name.startswith("meta 0x") else name] = int(match.group(2))
    return counts


def kind(data):
    if data[0] == 0xFF:
        return f"meta 0x{data[1]:02X}"
    if data[0] == 0xF0:
        return "sysex"
    if data[0] >> 4 == 0x9 and data[2] == 0:
        return "note-off"
    return CHANNEL_KINDS[data[0] >> 4]


def reader_counts(events):
    counts = collections.Counter(kind(data) for _, data in events)
    for name in CHANNEL_KINDS.values():
        counts.setdefault(name, 0)
    counts.setdefault("sysex", 0)
    return dict(counts)


def check_counts(path, stdout, events):
    printed, read = printed_counts(stdout, path), reader_counts(events)
    if printed != read:
        raise Mismatch(f"{path}: the example printed {printed}, the reader counts {read}")


def check_content(events):
    """What the example promises: GM reset, tempo, meter, bank select with
    programs, a pitch-bend range before bends, chords, notes of several
    lengths, lyrics and text."""
    data = [d for _, d in events]
    at_zero = [d for t, d in events if t == 0]
    need = {
        "GM reset at tick 0": bytes.fromhex("F07E7F0901F7") in at_zero,
        "tempo": any(d[:2] == b"\xff\x51" for d in at_zero),
        "time signature": any(d[:2] == b"\xff\x58" for d in at_zero),
        "text": any(d[:2] == b"\xff\x01" for d in data),
        "lyrics": sum(d[:2] == b"\xff\x05" for d in data) >= 3,
        "bank select then program on 3 channels": len(banked_programs(data)) >= 3,
        "pitch-bend range before the first bend": bend_range_first(data),
        "chords": chords(events),
        "4 or more note lengths": len(note_lengths(events)) >= 4,
    }
    missing = [name for name, ok in need.items() if not ok]
    if missing:
        raise Mismatch(f"the piece lacks: {', '.join(missing)}")


def banked_programs(data):
    channels = set()
    for i in range(2, len(data)):
        a, b, c = data[i - 2], data[i - 1], data[i]
        if c[0] >> 4 == 0xC and a[:2] == bytes([0xB0 | c[0] & 15, 0]) and \
                b[:2] == bytes([0xB0 | c[0] & 15, 32]):
            channels.add(c[0] & 15)
    return channels


def bend_range_first(data):
    rpn = [bytes([0x65, 0]), bytes([0x64, 0]), bytes([0x06, 2])]
    for i, d in enumerate(data):
        if d[0] >> 4 == 0xE:
            channel = 0xB0 | d[0] & 15
            return any([x[0] for x in data[j:j + 3]] == [channel] * 3 and
                       [x[1:] for x in data[j:j + 3]] == rpn for j in range(i))
    return False


def chords(events):
    onsets = collections.Counter((t, d[0]) for t, d in events if d[0] >> 4 == 9 and d[2] > 0)
    return any(count >= 3 for count in onsets.values())


def note_lengths(events):
    sounding, lengths = {}, set()
    for tick, d in events:
        key = (d[0] & 15, d[1]) if d[0] >> 4 in (8, 9) else None
        if key is None:
            continue
        if d[0] >> 4 == 9 and d[2] > 0:
            sounding[key] = tick
        elif key in sounding:
            lengths.add(tick - sounding.pop(key))
    return lengths


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--reader", choices=sorted(READERS), required=True)
    parser.add_argument("--dump", help="the smf_dump program (libsmf)")
    song = parser.add_mutually_exclusive_group(required=True)
    song.add_argument("--song", help="the example host, run here with OUT/song.mid")
    song.add_argument("--printed", help="what the example host printed when it ran elsewhere "
                      "(under Wine) with OUT/song.mid")
    parser.add_argument("--out", required=True)
    args = parser.parse_args()
    try:
        if args.printed:
            with open(args.printed, encoding="utf-8", errors="replace") as printed:
                paths, stdout = song_paths(args.out), printed.read()
        else:
            paths, stdout = run_song(args.song, args.out)
        decoded = []
        for path in paths:
            division, events = READERS[args.reader](path, args.dump)
            check_counts(path, stdout, events)
            decoded.append((division, without_end_of_track(path, events)))
        if decoded[0] != decoded[1]:
            raise Mismatch("the copy's file holds other events than the original's")
        check_content(decoded[0][1])
        seconds = mido.MidiFile(paths[0]).length
        if not 28.0 <= seconds <= 32.0:
            raise Mismatch(f"the piece plays {seconds:.2f} s, not about 30")
    except Mismatch as error:
        print(f"FAIL {error}")
        return 1
    print(f"{args.reader}: both files read back, {len(decoded[0][1])} events each, "
          f"{seconds:.2f} s")
    return 0


if __name__ == "__main__":
    sys.exit(main())
