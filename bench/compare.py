#!/usr/bin/python3
"""Runs one event list through xemidi and the peer MIDI libraries from Debian,
in one run, and prints events per second for two phases:

  build  an object (or sequence) of all events, in time order, or with
         --order random in a random order (the same for every library)
  image  the Standard MIDI File of the built object, in memory

The native libraries (xemidi, libsmf, portsmf) run inside bench's
xemidi_peers program, which times each phase with steady_clock; mido, MIDIUtil
and xemidi's Python binding (python/xemidi, over the library of the build
folder) run here, timed with time.perf_counter. Process start-up is never
timed. Each output is read back with mido and must hold the same notes and
controllers at the same times (in beats) as the list.

  bench/compare.py [--count 600000] [--repeat 10] [--build build/bench] [--order random]
                   [--libraries xemidi,libsmf,...] [--json results.json]

--libraries runs only the named ones (xemidi, libsmf, portsmf, mido,
midiutil, xemidi-python, xemidi-python-batch, xemidi-batch) and prints their
table alone; --json also writes the results, one object per library
(bench/chart.py uses both).

xemidi-python calls midi() once per event; xemidi-python-batch gives the
same events to one insert_midi, its lists of ticks and messages made in the
timed build as xemidi-python makes each message, through the compiled
module built here from python/xemidi/_cbatch.c.

In random order each library is given the events as it takes them best:
mido builds its track from the list sorted by tick (Python's sort), MIDIUtil
takes the paired notes shuffled and sorts them when it writes, libsmf and
portsmf insert each event where it goes, and xemidi takes every event as it
comes. Since the libraries sort in different phases, the verdict compares
build and image together.

libsmf writes only to a named file, so its image phase includes writing a
file; it goes to a RAM disk (/dev/shm) when there is one.

The binding's batch inserters get rows of their own: the paired notes go in
with one insert_notes, then the controllers with one insert_midi, from
lists (xemidi-batch-lists) and from array.array (xemidi-batch-array), through
the compiled module built here from python/xemidi/_cbatch.c. Beside them the
same calls one by one, note() then control() (xemidi-python-calls), and in C
(xemidi-c-calls, bench's xemidi_batch_calls: cal_insert_Note, then
InsertMidiEvent).
"""

import argparse
import array
import collections
import ctypes
import io
import json
import os
import random
import struct
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import mido
from midiutil import MIDIFile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "python"))
import xemidi  # noqa: E402  the binding, from the repository
import xemidi._accelerator  # noqa: E402

DIVISION = 480
NATIVE = ["xemidi", "libsmf", "portsmf"]  # run by bench/peers (xemidi_peers)
LIBRARIES = NATIVE + ["mido", "midiutil", "xemidi-python", "xemidi-python-batch",
                      "xemidi-batch"]  # batch: its four rows
BUDGET_SECONDS = 20.0  # a library's repeats stop once its runs took this long


def load_events(path):
    with open(path, "rb") as f:
        data = f.read()
    return [(tick, s, a, b) for tick, s, a, b, _ in struct.iter_unpack("<I4B", data)]


def pair_notes(events):
    """Notes with durations, and controllers, in start order (untimed)."""
    items, open_notes = [], {}
    for tick, s, a, b in events:
        kind, channel = s >> 4, s & 15
        if kind == 9:
            open_notes[(channel, a)] = len(items)
            items.append(["note", tick, channel, a, b, 0])
        elif kind == 8:
            item = items[open_notes.pop((channel, a))]
            item[5] = tick - item[1]
        else:
            items.append(["control", tick, channel, a, b, 0])
    return items


def build_mido(events):
    midi = mido.MidiFile(type=0, ticks_per_beat=DIVISION)
    track = mido.MidiTrack()
    midi.tracks.append(track)
    previous = 0
    for tick, s, a, b in events:
        kind, channel, delta = s >> 4, s & 15, tick - previous
        if kind == 9:
            track.append(mido.Message("note_on", channel=channel, note=a, velocity=b, time=delta))
        elif kind == 8:
            track.append(mido.Message("note_off", channel=channel, note=a, velocity=b, time=delta))
        else:
            track.append(mido.Message("control_change", channel=channel, control=a, value=b,
                                      time=delta))
        previous = tick
    return midi


def image_mido(midi):
    out = io.BytesIO()
    midi.save(file=out)
    return out.getvalue()


def build_midiutil(items):
    midi = MIDIFile(1, removeDuplicates=False, deinterleave=False, file_format=1,
                    ticks_per_quarternote=DIVISION, eventtime_is_ticks=True)
    for kind, tick, channel, a, b, duration in items:
        if kind == "note":
            midi.addNote(0, channel, a, tick, duration, b)
        else:
            midi.addControllerEvent(0, channel, tick, a, b)
    return midi


