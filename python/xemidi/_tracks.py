"""Format 1: several Smf objects as the tracks of one file, in memory
(`tracks_data`) or in a file (`save_tracks`)."""

import ctypes
from typing import Any, Dict, Iterable, List, Optional

from . import _arguments, _rules
from ._errors import XemidiError, of_errno, package_function
from ._library import LOCK, Library, checked_int, clear_system_error, refused, system_error
from ._arguments import Path
from ._smf import _FLAGS, Disposition, Smf

MAX_TRACKS = 0xFFFF  # the header's 16-bit count


def _objects(smfs: Iterable[Smf]) -> List[Smf]:
    """The objects as a list: Smf objects of one library, 1 to 65,535."""
    try:
        objects = list(smfs)
    except TypeError:
        raise refused(TypeError, "smfs must be an iterable of xemidi.Smf, not "
                      f"{type(smfs).__name__}") from None
    for index, smf in enumerate(objects):
        if not isinstance(smf, Smf):
            raise refused(TypeError, f"smfs[{index}] must be an xemidi.Smf, not "
                          f"{type(smf).__name__}")
        if smf._library is not objects[0]._library:
            raise refused(ValueError, f"smfs[{index}] belongs to another library than smfs[0]")
    if not 1 <= len(objects) <= MAX_TRACKS:
        raise refused(ValueError, f"smfs holds {len(objects)} objects, not 1..{MAX_TRACKS}")
    return objects


def _handles(objects: List[Smf]) -> Any:
    """The objects' handles as the C array the exports take; under LOCK."""
    for index, smf in enumerate(objects):
        if smf._handle is None:
            raise refused(ValueError, f"smfs[{index}] is closed")
    return (ctypes.c_void_p * len(objects))(*(smf._handle for smf in objects))


def _why(objects: List[Smf]) -> Optional[str]:
    """Why the library refused the tracks, as far as the binding can tell;
    under LOCK. None when no track breaks a rule (the file would take 4 GiB
    or more, or memory ran out)."""
    library = objects[0]._library
    divisions = []
    for smf in objects:
        division = ctypes.c_uint32()
        if not library.call_locked("GetSmfDivision", smf._handle, ctypes.byref(division)):
            return "a handle names no live object"
        divisions.append(division.value)
    for index, division in enumerate(divisions):
        if division != divisions[0]:
            return (f"smfs[{index}] has division {division}, smfs[0] {divisions[0]}: the tracks "
                    "of a file share one division")
    size = ctypes.c_uint32()
    for index, smf in enumerate(objects):
        if not library.call_locked("GetSmfDataSize", smf._handle, ctypes.byref(size)):
            why = _rules.reason("GetSmfDataSize", {}, _rules.Known(smf._gap()))
            return f"smfs[{index}] has no file: {why or _NO_IMAGE}"
    return None


_NO_IMAGE = ("two consecutive events are more than 0x0FFFFFFF ticks apart, or the first is at "
             "tick 2**28 or later")


def _track_refusal(call: str, shown: Dict[str, Any], objects: List[Smf], error: int = 0,
                   filename: Any = None) -> XemidiError:
    """The error of a refused call on the tracks: a track's own rule first;
    for a save, then SaveSmf's rules (its disposition, the system's
    reason)."""
    reason = _why(objects)
    if reason is None and call == "SaveSmfTracks":
        reason = _rules.reason("SaveSmf", shown, _rules.Known(error=error, filename=filename))
    system = _arguments.system_reason(error, filename)
    return of_errno(XemidiError, system.get("errno"))(call, shown, reason=reason, **system)


def _data(objects: List[Smf]) -> bytes:
    library: Library = objects[0]._library
    with LOCK:  # no other thread inserts between the size and the copy
        handles, count = _handles(objects), len(objects)
        size = ctypes.c_uint32()
        if not library.call_locked("GetSmfTracksDataSize", handles, count, ctypes.byref(size)):
            raise _track_refusal("GetSmfTracksDataSize", {"count": count}, objects)
        buffer = ctypes.create_string_buffer(size.value)
        if not library.call_locked("GetSmfTracksData", handles, count, buffer, size.value):
            raise _track_refusal("GetSmfTracksData", {"count": count, "size": size.value},
                                 objects)
    return buffer.raw


@package_function
def tracks_data(smfs: Iterable[Smf]) -> bytes:
    """GetSmfTracksData: the format 1 file of the objects, as bytes: one track
    per object, in order, each byte for byte the track of the object's own
    data(); the same object may stand twice. smfs is an iterable of 1 to
    65,535 open Smf objects of one division, each with a file (see
    Smf.size)."""
    return _data(_objects(smfs))


@package_function
def save_tracks(path: Path, smfs: Iterable[Smf], disposition: int = Disposition.CREATE_ALWAYS,
                flags: int = 0x80) -> None:
    """SaveSmfTracks: writes the format 1 file of the objects (as
    `tracks_data` makes it) to path, as Smf.save writes one: the same
    dispositions, flags and errors, a binary file object in place of a path
    included."""
    objects = _objects(smfs)
    if not _arguments.is_path(path):
        file = _arguments.binary_file(path)
        if (disposition, flags) != (Disposition.CREATE_ALWAYS, 0x80):
            raise refused(TypeError, "disposition and flags are for a path, not a file object")
        _arguments.write_all(file, _data(objects))
        return
    disposition = checked_int(disposition, "disposition", _FLAGS)
    flags = checked_int(flags, "flags", _FLAGS)
    target = _arguments.path_bytes(path)
    with LOCK:
        handles = _handles(objects)
        clear_system_error()  # a refused save leaves its reason in errno
        if objects[0]._library.call_locked("SaveSmfTracks", handles, len(objects), target,
                                           disposition, flags):
            return
        error = system_error()
        shown = {"count": len(objects), "path": target, "creation_disposition": disposition,
                 "flags_and_attributes": flags}
        raise _track_refusal("SaveSmfTracks", shown, objects, error, path)
