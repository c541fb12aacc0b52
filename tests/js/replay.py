#!/usr/bin/python3
"""Replays a call list of tests/js/support/calls.mjs through the Python
binding (python/xemidi) over the library that XEMIDI_LIBRARY names, and
prints one result per step as JSON, as the JavaScript package's replay
does: {"ok": true}, {"image": hex}, {"division": d, "length": n,
"events": [[tick, hex], ...]}, {"file": hex, "made": ...} for a read, or
{"refused": reason, "index": i} (with "reading": [code, offset] for a file
the reader refused), {"missing": true} for a step on an object that a read
did not make.

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


def edited(data, edits):
    data = bytearray(data)
    for position, byte in edits:
        if not data:
            break
        at = position % len(data)
        if byte < 0:
            del data[at:]
        else:
            data[at] = byte
    return bytes(data)


def events_of(smf):
    return {"division": smf.division, "length": len(smf),
            "events": [[tick, data.hex()] for tick, data in smf.events()]}


def described(smf):
    try:
        image = {"image": smf.data().hex()}
    except xemidi.XemidiError as error:
        image = {"refused": error.reason}
    return dict(image, **events_of(smf))


def read(objects, source, edits, tracks):
    """A read step (see calls.mjs); the objects it numbers are appended."""
    sources = source if isinstance(source, list) else [source]
    reserved = len(objects)
    if not edits:
        objects.extend([None] * (len(sources) if tracks and isinstance(source, list) else 1))
    if any(objects[o] is None for o in sources):
        return {"missing": True}
    if isinstance(source, list):
        file = xemidi.tracks_data([objects[o] for o in source])
    else:
        file = objects[source].data()
    made = (xemidi.read_tracks if tracks else lambda data: [xemidi.read(data)])(edited(file, edits))
    if edits:
        result = [described(smf) for smf in made]
        for smf in made:
            smf.close()
        return {"file": file.hex(), "made": result}
    objects[reserved:reserved + len(made)] = made
    return {"file": file.hex(), "made": len(made)}


def step_result(objects, step):
    kind = step[0]
    if kind == "new":
        objects.append(None)
        objects[-1] = xemidi.Smf(step[1])
        return {"ok": True}
    if kind == "read":
        return read(objects, *step[1:])
    if objects[step[1]] is None:
        if kind == "copy":
            objects.append(None)
        return {"missing": True}
    if kind == "copy":
        objects.append(None)
        objects[-1] = objects[step[1]].copy()
    elif kind == "delete":
        objects[step[1]].close()
    elif kind == "data":
        return {"image": objects[step[1]].data().hex()}
    elif kind == "events":
        return events_of(objects[step[1]])
    else:
        call(objects[step[1]], step[2], step[3])
    return {"ok": True}


def replay(steps):
    objects, results = [], []
    for step in steps:
        try:
            results.append(step_result(objects, step))
        except xemidi.SmfReadError as error:
            results.append({"refused": error.reason, "index": error.index,
                            "reading": [error.code, error.offset]})
        except xemidi.XemidiError as error:
            results.append({"refused": error.reason, "index": error.index})
    return results


if __name__ == "__main__":
    json.dump([replay(steps) for steps in json.load(sys.stdin)], sys.stdout)
