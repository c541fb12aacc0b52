#!/usr/bin/python3
"""Checks the random files that xemidi_random_files wrote with an independent
reader: each random_N.mid and random_N-copy.mid must hold exactly the events
of random_N.events, at their ticks, in that order, then one end of track;
each format-1 random_tracks_K.mid must hold, in its track j, exactly the
events of the j-th random_N that random_tracks_K.tracks names.

  check_events.py --reader mido DIR
  check_events.py --reader libsmf --dump smf_dump DIR
  check_events.py --reader mido --tie-order first-inserted-first DIR

The last form models the opposite order of events at one tick; the files
must then fail the check (the random files put many events on one tick).
"""

import argparse
import glob
import os
import sys

from midi_readers import READERS, TRACK_READERS, Mismatch, describe, without_end_of_track


def read_expected(path, tie_order):
    with open(path, encoding="ascii") as lines:
        division = int(next(lines).split()[1])
        rows = [line.split() for line in lines]
    events = [((int(r[0]), bytes.fromhex(r[1])), f"call {r[2]} {r[3]}") for r in rows]
    if tie_order == "first-inserted-first":
        events = reorder_ties(events)
    return division, events


def reorder_ties(events):
    """Reverses every run of events at one tick."""
    result, run = [], []
    for event in events + [((None, b""), "")]:
        if run and event[0][0] != run[0][0][0]:
            result.extend(reversed(run))
            run = []
        run.append(event)
    return result


def compare(path, expected, read):
    division, events = read
    if division != expected[0]:
        raise Mismatch(f"{path}: division {division}, expected {expected[0]}")
    events = without_end_of_track(path, events)
    for index, ((event, origin), actual) in enumerate(zip(expected[1], events)):
        if event != actual:
            raise Mismatch(f"{path}: event {index}: expected {describe(event)} ({origin}), "
                           f"read {describe(actual)}")
    if len(events) != len(expected[1]):
        raise Mismatch(f"{path}: {len(events)} events read, {len(expected[1])} expected")
    return len(events)


def compare_tracks(path, listed, tie_order, read_tracks, dump):
    """The format-1 file at path against the lists of the files of its tracks."""
    with open(listed, encoding="ascii") as lines:
        stems = [os.path.join(os.path.dirname(path), line.strip()) for line in lines]
    expected = [read_expected(stem + ".events", tie_order) for stem in stems]
    file_format, division, tracks = read_tracks(path, dump)
    if file_format != 1 or len(tracks) != len(stems):
        raise Mismatch(f"{path}: format {file_format} with {len(tracks)} tracks, "
                       f"expected format 1 with {len(stems)}")
    events = 0
    for number, (want, track) in enumerate(zip(expected, tracks)):
        events += compare(f"{path} track {number}", want, (division, track))
    return events


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--reader", choices=sorted(READERS), required=True)
    parser.add_argument("--dump", help="the smf_dump program (libsmf)")
    parser.add_argument("--tie-order", default="last-inserted-first",
                        choices=["last-inserted-first", "first-inserted-first"])
    parser.add_argument("dir")
    args = parser.parse_args()
    read = READERS[args.reader]
    lists = sorted(glob.glob(os.path.join(args.dir, "random_*.events")))
    if not lists:
        print(f"no random files in {args.dir}")
        return 1
    files = events = 0
    try:
        for listed in lists:
            expected = read_expected(listed, args.tie_order)
            stem = listed[: -len(".events")]
            for path in (stem + ".mid", stem + "-copy.mid"):
                events += compare(path, expected, read(path, args.dump))
                files += 1
        for listed in sorted(glob.glob(os.path.join(args.dir, "random_tracks_*.tracks"))):
            path = listed[: -len(".tracks")] + ".mid"
            events += compare_tracks(path, listed, args.tie_order, TRACK_READERS[args.reader],
                                     args.dump)
            files += 1
    except Mismatch as error:
        print(f"FAIL {error}")
        return 1
    print(f"{args.reader}: {files} files, {events} events, all as inserted")
    return 0


if __name__ == "__main__":
    sys.exit(main())
