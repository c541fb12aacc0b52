"""The arguments of Smf's methods made into those of the C calls: bytes,
text and paths checked and converted, a note's duration, and the data of the
meta events Smf writes by value (tempo, time and key signatures).

Each check runs before any arithmetic on its argument and raises as
_library.refused makes it, so that the method names itself and its
arguments in front (_errors.method). Below _smf and _batch.
"""

import decimal
import io
import numbers
import os
from typing import Any, Dict, Optional, Tuple, Union

from . import _rules
from ._library import _U32, _INT_RANGES, ON_WINDOWS, an_int, checked_int, refused

Bytes = Union[bytes, bytearray, memoryview]
Text = Union[str, bytes, bytearray, memoryview]
Path = Union[str, bytes, os.PathLike]
TICKS = _INT_RANGES[_U32]


def data_bytes(data: Any, name: str = "data") -> bytes:
    if isinstance(data, bytes):
        return data
    if isinstance(data, (bytearray, memoryview)):
        return bytes(data)
    raise refused(TypeError, f"{name} must be bytes, not {type(data).__name__}")


def text_bytes(text: Any, zero: bool = False) -> bytes:
    """str as UTF-8, bytes as given. C reads up to the first zero byte, so a
    text holding one would be cut short: refused, unless `zero` (a meta
    event's data, which holds its length)."""
    if isinstance(text, str):
        encoded = text.encode("utf-8")
    elif isinstance(text, (bytes, bytearray, memoryview)):
        encoded = bytes(text)
    else:
        raise refused(TypeError, f"text must be str or bytes, not {type(text).__name__}")
    if not zero and b"\0" in encoded:
        raise refused(ValueError, "the text holds a zero byte")
    return encoded


def path_bytes(path: Path) -> bytes:
    """The path as the library takes it: bytes on POSIX, ANSI text on Windows."""
    path = os.fspath(path)
    if isinstance(path, str):
        path = path.encode("mbcs") if ON_WINDOWS else os.fsencode(path)
    if b"\0" in path:
        raise refused(ValueError, "the path holds a zero byte")
    return path


def is_path(target: Any) -> bool:
    return isinstance(target, (str, bytes, os.PathLike))


def binary_file(target: Any) -> Any:
    """The file object that save() writes to: one with write() that takes bytes."""
    if not callable(getattr(target, "write", None)):
        raise refused(TypeError, "path must be a path (str, bytes, os.PathLike) or a binary file "
                      f"object with write(), not {type(target).__name__}")
    if isinstance(target, io.TextIOBase):
        raise refused(TypeError, "the file is open in text mode: open it in binary mode ('wb')")
    return target


def write_all(file: Any, image: bytes) -> None:
    """Writes image with file.write(), again with the rest while it writes
    part of it (a raw file may); None from write() counts as all of it."""
    rest = image
    while rest:
        written = file.write(rest)
        if written is None or written == len(rest):
            return
        if not isinstance(written, int) or not 0 < written < len(rest):
            raise OSError(f"{type(file).__name__}.write() of {len(rest)} bytes returned "
                          f"{written!r}; {len(image) - len(rest)} of {len(image)} written")
        rest = rest[written:]


def system_reason(error: int, filename: Any) -> Dict[str, Any]:
    """XemidiError's OSError attributes for a system error (none for 0)."""
    if not error:
        return {}
    strerror = _rules.system_text(error, ON_WINDOWS)
    if ON_WINDOWS:  # OSError maps a Windows error code to an errno value there
        return {"errno": OSError(None, "", None, error).errno, "winerror": error,
                "strerror": strerror, "filename": filename}
    return {"errno": error, "strerror": strerror, "filename": filename}


# ---- notes --------------------------------------------------------------------

# A note's duration as the binding takes it, 0..2**32-1, passed to the C
# int32_t as the value of the same 32 bits (the library puts the note-off at
# tick + duration modulo 2**32). A negative duration, or one that takes the
# note-off past the last tick and round, would put the note-off before its
# note-on, which leaves the note sounding: the binding refuses both, in
# note() and in the batch inserters (_batch, _cbatch.c).
DURATIONS = (0, 2**32 - 1)
LAST_TICK = 2**32 - 1


def note_off_wraps(tick_name: str, tick: int, duration_name: str, duration: int) -> Exception:
    """The error for a note whose tick + duration passes LAST_TICK."""
    return refused(ValueError, f"{tick_name} + {duration_name} = {tick + duration} is past tick "
                   f"{LAST_TICK}: the note-off would go round to tick "
                   f"{(tick + duration) & LAST_TICK}, before its note-on")


def int32(duration: int) -> int:
    """A duration of DURATIONS as the int32_t of the same 32 bits."""
    return duration - ((duration >> 31) << 32)


def note(tick: Any, duration: Any) -> Tuple[int, int, int]:
    """tick, the duration as the C int32_t takes it, and the note-off's tick."""
    tick = checked_int(tick, "tick", TICKS)
    duration = checked_int(duration, "duration", DURATIONS, ValueError)
    if tick + duration > LAST_TICK:
        raise note_off_wraps("tick", tick, "duration", duration)
    return tick, int32(duration), tick + duration


# ---- the meta events most files hold, by value ---------------------------------

_TEMPO_RANGE = "not in 1..16777215, the 3 bytes of a tempo"


def tempo(bpm: Optional[Any], micros: Optional[Any]) -> bytes:
    """A tempo's 3 bytes from bpm or microseconds per quarter note."""
    if (bpm is None) == (micros is None):
        raise refused(TypeError, "give bpm or microseconds_per_quarter, one of the two")
    if micros is not None:
        micros = checked_int(micros, "microseconds_per_quarter", (1, 0xFFFFFF), ValueError)
        return micros.to_bytes(3, "big")
    if not isinstance(bpm, (numbers.Real, decimal.Decimal)):
        raise refused(TypeError, f"bpm must be a number, not {type(bpm).__name__}")
    if not bpm > 0:
        raise refused(ValueError, f"bpm={bpm!r} is not more than 0")
    exact = 60_000_000 / bpm
    if not 0.5 < exact < 0xFFFFFF + 0.5:  # what rounds to 1..16777215
        raise refused(ValueError, f"bpm={bpm!r} gives {float(exact):.0f} microseconds per "
                      f"quarter note, {_TEMPO_RANGE} (bpm 3.58 and more fit)")
    return round(exact).to_bytes(3, "big")


def time_signature(**values: Any) -> bytes:
    """A time signature's 4 bytes from numerator, denominator (a power of
    two), clocks_per_click and notated_32nds, in that order."""
    for name, value in values.items():
        if name != "denominator":
            values[name] = checked_int(value, name, (1, 255), ValueError)
            continue
        value = an_int(value, name)
        if value < 1 or value & (value - 1) or value.bit_length() > 256:
            raise refused(ValueError, f"denominator={value} is not a power of two from 1 to "
                          "2**255")
        values[name] = value.bit_length() - 1
    return bytes(values.values())


def key_signature(sharps_or_flats: Any, minor: Any) -> bytes:
    count = checked_int(sharps_or_flats, "sharps_or_flats", (-7, 7), ValueError)
    return bytes([count & 0xFF, 1 if minor else 0])
