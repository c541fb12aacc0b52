#!/usr/bin/env python3
"""Writes the seed corpus of api_fuzzer: short programs in the harness's input
format (see program.h and Session::step), one per theme, so that fuzzing
starts from calls that are accepted and from the refusals next to them; and
its dictionary: the tokens those programs are made of, for the fuzzer to
insert anywhere.

    python3 tests/fuzz/seeds.py tests/fuzz/corpus tests/fuzz/xemidi_api_fuzzer.dict

The numbering of the calls, the edge values of the 32-bit arguments, the
separators of hexadecimal texts and the meta events of a fixed length are
read from the harness's own tables, so that neither the seeds nor the
dictionary can drift from it. CI writes both afresh and compares them with
the ones checked in (.ci/steps/40-hardening.sh).
"""
import codecs
import os
import re
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))


def harness_table(file, name):
    """The text between the braces of the table `name` in one of the
    harness's files."""
    with open(os.path.join(HERE, file)) as f:
        text = f.read()
    found = re.search(r"\b" + name + r"\[\](?:\[\d+\])?\s*=\s*\{(.*?)\};", text, re.S)
    if found is None:
        sys.exit(f"seeds.py: no table {name}[] in {file}")
    return found.group(1)


LIMITS = {"INT32_MIN": -2**31, "INT32_MAX": 2**31 - 1}
# Session::step's calls, in the order of its table: a call is its index.
CALLS = re.findall(r"&Session::(\w+)", harness_table("api_fuzzer.cpp", "Calls"))
# Program::number's edge values, chosen by the bytes 96 to 111.
EDGES = [LIMITS[v] if v in LIMITS else int(v, 0)
         for v in map(str.strip, harness_table("program.h", "edges").split(","))]
# Program::text's separators between hexadecimal tokens.
SEPARATORS = [codecs.decode(v, "unicode_escape")
              for v in re.findall(r'"((?:[^"\\]|\\.)*)"', harness_table("program.h", "separators"))]
# The meta events of a fixed length, with that length (model.h).
FIXED_METAS = [(int(t, 0), int(n)) for t, n in
               re.findall(r"\{\s*(\w+)\s*,\s*(\d+)\s*\}", harness_table("model.h", "fixed"))]


def u32(v):
    return struct.pack("<I", v & 0xFFFFFFFF)


def num(v):
    """A 32-bit argument: a small literal, an edge value, or any value."""
    if 0 <= v < 96:
        return bytes([v])
    if v in EDGES:
        return bytes([96 + EDGES.index(v)])
    return bytes([200]) + u32(v)


def tick(t):
    return bytes([0, t]) if t < 256 else bytes([2]) + u32(t)


def data(raw, length_choice=0):
    assert len(raw) < 48
    return bytes([len(raw)]) + bytes(raw) + bytes([length_choice])


def text(s, hex_tokens=None):
    if hex_tokens is not None:  # tokens of varied spacing, wrapped in F0 ... F7 (odd count)
        shape = next(v for v in range(128, 256) if v % 24 == len(hex_tokens) and v & 1)
        return bytes([shape]) + bytes(hex_tokens)
    raw = s.encode()
    assert len(raw) < 64
    return bytes([len(raw)]) + raw


def call(name, handle=0, at=0, args=b""):
    return bytes([handle]) + tick(at) + bytes([CALLS.index(name)]) + args


