#!/usr/bin/python3
"""The xemidi command, as a user runs it, checked against mido's reading of
the same files:

  cli_test.py COMMAND [--runner PROGRAM]

RUNNER (say wine64) starts COMMAND. Every run happens in a new folder, with
file names relative to it, as a Windows program under Wine needs them.
Exits 77 (skipped) without mido.
"""

import argparse
import os
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

try:
    import mido
except ImportError:
    mido = None

COMMAND, RUNNER = None, []


def chunk(tag, body):
    return tag + len(body).to_bytes(4, "big") + body


def header(file_format, tracks, division=480):
    return chunk(b"MThd", bytes([0, file_format, 0, tracks, division >> 8, division & 255]))


END = b"\x00\xff\x2f\x00"

# A format-1 file whose tracks share ticks: a tempo track, two instruments
# (the first with running status and a note-on of velocity 0 as its
# release, the second with a note-off), and a track of text and sysex.
TRACKS = [
    b"\x00\xff\x51\x03\x07\xa1\x20\x00\xff\x58\x04\x04\x02\x18\x08" + END,
    b"\x00\xc0\x00\x00\x90\x3c\x64\x83\x60\x3c\x00\x00\x3e\x64\x83\x60\x3e\x00" + END,
    b"\x00\xc1\x28\x00\x91\x43\x50\x83\x60\x81\x43\x40\x00\xb1\x07\x64" + END,
    b"\x00\xff\x01\x02hi\x83\x60\xf0\x03\x7e\x09\xf7\x00\xff\x05\x01a" + END,
]
FORMAT_1 = header(1, len(TRACKS)) + b"".join(chunk(b"MTrk", t) for t in TRACKS)


def run(*arguments, stdin=None, folder):
    return subprocess.run(RUNNER + [COMMAND, *arguments], cwd=folder, input=stdin,
                          capture_output=True, check=False, timeout=300)


def events_by_track(path):
    """mido's reading: per track, (tick, bytes) without the end of track."""
    tracks = []
    for track in mido.MidiFile(path).tracks:
        tick, events = 0, []
        for message in track:
            tick += message.time
            if message.type != "end_of_track":
                events.append((tick, bytes(message.bytes())))
        tracks.append(events)
    return tracks


def merged(tracks):
    """Every track's events in one, by tick; at a shared tick the events of
    an earlier track first, within a track in file order."""
    keyed = [(tick, number, index, data) for number, events in enumerate(tracks)
             for index, (tick, data) in enumerate(events)]
    return [(tick, data) for tick, _, _, data in sorted(keyed)]