def image_midiutil(midi):
    out = io.BytesIO()
    midi.writeFile(out)
    return out.getvalue()


def build_binding(events):
    smf = xemidi.Smf(DIVISION)
    insert = smf.midi
    for tick, s, a, b in events:
        insert(tick, bytes((s, a, b)))
    return smf


def build_binding_batch(events):
    """The events of build_binding in one insert_midi, its two lists made
    here from the same events."""
    smf = xemidi.Smf(DIVISION)
    smf.insert_midi([event[0] for event in events], [bytes(event[1:]) for event in events])
    return smf


def image_binding(smf):
    return smf.data()


def batch_sources(items):
    """The paired notes as five columns (tick, channel, key, velocity,
    duration) and the controllers as ticks and 3-byte messages, as lists and
    with the columns as array.array (untimed preparation)."""
    notes = [item[1:] for item in items if item[0] == "note"]
    controls = [item for item in items if item[0] == "control"]
    columns = [list(column) for column in zip(*notes)] if notes else [[]] * 5
    ticks = [tick for _, tick, _, _, _, _ in controls]
    messages = [bytes((0xB0 | c, a, b)) for _, _, c, a, b, _ in controls]
    arrays = [array.array("I" if i == 0 else "i", column) for i, column in enumerate(columns)]
    return (columns, ticks, messages), (arrays, array.array("I", ticks), messages)


def build_batch(source):
    columns, ticks, messages = source
    smf = xemidi.Smf(DIVISION)
    smf.insert_notes(*columns)
    smf.insert_midi(ticks, messages)
    return smf


def build_binding_calls(items):
    """The calls of build_batch one by one: every note(), then every control()."""
    smf = xemidi.Smf(DIVISION)
    note, control = smf.note, smf.control
    for kind, tick, channel, a, b, duration in items:
        if kind == "note":
            note(tick, channel, a, b, duration)
    for kind, tick, channel, a, b, duration in items:
        if kind == "control":
            control(tick, channel, a, b)
    return smf


def use_compiled_module():
    """The batch inserters' compiled module, built by the package's build
    backend into a temporary folder; False, with the pure loops, when it
    cannot be built here."""
    import build_xemidi
    module = build_xemidi.load_extension(Path(tempfile.mkdtemp(prefix="xemidi-cbatch-")))
    if module is None:
        return False
    xemidi._accelerator.MODULE = module
    return True


def time_c_calls(program, items, repeat, out_dir):
    notes = b"".join(struct.pack("<IiBBBx", tick, duration, channel, key, velocity)
                     for kind, tick, channel, key, velocity, duration in items if kind == "note")
    controls = b"".join(struct.pack("<IBBBx", tick, 0xB0 | channel, a, b)
                        for kind, tick, channel, a, b, _ in items if kind == "control")
    paths = [os.path.join(out_dir, name) for name in ("notes.bin", "controls.bin")]
    for path, data in zip(paths, (notes, controls)):
        with open(path, "wb") as f:
            f.write(data)
    out = os.path.join(out_dir, "xemidi-c-calls.mid")
    run = subprocess.run([program, *paths, str(repeat), out], capture_output=True, text=True,
                         check=True)
    return json.loads(run.stdout)


def batch_verdicts(results, compiled):
    total = {r["peer"]: r["build"] + r["write"] for r in results}
    lists, arrays = total["xemidi-batch-lists"], total["xemidi-batch-array"]
    calls, mido_time, native = total["xemidi-python-calls"], total["mido"], total["xemidi-c-calls"]

    def verdict(met):
        return "met" if met else "NOT met"

    return "\n".join([
        f"batch inserters ({'compiled' if compiled else 'PURE PYTHON: no compiled module'}), "
        "build and image:",
        f"  from lists {lists:.4f} s: {calls / lists:.1f}x the per-call binding ({calls:.4f} s; "
        f"target 10x: {verdict(calls / lists >= 10)}), {mido_time / lists:.1f}x mido "
        f"({mido_time:.4f} s; target 50x: {verdict(mido_time / lists >= 50)})",
        f"  from array.array {arrays:.4f} s: {arrays / native:.2f} times the C library's own "
        f"calls ({native:.4f} s; target at most 2: {verdict(arrays / native <= 2)})",
    ])


def keep_freed_memory():
    """As xemidi_peers does in its process: freed memory stays in this one
    too (glibc's mallopt), so that the Python libraries' later runs also
    reuse a warm heap instead of taking fresh pages from the system."""
    libc = ctypes.CDLL(None)
    if hasattr(libc, "mallopt"):
        libc.mallopt(-1, 1 << 30)  # M_TRIM_THRESHOLD
        libc.mallopt(-3, 32 << 20)  # M_MMAP_THRESHOLD


