"""Why the library refused a call: the rules of include/xemidi.h, in its
words, one table beside the declarations of _library.py, and `reason`, which
finds the rule a refused call broke.

The library gives no reason: it returns 0. The binding makes every call as
it is and only when the library refuses it asks `reason`, so the library
stays the judge; tests/python makes the library refuse every rule of RULES
and checks that the message names it.
"""

import ctypes
import errno as _errno
import os
from typing import Any, Callable, Dict, Mapping, NamedTuple, Optional, Tuple

MAX_DELTA = 0x0FFFFFFF  # the longest delta time (and length) a file holds
SPAN_BITS = 28  # ticks within one span of 2**28 are never more than MAX_DELTA apart


class Known(NamedTuple):
    """What the binding knows about a refused call beyond its arguments."""

    gap: Optional[Tuple[Optional[int], int]] = None  # TickSpans.gap() of the object
    error: int = 0  # errno, or GetLastError() on Windows, after SaveSmf
    windows: bool = os.name == "nt"
    filename: Any = None  # the path as the caller gave it to save()


Rule = Callable[[Mapping[str, Any], Known], Optional[str]]


class Range(NamedTuple):
    """An argument that must lie in low..high, tested on its whole value."""

    argument: str
    low: int
    high: int
    note: str = ""  # what the text adds, such as "(-1: no bank select)"
    spelled: str = ""  # the range as the text gives it, when not "low..high"

    def __call__(self, arguments: Mapping[str, Any], known: Known) -> Optional[str]:
        value = arguments.get(self.argument)
        if not isinstance(value, int) or self.low <= value <= self.high:
            return None
        spelled = self.spelled or f"{self.low}..{self.high}"
        text = f"{self.argument}={int(value)} is not in {spelled}"
        return f"{text} {self.note}" if self.note else text


_CHANNEL = Range("channel", 0, 15)
_LENGTH = Range("len", 0, MAX_DELTA, spelled="0..0x0FFFFFFF (0 <= len < 2^28)")


def _bytes_of(arguments: Mapping[str, Any]) -> Optional[bytes]:
    """The data bytes the call was given, when the binding passed bytes."""
    data = arguments.get("data")
    return bytes(data) if isinstance(data, (bytes, bytearray, memoryview)) else None


# ---- channel messages, system exclusive, meta events --------------------------

_KINDS = {0x8: "a note-off", 0x9: "a note-on", 0xA: "a key pressure", 0xB: "a controller",
          0xC: "a program change", 0xD: "a channel pressure", 0xE: "a pitch wheel"}


def channel_message(arguments: Mapping[str, Any], known: Known) -> Optional[str]:
    """InsertMidiEvent: status byte 0x80..0xEF first, then the data bytes its
    kind needs (one for program change and channel pressure, two for the
    others), each below 0x80."""
    length, data = arguments.get("len"), _bytes_of(arguments)
    if not isinstance(length, int):
        return None
    if length < 2:
        return f"a channel message needs 2 bytes or more, not {length}"
    if data is None or len(data) < length:  # not the bytes the library read
        return None
    status = data[0]
    if not 0x80 <= status <= 0xEF:
        return (f"the status byte 0x{status:02X} is not in 0x80..0xEF "
                "(running status is not accepted)")
    needed = 2 if status >> 4 in (0xC, 0xD) else 3
    if length < needed:
        kind = _KINDS[status >> 4]
        return f"{kind} (status 0x{status:02X}) needs {needed} bytes or more, not {length}"
    for i in range(1, needed):
        if data[i] >= 0x80:
            return f"data[{i}] = 0x{data[i]:02X} is not below 0x80"
    return None


def _sysex_rule(length: int, first: Optional[int], last: Optional[int]) -> Optional[str]:
    if length < 3:
        return f"len={length} is less than 3 (F0, a byte or more, F7)"
    if length - 1 > MAX_DELTA:
        return f"len - 1 = {length - 1} is not below 2^28"
    if first is not None and first != 0xF0:
        return f"data[0] = 0x{first:02X} is not 0xF0"
    if last is not None and last != 0xF7:
        return f"data[len-1] = 0x{last:02X} is not 0xF7"
    return None


def sysex_message(arguments: Mapping[str, Any], known: Known) -> Optional[str]:
    """InsertSysexEvent: data[0] = 0xF0 through data[len-1] = 0xF7, len >= 3
    and len - 1 < 2^28."""
    length, data = arguments.get("len"), _bytes_of(arguments)
    if not isinstance(length, int):
        return None
    whole = data is not None and len(data) >= length >= 1
    return _sysex_rule(length, data[0] if whole else None, data[length - 1] if whole else None)


_FIXED_LENGTHS = {0x00: ("a sequence number", 2), 0x20: ("a channel prefix", 1),
                  0x21: ("a port", 1), 0x51: ("a tempo", 3), 0x54: ("an SMPTE offset", 5),
                  0x58: ("a time signature", 4), 0x59: ("a key signature", 2)}
END_OF_TRACK = 0x2F