def song():
    p = call("create", args=u32(480))
    p += call("meta", args=bytes([0, 0x51]) + data([0x07, 0xA1, 0x20]))
    p += call("meta", args=bytes([0, 0x58]) + data([4, 2, 24, 8]))
    p += call("hexText", args=text("F0 7E 7F 09 01 F7") + b"\x01")
    p += call("patch", args=num(0) + num(5) + num(300))
    p += call("parameter", args=b"\x01" + num(0) + num(0) + num(256))
    for i, key in enumerate([60, 64, 67, 72]):
        p += call("note", at=i * 60, args=num(0) + num(key) + num(90) + num(240))
    p += call("wheel", at=100, args=num(0) + num(-8192))
    p += call("pressureOrControl", at=120, args=b"\x00" + num(1) + num(7) + num(100))
    p += call("chanAft", at=130, args=num(2) + num(64))
    p += call("text", at=200, args=text("la la") + b"\x01\x01")
    p += call("sysex", at=210, args=data([0xF0, 0x43, 0x12, 0x00, 0xF7]))
    p += call("midi", at=220, args=b"\x10" + data([0x91, 0x3C, 0x64, 0x3E, 0x64]))
    return p + call("query", args=b"\x00") + call("save", args=bytes([0, 2]) + u32(0x80)) + \
        call("clipboard")


def copies():
    p = call("create", args=u32(96))
    for value in (1, 2, 3):
        p += call("pressureOrControl", at=10, args=b"\x01" + num(0) + num(7) + num(value))
    p += call("note", at=10, args=num(1) + num(60) + num(100) + num(0))
    p += call("copy", handle=0) + call("copy", handle=1) + call("remove", handle=0)
    return p + call("pressureOrControl", handle=2, at=10, args=b"\x01" + num(0) + num(1) + num(1))


def wild():
    p = call("create", args=u32(0x7FFF01E0)) + call("create", args=u32(0x8000))
    p += call("remove", handle=0)
    for handle in (4, 5, 6, 7):
        extra = b"\x20" if handle == 7 else b""
        p += bytes([handle]) + extra + tick(0) + bytes([CALLS.index("note")]) + \
            num(0) + num(60) + num(100) + num(10)
        p += bytes([handle]) + extra + tick(0) + bytes([CALLS.index("clipboard")])
    return p + call("create", args=u32(480)) + call("copy", handle=4)


def outputs():
    """Files written over by a shorter image keep their tails unless truncated."""
    p = call("create", args=u32(480)) + call("create", args=u32(96))
    p += call("note", args=num(0) + num(60) + num(100) + num(480))
    for handle, which, disposition in [(0, 0, 1), (0, 0, 1), (1, 0, 3), (0, 1, 3), (0, 1, 4),
                                       (1, 1, 4), (1, 0, 5), (0, 3, 2), (0, 0, 7), (0, 0xF0, 2)]:
        p += call("save", handle=handle, args=bytes([which, disposition]) + u32(0))
    p += call("holdClipboard") + call("clipboard") + call("holdClipboard") + call("clipboard")
    return p + call("query", args=b"\x05")


def gaps():
    p = call("create", args=u32(480)) + call("note", args=num(0) + num(60) + num(100) + num(1))
    p += call("midi", at=0x20000000, args=b"\x00" + data([0xC0, 5]))
    return p + call("query", args=b"\x00") + call("save", args=bytes([2, 2]) + u32(0)) + \
        call("clipboard")


def edges():
    p = call("create", args=u32(1))
    for v in EDGES:
        p += call("wheel", args=num(0) + num(v))
        p += call("parameter", args=b"\x00" + num(15) + num(v) + num(v))
        p += call("patch", args=num(16) + num(127) + num(v))
    return p


def texts():
    p = call("create", args=u32(480))
    for s in ["F0 7e\t7F\r\n09 01 F7", "f07e7f09 F7", "F0,7E,F7", "F0 0X12 F7", "F0 +5 F7",
              "F0 7G 100 F7", "", "  \t "]:
        p += call("hexText", args=text(s) + b"\x01")
    p += call("hexText", args=text("", hex_tokens=[0x7E, 0x7F, 0x09, 0x01, 0x02]) + b"\x01")
    p += call("text", args=text("") + b"\x00\x00")
    return p + call("text", args=text("lyric") + b"\x01\x01")


