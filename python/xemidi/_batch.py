"""The batch inserters of Smf (insert_notes, insert_midi): one call of the
library per element, in order, under the package's lock.

The loops run in C when the compiled module is there (see _accelerator),
else here in Python over the per-event calls. The compiled loops read the
arguments they know as they are given; anything else they hand back
untouched, and this module converts it, raising the error for bad input, into
ints, lists and ranges, which both loops take (and a buffer of stride 0 into
its one value repeated, which the pure loop takes). So both paths insert the
same events and raise the same errors, and every argument is checked before
the first element goes in.

`smf` is the Smf whose method runs; this module sits below _smf, which
calls it, and imports nothing of it.
"""

import ctypes
import itertools
import operator
import sys
from typing import Any, Callable, Iterable, Iterator, List, Sequence, Tuple, Union

from . import _accelerator
from ._arguments import DURATIONS, LAST_TICK, int32, note_off_wraps
from ._errors import XemidiError
from ._library import _BY_NAME, _INT_RANGES, LOCK, an_int, refused

NOTE = "cal_insert_Note"
MIDI = "InsertMidiEvent"
NOTE_NAMES = ("ticks", "channels", "keys", "velocities", "durations")
MIDI_NAMES = ("ticks", "messages")
# The limits of each column's values, and the error for a value outside
# them: the C types' (OverflowError), and the binding's own for durations.
Limits = Tuple[Tuple[int, int], type]
_NOTE_LIMITS: List[Limits] = [(_INT_RANGES[kind], OverflowError)
                              for _, kind in _BY_NAME[NOTE].arguments[1:5]]
_NOTE_LIMITS.append((DURATIONS, ValueError))
_TICK_LIMITS = _NOTE_LIMITS[0]
_LENGTH_LIMITS = (_INT_RANGES[_BY_NAME[MIDI].arguments[3][1]], OverflowError)
_INTEGER_CODES = "bBhHiIlLqQnN"  # the struct module's integer formats


class Repeated:
    """One int `count` times: a buffer whose stride is 0 (numpy.broadcast_to),
    read once and never spelled out, however long it is."""

    def __init__(self, value: int, count: int) -> None:
        self.value, self.count = value, count

    def __len__(self) -> int:
        return self.count

    def __iter__(self) -> Iterator[int]:
        return itertools.repeat(self.value, self.count)


# An argument converted: an int for every element, or a sequence of ints
# (a list, a range of values that all fit, Repeated) or of bytes.
Ints = Union[List[int], range, Repeated]
Column = Union[int, Ints, List[bytes]]


def insert_notes(smf: Any, *given: Any) -> None:
    """Smf.insert_notes: given is (ticks, channels, keys, velocities, durations)."""
    _insert(smf, NOTE, "insert_notes", given, _note_columns,
            lambda columns: ((t, c, k, v, int32(d)) for t, c, k, v, d in _rows(columns)),
            lambda row: (row[0], (row[0] + row[4]) & 0xFFFFFFFF))  # note-on, note-off


def insert_midi(smf: Any, *given: Any) -> None:
    """Smf.insert_midi: given is (ticks, messages)."""
    _insert(smf, MIDI, "insert_midi", given, _midi_columns,
            lambda columns: ((tick, data, len(data)) for tick, data in _rows(columns)),
            lambda row: row[:1])


def events(library: Any, handle: int) -> Any:
    """Every event of the object as a list of (tick, bytes) in track order,
    or None when the library refuses; the caller holds the lock."""
    if _accelerator.MODULE is not None:
        address = [ctypes.cast(getattr(library, name), ctypes.c_void_p).value
                   for name in ("GetSmfEventCount", "GetSmfEvent")]
        return _accelerator.MODULE.events(*address, handle)
    count, tick, needed = ctypes.c_uint32(), ctypes.c_uint32(), ctypes.c_uint32()
    if not library.GetSmfEventCount(handle, ctypes.byref(count)):
        return None
    get, out = library.GetSmfEvent, []
    refs = ctypes.byref(tick), ctypes.byref(needed)
    room = 256
    buffer = ctypes.create_string_buffer(room)
    for index in range(count.value):
        if not get(handle, index, refs[0], buffer, room, refs[1]):
            if needed.value <= room:
                return None
            room = needed.value
            buffer = ctypes.create_string_buffer(room)
            if not get(handle, index, refs[0], buffer, room, refs[1]):
                return None
        out.append((tick.value, ctypes.string_at(buffer, needed.value)))
    return out