def time_python(name, build, image, source, repeat, out_dir):
    best, first, started = None, None, time.perf_counter()
    for i in range(repeat):
        if i > 0 and time.perf_counter() - started > BUDGET_SECONDS:
            break
        t0 = time.perf_counter()
        built = build(source)
        t1 = time.perf_counter()
        data = image(built)
        t2 = time.perf_counter()
        run = (t1 - t0, t2 - t1)
        first = first or run
        best = run if best is None else (min(best[0], run[0]), min(best[1], run[1]))
        del built
    path = os.path.join(out_dir, name + ".mid")
    with open(path, "wb") as f:
        f.write(data)
    return {"peer": name, "build": best[0], "write": best[1], "first_build": first[0],
            "first_write": first[1], "bytes": len(data)}


def normalized(tick, data, division):
    """(tick at 480 per beat, kind, channel, key or controller, value). A
    file of another division (portsmf always writes 600 per beat) may be off
    by its own rounding, half of one of its ticks; None when farther."""
    beat_tick = tick * DIVISION / division
    rounded = round(beat_tick)
    if abs(beat_tick - rounded) > 0.5 * DIVISION / division + 1e-9:
        return None
    kind, channel = data[0] >> 4, data[0] & 15
    if kind == 8 or (kind == 9 and data[2] == 0):
        return (rounded, "off", channel, data[1], 0)
    if kind == 9:
        return (rounded, "on", channel, data[1], data[2])
    if kind == 0xB:
        return (rounded, "control", channel, data[1], data[2])
    return (rounded, "other", channel, data[1], data[2] if len(data) > 2 else 0)


def expected_multiset(events):
    return collections.Counter(normalized(t, bytes([s, a, b]), DIVISION) for t, s, a, b in events)


def read_back(path):
    """The channel messages of a file, merged over its tracks, with mido."""
    midi = mido.MidiFile(path)
    found, tick = collections.Counter(), 0
    for message in mido.merge_tracks(midi.tracks):
        tick += message.time
        if not message.is_meta and message.type != "sysex":
            found[normalized(tick, message.bytes(), midi.ticks_per_beat)] += 1
    return found


def verify(path, expected):
    found = read_back(path)
    if found == expected:
        return "same notes and controllers"
    missing, extra = expected - found, found - expected
    return (f"DIFFERS: {sum(missing.values())} missing, e.g. {list(missing)[:2]}; "
            f"{sum(extra.values())} extra, e.g. {list(extra)[:2]}")


def table(results, count):
    peers = [r for r in results if not r["peer"].startswith("xemidi")]
    fastest = {p: min(r[p] for r in peers) for p in ("build", "write")}
    lines = ["| library | build s | build events/s | vs fastest peer "
             "| image s | image events/s | vs fastest peer | check |",
             "|---|---:|---:|---:|---:|---:|---:|---|"]
    for r in results:
        cells = [r["peer"]]
        for phase in ("build", "write"):
            cells += [f"{r[phase]:.4f}", f"{count / r[phase]:,.0f}",
                      f"{fastest[phase] / r[phase]:.2f}x"]
        lines.append("| " + " | ".join(cells + [r["check"]]) + " |")
    return "\n".join(lines), fastest


def random_verdicts(results, count):
    """Random order: build and image together, since the libraries sort in
    different phases."""
    total = {r["peer"]: r["build"] + r["write"] for r in results}
    peers = {name: t for name, t in total.items() if not name.startswith("xemidi")}
    fastest = min(peers, key=peers.get)
    ratio = peers[fastest] / total["xemidi"]
    return "\n".join([
        f"random order, build and image: xemidi {total['xemidi']:.4f} s, the fastest peer "
        f"({fastest}) {peers[fastest]:.4f} s: {ratio:.2f}x (target 10x): "
        f"{'met' if ratio >= 10 else 'NOT met'}",
        f"xemidi-python build and image: {total['xemidi-python']:.4f} s",
    ])