def metas():
    p = call("create", args=u32(480))
    for meta_type, raw in [(0x2F, []), (0x51, [1, 2]), (0x00, [0, 1]), (0x01, []), (0x7F, [1] * 40),
                           (0x60, [9]), (0x59, [0, 0])]:
        p += call("meta", args=bytes([0, meta_type]) + data(raw))
    return p + call("meta", args=bytes([1]) + u32(0x151) + data([7, 0xA1, 0x20]))


# ---- The dictionary ----------------------------------------------------------

# One message of each kind of channel message, on channel 0.
CHANNEL_MESSAGES = [("note_off", [0x80, 60, 64]), ("note_on", [0x90, 60, 100]),
                    ("key_pressure", [0xA0, 60, 16]), ("control", [0xB0, 7, 100]),
                    ("program", [0xC0, 5]), ("channel_pressure", [0xD0, 64]),
                    ("wheel", [0xE0, 0, 64])]
TEXT_METAS = [0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x7F]


def meta_args(meta_type, payload):
    """The arguments of a meta call: an 8-bit type and its data."""
    return bytes([0, meta_type]) + data(payload)


def dictionary():
    """(name, bytes) of every token, in the encodings of the seeds."""
    tokens = [(f"call_{name}", call(name)) for name in CALLS]
    tokens += [("tick_longest_delta", tick(0x0FFFFFFF)), ("tick_past_longest_delta", tick(0x10000000)),
               ("tick_last", tick(0xFFFFFFFF))]
    tokens += [(f"division_{d:#x}", u32(d)) for d in (96, 480, 0x7FFF, 0x8000, 0xE728, 0x10000)]
    tokens += [(f"status_{b:#x}", bytes([b])) for b in range(0x80, 0xF0, 0x10)]
    tokens += [("sysex_start", b"\xF0"), ("sysex_end", b"\xF7"), ("meta", b"\xFF"),
               ("raw_end_of_track", b"\xFF\x2F\x00"), ("raw_tempo", b"\xFF\x51\x03")]
    tokens += [(f"midi_{name}", data(message)) for name, message in CHANNEL_MESSAGES]
    tokens += [("sysex_gm_on", data([0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7])),
               ("sysex_too_short", data([0xF0, 0xF7]))]
    tokens += [(f"meta_{t:#04x}", meta_args(t, [0x40] * n)) for t, n in FIXED_METAS]
    tokens += [(f"meta_{t:#04x}", meta_args(t, list(b"xemidi"))) for t in TEXT_METAS]
    tokens += [("meta_end_of_track", meta_args(0x2F, [])),
               ("meta_wide_type", bytes([1]) + u32(0x151) + data([7, 0xA1, 0x20]))]
    tokens += [(f"hex_{h}", h.encode()) for h in ("F0", "f0", "F7", "f7", "7E", "7f", "0x")]
    tokens += [("hex_open", b"F0 "), ("hex_close", b" F7"),
               ("hex_text", text("F0 7E 7F 09 01 F7"))]
    tokens += [(f"separator_{i}", sep.encode()) for i, sep in enumerate(SEPARATORS)]
    return tokens


def escaped(token):
    return "".join(chr(b) if 0x20 <= b < 0x7F and chr(b) not in '"\\' else f"\\x{b:02X}"
                   for b in token)


def write_dictionary(path):
    with open(path, "w") as f:
        f.write("# api_fuzzer's dictionary, written by tests/fuzz/seeds.py: do not edit.\n")
        for name, token in dictionary():
            f.write(f'{name}="{escaped(token)}"\n')


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: seeds.py CORPUS_FOLDER DICTIONARY_FILE")
    folder, dictionary_file = sys.argv[1:]
    os.makedirs(folder, exist_ok=True)
    for seed in (song, copies, wild, outputs, gaps, edges, texts, metas):
        with open(os.path.join(folder, seed.__name__), "wb") as f:
            f.write(seed())
    write_dictionary(dictionary_file)


if __name__ == "__main__":
    main()
