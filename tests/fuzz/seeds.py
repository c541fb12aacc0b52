#!/usr/bin/env python3
"""Writes the seed corpus of api_fuzzer: short programs in the harness's input
format (see program.h and Session::step), one per theme, so that fuzzing
starts from calls that are accepted and from the refusals next to them.

    python3 tests/fuzz/seeds.py tests/fuzz/corpus
"""
import os
import struct
import sys

CALLS = ["create", "remove", "copy", "midi", "sysex", "meta", "note", "pressure", "chanaft",
         "wheel", "patch", "parameter", "hex", "text", "query", "save", "clipboard", "hold"]
EDGES = [-8193, -8192, -2, -1, 0, 1, 15, 16, 127, 128, 8191, 8192, 16383, 16384, -2**31, 2**31 - 1]


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
    p += call("hex", args=text("F0 7E 7F 09 01 F7") + b"\x01")
    p += call("patch", args=num(0) + num(5) + num(300))
    p += call("parameter", args=b"\x01" + num(0) + num(0) + num(256))
    for i, key in enumerate([60, 64, 67, 72]):
        p += call("note", at=i * 60, args=num(0) + num(key) + num(90) + num(240))
    p += call("wheel", at=100, args=num(0) + num(-8192))
    p += call("pressure", at=120, args=b"\x00" + num(1) + num(7) + num(100))
    p += call("chanaft", at=130, args=num(2) + num(64))
    p += call("text", at=200, args=text("la la") + b"\x01\x01")
    p += call("sysex", at=210, args=data([0xF0, 0x43, 0x12, 0x00, 0xF7]))
    p += call("midi", at=220, args=b"\x10" + data([0x91, 0x3C, 0x64, 0x3E, 0x64]))
    return p + call("query", args=b"\x00") + call("save", args=bytes([0, 2]) + u32(0x80)) + \
        call("clipboard")


def copies():
    p = call("create", args=u32(96))
    for value in (1, 2, 3):
        p += call("pressure", at=10, args=b"\x01" + num(0) + num(7) + num(value))
    p += call("note", at=10, args=num(1) + num(60) + num(100) + num(0))
    p += call("copy", handle=0) + call("copy", handle=1) + call("remove", handle=0)
    return p + call("pressure", handle=2, at=10, args=b"\x01" + num(0) + num(1) + num(1))


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
    p += call("hold") + call("clipboard") + call("hold") + call("clipboard")
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
        p += call("hex", args=text(s) + b"\x01")
    p += call("hex", args=text("", hex_tokens=[0x7E, 0x7F, 0x09, 0x01, 0x02]) + b"\x01")
    p += call("text", args=text("") + b"\x00\x00")
    return p + call("text", args=text("lyric") + b"\x01\x01")


def metas():
    p = call("create", args=u32(480))
    for meta_type, raw in [(0x2F, []), (0x51, [1, 2]), (0x00, [0, 1]), (0x01, []), (0x7F, [1] * 40),
                           (0x60, [9]), (0x59, [0, 0])]:
        p += call("meta", args=bytes([0, meta_type]) + data(raw))
    return p + call("meta", args=bytes([1]) + u32(0x151) + data([7, 0xA1, 0x20]))


def main():
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    for seed in (song, copies, wild, outputs, gaps, edges, texts, metas):
        with open(os.path.join(folder, seed.__name__), "wb") as f:
            f.write(seed())


main()
