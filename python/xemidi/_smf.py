"""Smf: one xemidi object, a Standard MIDI File (format 0) built in memory."""

import ctypes
import enum
import operator
import os
from typing import Any, Dict, Iterator, Optional, Sequence, Tuple, Union

from . import _batch, _rules
from ._errors import XemidiError
from ._library import _BY_NAME, LOCK, ON_WINDOWS, Library, clear_system_error, load, system_error

Bytes = Union[bytes, bytearray, memoryview]
Text = Union[str, bytes, bytearray, memoryview]
Ints = Union[int, Sequence[int], memoryview]  # or any buffer of integers


class Disposition(enum.IntEnum):
    """How `Smf.save` opens its file (the dispositions of Win32 CreateFileA)."""

    CREATE_NEW = 1  #: a new file only; refused when the file exists
    CREATE_ALWAYS = 2  #: a new file, or the existing one emptied
    OPEN_EXISTING = 3  #: an existing file only, not emptied
    OPEN_ALWAYS = 4  #: the existing file, not emptied, or a new one
    TRUNCATE_EXISTING = 5  #: an existing file only, emptied


def _bytes(data: Bytes, call: str) -> bytes:
    if isinstance(data, bytes):
        return data
    if isinstance(data, (bytearray, memoryview)):
        return bytes(data)
    raise TypeError(f"{call}: data must be bytes, not {type(data).__name__}")


def _int(value: Any, method: str, name: str) -> int:
    try:
        return operator.index(value)
    except TypeError:
        raise TypeError(f"{method}: {name} must be an int, not {type(value).__name__}") from None


def _text(text: Text, call: str) -> bytes:
    """str as UTF-8, bytes as given; C reads up to the first zero byte, so a
    text holding one would be cut short: refused."""
    if isinstance(text, str):
        text = text.encode("utf-8")
    elif isinstance(text, (bytes, bytearray, memoryview)):
        text = bytes(text)
    else:
        raise TypeError(f"{call}: text must be str or bytes, not {type(text).__name__}")
    if b"\0" in text:
        raise ValueError(f"{call}: the text holds a zero byte")
    return text


def _system_reason(error: int, filename: Any) -> Dict[str, Any]:
    """XemidiError's OSError-style attributes for a system error (none for 0)."""
    if not error:
        return {}
    if ON_WINDOWS:  # OSError maps a Windows error code to an errno value there
        return {"errno": OSError(None, "", None, error).errno, "winerror": error,
                "filename": filename}
    return {"errno": error, "filename": filename}


def _path(path: Union[str, bytes, os.PathLike]) -> bytes:
    """The path as the library takes it: bytes on POSIX, ANSI text on Windows."""
    path = os.fspath(path)
    if isinstance(path, str):
        path = path.encode("mbcs") if ON_WINDOWS else os.fsencode(path)
    if b"\0" in path:
        raise ValueError("SaveSmf: the path holds a zero byte")
    return path