def _meta_type(arguments: Mapping[str, Any]) -> Tuple[Optional[int], str]:
    """The type byte the library reads (the low 8 bits) and how to name it."""
    given = arguments.get("type")
    if not isinstance(given, int):
        return None, ""
    read = given & 0xFF
    return read, "" if read == given else f"type={int(given)} is read as 0x{read:02X}: "


def end_of_track(arguments: Mapping[str, Any], known: Known) -> Optional[str]:
    read, prefix = _meta_type(arguments)
    if read != END_OF_TRACK:
        return None
    return f"{prefix}end of track (meta 0x2F) is refused: the library writes it"


def meta_length(arguments: Mapping[str, Any], known: Known) -> Optional[str]:
    read, prefix = _meta_type(arguments)
    length = arguments.get("len")
    if read not in _FIXED_LENGTHS or not isinstance(length, int):
        return None
    name, required = _FIXED_LENGTHS[read]
    if length == required:
        return None
    return f"{prefix}{name} (meta 0x{read:02X}) takes {required} data bytes, not {length}"


# ---- text ---------------------------------------------------------------------

_HEX = b"0123456789abcdefABCDEF"


def hex_text(arguments: Mapping[str, Any], known: Known) -> Optional[str]:
    """calex_insert_Sysx: one byte per token of up to two hexadecimal digits;
    the bytes must make a message that InsertSysexEvent accepts."""
    text = arguments.get("text")
    if not isinstance(text, (bytes, bytearray)):
        return None
    if not text:
        return "the text is empty"
    values = []
    for token in bytes(text).split():  # split() cuts at runs of the six delimiters
        if token[0] not in _HEX:
            return f"the token {token.decode('latin-1')!r} does not begin with a hexadecimal digit"
        values.append(int(token[:2] if len(token) > 1 and token[1] in _HEX else token[:1], 16))
    broken = _sysex_rule(len(values), values[0] if values else None,
                         values[-1] if values else None)
    if broken is None:
        return None
    read = " ".join(f"{v:02X}" for v in values[:8]) + (" ..." if len(values) > 8 else "")
    count = f"{len(values)} byte{'' if len(values) == 1 else 's'}"
    return f"the text reads as {count} ({read or 'none'}): {broken}"


def text_length(arguments: Mapping[str, Any], known: Known) -> Optional[str]:
    text = arguments.get("text")
    if isinstance(text, (bytes, bytearray)) and len(text) > MAX_DELTA:
        return f"the text is {len(text)} bytes, not below 2^28"
    return None


# ---- the file -----------------------------------------------------------------

def no_image(arguments: Mapping[str, Any], known: Known) -> Optional[str]:
    """Every output: an object with a delta time above MAX_DELTA has no image."""
    if known.gap is None:
        return None
    before, tick = known.gap
    if before is None:
        where = f"the first event, at tick {tick}, is more than 0x0FFFFFFF ticks after the start"
    else:
        where = (f"tick {tick} is more than 0x0FFFFFFF ticks after the event before it, "
                 f"at tick {before}")
    return f"{where}: the object has no image"


DISPOSITIONS = {1: "CREATE_NEW", 2: "CREATE_ALWAYS", 3: "OPEN_EXISTING", 4: "OPEN_ALWAYS",
                5: "TRUNCATE_EXISTING"}
_DISPOSITION = Range("creation_disposition", 1, 5, note="(CREATE_NEW .. TRUNCATE_EXISTING)")

# Windows error codes that SaveSmf's reasons name.
ERROR_FILE_NOT_FOUND, ERROR_FILE_EXISTS, ERROR_ALREADY_EXISTS = 2, 80, 183
ERROR_NOT_SUPPORTED = 50


def system_text(code: int, windows: bool) -> str:
    if not windows:
        return os.strerror(code)
    try:
        return ctypes.FormatError(code).strip().rstrip(".")  # type: ignore[attr-defined]
    except AttributeError:  # not on Windows: the tests
        return f"Windows error {code}"


def system_error(arguments: Mapping[str, Any], known: Known) -> Optional[str]:
    """SaveSmf: the system's reason (errno or GetLastError()), or the
    disposition's own."""
    code = known.error
    if not code:
        return None
    path = os.fspath(known.filename if known.filename is not None else arguments.get("path"))
    if isinstance(path, bytes):
        path = os.fsdecode(path)
    disposition = DISPOSITIONS.get(arguments.get("creation_disposition"), "")
    if known.windows:
        exists, missing = code in (ERROR_FILE_EXISTS, ERROR_ALREADY_EXISTS), ERROR_FILE_NOT_FOUND
        kind = code == ERROR_NOT_SUPPORTED
    else:
        exists, missing, kind = code == _errno.EEXIST, _errno.ENOENT, code == _errno.ENOTSUP
    if disposition == "CREATE_NEW" and exists:
        return f"CREATE_NEW: the file exists: {path!r}"
    if disposition in ("OPEN_EXISTING", "TRUNCATE_EXISTING") and code == missing:
        return f"{disposition}: the file does not exist: {path!r}"
    if kind:
        return f"{path!r} is neither a file on disk nor a character device"
    if not known.windows and code in (_errno.EAGAIN, _errno.EWOULDBLOCK):
        return f"another writer holds the file's lock (share mode 0): {path!r}"
    return f"{system_text(code, known.windows)}: {path!r}"


