#!/usr/bin/python3
"""Build-and-image time against the number of events, for xemidi and every
library that bench/compare.py drives, drawn log-log into a PNG: a library
that grows linearly climbs one decade of time per decade of events, a
quadratic one two.

  bench/chart.py [--build build/bench] [--out docs/build_and_image.png]
                 [--counts 10000,20000,...] [--repeat 3] [--budget 60]

Each count runs compare.py once per library (time order, the same events
for all), best of --repeat runs. A library whose last time, grown as the
square of the count, would pass --budget seconds at the next count is not
run again: the chart shows where it was measured, and the table says where
it stopped. The points go to a JSON file beside the PNG. The chart needs
Debian's python3-matplotlib; without it the script says so and writes the
table and the JSON only.

  bench/chart.py --from-js RESULTS.json [--out docs/js_build_and_image.png]

draws instead the points that bench/js/compare.mjs --json wrote (the
JavaScript package, its peers and the C library's calls), measuring nothing.
"""

import argparse
import json
import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
LIBRARIES = ["xemidi", "libsmf", "portsmf", "mido", "midiutil", "xemidi-python",
             "xemidi-python-batch"]
# How the chart names a line, where not by its library's name.
LABELS = {"xemidi-python": "xemidi-python, midi() per event",
          "xemidi-python-batch": "xemidi-python, one insert_midi()"}
COUNTS = [10000, 20000, 50000, 100000, 200000, 500000, 1000000]


def measure(build, count, library, repeat):
    with tempfile.TemporaryDirectory() as work:
        out = os.path.join(work, "result.json")
        subprocess.run([sys.executable, os.path.join(HERE, "compare.py"), "--count", str(count),
                        "--repeat", str(repeat), "--build", build, "--libraries", library,
                        "--json", out, "--out", work],
                       check=True, stdout=subprocess.DEVNULL)
        with open(out) as f:
            result = json.load(f)["results"][0]
    if result["check"] != "same notes and controllers":
        raise SystemExit(f"{library} at {count} events: {result['check']}")
    return result["build"] + result["write"]


def collect(args):
    times = {library: {} for library in LIBRARIES}
    for library in LIBRARIES:
        previous = None
        for count in args.counts:
            if previous is not None:
                last_count, last_time = previous
                if last_time * (count / last_count) ** 2 > args.budget:
                    break
            seconds = measure(args.build, count, library, args.repeat)
            times[library][count] = seconds
            previous = (count, seconds)
            print(f"{library:14} {count:>9,} events: {seconds:.4f} s", flush=True)
    return times


def table(times, counts):
    lines = ["| events | " + " | ".join(LIBRARIES) + " |",
             "|---:|" + "---:|" * len(LIBRARIES)]
    for count in counts:
        cells = [f"{times[lib][count]:.4g} s" if count in times[lib] else "not run"
                 for lib in LIBRARIES]
        lines.append(f"| {count:,} | " + " | ".join(cells) + " |")
    return "\n".join(lines)


def draw(times, path, libraries=LIBRARIES, unit="events (time order, 16 channels)",
         title="Building a format-0 file of N events and taking its image"):
    try:
        import matplotlib
        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
    except ImportError:
        print("python3-matplotlib is missing (apt-get install python3-matplotlib): no chart drawn")
        return False
    figure, axes = plt.subplots(figsize=(8, 5.5))
    for library in libraries:
        points = sorted(times[library].items())
        if points:
            axes.plot([c for c, _ in points], [t for _, t in points], marker="o",
                      label=LABELS.get(library, library))
    axes.set_xscale("log")
    axes.set_yscale("log")
    axes.set_xlabel(unit)
    axes.set_ylabel("build and image, seconds (best of the runs)")
    axes.set_title(title)
    axes.grid(True, which="both", alpha=0.3)
    axes.legend()
    figure.tight_layout()
    figure.savefig(path, dpi=110)
    return True


def draw_js(results, out):
    """The chart of bench/js/compare.mjs's points: build and image against
    the number of events, for every library it ran."""
    with open(results) as f:
        measured = json.load(f)
    times = {library: {point["events"]: point["build"] + point["image"]
                       for point in by_count.values() if "build" in point}
             for library, by_count in measured["results"].items()}
    workload = {"w1": "the benchmarks' song", "quarters": "quarter notes at 480 ticks"}
    drawn = draw(times, out, list(times), f"events ({workload[measured['workload']]})",
                 "JavaScript: building a format-0 file of N events and taking its image")
    if drawn:
        print(f"chart: {out}")
    return 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default="build/bench")
    parser.add_argument("--out", default="docs/build_and_image.png")
    parser.add_argument("--counts", default=",".join(str(c) for c in COUNTS))
    parser.add_argument("--repeat", type=int, default=3)
    parser.add_argument("--budget", type=float, default=60.0)
    parser.add_argument("--from-js", default=None)
    args = parser.parse_args()
    if args.from_js:
        return draw_js(args.from_js, args.out)
    args.counts = [int(c) for c in args.counts.split(",")]
    times = collect(args)
    with open(os.path.splitext(args.out)[0] + ".json", "w") as f:
        json.dump({lib: {str(c): t for c, t in points.items()} for lib, points in times.items()},
                  f, indent=1)
    print(table(times, args.counts))
    if draw(times, args.out):
        print(f"chart: {args.out}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
