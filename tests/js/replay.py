#!/usr/bin/python3
"""Replays a call list of tests/js/support/calls.mjs through the Python
binding (python/xemidi) over the library that XEMIDI_LIBRARY names, and
prints one result per step as JSON, as the JavaScript package's replay
does: {"ok": true}, {"image": hex} or {"refused": reason, "index": i}.

  XEMIDI_LIBRARY=build/dev/libxemidi.so tests/js/replay.py < calls.json
"""

import json
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "python"))
import xemidi  # noqa: E402

# The package's method names in JavaScript and the binding's.
METHODS = {"keyPressure": "key_pressure", "channelPressure": "channel_pressure",
           "program": "patch", "pitchBend": "wheel", "sysexHex": "sysex_hex",
           "timeSignature": "time_signature", "keySignature": "key_signature",
           "trackName": "track_name", "insertNotes": "insert_notes", "insertMidi": "insert_midi"}
BYTES = {"midi": 1, "sysex": 1, "meta": 2}  # the argument that holds bytes


def arguments(method, args):
    if method in BYTES:
        args[BYTES[method]] = bytes(args[BYTES[method]])
    elif method == "insertMidi":
        args[1] = [bytes(message) for message in args[1]]
    return args


def call(smf, method, args):
    if method == "tempo":
        return smf.tempo(args[0], bpm=args[1])
    return getattr(smf, METHODS.get(method, method))(*arguments(method, args))


def replay(steps):
    objects, results = [], []
    for step in steps:
        try:
            kind = step[0]
            if kind == "new":
                objects.append(None)
                objects[-1] = xemidi.Smf(step[1])
            elif kind == "copy":
                objects.append(None)
                objects[-1] = objects[step[1]].copy()
            elif kind == "delete":
                objects[step[1]].close()
            elif kind == "data":
                results.append({"image": objects[step[1]].data().hex()})
                continue
            else:
                call(objects[step[1]], step[2], step[3])
            results.append({"ok": True})
        except xemidi.XemidiError as error:
            results.append({"refused": error.reason, "index": error.index})
    return results


if __name__ == "__main__":
    json.dump([replay(steps) for steps in json.load(sys.stdin)], sys.stdout)
