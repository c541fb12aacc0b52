#!/usr/bin/python3
"""Renders the example's piece with timidity and the freepats instruments and
checks that the sound is real music of the right length.

  render_check.py --song xemidi_song --timidity timidity --out DIR
  render_check.py --melody xemidi_melody --fluidsynth fluidsynth --soundfont SF2 --out DIR

The second form renders the melody of repeated notes (melody.c) with
fluidsynth, which ends a voice at its key's next note-off: every note must
sound over the second quarter of its length (one beat) at least half as loud
as the loudest note. The same notes in the order that cuts a repeated note off
(--cut-order) must fail that check, or the check proves nothing.

Timidity plays the file to its last event and then lets the last voices ring
out, so the WAV must last at least as long as the music (as mido reckons it
from the tempo) and at most TAIL_SECONDS longer: the longest release among
the freepats instruments the piece uses (strings, crash cymbal) is under
3 s, measured 2.5 s. Sound must be present from the first bar to the last:
windows of one second at both ends of the music carry sound, not only the
whole file.
"""

import argparse
import array
import math
import os
import subprocess
import sys
import wave

import mido

FREEPATS = "/etc/timidity/freepats.cfg"
TAIL_SECONDS = 4.0
EARLY_SECONDS = 0.05  # the WAV may end this much before the last tick
MIN_RMS = 100  # of 32767: quiet music, far above silence (0) and dither
MIN_PEAK = 3000


def render(timidity, midi, wav):
    # Our own instrument set, whatever /etc/timidity/timidity.cfg names.
    run = subprocess.run([timidity, "-c", FREEPATS, "-Ow", "-o", wav, midi],
                         capture_output=True, text=True, check=False)
    log = run.stdout + run.stderr
    if run.returncode != 0 or not os.path.exists(wav):
        sys.exit(f"FAIL timidity: {log.strip()}")
    if "will not be heard" in log:
        sys.exit(f"FAIL timidity lacks an instrument: {log.strip()}")


def samples(wav):
    with wave.open(wav) as audio:
        if audio.getsampwidth() != 2:
            sys.exit(f"FAIL expected 16-bit samples, got {8 * audio.getsampwidth()}")
        rate, channels = audio.getframerate(), audio.getnchannels()
        data = array.array("h", audio.readframes(audio.getnframes()))
    if sys.byteorder == "big":
        data.byteswap()
    return data, rate, channels


def rms(data):
    return math.sqrt(sum(x * x for x in data) / len(data)) if data else 0.0


def window(data, rate, channels, start, seconds):
    first = int(start * rate) * channels
    return data[first:first + int(seconds * rate) * channels]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--song")
    parser.add_argument("--timidity", default="timidity")
    parser.add_argument("--melody")
    parser.add_argument("--fluidsynth", default="fluidsynth")
    parser.add_argument("--soundfont")
    parser.add_argument("--out", required=True)
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)
    if args.melody:
        return check_melody(args)
    midi, wav = os.path.join(args.out, "song.mid"), os.path.join(args.out, "song.wav")
    subprocess.run([args.song, midi], capture_output=True, check=True)
    render(args.timidity, midi, wav)

    music = mido.MidiFile(midi).length
    data, rate, channels = samples(wav)
    seconds = len(data) / channels / rate
    peak = max(abs(x) for x in data)
    report = f"music {music:.2f} s, WAV {seconds:.2f} s, peak {peak}, RMS {rms(data):.0f}"
    problems = []
    if not music - EARLY_SECONDS <= seconds <= music + TAIL_SECONDS:
        low, high = music - EARLY_SECONDS, music + TAIL_SECONDS
        problems.append(f"WAV length outside {low:.2f}..{high:.2f} s")
    if peak < MIN_PEAK or rms(data) < MIN_RMS:
        problems.append("too quiet: silent or nearly so")
    for name, at in (("first second", first_note_time(midi)), ("last second", music - 1.0)):
        level = rms(window(data, rate, channels, at, 1.0))
        report += f", {name} RMS {level:.0f}"
        if level < MIN_RMS:
            problems.append(f"no sound in the {name} of the music")
    print(report)
    if problems:
        print("FAIL " + "; ".join(problems))
        return 1
    return 0


def note_levels(fluidsynth, soundfont, midi, wav):
    """The RMS level of each note over the second quarter of its beat."""
    run = subprocess.run([fluidsynth, "-ni", "-g", "1.0", "-r", "44100", "-F", wav, soundfont,
                          midi], capture_output=True, text=True, check=False)
    if run.returncode != 0 or not os.path.exists(wav):
        sys.exit(f"FAIL fluidsynth: {(run.stdout + run.stderr).strip()}")
    data, rate, channels = samples(wav)
    levels, elapsed = [], 0.0
    for message in mido.MidiFile(midi):
        elapsed += message.time
        if message.type == "note_on" and message.velocity > 0:
            beat = 0.5  # no tempo event: 120 beats a minute
            levels.append(rms(window(data, rate, channels, elapsed + beat / 4, beat / 4)))
    return levels


def check_melody(args):
    results = {}
    for name, extra in (("melody", []), ("cut-order", ["--cut-order"])):
        midi, wav = (os.path.join(args.out, name + ending) for ending in (".mid", ".wav"))
        subprocess.run([args.melody, midi] + extra, check=True)
        levels = note_levels(args.fluidsynth, args.soundfont, midi, wav)
        silent = [i + 1 for i, level in enumerate(levels) if level < max(levels) / 2]
        print(f"{name}: note levels {[round(level) for level in levels]}, "
              f"too quiet: {silent or 'none'}")
        results[name] = len(levels) == 8 and not silent
    if not results["melody"]:
        print("FAIL a note of the melody does not sound")
        return 1
    if results["cut-order"]:
        print("FAIL the check does not catch the order that cuts repeated notes off")
        return 1
    return 0


def first_note_time(midi):
    elapsed = 0.0
    for message in mido.MidiFile(midi):
        elapsed += message.time
        if message.type == "note_on" and message.velocity > 0:
            return elapsed
    return 0.0


if __name__ == "__main__":
    sys.exit(main())