def _insert(smf: Any, call: str, method: str, given: Tuple[Any, ...],
            convert: Callable[[Tuple[Any, ...]], List[Column]],
            rows: Callable[[List[Column]], Iterable[Tuple[Any, ...]]],
            event_ticks: Callable[[Tuple[Any, ...]], Tuple[int, ...]]) -> None:
    """Runs the loop of Smf.`method` under the lock; the ticks of the events
    that go in are added to the object's TickSpans, as each method does."""
    with LOCK:
        handle = smf._handle
        if handle is None:
            raise refused(ValueError, "the object is closed")
        function = getattr(smf._library, call)
        result: Any = NotImplemented
        if _accelerator.MODULE is not None:
            loop = getattr(_accelerator.MODULE, method[len("insert_"):])
            address = ctypes.cast(function, ctypes.c_void_p).value
            result = loop(address, handle, *given)
            if result is NotImplemented:
                result = loop(address, handle, *convert(given))
        if result is NotImplemented:
            result = _each(function, handle, rows(convert(given)), event_ticks)
        refusal, ticks = result
        for tick in ticks:
            smf._ticks.add(tick)
    if refusal is not None:  # named as for one call, with the element's index
        index, row = refusal
        names = [name for name, _ in _BY_NAME[call].arguments[1:]]
        raise XemidiError(call, dict(zip(names, row)), index=index)


def _each(function: Any, handle: int, rows: Iterable[Tuple[Any, ...]],
          event_ticks: Callable[[Tuple[Any, ...]], Tuple[int, ...]]) -> Any:
    """The pure loop: ((index, arguments) of the first row refused or None,
    the ticks of the events inserted)."""
    ticks: List[int] = []
    for index, row in enumerate(rows):
        if not function(handle, *row):
            return (index, row), ticks
        ticks += event_ticks(row)
    return None, ticks


def _rows(columns: List[Column]) -> Iterator[Tuple[Any, ...]]:
    count = next(len(column) for column in columns if not isinstance(column, int))
    return zip(*(itertools.repeat(column, count) if isinstance(column, int) else column
                 for column in columns))


def _note_columns(given: Tuple[Any, ...]) -> List[Column]:
    columns = [_ints(name, value, limits)
               for name, value, limits in zip(NOTE_NAMES, given, _NOTE_LIMITS)]
    _check_count(NOTE_NAMES, columns)
    _check_note_offs(columns[0], columns[4])
    return columns


def _check_note_offs(ticks: Column, durations: Column) -> None:
    """Every note-off at LAST_TICK or before, found at once where the largest
    tick and the largest duration allow it (always for columns that repeat
    one value, however long), else note by note."""
    if _largest(ticks) + _largest(durations) <= LAST_TICK:
        return
    if isinstance(ticks, int) and isinstance(durations, int):
        raise note_off_wraps("ticks", ticks, "durations", durations)
    for i, (tick, duration) in enumerate(_rows([ticks, durations])):
        if tick + duration > LAST_TICK:
            raise note_off_wraps(_named("ticks", ticks, i), tick,
                                 _named("durations", durations, i), duration)


def _largest(column: Column) -> int:
    if isinstance(column, int):
        return column
    if isinstance(column, Repeated):
        return column.value
    if isinstance(column, range):
        return max(column[0], column[-1]) if column else 0
    return max(column, default=0)  # type: ignore[type-var]


def _named(name: str, column: Column, index: int) -> str:
    return name if isinstance(column, int) else f"{name}[{index}]"


def _midi_columns(given: Tuple[Any, ...]) -> List[Column]:
    ticks, messages = given
    columns = [_ints("ticks", ticks, _TICK_LIMITS), _messages(messages)]
    _check_count(MIDI_NAMES, columns)
    return columns