def verdicts(results, fastest, count):
    ours = next(r for r in results if r["peer"] == "xemidi")
    binding = next(r for r in results if r["peer"] == "xemidi-python")
    batch = next(r for r in results if r["peer"] == "xemidi-python-batch")
    python_peers = {r["peer"]: r for r in results if r["peer"] in ("mido", "midiutil")}
    build, image = fastest["build"] / ours["build"], fastest["write"] / ours["write"]
    lines = [
        f"build in time order: {build:.2f}x the fastest peer (target 2.5x): "
        f"{'met' if build >= 2.5 else 'NOT met'}",
        f"image of a built object: {image:.2f}x the fastest peer (target 10x): "
        f"{'met' if image >= 10 else 'NOT met'}",
        f"xemidi first run (fresh heap): build {ours['first_build']:.4f} s, "
        f"image {ours['first_write']:.4f} s",
        f"xemidi memory: {ours['heap_bytes'] / count:.1f} heap bytes per stored 3-byte event "
        f"(in use after the build), resident set grew {ours['max_rss_growth_kib'] * 1024 / count:.1f}"
        " bytes per event",
        f"xemidi-python build: {binding['build']:.4f} s, "
        + ", ".join(f"{r['build'] / binding['build']:.2f}x as fast as {name} ({r['build']:.4f} s)"
                    for name, r in python_peers.items()),
        f"xemidi-python-batch build: {batch['build']:.4f} s, "
        f"{binding['build'] / batch['build']:.2f}x as fast as midi() per event, "
        + ", ".join(f"{r['build'] / batch['build']:.2f}x as fast as {name}"
                    for name, r in python_peers.items()),
    ]
    return "\n".join(lines)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--count", type=int, default=600000)
    parser.add_argument("--repeat", type=int, default=10)
    parser.add_argument("--build", default="build/bench")
    parser.add_argument("--out", default=None)
    parser.add_argument("--order", choices=["time", "random"], default="time")
    parser.add_argument("--libraries", default=",".join(LIBRARIES))
    parser.add_argument("--json", default=None)
    args = parser.parse_args()
    keep_freed_memory()
    chosen = args.libraries.split(",")
    unknown = [name for name in chosen if name not in LIBRARIES]
    if unknown:
        parser.error(f"unknown libraries: {', '.join(unknown)}")
    ram = "/dev/shm" if os.path.isdir("/dev/shm") else None
    out_dir = args.out or tempfile.mkdtemp(prefix="xemidi-compare-", dir=ram)
    os.makedirs(out_dir, exist_ok=True)

    program = os.path.join(args.build, "bench", "xemidi_peers")
    natives = [name for name in NATIVE if name in chosen]
    # The native program writes the event list even when it runs no library.
    native = subprocess.run([program, str(args.count), str(args.repeat), out_dir, args.order,
                             ",".join(natives) or "none"],
                            capture_output=True, text=True, check=True)
    results = [json.loads(line) for line in native.stdout.splitlines()]
    events = load_events(os.path.join(out_dir, "events.bin"))  # in the order of insertion
    in_time_order = sorted(events, key=lambda event: event[0])
    notes = pair_notes(in_time_order)
    if args.order == "random":
        random.Random(3).shuffle(notes)
        mido_build = lambda shuffled: build_mido(sorted(shuffled, key=lambda e: e[0]))  # noqa: E731
    else:
        mido_build = build_mido
    if "mido" in chosen:
        results.append(time_python("mido", mido_build, image_mido, events, args.repeat, out_dir))
    if "midiutil" in chosen:
        results.append(time_python("midiutil", build_midiutil, image_midiutil, notes,
                                   args.repeat, out_dir))
    binding = {"xemidi-python", "xemidi-python-batch", "xemidi-batch"} & set(chosen)
    if binding:
        xemidi.load(os.path.join(args.build, "libxemidi.so"))
    compiled = use_compiled_module() if binding - {"xemidi-python"} else None
    if "xemidi-python" in chosen:
        results.append(time_python("xemidi-python", build_binding, image_binding, events,
                                   args.repeat, out_dir))
    if "xemidi-python-batch" in chosen:
        results.append(time_python("xemidi-python-batch", build_binding_batch, image_binding,
                                   events, args.repeat, out_dir))
    if "xemidi-batch" in chosen:
        lists, arrays = batch_sources(notes)
        for name, build, source in (("xemidi-python-calls", build_binding_calls, notes),
                                    ("xemidi-batch-lists", build_batch, lists),
                                    ("xemidi-batch-array", build_batch, arrays)):
            results.append(time_python(name, build, image_binding, source, args.repeat,
                                       out_dir))
        program = os.path.join(args.build, "bench", "xemidi_batch_calls")
        results.append(time_c_calls(program, notes, args.repeat, out_dir))

    expected = expected_multiset(events)
    for r in results:
        r["check"] = verify(os.path.join(out_dir, r["peer"] + ".mid"), expected)
    if args.json:
        with open(args.json, "w") as f:
            json.dump({"count": args.count, "order": args.order, "results": results}, f, indent=1)
    print(f"{args.count} events, 16 channels, {args.order} order; files in {out_dir}\n")
    if set(chosen) == set(LIBRARIES):
        text, fastest = table(results, args.count)
        print(text + "\n")
        if args.order == "random":
            print(random_verdicts(results, args.count))
        else:
            print(verdicts(results, fastest, args.count))
    else:
        for r in results:
            print(f"{r['peer']}: build {r['build']:.4f} s, image {r['write']:.4f} s, {r['check']}")
    if "xemidi-batch" in chosen:
        print(batch_verdicts(results, compiled))
    return 0 if all(r["check"] == "same notes and controllers" for r in results) else 1


if __name__ == "__main__":
    sys.exit(main())
