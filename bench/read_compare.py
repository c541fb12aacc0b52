#!/usr/bin/python3
"""Reading a file: xemidi against its peers, in C and in Python, in one run.

    python3 bench/read_compare.py [--events 637500] [--repeat 5] [--c-repeat 20] [--build build/bench]

C (bench/peers/read_main.cpp, xemidi_read_peers): ReadSmf, libsmf's
smf_load_from_memory, portsmf's Alg_seq from a stream and a bare decoding
loop over the same bytes, each reading the file and freeing what it made.
Python, on the same file in memory: xemidi.read(data) against
mido.MidiFile(file=BytesIO(data)); then going over the events of what each
read: list(smf.events()) (the compiled path, and the pure one) against
mido three ways, each timed apart:
    for m in midifile          mido's merged messages, times in seconds
    for m in track             the track's message objects, nothing taken
    for m in track: (tick, m.bytes())   the same (tick, bytes) pairs as events()
The fastest of --repeat runs counts, of --c-repeat for the C readers, whose
runs take milliseconds (libsmf runs once: it takes minutes).
"""

import argparse
import io
import json
import os
import subprocess
import sys
import tempfile
import time
from pathlib import Path


def fastest(repeat, run):
    best = float("inf")
    for _ in range(repeat):
        start = time.perf_counter()
        run()
        best = min(best, time.perf_counter() - start)
    return best


def native_rows(build, events, repeat, path):
    program = os.path.join(build, "bench", "xemidi_read_peers")
    run = subprocess.run([program, str(events), str(repeat), path], capture_output=True,
                         text=True, check=True)
    return {row["reader"]: row["seconds"] for row in map(json.loads, run.stdout.splitlines())}


def compiled_module():
    """The package's compiled module, built by its build backend into a
    temporary folder; None where it cannot be built here."""
    import build_xemidi
    return build_xemidi.load_extension(Path(tempfile.mkdtemp(prefix="xemidi-cbatch-")))


def python_rows(build, path, repeat):
    sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "python"))
    import mido
    import xemidi
    from xemidi import _accelerator
    xemidi.load(os.path.join(build, "libxemidi.so"))
    _accelerator.MODULE = compiled_module()
    with open(path, "rb") as f:
        data = f.read()
    rows = {"xemidi.read": fastest(repeat, lambda: xemidi.read(data).close()),
            "mido.MidiFile": fastest(repeat, lambda: mido.MidiFile(file=io.BytesIO(data)))}
    smf = xemidi.read(data)
    midi = mido.MidiFile(file=io.BytesIO(data))
    track = midi.tracks[0]
    rows["events() compiled"] = fastest(repeat, lambda: list(smf.events()))
    module, _accelerator.MODULE = _accelerator.MODULE, None
    rows["events() pure"] = fastest(repeat, lambda: list(smf.events()))
    _accelerator.MODULE = module

    def merged():
        for _ in midi:
            pass

    def messages():
        for _ in track:
            pass

    def pairs():
        tick = 0
        out = []
        for message in track:
            tick += message.time
            out.append((tick, message.bytes()))

    rows["for m in midifile"] = fastest(repeat, merged)
    rows["for m in track"] = fastest(repeat, messages)
    rows["for m in track: (tick, m.bytes())"] = fastest(repeat, pairs)
    rows["compiled"] = module is not None
    return rows


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--events", type=int, default=637500)
    parser.add_argument("--repeat", type=int, default=5)
    parser.add_argument("--c-repeat", type=int, default=20)
    parser.add_argument("--build", default="build/bench")
    args = parser.parse_args()
    path = os.path.join(tempfile.mkdtemp(prefix="xemidi-read-"), "read.mid")
    c = native_rows(args.build, args.events, args.c_repeat, path)
    py = python_rows(args.build, path, args.repeat)
    print(f"{args.events} events, format 0, {os.path.getsize(path)} bytes; fastest of "
          f"{args.c_repeat} in C (libsmf: 1), of {args.repeat} in Python\n")
    print("| C reader | ms | xemidi is |\n|---|---|---|")
    for name in ("xemidi", "bare loop", "libsmf", "portsmf"):
        ratio = c[name] / c["xemidi"]
        shown = f"{ratio:.1f}x faster" if ratio >= 1 else f"{1 / ratio:.2f}x slower"
        print(f"| {name} | {c[name] * 1e3:.2f} | {'-' if name == 'xemidi' else shown} |")
    print(f"\n| Python | ms | xemidi is |\n|---|---|---|")
    print(f"| xemidi.read | {py['xemidi.read'] * 1e3:.1f} | - |")
    print(f"| mido.MidiFile | {py['mido.MidiFile'] * 1e3:.1f} | "
          f"{py['mido.MidiFile'] / py['xemidi.read']:.0f}x faster |")
    base = py["events() compiled"] if py["compiled"] else py["events() pure"]
    for name in ("events() compiled", "events() pure", "for m in midifile", "for m in track",
                 "for m in track: (tick, m.bytes())"):
        ratio = py[name] / base
        shown = f"{ratio:.1f}x faster" if ratio >= 1 else f"{1 / ratio:.1f}x slower"
        print(f"| {name} | {py[name] * 1e3:.1f} | {shown if name != 'events() compiled' else '-'} |")
    checks = [("C: 10x libsmf", c["libsmf"] >= 10 * c["xemidi"]),
              ("C: 10x portsmf", c["portsmf"] >= 10 * c["xemidi"]),
              ("C: within 3x of the bare loop", c["xemidi"] <= 3 * c["bare loop"]),
              ("Python: read 50x mido.MidiFile", py["mido.MidiFile"] >= 50 * py["xemidi.read"])]
    print()
    for name, met in checks:
        print(f"{'met' if met else 'MISSED'}: {name}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