class Smf:
    """A Standard MIDI File (format 0, one track) built in memory by xemidi.

    Create it with a timing division (ticks per quarter note, 1..32767), insert
    events at absolute ticks in any order, then take the file as `data()`,
    `save()` it or put it on the clipboard. The library keeps the events sorted
    by tick and writes delta times, running status and the end of track
    itself. Of several events at one tick, the one inserted last stands first:
    insert a tick's program change after its notes::

        import xemidi
        with xemidi.Smf(480) as smf:                  # 480 ticks per quarter note
            smf.note(0, 0, key=60, velocity=100, duration=480)   # tick 0, channel 0
            smf.patch(0, 0, program=0)                # piano, before the note
            smf.save("song.mid")

    Ticks, channels (0..15) and values are plain ints; data is bytes. Each
    method calls one function of the C interface (named in its description)
    and returns None unless it says otherwise; `insert_notes` and
    `insert_midi` call theirs once for each element of their sequences. A
    call the library refuses raises XemidiError, which says which rule it
    broke, and changes nothing.
    Before any call, an int that does not fit the C argument raises
    OverflowError, a value of the wrong type TypeError, and a closed object
    ValueError.

    The object belongs to the library until `close()`, which the ``with``
    statement calls on leaving; an object never closed is deleted when Python
    collects it. Calls from several threads are serialised by the package.

    The library is loaded on first use (see `xemidi.load`); pass `library` to
    use another one.
    """

    def __init__(self, division: int, *, library: Optional[Library] = None) -> None:
        """CreateSmf: a new, empty object; division 1..32767 ticks per quarter
        note (only the low 16 bits are read, as a signed value)."""
        self._handle: Optional[int] = None
        self._ticks = _rules.TickSpans()  # for the reason when an output is refused
        self._library = library if library is not None else load()
        handle = self._library.call("CreateSmf", division)
        if not handle:
            raise XemidiError("CreateSmf", {"division": division})
        self._handle = handle

    # ---- the object ------------------------------------------------------

    def close(self) -> None:
        """DeleteSmf: frees the object and its events. Closing a closed
        object does nothing."""
        with LOCK:  # the handle is read, cleared and deleted at once
            handle, self._handle = self._handle, None
            deleted = handle is None or self._library.call("DeleteSmf", handle)
        if not deleted:
            raise XemidiError("DeleteSmf", {})

    @property
    def closed(self) -> bool:
        """True once `close()` has run."""
        return self._handle is None

    def __enter__(self) -> "Smf":
        return self

    def __exit__(self, *exception: Any) -> None:
        self.close()

    def __del__(self) -> None:
        try:
            self.close()
        except Exception:  # at interpreter exit or for a handle already gone
            pass

    def __repr__(self) -> str:
        return f"<xemidi.Smf {'closed' if self.closed else 'open'}>"

    def copy(self) -> "Smf":
        """CopySmf: a new, independent object with the same division and the
        same events in the same order; its file equals this one's. A copy of
        a subclass is of that subclass, with its attributes copied as the
        copy module's copy() does. copy() and deepcopy() call it too."""
        cls = type(self)
        twin = cls.__new__(cls)
        twin.__dict__.update(self.__dict__)
        twin._handle = None
        with LOCK:
            twin._handle = self._call("CopySmf", method="copy")
            twin._ticks = self._ticks.copy()
        return twin

    def __copy__(self) -> "Smf":
        return self.copy()

    def __deepcopy__(self, memo: Any) -> "Smf":
        return self.copy()

    def __reduce__(self) -> Any:
        # A handle means nothing in another process, and two objects holding
        # one handle would delete it twice.
        raise TypeError("an xemidi.Smf cannot be pickled; pickle its data() instead")

    def _call(self, name: str, *arguments: Any, shown: Optional[Dict[str, Any]] = None,
              method: Optional[str] = None, ticks: Tuple[int, ...] = (),
              filename: Any = None) -> Any:
        """Calls the export `name` on this object, the handle read under the
        package's lock, and returns its result; XemidiError for 0 or NULL.
        `shown` replaces the arguments named in the error (pointers out);
        `method` is the one a closed object's error names; `ticks` are the
        events' ticks that a successful call inserts; `filename` is the path
        as the caller gave it to save()."""
        with LOCK:
            handle = self._handle
            if handle is None:
                raise ValueError(f"{type(self).__name__}.{method or name}(): the object is closed")
            if name == "SaveSmf":
                clear_system_error()  # SaveSmf alone leaves a reason in errno
            result = self._library.call_locked(name, handle, *arguments)
            if result:
                for tick in ticks:
                    self._ticks.add(tick)
                return result
            error = system_error() if name == "SaveSmf" else 0
            known = _rules.Known(self._ticks.gap(), error, filename=filename)
        if shown is None:
            names = [argument for argument, _ in _BY_NAME[name].arguments[1:]]
            shown = dict(zip(names, arguments))
        raise XemidiError(name, shown, reason=_rules.reason(name, shown, known),
                          **_system_reason(error, filename))

    # ---- channel messages (channel 0..15) --------------------------------

    def note(self, tick: int, channel: int, key: int, velocity: int, duration: int) -> None:
        """cal_insert_Note: a note-on (key 0..127, velocity 1..127) at tick and
        its note-off (velocity 64) at tick + duration, modulo 2**32."""
        self._call("cal_insert_Note", tick, channel, key, velocity, duration, method="note",
                   ticks=(tick, (tick + duration) & 0xFFFFFFFF))

    def key_pressure(self, tick: int, channel: int, key: int, pressure: int) -> None:
        """cal_insert_KeyAft: polyphonic key pressure; key, pressure 0..127."""
        self._call("cal_insert_KeyAft", tick, channel, key, pressure, method="key_pressure",
                   ticks=(tick,))

    def control(self, tick: int, channel: int, controller: int, value: int) -> None:
        """cal_insert_Control: a control change; controller, value 0..127."""
        self._call("cal_insert_Control", tick, channel, controller, value, method="control",
                   ticks=(tick,))

    def channel_pressure(self, tick: int, channel: int, pressure: int) -> None:
        """cal_insert_ChanAft: channel pressure 0..127."""
        self._call("cal_insert_ChanAft", tick, channel, pressure, method="channel_pressure",
                   ticks=(tick,))

    def patch(self, tick: int, channel: int, program: int, bank: int = -1) -> None:
        """cal_insert_Patch: a program change (0..127), preceded at its tick
        by bank select controllers 0 and 32 when bank is 0..16383; bank -1
        sends the program change alone."""
        self._call("cal_insert_Patch", tick, channel, program, bank, method="patch", ticks=(tick,))

    def wheel(self, tick: int, channel: int, value: int) -> None:
        """cal_insert_Wheel: pitch wheel, -8192..8191; 0 is the centre."""
        self._call("cal_insert_Wheel", tick, channel, value, method="wheel", ticks=(tick,))

    def rpn(self, tick: int, channel: int, parameter: int, value: int) -> None:
        """calex_insert_RPN: a registered parameter write, controllers 101,
        100, 6, 38 at tick; parameter, value 0..16383."""
        self._call("calex_insert_RPN", tick, channel, parameter, value, method="rpn", ticks=(tick,))

    def nrpn(self, tick: int, channel: int, parameter: int, value: int) -> None:
        """calex_insert_NRPN: a non-registered parameter write, controllers
        99, 98, 6, 38 at tick; parameter, value 0..16383."""
        self._call("calex_insert_NRPN", tick, channel, parameter, value, method="nrpn",
                   ticks=(tick,))

    def midi(self, tick: int, data: Bytes) -> None:
        """InsertMidiEvent: a channel message as bytes, status byte first
        (0x80..0xEF, no running status) with the data bytes it needs (below
        0x80); every byte given is stored."""
        data = _bytes(data, "InsertMidiEvent")
        self._call("InsertMidiEvent", tick, data, len(data), method="midi", ticks=(tick,))

    # ---- many events in one call ------------------------------------------

    def insert_notes(self, ticks: Ints, channels: Ints, keys: Ints, velocities: Ints,
                     durations: Ints) -> None:
        """cal_insert_Note for note 0, 1, 2, ... in that order: exactly what
        `note()` called for each does, and with the compiled loops
        (`xemidi.ACCELERATED`) at a small fraction of its cost. Each argument
        is a sequence of ints (a list, tuple, range, array.array, or any
        object with the buffer protocol holding integers, such as a numpy
        array), all of one length, or a single int that stands for every
        note::

            smf.insert_notes(ticks, channels=9, keys=keys, velocities=100, durations=120)

        Every argument is read and checked before the first note goes in, and
        raises as `note()` does (OverflowError, TypeError) or, for lengths
        that differ, ValueError; nothing is inserted then. The first note the
        library refuses raises XemidiError with its `index`: the notes before
        it stay inserted (the library takes nothing back), the others are not
        inserted."""
        _batch.insert_notes(self, ticks, channels, keys, velocities, durations)

    def insert_midi(self, ticks: Ints, messages: Sequence[Bytes]) -> None:
        """InsertMidiEvent for message 0, 1, 2, ... in that order: exactly
        what `midi()` called for each does. `messages` is a sequence of bytes
        objects (bytes, bytearray, memoryview); `ticks` a sequence of ints of
        the same length, as for `insert_notes`, or a single int for all.
        Checked first and refused as `insert_notes`: the messages before the
        one refused stay inserted."""
        _batch.insert_midi(self, ticks, messages)

    # ---- system exclusive and meta events --------------------------------

    def sysex(self, tick: int, data: Bytes) -> None:
        """InsertSysexEvent: one complete message, F0 ... F7."""
        data = _bytes(data, "InsertSysexEvent")
        self._call("InsertSysexEvent", tick, data, len(data), method="sysex", ticks=(tick,))

    def sysex_hex(self, tick: int, text: Text) -> None:
        """calex_insert_Sysx: a system-exclusive message as hexadecimal text,
        one byte per token separated by white space: "F0 7E 7F 09 01 F7"."""
        self._call("calex_insert_Sysx", tick, _text(text, "calex_insert_Sysx"), method="sysex_hex",
                   ticks=(tick,))

    def meta(self, tick: int, type: int, data: Bytes = b"") -> None:
        """InsertMetaEvent: a meta event of the given type (the library reads
        its low 8 bits) with its data; tempo (0x51) takes 3 bytes, time
        signature (0x58) 4, and the other types of fixed length theirs. End
        of track (0x2F) is refused: the library writes it."""
        self._meta(tick, type, data, "meta")

    def _meta(self, tick: int, type: int, data: Bytes, method: str) -> None:
        data = _bytes(data, "InsertMetaEvent")
        self._call("InsertMetaEvent", tick, type, data, len(data), method=method, ticks=(tick,))

    def text(self, tick: int, text: Text) -> None:
        """calex_insert_Text: a text meta event (0x01). A str is written as
        UTF-8; pass bytes for another encoding."""
        self._call("calex_insert_Text", tick, _text(text, "calex_insert_Text"), method="text",
                   ticks=(tick,))

    def lyric(self, tick: int, text: Text) -> None:
        """calex_insert_Lyric: a lyric meta event (0x05), like `text`."""
        self._call("calex_insert_Lyric", tick, _text(text, "calex_insert_Lyric"), method="lyric",
                   ticks=(tick,))

    # ---- the meta events most files hold, by value ------------------------

    def tempo(self, tick: int, bpm: Optional[float] = None,
              microseconds_per_quarter: Optional[int] = None) -> None:
        """InsertMetaEvent 0x51: the tempo from tick on, given as quarter notes
        per minute (`bpm`, any real number) or in microseconds per quarter
        note, one of the two: tempo(0, bpm=120) equals tempo(0,
        microseconds_per_quarter=500000). The file holds whole microseconds,
        1..16777215 (3 bytes), so bpm is rounded to them and must be 3.58 or
        more; ValueError for what does not fit."""
        if (bpm is None) == (microseconds_per_quarter is None):
            raise TypeError("tempo: give bpm or microseconds_per_quarter, one of the two")
        fits = "not in 1..16777215, the 3 bytes of a tempo"
        if bpm is not None:
            try:
                exact = 60_000_000 / bpm if bpm > 0 else None
            except TypeError:
                raise TypeError(f"tempo: bpm must be a number, not {type(bpm).__name__}") from None
            if exact is None:
                raise ValueError(f"tempo: bpm={bpm!r} is not more than 0")
            if not 0.5 < exact < 0xFFFFFF + 0.5:  # what rounds to 1..16777215
                raise ValueError(f"tempo: bpm={bpm!r} gives {float(exact):.0f} microseconds per "
                                 f"quarter note, {fits} (bpm 3.58 and more fit)")
            micros = round(exact)
        else:
            micros = _int(microseconds_per_quarter, "tempo", "microseconds_per_quarter")
            if not 1 <= micros <= 0xFFFFFF:
                raise ValueError(f"tempo: microseconds_per_quarter={micros} is {fits}")
        self._meta(tick, 0x51, micros.to_bytes(3, "big"), "tempo")

    def time_signature(self, tick: int, numerator: int, denominator: int,
                       clocks_per_click: int = 24, notated_32nds: int = 8) -> None:
        """InsertMetaEvent 0x58: the time signature numerator/denominator from
        tick on (denominator a power of two: 4 for 3/4), with MIDI clocks per
        metronome click and notated 32nd notes per quarter note (24 clocks
        to the quarter). Each value takes a byte, 1..255, the denominator as
        its power of two; ValueError for what does not fit."""
        values = {"numerator": numerator, "denominator": denominator,
                  "clocks_per_click": clocks_per_click, "notated_32nds": notated_32nds}
        for name, value in values.items():
            value = _int(value, "time_signature", name)
            if name == "denominator":
                if value < 1 or value & (value - 1) or value.bit_length() > 256:
                    raise ValueError(f"time_signature: denominator={value} is not a power of "
                                     "two from 1 to 2**255")
                value = value.bit_length() - 1
            elif not 1 <= value <= 255:
                raise ValueError(f"time_signature: {name}={value} is not in 1..255")
            values[name] = value
        self._meta(tick, 0x58, bytes(values.values()), "time_signature")

    def key_signature(self, tick: int, sharps_or_flats: int, minor: bool = False) -> None:
        """InsertMetaEvent 0x59: the key signature from tick on, as the number
        of sharps (1..7) or flats (-1..-7), 0 for C major or A minor, and
        whether the key is minor; ValueError for more than 7."""
        count = _int(sharps_or_flats, "key_signature", "sharps_or_flats")
        if not -7 <= count <= 7:
            raise ValueError(f"key_signature: sharps_or_flats={count} is not in -7..7")
        self._meta(tick, 0x59, bytes([count & 0xFF, 1 if minor else 0]), "key_signature")

    def track_name(self, tick: int, text: Text) -> None:
        """InsertMetaEvent 0x03: the track's name (in a file of one track,
        the sequence's), usually at tick 0. A str is written as UTF-8; pass
        bytes for another encoding."""
        if isinstance(text, str):
            text = text.encode("utf-8")
        elif not isinstance(text, (bytes, bytearray, memoryview)):
            raise TypeError(f"track_name: text must be str or bytes, not {type(text).__name__}")
        self._meta(tick, 0x03, text, "track_name")

    # ---- what it holds ----------------------------------------------------

    @property
    def division(self) -> int:
        """GetSmfDivision: the ticks per quarter note."""
        division = ctypes.c_uint32()
        self._call("GetSmfDivision", ctypes.byref(division), shown={}, method="division")
        return division.value

    def __len__(self) -> int:
        """GetSmfEventCount: the number of events (the end of track not counted)."""
        count = ctypes.c_uint32()
        self._call("GetSmfEventCount", ctypes.byref(count), shown={}, method="__len__")
        return count.value

    def events(self) -> Iterator[Tuple[int, bytes]]:
        """GetSmfEvent: the events in track order as (tick, bytes), the bytes
        as stored: a channel message with its status byte; F0 or F7, the
        length as a variable-length quantity, then the bytes; FF, the type,
        the length, then the data. All of them are taken at once, under the
        package's lock, so an insertion from another thread cannot fall
        between two."""
        with LOCK:
            handle = self._handle
            if handle is None:
                raise ValueError(f"{type(self).__name__}.events(): the object is closed")
            events = _batch.events(self._library, handle)
            if events is None:
                self._call("GetSmfEventCount", ctypes.byref(ctypes.c_uint32()), shown={},
                           method="events")
        return iter(events)

    # ---- the file --------------------------------------------------------

    def size(self) -> int:
        """GetSmfDataSize: the size of the file in bytes. Refused when two
        consecutive events are more than 0x0FFFFFFF ticks apart, or when the
        first event is at tick 2**28 or later (its delta time counts from 0,
        so even a single event there): the object then has no file."""
        return self._size("size")

    def _size(self, method: str) -> int:
        size = ctypes.c_uint32()
        self._call("GetSmfDataSize", ctypes.byref(size), shown={}, method=method)
        return size.value

    def data(self) -> bytes:
        """GetSmfData: the Standard MIDI File, as bytes; refused as `size`."""
        with LOCK:  # no other thread inserts between the size and the copy
            size = self._size("data")
            buffer = ctypes.create_string_buffer(size)
            self._call("GetSmfData", buffer, size, shown={"size": size}, method="data")
        return buffer.raw

    def save(self, path: Union[str, bytes, os.PathLike],
             disposition: int = Disposition.CREATE_ALWAYS, flags: int = 0x80) -> None:
        """SaveSmf: writes the file to path, opened as `disposition` says
        (`Disposition`, default CREATE_ALWAYS). `flags` are the Win32 file
        flags and attributes (default FILE_ATTRIBUTE_NORMAL); outside Windows
        only 0x1 (read-only) and 0x80000000 (write through) count. On Windows
        the path is given as ANSI text. A save that the system refused raises
        XemidiError with the system's reason and its `errno`."""
        self._call("SaveSmf", _path(path), disposition, flags, method="save", filename=path)

    def to_clipboard(self) -> None:
        """CopyToClipboard: puts the file on the clipboard, format "Standard
        MIDI File". Outside Windows, the library's own clipboard in this
        process (see xemidi_clipboard.h)."""
        self._call("CopyToClipboard", method="to_clipboard")