def _division(arguments: Mapping[str, Any], known: Known) -> Optional[str]:
    division = arguments.get("division")
    if not isinstance(division, int):
        return None
    read = (division & 0xFFFF) - (0x10000 if division & 0x8000 else 0)
    if 1 <= read <= 32767:
        return None
    if read == division:
        return f"division={division} is not in 1..32767"
    return f"division={division} is read as {read} (its low 16 bits, signed), not in 1..32767"


# ---- the table ------------------------------------------------------------------

_DATA_BYTE = 0, 127
_FOURTEEN_BITS = 0, 16383

# Per export, its rules in the order the library checks them: the first one
# broken is the reason.
RULES: Dict[str, Tuple[Rule, ...]] = {
    "CreateSmf": (_division,),
    "SaveSmf": (no_image, _DISPOSITION, system_error),
    "GetSmfDataSize": (no_image,),
    "GetSmfData": (no_image,),
    "InsertMidiEvent": (channel_message,),
    "InsertSysexEvent": (sysex_message,),
    "InsertMetaEvent": (_LENGTH, end_of_track, meta_length),
    "cal_insert_Note": (_CHANNEL, Range("key", *_DATA_BYTE), Range("velocity", 1, 127)),
    "cal_insert_KeyAft": (_CHANNEL, Range("key", *_DATA_BYTE), Range("pressure", *_DATA_BYTE)),
    "cal_insert_Control": (_CHANNEL, Range("controller", *_DATA_BYTE),
                           Range("value", *_DATA_BYTE)),
    "cal_insert_ChanAft": (_CHANNEL, Range("pressure", *_DATA_BYTE)),
    "cal_insert_Patch": (_CHANNEL, Range("program", *_DATA_BYTE),
                         Range("bank", -1, 16383, note="(-1: no bank select)")),
    "cal_insert_Wheel": (_CHANNEL, Range("value", -8192, 8191)),
    "calex_insert_RPN": (_CHANNEL, Range("parameter", *_FOURTEEN_BITS),
                         Range("value", *_FOURTEEN_BITS)),
    "calex_insert_NRPN": (_CHANNEL, Range("parameter", *_FOURTEEN_BITS),
                          Range("value", *_FOURTEEN_BITS)),
    "calex_insert_Sysx": (hex_text,),
    "calex_insert_Text": (text_length,),
    "calex_insert_Lyric": (text_length,),
    "CopyToClipboard": (no_image,),
}

# What is left when a refused call broke no rule that the binding can see.
_OTHERWISE = "the handle names no live object, or memory ran out"
OTHERWISE = {
    "CreateSmf": "memory ran out",
    "DeleteSmf": "the handle names no live object",
    "GetSmfData": "the handle names no live object, size is smaller than the image, "
                  "or memory ran out",
    "CopyToClipboard": "the handle names no live object, the clipboard is held open "
                       "elsewhere, or memory ran out",
}


def reason(call: str, arguments: Mapping[str, Any], known: Known = Known()) -> Optional[str]:
    """The rule that the refused call `call` (a C function's name) broke with
    `arguments` (name -> value, as XemidiError holds them), in the header's
    words; None when it broke none of those the binding can see."""
    for rule in RULES.get(call, ()):
        broken = rule(arguments, known)
        if broken:
            return broken
    return None


def otherwise(call: str) -> str:
    """Why the library refuses a call that breaks no rule of RULES."""
    return OTHERWISE.get(call, _OTHERWISE)


class TickSpans:
    """The earliest and latest tick of an object's events in each span of
    2**28 ticks: enough to find a delta time that the format cannot hold.
    Within a span no two ticks are more than MAX_DELTA apart, so such a delta
    can only lead from the latest event of one span to the earliest of the
    next span that holds events, or from the start to the first event.
    `unread` is True while the spans lack the ticks of events read from a
    file (the object's owner adds them when a reason first needs them)."""

    __slots__ = ("low", "high", "unread")

    def __init__(self, unread: bool = False) -> None:
        self.low = [1 << 32] * 16  # empty: low above high
        self.high = [-1] * 16
        self.unread = unread

    def add(self, tick: int) -> None:
        span = tick >> SPAN_BITS
        if tick < self.low[span]:
            self.low[span] = tick
        if tick > self.high[span]:
            self.high[span] = tick

    def copy(self) -> "TickSpans":
        twin = TickSpans(self.unread)
        twin.low, twin.high = self.low[:], self.high[:]
        return twin

    def gap(self) -> Optional[Tuple[Optional[int], int]]:
        """(tick before, tick) of the first delta above MAX_DELTA; tick before
        is None for the start. None when there is none."""
        before: Optional[int] = None
        for low, high in zip(self.low, self.high):
            if low > high:
                continue
            if low - (before or 0) > MAX_DELTA:
                return before, low
            before = high
        return None
