#!/usr/bin/python3
"""Checks the random files that xemidi_random_files wrote with an independent
reader: each random_N.mid and random_N-copy.mid must hold exactly the events
of random_N.events, at their ticks, in that order, then one end of track.

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

from midi_readers import READERS, Mismatch, describe, without_end_of_track


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
    except Mismatch as error:
        print(f"FAIL {error}")
        return 1
    print(f"{args.reader}: {files} files, {events} events, all as inserted")
    return 0


if __name__ == "__main__":
    sys.exit(main())
