#!/usr/bin/env python3
"""Writes the seed corpus of read_fuzzer, whose input is a file: images as
the library writes them (format 0, running status where the writer uses
it, the end of track directly after the last event) and small hand-made
files of format 1 and of each deviation the reader accepts; and its
dictionary: the chunk tags, status bytes, meta events and delta times that
files are made of.

    python3 tests/fuzz/read_seeds.py tests/fuzz/read_corpus tests/fuzz/xemidi_read_fuzzer.dict

CI writes both afresh and compares them with the ones checked in
(.ci/steps/40-hardening.sh).
"""
import os
import struct
import sys

END = b"\x00\xff\x2f\x00"


def var_len(value):
    out = bytes([value & 0x7F])
    value >>= 7
    while value:
        out = bytes([0x80 | (value & 0x7F)]) + out
        value >>= 7
    return out


def chunk(tag, body):
    return tag + struct.pack(">I", len(body)) + body


def header(form, tracks, division):
    return chunk(b"MThd", struct.pack(">HHH", form, tracks, division))


def meta(kind, data):
    return b"\xff" + bytes([kind]) + var_len(len(data)) + data


def library_image():
    """A piece as the writer writes it: running status after a channel
    message of the same status, every other status byte in full."""
    body = (b"\x00" + meta(0x51, b"\x07\xa1\x20") + b"\x00" + meta(0x58, b"\x04\x02\x18\x08")
            + b"\x00\xc0\x05\x00\x90\x3c\x64\x00\x40\x64\x83\x60\x80\x3c\x40\x00\x40\x40"
            + b"\x00\xf0\x05\x7e\x7f\x09\x01\xf7" + b"\x10\xb0\x07\x64\x00\x0a\x40"
            + b"\x00\xe0\x00\x40\x81\x00" + meta(0x05, b"la") + b"\x00\xd0\x30")
    return header(0, 1, 480) + chunk(b"MTrk", body + END)


def empty_image():
    return header(0, 1, 96) + chunk(b"MTrk", END)


def format1():
    """Three tracks with ties at ticks 0 and 96."""
    tempo = b"\x00" + meta(0x51, b"\x07\xa1\x20") + b"\x60" + meta(0x01, b"b")
    notes = b"\x00\x90\x3c\x64\x00\x3e\x64\x81\x40\x3c\x00\x00\x80\x3e\x40"
    controls = b"\x00\xc1\x05\x60\xb1\x07\x64\x00\x0a\x40"
    return header(1, 3, 96) + b"".join(chunk(b"MTrk", t + END) for t in (tempo, notes, controls))


def packets():
    """A system-exclusive message in F0 and F7 packets, an escape, running
    status across meta and system-exclusive events."""
    body = (b"\x00\xf0\x03\x43\x12\x00\x10\xf7\x02\x34\xf7\x00\xf7\x02\xf8\xfa"
            b"\x00\x90\x3c\x64\x00" + meta(0x03, b"x") + b"\x00\x3e\x64")
    return header(0, 1, 192) + chunk(b"MTrk", body + END)


def deviations():
    """A long header, a chunk of another type, a track without end of track,
    and trailing bytes."""
    long_header = chunk(b"MThd", struct.pack(">HHH", 1, 2, 120) + b"\xee\xee")
    return (long_header + chunk(b"XFIH", b"\x01\x02") + chunk(b"MTrk", b"\x00\xc0\x01")
            + chunk(b"MTrk", b"\x00\x90\x3c\x64\x60\x3c\x00" + END + b"\x00\xc0\x02")
            + b"\x00\x01")


def rmid():
    """A file in a RIFF RMID wrapper."""
    data = library_image()
    body = b"RMID" + b"LIST" + struct.pack("<I", 3) + b"abc\x00" + b"data" + struct.pack(
        "<I", len(data)) + data
    return b"RIFF" + struct.pack("<I", len(body)) + body


def far_ticks():
    """Delta times of every length up to 4 bytes, near the last tick."""
    body = b"".join(var_len(v) + b"\xc0\x01" for v in (0x7F, 0x80, 0x3FFF, 0x4000, 0x1FFFFF,
                                                       0x200000, 0x0FFFFFFF))
    return header(0, 1, 480) + chunk(b"MTrk", body + END)


SEEDS = (library_image, empty_image, format1, packets, deviations, rmid, far_ticks)


def dictionary():
    tokens = [("tag_header", b"MThd"), ("tag_track", b"MTrk"), ("tag_riff", b"RIFF"),
              ("tag_rmid", b"RMID"), ("tag_data", b"data"),
              ("header_length", b"\x00\x00\x00\x06"), ("format_0_one_track", b"\x00\x00\x00\x01"),
              ("format_1", b"\x00\x01"), ("division_480", b"\x01\xe0"),
              ("smpte_division", b"\xe7\x28"), ("end_of_track", b"\xff\x2f\x00")]
    for status in range(0x80, 0x100, 0x10):
        tokens.append((f"status_{status:02X}", bytes([status])))
    tokens += [(f"status_{s:02X}", bytes([s])) for s in (0xF0, 0xF7, 0xFF, 0xF8)]
    for kind, data in ((0x51, b"\x07\xa1\x20"), (0x58, b"\x04\x02\x18\x08"), (0x2F, b""),
                       (0x01, b"a"), (0x7F, b"\x00\x00")):
        tokens.append((f"meta_{kind:02X}", meta(kind, data)))
    for value in (0x7F, 0x80, 0x3FFF, 0x4000, 0x0FFFFFFF):
        tokens.append((f"delta_{value:X}", var_len(value)))
    tokens.append(("delta_5_bytes", b"\x81\x81\x81\x81\x01"))
    return tokens


def escaped(token):
    return "".join(chr(b) if 0x20 <= b < 0x7F and chr(b) not in '"\\' else f"\\x{b:02X}"
                   for b in token)


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: read_seeds.py CORPUS_FOLDER DICTIONARY_FILE")
    folder, dictionary_file = sys.argv[1:]
    os.makedirs(folder, exist_ok=True)
    for seed in SEEDS:
        with open(os.path.join(folder, seed.__name__), "wb") as f:
            f.write(seed())
    with open(dictionary_file, "w") as f:
        f.write("# read_fuzzer's dictionary, written by tests/fuzz/read_seeds.py: do not edit.\n")
        for name, token in dictionary():
            f.write(f'{name}="{escaped(token)}"\n')


if __name__ == "__main__":
    main()