class Command(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp()
        Path(self.folder, "in.mid").write_bytes(FORMAT_1)

    def tearDown(self):
        for name in os.listdir(self.folder):
            os.remove(os.path.join(self.folder, name))
        os.rmdir(self.folder)

    def path(self, name):
        return os.path.join(self.folder, name)

    def test_version_and_help(self):
        version = run("--version", folder=self.folder)
        self.assertEqual(version.returncode, 0)
        self.assertRegex(version.stdout.decode(), r"^xemidi \d+\.\d+\.\d+\.\d+\s*$")
        helped = run("--help", folder=self.folder)
        self.assertEqual(helped.returncode, 0)
        self.assertIn(b"xemidi convert IN OUT [--format 0|1]", helped.stdout)

    def test_wrong_command_lines_exit_2_with_the_usage(self):
        for arguments in [(), ("play", "in.mid"), ("convert", "in.mid"),
                          ("convert", "in.mid", "out.mid", "--format", "2"),
                          ("events",), ("events", "in.mid", "more")]:
            with self.subTest(arguments=arguments):
                done = run(*arguments, folder=self.folder)
                self.assertEqual(done.returncode, 2)
                self.assertIn(b"usage: xemidi convert", done.stderr)
                self.assertEqual(done.stdout, b"")
        self.assertFalse(os.path.exists(self.path("out.mid")))

    def test_format_1_to_0_merges_the_tracks_as_the_reader_does(self):
        done = run("convert", "in.mid", "zero.mid", folder=self.folder)
        self.assertEqual((done.returncode, done.stderr), (0, b""))
        self.assertEqual(mido.MidiFile(self.path("zero.mid")).type, 0)
        self.assertEqual(events_by_track(self.path("zero.mid")),
                         [merged(events_by_track(self.path("in.mid")))])

    def test_format_1_kept_and_0_to_1_and_back(self):
        self.assertEqual(run("convert", "in.mid", "one.mid", "--format", "1",
                             folder=self.folder).returncode, 0)
        self.assertEqual(mido.MidiFile(self.path("one.mid")).type, 1)
        self.assertEqual(events_by_track(self.path("one.mid")),
                         events_by_track(self.path("in.mid")))
        run("convert", "in.mid", "zero.mid", folder=self.folder)
        self.assertEqual(run("convert", "zero.mid", "zero-one.mid", "--format", "1",
                             folder=self.folder).returncode, 0)
        self.assertEqual(run("convert", "zero-one.mid", "again.mid", folder=self.folder)
                         .returncode, 0)
        # The library's own image reads back byte for byte.
        self.assertEqual(Path(self.path("again.mid")).read_bytes(),
                         Path(self.path("zero.mid")).read_bytes())

    def test_standard_input_and_output(self):
        piped = run("convert", "-", "-", stdin=FORMAT_1, folder=self.folder)
        self.assertEqual(piped.returncode, 0)
        run("convert", "in.mid", "zero.mid", folder=self.folder)
        self.assertEqual(piped.stdout, Path(self.path("zero.mid")).read_bytes())
        listed = run("events", "-", stdin=FORMAT_1, folder=self.folder)
        self.assertEqual(listed.stdout, run("events", "in.mid", folder=self.folder).stdout)

    def test_events_lists_every_event_of_every_track(self):
        done = run("events", "in.mid", folder=self.folder)
        self.assertEqual(done.returncode, 0)
        rows = [line.split() for line in done.stdout.decode().splitlines()]
        self.assertEqual([(int(t), int(tick)) for t, tick, _, _ in rows],
                         [(t, tick) for t, events in enumerate(events_by_track(self.path("in.mid")))
                          for tick, _ in events])
        kinds = [kind for _, _, kind, _ in rows]
        self.assertEqual(kinds[:3], ["tempo", "time-signature", "program"])
        self.assertIn("note-on-0", kinds)
        self.assertIn("sysex", kinds)
        # Channel messages as mido reads them; sysex and meta events with
        # their length, as the track holds them.
        self.assertEqual(rows[3][3], "903C64")
        self.assertEqual([r[3] for r in rows if r[2] == "sysex"], ["F0037E09F7"])

    def test_a_refused_file_says_why_and_where_and_writes_nothing(self):
        cut = FORMAT_1[:40]
        Path(self.path("cut.mid")).write_bytes(cut)
        for arguments in [("convert", "cut.mid", "out.mid"), ("events", "cut.mid"),
                          ("convert", "-", "out.mid")]:
            with self.subTest(arguments=arguments):
                done = run(*arguments, stdin=cut, folder=self.folder)
                self.assertEqual(done.returncode, 1)
                lines = done.stderr.decode().splitlines()
                self.assertEqual(len(lines), 1, lines)
                self.assertRegex(lines[0], r"^xemidi: (cut\.mid|standard input): .+ \(at byte \d+\)$")
                self.assertFalse(os.path.exists(self.path("out.mid")))
        missing = run("convert", "missing.mid", "out.mid", folder=self.folder)
        self.assertEqual(missing.returncode, 1)
        self.assertIn(b"missing.mid", missing.stderr)
        self.assertFalse(os.path.exists(self.path("out.mid")))

    def test_an_output_that_cannot_be_written_leaves_nothing(self):
        done = run("convert", "in.mid", os.path.join("no-folder", "out.mid"), folder=self.folder)
        self.assertEqual(done.returncode, 1)
        self.assertEqual(len(done.stderr.decode().splitlines()), 1)
        self.assertEqual(sorted(os.listdir(self.folder)), ["in.mid"])


def main():
    global COMMAND, RUNNER
    parser = argparse.ArgumentParser()
    parser.add_argument("command")
    parser.add_argument("--runner", default="")
    args, rest = parser.parse_known_args()
    COMMAND = os.path.abspath(args.command)
    RUNNER = [args.runner] if args.runner else []
    if mido is None:
        print("SKIPPED: python3-mido is not installed")
        return 77
    result = unittest.main(argv=[sys.argv[0], "-v"] + rest, exit=False).result
    return 0 if result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
