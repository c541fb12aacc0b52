"""Reading Standard MIDI Files (format 0 and 1) into Smf objects, and the
errors of a refused read."""

import ctypes
import os
from typing import Any, Dict, List, Optional, Union

from . import _arguments, _rules
from ._errors import XemidiError, of_errno, package_function
from ._library import LOCK, Library, clear_system_error, load, refused, system_error
from ._smf import Smf

Source = Union[str, os.PathLike, bytes, bytearray, memoryview, Any]

# XEMIDI_READ_* of include/xemidi.h that are not about the file's bytes.
_TOO_MANY_TRACKS, _NO_MEMORY, _FILE = 10, 11, 12
_TEXT_SIZE = 96


class _Refusal(XemidiError):
    """What both kinds of refused read carry: `code`, the header's
    XEMIDI_READ_* number, and `offset`, where in the file reading stopped."""

    def __init__(self, call: str, arguments: Dict[str, Any], *, code: int, offset: int,
                 **keywords: Any) -> None:
        self.code, self.offset = code, offset
        super().__init__(call, arguments, **keywords)

    def _keywords(self) -> Dict[str, Any]:
        return dict(super()._keywords(), code=self.code, offset=self.offset)


class SmfReadError(_Refusal, ValueError):
    """A file that is not a Standard MIDI File this library reads: `reason`
    says which rule it broke, `offset` where in its bytes reading stopped,
    and `code` is the header's XEMIDI_READ_* number."""


class SmfFileError(_Refusal, OSError):
    """A file that could not be opened or read: `errno`, `strerror` (and
    `winerror` on Windows) and `filename` as OSError has them; `code` is
    XEMIDI_READ_FILE and `offset` the bytes read before the failure. It is
    also the OSError subclass of its errno, as open() raises it
    (FileNotFoundError, PermissionError, ...), as a refused save is."""


def _reason_text(library: Library, code: int) -> str:
    text = ctypes.create_string_buffer(_TEXT_SIZE)
    if not library.call_locked("GetSmfReadErrorText", code, text, _TEXT_SIZE):
        return f"reason {code}"
    return text.value.decode("ascii")


def _refused(library: Library, call: str, shown: Dict[str, Any], code: int, offset: int,
             error: int, filename: Any) -> _Refusal:
    reason = _reason_text(library, code)
    if code == _FILE:
        system = _arguments.system_reason(error, filename)
        if system.get("errno"):
            reason = f"{reason}: {system['strerror']}"
        return of_errno(SmfFileError, system.get("errno"))(call, shown, code=code, offset=offset,
                                                           reason=reason, **system)
    if code not in (_TOO_MANY_TRACKS, _NO_MEMORY):
        reason = f"{reason} (at byte {offset})"
    return SmfReadError(call, shown, code=code, offset=offset, reason=reason)


def _adopt(library: Library, handle: int) -> Smf:
    """An Smf for a handle that a read made."""
    smf = Smf.__new__(Smf)
    smf._handle = None
    smf._ticks = _rules.TickSpans(unread=True)  # filled from the events if a reason needs them
    smf._library = library
    smf._handle = handle
    return smf


def _data_of(source: Source) -> Optional[bytes]:
    """The bytes of data or of a binary file object; None for a path."""
    if isinstance(source, (str, os.PathLike)):
        return None
    if isinstance(source, (bytes, bytearray, memoryview)):
        return bytes(source)
    read = getattr(source, "read", None)
    if read is None:
        try:
            return bytes(memoryview(source))
        except TypeError:
            raise refused(TypeError, "source must be a path, bytes-like data or a binary file, "
                          f"not {type(source).__name__}") from None
    data = read()
    if not isinstance(data, (bytes, bytearray, memoryview)):
        raise refused(TypeError, f"the file object gave {type(data).__name__}, not bytes")
    return bytes(data)


def _call(library: Library, source: Source, data: Optional[bytes], tracks: bool,
          handles: Any, capacity: int, out: Any) -> Any:
    """One call of the reader that fits the source and the layout, under the
    package's lock: its name, the arguments its error shows, its result."""
    count, reason, offset = (ctypes.byref(o) for o in out)
    if data is None:
        clear_system_error()
        call, shown, given = "LoadSmf", {"path": source}, (_arguments.path_bytes(source),)
    else:
        call, shown, given = "ReadSmf", {"size": len(data)}, (data, len(data))
    if tracks:
        call += "Tracks"
        return call, shown, library.call_locked(call, *given, handles, capacity, count, reason,
                                                offset)
    handles[0] = library.call_locked(call, *given, reason, offset)
    return call, shown, handles[0]


def _read(source: Source, library: Optional[Library], tracks: bool) -> List[Smf]:
    library = library if library is not None else load()
    data = _data_of(source)
    out = count, reason, offset = ctypes.c_uint32(), ctypes.c_uint32(), ctypes.c_uint32()
    capacity = 0
    while True:
        handles = (ctypes.c_void_p * max(capacity, 1))()
        with LOCK:
            call, shown, made = _call(library, source, data, tracks, handles, capacity, out)
            error = system_error() if data is None else 0
            if made:
                return [_adopt(library, handles[i]) for i in range(count.value if tracks else 1)]
            if tracks and reason.value == _TOO_MANY_TRACKS and capacity == 0:
                capacity = count.value  # the header's count: read again with room for it
                continue
            raise _refused(library, call, shown, reason.value, offset.value, error,
                           source if data is None else None)


@package_function
def read(source: Source, *, library: Optional[Library] = None) -> Smf:
    """ReadSmf or LoadSmf: a Standard MIDI File of format 0 or 1 read into one
    Smf, every track's events merged in track order (at a shared tick, an
    earlier track's first). source is a path (str or os.PathLike), bytes-like
    data, or a binary file object, which is read to its end. A refused file
    raises SmfReadError (a ValueError and a XemidiError) with its `reason`
    and `offset`; one that cannot be opened SmfFileError, also an OSError."""
    return _read(source, library, False)[0]


@package_function
def read_tracks(source: Source, *, library: Optional[Library] = None) -> List[Smf]:
    """ReadSmfTracks or LoadSmfTracks: one Smf per track of the file (format 0:
    one), in the file's order; source and errors as for `read`."""
    return _read(source, library, True)


__all__ = ["SmfFileError", "SmfReadError", "read", "read_tracks"]
