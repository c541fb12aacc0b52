#!/usr/bin/python3
"""The song's build and image, and its floor, one of each per fresh process.

    bench/fresh_runs.py [--runs N] NAME=PROGRAM [NAME=PROGRAM ...]

PROGRAM is an xemidi_heap_per_event (bench/CMakeLists.txt), for instance
old=../old/build/bench/bench/xemidi_heap_per_event new=build/bench/bench/...
Each round starts every program once with `song` and once with
`song-floor`, in turn, so that the programs share the machine's drift;
then it prints, per program, the median and range of the N runs (wall
seconds, fresh pages) and of the ratio of song to floor within a round.
"""
import argparse
import statistics
import subprocess


def run(program, mode):
    out = subprocess.run([program, mode], check=True, capture_output=True, text=True).stdout
    return {k: float(v) for k, v in (f.split("=") for f in out.split())}


def spread(values, scale=1.0, form="{:.2f}"):
    values = [v * scale for v in values]
    return (form.format(statistics.median(values)) + " (" + form.format(min(values)) + " to "
            + form.format(max(values)) + ")")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--runs", type=int, default=15)
    parser.add_argument("programs", nargs="+", metavar="NAME=PROGRAM")
    args = parser.parse_args()
    programs = [p.split("=", 1) for p in args.programs]
    results = {name: {"song": [], "song-floor": []} for name, _ in programs}
    for _ in range(args.runs):
        for name, program in programs:
            for mode in ("song", "song-floor"):
                results[name][mode].append(run(program, mode))
    print(f"{args.runs} rounds; ms, median (range); pages")
    for name, _ in programs:
        song, floor = results[name]["song"], results[name]["song-floor"]
        ratios = [s["seconds"] / f["seconds"] for s, f in zip(song, floor)]
        print(f"{name:>8} song  {spread([s['seconds'] for s in song], 1e3)} ms,"
              f" build {spread([s['build_seconds'] for s in song], 1e3)} ms,"
              f" pages {spread([s['faults'] for s in song], form='{:.0f}')},"
              f" build {spread([s['build_faults'] for s in song], form='{:.0f}')}")
        print(f"{name:>8} floor {spread([f['seconds'] for f in floor], 1e3)} ms,"
              f" pages {spread([f['faults'] for f in floor], form='{:.0f}')}")
        print(f"{name:>8} song / floor in a round {spread(ratios)}")


if __name__ == "__main__":
    main()