def _check_count(names: Sequence[str], columns: List[Column]) -> None:
    lengths = {name: len(column) for name, column in zip(names, columns)
               if not isinstance(column, int)}
    if not lengths:
        raise refused(TypeError, "no argument is a sequence, so the number of elements is "
                      "unknown")
    if len(set(lengths.values())) > 1:
        raise refused(ValueError, "the sequences differ in length: "
                      + ", ".join(f"{name} {length}" for name, length in lengths.items()))


def _fit(name: str, value: int, limits: Limits) -> int:
    low, high = limits[0]
    if not low <= value <= high:
        raise _outside(name, value, limits)
    return value


def _outside(name: str, value: int, limits: Limits) -> Exception:
    (low, high), error = limits
    return refused(error, f"{name}={value} is not in {low}..{high}")


def _fitting_range(name: str, values: range, limits: Limits) -> range:
    """A range whose first and last values fit, and so every value, as it is;
    else the error for the first value that does not, found without a walk
    (a range may hold more values than memory could list)."""
    low, high = limits[0]
    if not values or (low <= values[0] <= high and low <= values[-1] <= high):
        return values
    limit = high if values.step > 0 else low
    index = (limit - values.start) // values.step + 1 if low <= values[0] <= high else 0
    raise _outside(f"{name}[{index}]", values[index], limits)


def _ints(name: str, value: Any, limits: Limits) -> Union[int, Ints]:
    """One integer argument: an int for every element, or a sequence of ints."""
    if isinstance(value, int):
        return _fit(name, value, limits)
    if isinstance(value, range):
        return _fitting_range(name, value, limits)
    try:
        view = memoryview(value)
    except TypeError:
        view = None
    if view is not None:
        with view:
            if view.ndim == 0:  # a numpy scalar, say
                return _fit(name, an_int(value, name), limits)
            if view.ndim == 1 and view.strides == (0,) and len(view) > 1:
                first = _buffer_ints(name, view[:1])[0]
                return Repeated(_fit(f"{name}[0]", first, limits), len(view))
            items: Iterable[Any] = _buffer_ints(name, view)
    elif hasattr(type(value), "__index__"):
        return _fit(name, operator.index(value), limits)
    else:
        try:
            items = iter(value)
        except TypeError:
            raise refused(TypeError, f"{name} must be an int or a sequence of ints, "
                          f"not {type(value).__name__}") from None
    return [_fit(f"{name}[{i}]", an_int(item, f"{name}[{i}]"), limits)
            for i, item in enumerate(items)]


def _buffer_ints(name: str, view: memoryview) -> List[int]:
    """The integers of a one-dimensional buffer, of any item size, in the byte
    order its format names ('@' or '=' native, '<' little, '>' or '!' big)."""
    if view.ndim != 1:
        raise refused(ValueError, f"{name} must be one-dimensional, not "
                      f"{view.ndim}-dimensional")
    order, code = (view.format[0], view.format[1:]) if view.format[:1] in tuple("@=<>!") \
        else ("@", view.format)
    if len(code) != 1 or code not in _INTEGER_CODES or view.itemsize not in (1, 2, 4, 8):
        raise refused(TypeError, f"{name} must hold integers, not items of format "
                      f"{view.format!r}")
    if order == "@":
        return view.tolist()
    byteorder = "big" if order in "!>" else "little" if order == "<" else sys.byteorder
    raw, size = view.tobytes(), view.itemsize
    return [int.from_bytes(raw[i:i + size], byteorder, signed=code.islower())
            for i in range(0, len(raw), size)]


def _messages(value: Any) -> List[bytes]:
    """The messages: a sequence of bytes, bytearray or memoryview objects."""
    if isinstance(value, (str, bytes, bytearray, memoryview)):
        raise refused(TypeError, "messages must be a sequence of bytes objects, "
                      f"not one {type(value).__name__}")
    try:
        items = iter(value)
    except TypeError:
        raise refused(TypeError, "messages must be a sequence of bytes objects, "
                      f"not {type(value).__name__}") from None
    messages = []
    for i, item in enumerate(items):
        if isinstance(item, (bytearray, memoryview)):
            item = bytes(item)
        elif not isinstance(item, bytes):
            raise refused(TypeError, f"messages[{i}] must be bytes, not {type(item).__name__}")
        _fit(f"len(messages[{i}])", len(item), _LENGTH_LIMITS)
        messages.append(item)
    return messages
