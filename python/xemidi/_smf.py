"""Smf: one xemidi object, a Standard MIDI File (format 0) built in memory."""

import ctypes
import enum
import operator
from typing import Any, Dict, Iterator, Optional, Sequence, Tuple, Union

from . import _arguments, _batch, _rules
from ._arguments import Bytes, Path, Text
from ._errors import XemidiError, method, of_errno
from ._library import _BY_NAME, _U32, _INT_RANGES, LOCK, Library, checked_int, clear_system_error
from ._library import load, refused, system_error

Ints = Union[int, Sequence[int], memoryview]  # or any buffer of integers
_FLAGS = _INT_RANGES[_U32]


class Disposition(enum.IntEnum):
    """How `Smf.save` opens its file (the dispositions of Win32 CreateFileA)."""

    CREATE_NEW = 1  #: a new file only; refused when the file exists
    CREATE_ALWAYS = 2  #: a new file, or the existing one emptied
    OPEN_EXISTING = 3  #: an existing file only, not emptied
    OPEN_ALWAYS = 4  #: the existing file, not emptied, or a new one
    TRUNCATE_EXISTING = 5  #: an existing file only, emptied


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

    Ticks, channels (0..15) and values are ints (numpy's integers too); data
    is bytes. Each method calls one function of the C interface (named in its
    description) and returns None unless it says otherwise; `insert_notes`
    and `insert_midi` call theirs once for each element of their sequences.
    A call the library refuses raises XemidiError, which says which rule it
    broke, and changes nothing.
    Before any call, every argument is checked: a value of the wrong type
    raises TypeError, an int that does not fit the C argument OverflowError,
    a value the binding refuses itself (a negative duration, a tempo that
    does not fit) ValueError, and so does a closed object. Every error begins
    with the method and its arguments as the caller gave them:
    "Smf.note(tick=0, channel=0, key=200, velocity=100, duration=480): key=200
    is not in 0..127 (cal_insert_Note(...) returned 0)".

    The object belongs to the library until `close()`, which the ``with``
    statement calls on leaving; an object never closed is deleted when Python
    collects it. Calls from several threads are serialised by the package.

    The library is loaded on first use (see `xemidi.load`); pass `library` to
    use another one.
    """

    @method
    def __init__(self, division: int, *, library: Optional[Library] = None) -> None:
        """CreateSmf: a new, empty object; division 1..32767 ticks per quarter
        note (only the low 16 bits are read, as a signed value)."""
        self._handle: Optional[int] = None
        self._ticks = _rules.TickSpans()  # for the reason when an output is refused
        self._library = library if library is not None else load()
        with LOCK:
            handle = self._library.call_locked("CreateSmf", division)
        if not handle:
            raise XemidiError("CreateSmf", {"division": division})
        self._handle = handle

    # ---- the object ------------------------------------------------------

    @method
    def close(self) -> None:
        """DeleteSmf: frees the object and its events. Closing a closed
        object does nothing."""
        with LOCK:  # the handle is read, cleared and deleted at once
            handle, self._handle = self._handle, None
            deleted = handle is None or self._library.call_locked("DeleteSmf", handle)
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

    @method
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
            twin._handle = self._call("CopySmf")
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
              ticks: Tuple[Any, ...] = (), filename: Any = None) -> Any:
        """Calls the export `name` on this object, the handle read under the
        package's lock, and returns its result; XemidiError for 0 or NULL.
        `shown` replaces the arguments named in the error (pointers out);
        `ticks` are the events' ticks that a successful call inserts;
        `filename` is the path as the caller gave it to save()."""
        with LOCK:
            handle = self._handle
            if handle is None:
                raise refused(ValueError, "the object is closed")
            if name == "SaveSmf":
                clear_system_error()  # SaveSmf alone leaves a reason in errno
            result = self._library.call_locked(name, handle, *arguments)
            if result:
                for tick in ticks:
                    self._ticks.add(operator.index(tick))
                return result
            error = system_error() if name == "SaveSmf" else 0
            gap = self._gap() if _rules.no_image in _rules.RULES.get(name, ()) else None
            known = _rules.Known(gap, error, filename=filename)
        if shown is None:
            names = [argument for argument, _ in _BY_NAME[name].arguments[1:]]
            shown = dict(zip(names, arguments))
        system = _arguments.system_reason(error, filename)
        raise of_errno(XemidiError, system.get("errno"))(
            name, shown, reason=_rules.reason(name, shown, known), **system)

    def _gap(self) -> Optional[Tuple[Optional[int], int]]:
        """TickSpans.gap of the object, under the lock; for an object read from
        a file, its events' ticks are added the first time (when they cannot
        be read, the gap is told from the ticks inserted since)."""
        if self._ticks.unread:
            events = _batch.events(self._library, self._handle)
            if events is not None:
                for tick, _ in events:
                    self._ticks.add(tick)
                self._ticks.unread = False
        return self._ticks.gap()

    # ---- channel messages (channel 0..15) --------------------------------

    @method
    def note(self, tick: int, channel: int, key: int, velocity: int, duration: int) -> None:
        """cal_insert_Note: a note-on (key 0..127, velocity 1..127) at tick and
        its note-off (velocity 64) at tick + duration. duration is 0..2**32-1
        and tick + duration at most 2**32-1: a negative duration, or one that
        takes the note-off past the last tick and round, would put it before
        its note-on and the note would sound on; ValueError."""
        if type(tick) is int and type(duration) is int and 0 <= duration <= 0x7FFFFFFF and \
                tick + duration <= 0xFFFFFFFF:  # the common case, at once (a bad tick: _call)
            off = tick + duration
        else:
            tick, duration, off = _arguments.note(tick, duration)
        self._call("cal_insert_Note", tick, channel, key, velocity, duration, ticks=(tick, off))

    @method
    def key_pressure(self, tick: int, channel: int, key: int, pressure: int) -> None:
        """cal_insert_KeyAft: polyphonic key pressure; key, pressure 0..127."""
        self._call("cal_insert_KeyAft", tick, channel, key, pressure, ticks=(tick,))

    @method
    def control(self, tick: int, channel: int, controller: int, value: int) -> None:
        """cal_insert_Control: a control change; controller, value 0..127."""
        self._call("cal_insert_Control", tick, channel, controller, value, ticks=(tick,))

    @method
    def channel_pressure(self, tick: int, channel: int, pressure: int) -> None:
        """cal_insert_ChanAft: channel pressure 0..127."""
        self._call("cal_insert_ChanAft", tick, channel, pressure, ticks=(tick,))

    @method
    def patch(self, tick: int, channel: int, program: int, bank: int = -1) -> None:
        """cal_insert_Patch: a program change (0..127), preceded at its tick
        by bank select controllers 0 and 32 when bank is 0..16383; bank -1
        sends the program change alone."""
        self._call("cal_insert_Patch", tick, channel, program, bank, ticks=(tick,))

    @method
    def wheel(self, tick: int, channel: int, value: int) -> None:
        """cal_insert_Wheel: pitch wheel, -8192..8191; 0 is the centre."""
        self._call("cal_insert_Wheel", tick, channel, value, ticks=(tick,))

    @method
    def rpn(self, tick: int, channel: int, parameter: int, value: int) -> None:
        """calex_insert_RPN: a registered parameter write, controllers 101,
        100, 6, 38 at tick; parameter, value 0..16383."""
        self._call("calex_insert_RPN", tick, channel, parameter, value, ticks=(tick,))

    @method
    def nrpn(self, tick: int, channel: int, parameter: int, value: int) -> None:
        """calex_insert_NRPN: a non-registered parameter write, controllers
        99, 98, 6, 38 at tick; parameter, value 0..16383."""
        self._call("calex_insert_NRPN", tick, channel, parameter, value, ticks=(tick,))

    @method
    def midi(self, tick: int, data: Bytes) -> None:
        """InsertMidiEvent: a channel message as bytes, status byte first
        (0x80..0xEF, no running status) with the data bytes it needs (below
        0x80); every byte given is stored."""
        data = _arguments.data_bytes(data)
        self._call("InsertMidiEvent", tick, data, len(data), ticks=(tick,))

    # ---- many events in one call ------------------------------------------

    @method
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
        raises as `note()` does (TypeError, OverflowError, ValueError for a
        duration that note() refuses) or, for lengths that differ,
        ValueError; nothing is inserted then. The first note the library
        refuses raises XemidiError with its `index`: the notes before it stay
        inserted (the library takes nothing back), the others are not."""
        _batch.insert_notes(self, ticks, channels, keys, velocities, durations)

    @method
    def insert_midi(self, ticks: Ints, messages: Sequence[Bytes]) -> None:
        """InsertMidiEvent for message 0, 1, 2, ... in that order: exactly
        what `midi()` called for each does. `messages` is a sequence of bytes
        objects (bytes, bytearray, memoryview); `ticks` a sequence of ints of
        the same length, as for `insert_notes`, or a single int for all.
        Checked first and refused as `insert_notes`: the messages before the
        one refused stay inserted."""
        _batch.insert_midi(self, ticks, messages)

    # ---- system exclusive and meta events --------------------------------

    @method
    def sysex(self, tick: int, data: Bytes) -> None:
        """InsertSysexEvent: one complete message, F0 ... F7."""
        data = _arguments.data_bytes(data)
        self._call("InsertSysexEvent", tick, data, len(data), ticks=(tick,))

    @method
    def sysex_hex(self, tick: int, text: Text) -> None:
        """calex_insert_Sysx: a system-exclusive message as hexadecimal text,
        one byte per token separated by white space: "F0 7E 7F 09 01 F7"."""
        self._call("calex_insert_Sysx", tick, _arguments.text_bytes(text), ticks=(tick,))

    @method
    def meta(self, tick: int, type: int, data: Bytes = b"") -> None:
        """InsertMetaEvent: a meta event of the given type (the library reads
        its low 8 bits) with its data; tempo (0x51) takes 3 bytes, time
        signature (0x58) 4, and the other types of fixed length theirs. End
        of track (0x2F) is refused: the library writes it."""
        self._meta(tick, type, _arguments.data_bytes(data))

    def _meta(self, tick: int, type: int, data: bytes) -> None:
        self._call("InsertMetaEvent", tick, type, data, len(data), ticks=(tick,))

    @method
    def text(self, tick: int, text: Text) -> None:
        """calex_insert_Text: a text meta event (0x01). A str is written as
        UTF-8; pass bytes for another encoding."""
        self._call("calex_insert_Text", tick, _arguments.text_bytes(text), ticks=(tick,))

    @method
    def lyric(self, tick: int, text: Text) -> None:
        """calex_insert_Lyric: a lyric meta event (0x05), like `text`."""
        self._call("calex_insert_Lyric", tick, _arguments.text_bytes(text), ticks=(tick,))

    # ---- the meta events most files hold, by value ------------------------

    @method
    def tempo(self, tick: int, bpm: Optional[float] = None,
              microseconds_per_quarter: Optional[int] = None) -> None:
        """InsertMetaEvent 0x51: the tempo from tick on, given as quarter notes
        per minute (`bpm`, any real number) or in microseconds per quarter
        note, one of the two: tempo(0, bpm=120) equals tempo(0,
        microseconds_per_quarter=500000). The file holds whole microseconds,
        1..16777215 (3 bytes), so bpm is rounded to them and must be 3.58 or
        more; ValueError for what does not fit."""
        self._meta(tick, 0x51, _arguments.tempo(bpm, microseconds_per_quarter))

    @method
    def time_signature(self, tick: int, numerator: int, denominator: int,
                       clocks_per_click: int = 24, notated_32nds: int = 8) -> None:
        """InsertMetaEvent 0x58: the time signature numerator/denominator from
        tick on (denominator a power of two: 4 for 3/4), with MIDI clocks per
        metronome click and notated 32nd notes per quarter note (24 clocks
        to the quarter). Each value takes a byte, 1..255, the denominator as
        its power of two; ValueError for what does not fit."""
        self._meta(tick, 0x58, _arguments.time_signature(
            numerator=numerator, denominator=denominator, clocks_per_click=clocks_per_click,
            notated_32nds=notated_32nds))

    @method
    def key_signature(self, tick: int, sharps_or_flats: int, minor: bool = False) -> None:
        """InsertMetaEvent 0x59: the key signature from tick on, as the number
        of sharps (1..7) or flats (-1..-7), 0 for C major or A minor, and
        whether the key is minor; ValueError for more than 7."""
        self._meta(tick, 0x59, _arguments.key_signature(sharps_or_flats, minor))

    @method
    def track_name(self, tick: int, text: Text) -> None:
        """InsertMetaEvent 0x03: the track's name (in a file of one track,
        the sequence's), usually at tick 0. A str is written as UTF-8; pass
        bytes for another encoding."""
        self._meta(tick, 0x03, _arguments.text_bytes(text, zero=True))

    # ---- what it holds ----------------------------------------------------

    @property
    @method
    def division(self) -> int:
        """GetSmfDivision: the ticks per quarter note."""
        return self._out("GetSmfDivision")

    @method
    def __len__(self) -> int:
        """GetSmfEventCount: the number of events (the end of track not counted)."""
        return self._out("GetSmfEventCount")

    @method
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
                raise refused(ValueError, "the object is closed")
            events = _batch.events(self._library, handle)
            if events is None:
                self._call("GetSmfEventCount", ctypes.byref(ctypes.c_uint32()), shown={})
        return iter(events)

    # ---- the file --------------------------------------------------------

    @method
    def size(self) -> int:
        """GetSmfDataSize: the size of the file in bytes. Refused when two
        consecutive events are more than 0x0FFFFFFF ticks apart, or when the
        first event is at tick 2**28 or later (its delta time counts from 0,
        so even a single event there): the object then has no file."""
        return self._size()

    def _size(self) -> int:
        return self._out("GetSmfDataSize")

    def _out(self, name: str) -> int:
        """The C function name's one out-value, a uint32_t, for this object."""
        value = ctypes.c_uint32()
        self._call(name, ctypes.byref(value), shown={})
        return value.value

    @method
    def data(self) -> bytes:
        """GetSmfData: the Standard MIDI File, as bytes; refused as `size`."""
        return self._data()

    def _data(self) -> bytes:
        with LOCK:  # no other thread inserts between the size and the copy
            size = self._size()
            buffer = ctypes.create_string_buffer(size)
            self._call("GetSmfData", buffer, size, shown={"size": size})
        return buffer.raw

    @method
    def save(self, path: Union[Path, Any], disposition: int = Disposition.CREATE_ALWAYS,
             flags: int = 0x80) -> None:
        """SaveSmf: writes the file to path, opened as `disposition` says
        (`Disposition`, default CREATE_ALWAYS). `flags` are the Win32 file
        flags and attributes (default FILE_ATTRIBUTE_NORMAL); outside Windows
        only 0x1 (read-only) and 0x80000000 (write through) count. On Windows
        the path is given as ANSI text. A save that the system refused raises
        a XemidiError that is also the OSError subclass of its errno, as
        open() raises it (FileNotFoundError, PermissionError, ...), with
        `errno`, `strerror` and `filename`.

        path may also be a binary file object, anything with write() (open(...,
        "wb"), io.BytesIO, a socket's makefile("wb")): the file's bytes, as
        data() gives them, go to write(), which is called again with the rest
        while it returns a count of fewer bytes. disposition and flags are then
        left as they are; the file object's own errors reach the caller."""
        if not _arguments.is_path(path):
            file = _arguments.binary_file(path)
            if (disposition, flags) != (Disposition.CREATE_ALWAYS, 0x80):
                raise refused(TypeError, "disposition and flags are for a path, not a file "
                              "object")
            _arguments.write_all(file, self._data())
            return
        disposition = checked_int(disposition, "disposition", _FLAGS)
        flags = checked_int(flags, "flags", _FLAGS)
        self._call("SaveSmf", _arguments.path_bytes(path), disposition, flags, filename=path)

    @method
    def to_clipboard(self) -> None:
        """CopyToClipboard: puts the file on the clipboard, format "Standard
        MIDI File". Outside Windows, the library's own clipboard in this
        process (see xemidi_clipboard.h)."""
        self._call("CopyToClipboard")
