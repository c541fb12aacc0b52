#!/usr/bin/python3
"""The Python binding (python/xemidi) against the library of this build, which
XEMIDI_LIBRARY names (ctest sets it):

  XEMIDI_LIBRARY=build/dev/libxemidi.so python3 tests/python/test_binding.py

The batch inserters run every case twice: on the pure loops and on the
compiled ones, which the package's build backend compiles for this run
(warnings as errors). The round trip through mido, the compiled loops and
numpy's arrays are skipped when missing (mido, a C compiler with Python's
headers, numpy), unless XEMIDI_PYTHON_STRICT=1 (CI) makes that a failure.
"""

import array
import ast
import atexit
import collections
import contextlib
import copy
import ctypes
import decimal
import errno
import fractions
import functools
import gc
import inspect
import io
import itertools
import os
import pickle
import random
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import types
import unittest
import unittest.mock
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "python"))
sys.path.insert(1, str(ROOT / "tests" / "readers"))

import xemidi  # noqa: E402
from xemidi import _rules  # noqa: E402

try:
    from midi_readers import read_tracks_with_mido, read_with_mido, without_end_of_track
except ImportError:  # no mido
    read_with_mido = read_tracks_with_mido = None
try:
    import numpy
except ImportError:
    numpy = None

STRICT = os.environ.get("XEMIDI_PYTHON_STRICT") == "1"
ON_WINDOWS = os.name == "nt"

# CreateSmf(480), then note-on 90 3C 64 at tick 0 and note-off 80 3C 40 at 480.
WORKED_EXAMPLE = bytes.fromhex("4D546864 00000006 0000 0001 01E0 4D54726B 0000000D"
                               "00903C64 8360803C40 00FF2F00")

# Each inserting method: arguments it takes, arguments the library refuses
# (None: nothing but a bad handle is refused), and the export it calls.
INSERTS = [
    ("note", (0, 0, 60, 100, 480), (0, 0, 60, 0, 480), "cal_insert_Note"),
    ("key_pressure", (10, 1, 60, 10), (10, 1, 128, 10), "cal_insert_KeyAft"),
    ("control", (20, 2, 7, 100), (20, 16, 7, 100), "cal_insert_Control"),
    ("channel_pressure", (30, 3, 50), (30, 3, 128), "cal_insert_ChanAft"),
    ("patch", (40, 4, 5, 130), (40, 4, 5, 16384), "cal_insert_Patch"),
    ("wheel", (50, 5, -8192), (50, 5, 8192), "cal_insert_Wheel"),
    ("rpn", (60, 6, 0, 16383), (60, 6, 16384, 0), "calex_insert_RPN"),
    ("nrpn", (70, 7, 1, 2), (70, 7, 1, -1), "calex_insert_NRPN"),
    ("sysex_hex", (80, "F0 7E 7F 09 01 F7"), (80, "F0 ZZ F7"), "calex_insert_Sysx"),
    ("text", (90, "caf\u00e9"), None, "calex_insert_Text"),
    ("lyric", (100, b"la"), None, "calex_insert_Lyric"),
    ("midi", (110, b"\xc0\x05"), (110, b"\xc0"), "InsertMidiEvent"),
    ("sysex", (120, b"\xf0\x01\xf7"), (120, b"\xf0\x01"), "InsertSysexEvent"),
    ("meta", (130, 0x51, b"\x07\xa1\x20"), (130, 0x51, b"\x07\xa1"), "InsertMetaEvent"),
    ("tempo", (140, 120), None, "InsertMetaEvent"),
    ("time_signature", (150, 6, 8), None, "InsertMetaEvent"),
    ("key_signature", (160, -2, True), None, "InsertMetaEvent"),
    ("track_name", (170, "Piano"), None, "InsertMetaEvent"),
]


def library():
    return xemidi.load()


def worked_example():
    smf = xemidi.Smf(480)
    smf.note(0, 0, 60, 100, 480)
    return smf


class ExportTable(unittest.TestCase):
    def test_table_matches_the_exports_of_the_build(self):
        """Names, ordinals and 32-bit argument bytes, against the table the
        build makes from cmake/exports.list and the header's declarations."""
        table = os.environ.get("XEMIDI_EXPORTS_TABLE")
        if not table:
            self.skipTest("XEMIDI_EXPORTS_TABLE is not set (ctest sets it)")
        listed = []
        for line in Path(table).read_text().splitlines():
            ordinal, name, size = line.split()
            listed.append((0 if ordinal == "-" else int(ordinal), name, int(size)))

        def bytes_32bit(kind):  # pointers are 4 bytes in the 32-bit DLL
            pointer = kind in (ctypes.c_void_p, ctypes.c_char_p) or issubclass(
                kind, ctypes._Pointer)
            return 4 if pointer else ctypes.sizeof(kind)

        declared = [(e.ordinal, e.name, sum(bytes_32bit(kind) for _, kind in e.arguments))
                    for e in xemidi.EXPORTS]
        self.assertEqual(declared, listed)


class PackageImports(unittest.TestCase):
    def test_no_module_imports_in_a_circle(self):
        """The package's modules, each pointing at those it imports (at any
        depth of the code), form no circle."""
        folder = ROOT / "python" / "xemidi"
        imports = {}
        for path in folder.glob("*.py"):
            names = set()
            for node in ast.walk(ast.parse(path.read_text(encoding="utf-8"))):
                if isinstance(node, ast.ImportFrom) and node.level == 1:
                    names |= {node.module} if node.module else {a.name for a in node.names}
            imports[path.stem] = names & {p.stem for p in folder.glob("*.py")}

        def circle(module, trail):
            if module in trail:
                return trail[trail.index(module):] + [module]
            return next(filter(None, (circle(m, trail + [module]) for m in imports[module])),
                        None)

        self.assertEqual([c for c in map(lambda m: circle(m, []), sorted(imports)) if c], [])


class Version(unittest.TestCase):
    def test_version_is_the_headers(self):
        """In place, read from include/xemidi.h; written out into a wheel (the
        Windows zips too) as the backend writes it; unknown without either."""
        import build_xemidi
        header = (ROOT / "include" / "xemidi.h").read_text()
        version = re.search(r'#define XEMIDI_VERSION_STRING "(.+)"', header).group(1)
        self.assertEqual(xemidi.__version__, version)
        self.assertIn("__version__", xemidi.__all__)
        written = {}
        exec(build_xemidi.version_module(version), written)  # noqa: S102  our own text
        self.assertEqual(written["__version__"], version)
        self.assertEqual(xemidi._version.from_header(ROOT / "no-such-header.h"), "0+unknown")


class WorkedExample(unittest.TestCase):
    def test_bytes_size_file_copy_and_clipboard(self):
        with worked_example() as smf, tempfile.TemporaryDirectory() as folder:
            self.assertEqual(smf.data(), WORKED_EXAMPLE)
            self.assertEqual(smf.size(), len(WORKED_EXAMPLE))
            with smf.copy() as twin:
                self.assertEqual(twin.data(), WORKED_EXAMPLE)
            path = Path(folder) / "song \u00e9.mid"
            smf.save(path)
            self.assertEqual(path.read_bytes(), WORKED_EXAMPLE)
            if not ON_WINDOWS:
                smf.to_clipboard()
                self.assertEqual(read_clipboard()[:len(WORKED_EXAMPLE)], WORKED_EXAMPLE)


def read_clipboard():
    """What the library's own clipboard holds as "Standard MIDI File"."""
    lib = library()
    size = ctypes.c_uint32()
    if not lib.xemidi_clipboard_open():
        raise AssertionError("the clipboard is held open")
    try:
        address = lib.xemidi_clipboard_data(lib.xemidi_clipboard_format(b"Standard MIDI File"),
                                            ctypes.byref(size))
        return ctypes.string_at(address, size.value) if address else b""
    finally:
        lib.xemidi_clipboard_close()


class Methods(unittest.TestCase):
    def test_each_insert_and_its_refusal(self):
        with xemidi.Smf(96) as smf:
            for method, good, bad, export in INSERTS:
                with self.subTest(method=method):
                    before = smf.data()
                    getattr(smf, method)(*good)
                    self.assertGreater(smf.size(), len(before))
                    if bad is None:
                        continue
                    before = smf.data()
                    with self.assertRaises(xemidi.XemidiError) as caught:
                        getattr(smf, method)(*bad)
                    self.assertEqual(caught.exception.call, export)
                    given = [a.encode() if isinstance(a, str) else a for a in bad]
                    self.assertEqual(list(caught.exception.arguments.values())[:len(bad)], given)
                    self.assertEqual(list(caught.exception.given.values()), list(bad))
                    # The method as called, the rule, then the C call.
                    self.assertEqual(caught.exception.method, f"Smf.{method}")
                    self.assertTrue(str(caught.exception).startswith(f"Smf.{method}(tick="))
                    self.assertIn(f": {caught.exception.reason} ({export}(tick=",
                                  str(caught.exception))
                    self.assertNotEqual(caught.exception.reason, _rules.otherwise(export))
                    self.assertEqual(smf.data(), before)

    def test_save_dispositions(self):
        """A refused save gives the system's reason (errno) or the
        disposition's own, and is the OSError subclass of its errno, as open()
        raises it, with errno, strerror and filename as OSError has them."""
        def refused(path, disposition=xemidi.Disposition.CREATE_ALWAYS, kind=OSError):
            with self.assertRaises(xemidi.XemidiError) as caught:
                smf.save(path, disposition)
            error = caught.exception
            self.assertIsInstance(error, kind)
            self.assertEqual((type(error), error.filename),
                             (xemidi._errors.of_errno(xemidi.XemidiError, error.errno), path))
            self.assertEqual(error.strerror, os.strerror(error.errno))
            return error

        with worked_example() as smf, tempfile.TemporaryDirectory() as folder:
            path = Path(folder) / "song.mid"
            for disposition in ("OPEN_EXISTING", "TRUNCATE_EXISTING"):
                error = refused(path, xemidi.Disposition[disposition], FileNotFoundError)
                self.assertEqual(error.reason,
                                 f"{disposition}: the file does not exist: {str(path)!r}")
            path.write_bytes(b"x" * 40)
            error = refused(path, disposition=xemidi.Disposition.CREATE_NEW, kind=FileExistsError)
            self.assertEqual(str(error), f"Smf.save(path={path!r}, disposition=Disposition."
                             f"CREATE_NEW): CREATE_NEW: the file exists: {str(path)!r} (SaveSmf("
                             f"path={os.fsencode(path)!r}, creation_disposition=1, "
                             "flags_and_attributes=128) returned 0)")
            self.assertEqual((error.errno, error.winerror), (errno.EEXIST, None))
            smf.save(str(path), xemidi.Disposition.OPEN_EXISTING)
            self.assertEqual(path.read_bytes(), WORKED_EXAMPLE + b"xxxxx")
            missing = Path(folder) / "nope" / "x.mid"
            error = pickle.loads(pickle.dumps(refused(missing, kind=FileNotFoundError)))
            self.assertEqual((type(error).__name__, error.reason, error.errno, error.filename),
                             ("XemidiError[FileNotFoundError]",
                              f"No such file or directory: {str(missing)!r}", errno.ENOENT,
                              missing))
            refused(folder, kind=IsADirectoryError)
            refused(path / "x.mid", kind=NotADirectoryError)
            # Refusals of the library's own are no OSError.
            with far_apart(xemidi.Smf(96), 0, 2**28) as gap:
                with self.assertRaises(xemidi.XemidiError) as caught:
                    gap.save(path)
            self.assertNotIsInstance(caught.exception, OSError)
            self.assertIsNone(caught.exception.errno)
            if ON_WINDOWS:
                return
            smf.save(os.devnull)  # a character device, with the default CREATE_ALWAYS
            import fcntl
            with open(path, "rb") as held:
                fcntl.flock(held, fcntl.LOCK_EX)
                self.assertIn("another writer holds the file's lock",
                              refused(path, kind=BlockingIOError).reason)
            fifo = Path(folder) / "fifo"
            os.mkfifo(fifo)
            self.assertEqual(type(refused(fifo)).__mro__[1:3], (xemidi.XemidiError, OSError))

    def test_save_to_a_file_object(self):
        """Anything with write() that takes bytes gets the file's bytes, all
        of them, again with the rest while write() takes part; text files,
        objects without write() and dispositions for one are refused."""
        class Trickle(io.RawIOBase):  # takes at most 7 bytes a call
            def __init__(self):
                self.taken = bytearray()

            def writable(self):
                return True

            def write(self, data):
                self.taken += bytes(data[:7])
                return min(len(data), 7)

        class Silent:  # returns nothing, as many file-likes do
            def __init__(self):
                self.taken = b""

            def write(self, data):
                self.taken += data

        with worked_example() as smf, tempfile.TemporaryDirectory() as folder:
            for file in (io.BytesIO(), Trickle(), Silent()):
                smf.save(file)
                taken = file.getvalue() if isinstance(file, io.BytesIO) else bytes(file.taken)
                self.assertEqual(taken, WORKED_EXAMPLE, type(file).__name__)
            with open(Path(folder) / "song.mid", "wb") as file:
                smf.save(file)
            self.assertEqual((Path(folder) / "song.mid").read_bytes(), WORKED_EXAMPLE)
            for target, rule in [(io.StringIO(), "the file is open in text mode"),
                                 (3, "path must be a path (str, bytes, os.PathLike) or a binary"),
                                 (io.BytesIO(), "disposition and flags are for a path")]:
                with self.subTest(rule=rule), self.assertRaises(TypeError) as caught:
                    smf.save(target, *([xemidi.Disposition.CREATE_NEW] if "disposition" in rule
                                       else []))
                self.assertTrue(str(caught.exception).startswith("Smf.save(path="))
                self.assertIn(f"): {rule}", str(caught.exception))
            stuck = Silent()
            stuck.write = lambda data: 0
            with self.assertRaisesRegex(OSError, r"write\(\) of 35 bytes returned 0; 0 of 35"):
                smf.save(stuck)
            with far_apart(xemidi.Smf(96), 0, 2**28) as gap, \
                    self.assertRaisesRegex(xemidi.XemidiError, r"^Smf\.save\(path=<_io\.BytesIO"):
                gap.save(io.BytesIO())

    def test_every_export_refuses_a_deleted_handle(self):
        """The library deleted the object behind the binding's back: every
        method is refused, with the name of its export."""
        lib = library()
        smf = xemidi.Smf(480)
        self.assertEqual(lib.DeleteSmf(smf._handle), 1)
        calls = [(method, good) for method, good, _, _ in INSERTS]
        calls += [("copy", ()), ("size", ()), ("data", ()), ("to_clipboard", ()),
                  ("save", (os.devnull,)), ("events", ()), ("__len__", ()),
                  ("__getattribute__", ("division",)), ("close", ())]
        refused = {"CreateSmf"}
        with self.assertRaises(xemidi.XemidiError) as caught:
            xemidi.Smf(0)
        self.assertEqual(str(caught.exception), "Smf(division=0): division=0 is not in 1..32767 "
                         "(CreateSmf(division=0) returned NULL)")
        for method, arguments in calls:
            with self.subTest(method=method), self.assertRaises(xemidi.XemidiError) as caught:
                getattr(smf, method)(*arguments)
            refused.add(caught.exception.call)
            self.assertEqual(caught.exception.method, f"Smf.{arguments[0]}"
                             if method == "__getattribute__" else f"Smf.{method}")
            self.assertIn(": the handle names no live object", str(caught.exception))
        self.assertTrue(smf.closed)
        # data() stops at the size: GetSmfData refuses a buffer one byte short;
        # a refusal raised outside a method names the C call alone.
        with worked_example() as smf, self.assertRaises(xemidi.XemidiError) as caught:
            smf._call("GetSmfData", ctypes.create_string_buffer(34), 34, shown={"size": 34})
        self.assertTrue(str(caught.exception).startswith("GetSmfData(size=34) returned 0: "))
        refused.add(caught.exception.call)
        # GetSmfEvent comes only after GetSmfEventCount took the handle.
        with_handle = {e.name for e in xemidi.EXPORTS if e.ordinal and e.arguments[:1] == (
            ("smf", ctypes.c_void_p),)}
        self.assertEqual(refused | {"CreateSmf"}, with_handle - {"GetSmfEvent"} | {"CreateSmf"})

    def test_call_checks_the_number_of_arguments(self):
        """Too few were an IndexError; too many were passed on, and
        CreateSmf(480, 2) made an object that nothing could delete."""
        for name, arguments in [("CreateSmf", (480, 2)), ("cal_insert_Note", (None, 0))]:
            with self.subTest(name=name), self.assertRaises(TypeError) as caught:
                library().call(name, *arguments)
            self.assertIn(f"({len(arguments)} given)", str(caught.exception))

    def test_text_takes_a_memoryview_as_midi_does(self):
        with xemidi.Smf(96) as smf, xemidi.Smf(96) as same:
            for method, text in [("text", b"caf\xc3\xa9"), ("lyric", b"la"),
                                 ("sysex_hex", b"F0 01 F7"), ("midi", b"\xc0\x05")]:
                getattr(smf, method)(0, memoryview(bytearray(text)))
                getattr(same, method)(0, text)
            self.assertEqual(smf.data(), same.data())

    def test_arguments_that_c_cannot_carry(self):
        """Every argument is checked before any call and any arithmetic on it
        (a float tick made note() fail inside its own sum): the error names
        the method and its arguments as given, then the rule; nothing goes in."""
        with worked_example() as smf:
            for call, error, rule in [
                    (lambda: smf.note(2**32, 0, 60, 100, 1), OverflowError,
                     "tick=4294967296 is not in 0..4294967295"),
                    (lambda: smf.note(-1, 0, 60, 100, 1), OverflowError,
                     "tick=-1 is not in 0..4294967295"),
                    (lambda: smf.wheel(0, 2**32 + 1, 0), OverflowError,
                     "channel=4294967297 is not in -2147483648..2147483647"),
                    (lambda: smf.midi(0, [0xC0, 1]), TypeError, "data must be bytes, not list"),
                    (lambda: smf.text(0, "a\0b"), ValueError, "the text holds a zero byte"),
                    (lambda: smf.save("a\0b"), ValueError, "the path holds a zero byte"),
                    (lambda: smf.save(os.devnull, flags=-1), OverflowError,
                     "flags=-1 is not in 0..4294967295"),
                    (lambda: smf.tempo(0, bpm="fast"), TypeError, "bpm must be a number, not str"),
                    (lambda: smf.insert_notes([0], 0, 60, 100, [2**32]), ValueError,
                     "durations[0]=4294967296 is not in 0..4294967295")]:
                with self.subTest(rule=rule), self.assertRaises(error) as caught:
                    call()
                self.assertRegex(str(caught.exception), r"^Smf\.[a-z_]+\(.*\): ")
                self.assertTrue(str(caught.exception).endswith(f"): {rule}"), caught.exception)
            # Each integer argument of each method, given as a float.
            wrong = [0.5, "7"] + ([numpy.float64(1.0)] if numpy is not None else [])
            for method, good, _, _ in INSERTS:
                names = list(inspect.signature(getattr(smf, method)).parameters)
                for i, value in enumerate(good):
                    if type(value) is not int or (method, names[i]) == ("tempo", "bpm"):
                        continue
                    for bad in wrong:
                        arguments = good[:i] + (bad,) + good[i + 1:]
                        with self.subTest(method=method, argument=names[i], bad=bad), \
                                self.assertRaises(TypeError) as caught:
                            getattr(smf, method)(*arguments)
                        self.assertEqual(str(caught.exception), xemidi._errors.called(
                            f"Smf.{method}", dict(zip(names, arguments))) + f": {names[i]} "
                            f"must be an int, not {type(bad).__name__}")
            self.assertEqual(smf.data(), WORKED_EXAMPLE)
            self.assertEqual(smf.size(), len(WORKED_EXAMPLE))

@functools.lru_cache(maxsize=None)
def compiled_loops():
    """The batch inserters' compiled module, built by the package's backend
    into a folder of this run; None where it cannot be built (it says why)."""
    import build_xemidi
    folder = tempfile.mkdtemp(prefix="xemidi-cbatch-")
    atexit.register(shutil.rmtree, folder, True)
    return build_xemidi.load_extension(Path(folder), werror=True)


def outcome(action):
    """What action(smf) does to a new object: (the error it raised, as type,
    what it says and index, or None; the object's file, or why it has none).
    A refusal says its C call, the arguments and the reason, whichever method
    made the call; any other error its text."""
    with xemidi.Smf(96) as smf:
        try:
            action(smf)
            error = None
        except xemidi.XemidiError as caught:
            error = (type(caught), (caught.call, caught.arguments, caught.reason), caught.index)
        except Exception as caught:  # noqa: BLE001  compared, not hidden
            error = (type(caught), str(caught), None)
        try:
            return error, smf.data()
        except xemidi.XemidiError as refused:
            return error, str(refused)


def one_by_one(method, rows):
    """outcome() of the per-event method called for each row in turn."""
    def action(smf):
        for row in rows:
            getattr(smf, method)(*row)
    return outcome(action)


def random_notes(count, seed):
    rng = random.Random(seed)
    return [(rng.randrange(50000), rng.randrange(16), rng.randrange(128), rng.randrange(1, 128),
             rng.randrange(2000)) for _ in range(count)]


class Iterable:
    """Items that can be iterated over, again and again, and nothing else."""

    def __init__(self, items):
        self.items = items

    def __iter__(self):
        return iter(self.items)


class Told(list):
    """A list whose iteration yields `told`, not its items: a subclass may
    read otherwise than its storage."""

    def __init__(self, items, told):
        super().__init__(items)
        self.told = told

    def __iter__(self):
        return iter(self.told)


class ToldTuple(tuple):
    """Told, as a tuple."""

    def __new__(cls, items, told):
        made = super().__new__(cls, items)
        made.told = told
        return made

    def __iter__(self):
        return iter(self.told)


class Counting:
    """The compiled loops, counting the calls they answer NotImplemented."""

    def __init__(self, module):
        self.module, self.unread = module, 0

    def __getattr__(self, name):
        def loop(*arguments):
            result = getattr(self.module, name)(*arguments)
            self.unread += result is NotImplemented
            return result
        return loop


class Batches(unittest.TestCase):
    """insert_notes and insert_midi: each case on the pure loops and on the
    compiled ones, which must do what note() and midi() one by one do, and
    what each other does, refusals included."""

    def paths(self):
        """The paths to run a case on: pure, and compiled where it can be built."""
        if compiled_loops() is not None:
            return ("pure", "compiled")
        if STRICT:
            self.fail("the compiled loops cannot be built (a C compiler, python3-dev)")
        return ("pure",)

    @contextlib.contextmanager
    def on(self, path):
        """A subtest on the pure loops or on the compiled ones; yields what
        counts the arguments the compiled loops handed back unread."""
        with self.subTest(path=path):
            saved = xemidi._accelerator.MODULE
            loops = Counting(compiled_loops()) if path == "compiled" else None
            xemidi._accelerator.MODULE = loops
            try:
                yield loops
            finally:
                xemidi._accelerator.MODULE = saved

    def same_on_both_paths(self, action, expected, read=None):
        """action's outcome() on each path is expected; read: whether the
        compiled loops read the arguments as given."""
        for path in self.paths():
            with self.on(path) as loops:
                self.assertEqual(outcome(action), expected)
                if loops is not None and read is not None:
                    self.assertEqual(loops.unread, 0 if read else 1)

    def test_every_kind_of_sequence_gives_the_events_of_one_call_each(self):
        """Each kind as the compiled loops read it themselves (read), or as
        they hand it back for the package to convert first."""
        notes = random_notes(60, 27)
        ticks, channels, keys, velocities, durations = map(list, zip(*notes))
        low_bytes = [d & 0xFF for d in durations]
        kinds = [  # (kind, read, arguments, the rows they stand for)
            ("lists", True, (ticks, channels, keys, velocities, durations), notes),
            ("tuples and an iterable", False, (tuple(ticks), tuple(channels), Iterable(keys),
                                               tuple(velocities), tuple(durations)), notes),
            ("array.array of every size", True,
             (array.array("I", ticks), array.array("b", channels), array.array("B", keys),
              array.array("h", velocities), array.array("q", durations)), notes),
            ("little- and big-endian, strided, bytes", True,
             ((ctypes.c_uint32 * 60)(*ticks), (ctypes.c_int16.__ctype_be__ * 60)(*channels),
              (ctypes.c_int64 * 60)(*keys),
              memoryview(array.array("l", [v for v in velocities for _ in "ab"]))[::2],
              bytes(low_bytes)), list(zip(ticks, channels, keys, velocities, low_bytes))),
            ("range and single ints", True, (range(0, 6000, 100), 9, keys, True, 120),
             [(t, 9, k, 1, 120) for t, k in zip(range(0, 6000, 100), keys)]),
            ("descending range", True, (range(5900, -1, -100), 9, keys, 1, 120),
             [(t, 9, k, 1, 120) for t, k in zip(range(5900, -1, -100), keys)]),
            ("list and tuple subclasses, read as they iterate", False,
             (Told(reversed(ticks), ticks), channels, ToldTuple([0] * 60, keys), velocities,
              durations), notes),
        ]
        if numpy is None and STRICT:
            self.fail("numpy is not installed (python3-numpy)")
        if numpy is not None:
            every_other = numpy.array(ticks, dtype=numpy.int64).repeat(2)[::2]
            kinds += [("numpy arrays", True, (every_other, numpy.array(channels, dtype=">i2"),
                                              numpy.array(keys, dtype=numpy.uint8), 64, 10),
                       [(t, c, k, 64, 10) for t, c, k in zip(ticks, channels, keys)]),
                      ("a numpy scalar", False, (ticks, numpy.int8(3), keys, 64, 10),
                       [(t, 3, k, 64, 10) for t, k in zip(ticks, keys)]),
                      ("numpy arrays of stride 0", True,
                       (ticks, numpy.broadcast_to(numpy.array(3, dtype=">i2"), (60,)), keys,
                        numpy.broadcast_to(numpy.uint8(64), (60,)), 10),
                       [(t, 3, k, 64, 10) for t, k in zip(ticks, keys)]),
                      ("stride 0 beside an argument handed back", None,
                       (ticks, numpy.broadcast_to(numpy.int64(3), (60,)), Iterable(keys), 64, 10),
                       [(t, 3, k, 64, 10) for t, k in zip(ticks, keys)])]
        for kind, read, arguments, rows in kinds:
            with self.subTest(kind=kind):
                self.same_on_both_paths(lambda smf: smf.insert_notes(*arguments),
                                        one_by_one("note", rows), read)
        messages = [b"\xc0\x05", bytearray(b"\xb0\x07\x64"), memoryview(b"\xe0\x00\x40"),
                    b"\x90\x3c\x64\x3e\x64"]
        self.same_on_both_paths(lambda smf: smf.insert_midi([5, 0, 5, 9], messages),
                                one_by_one("midi", zip([5, 0, 5, 9], messages)), True)
        self.same_on_both_paths(lambda smf: smf.insert_midi([5, 0, 5, 9],
                                                            Told([b"\xc0\x01"] * 4, messages)),
                                one_by_one("midi", zip([5, 0, 5, 9], messages)), False)
        messages.append(memoryview(b"\xd0\x00\x30")[::2])  # not contiguous
        self.same_on_both_paths(lambda smf: smf.insert_midi(7, tuple(messages)),
                                one_by_one("midi", zip(itertools.repeat(7), messages)), False)

    def test_first_refusal_raises_its_index_and_keeps_the_elements_before(self):
        notes = random_notes(40, 28)
        for index, refused in [(0, (0, 16, 60, 100, 1)), (17, (5, 0, 60, 0, 1)),
                               (39, (5, 0, 128, 1, 1))]:
            rows = notes[:index] + [refused] + notes[index:]
            with self.subTest(index=index):
                error, before = one_by_one("note", rows[:index + 1])
                expected = ((xemidi.XemidiError, error[1], index), before)
                columns = [array.array("i", column) for column in zip(*rows)]
                self.same_on_both_paths(lambda smf: smf.insert_notes(*columns), expected)
        messages = [b"\xc0\x05", b"\xc0\x06", b"\x90\x3c", b"\xc0\x07"]
        error, before = one_by_one("midi", [(1, m) for m in messages[:3]])
        self.same_on_both_paths(lambda smf: smf.insert_midi(1, messages),
                                ((xemidi.XemidiError, error[1], 2), before))
        # The ticks that went in are known to the reason of a later refusal.
        far = [(0, 0, 60, 100, 1), (2**28 + 10, 0, 62, 100, 1), (5, 0, 128, 100, 1)]
        error, no_image = one_by_one("note", far)
        self.assertIn("more than 0x0FFFFFFF ticks after the event before it", no_image)
        self.same_on_both_paths(lambda smf: smf.insert_notes(*zip(*far)),
                                ((xemidi.XemidiError, error[1], 2), no_image), True)
        if numpy is not None:  # stride 0, as long as memory could never list: read once
            error, empty = one_by_one("note", [(7, 0, 60, 0, 10)])
            endless = numpy.broadcast_to(numpy.uint8(7), (2**61,))
            self.same_on_both_paths(lambda smf: smf.insert_notes(endless, 0, 60, 0, 10),
                                    ((xemidi.XemidiError, error[1], 0), empty), True)
        for path in self.paths():
            with self.on(path), xemidi.Smf(96) as smf:
                with self.assertRaises(xemidi.XemidiError) as caught:
                    smf.insert_midi([3, 4, 5, 6], messages)
                self.assertEqual((caught.exception.call, caught.exception.arguments),
                                 ("InsertMidiEvent", {"tick": 5, "data": b"\x90\x3c", "len": 2}))
                self.assertEqual(str(caught.exception), (
                    f"Smf.insert_midi(ticks=[3, 4, 5, 6], messages={messages!r}) at index 2: a "
                    "note-on (status 0x90) needs 3 bytes or more, not 2 (InsertMidiEvent(tick=5, "
                    "data=b'\\x90<', len=2) returned 0)"))
                again = pickle.loads(pickle.dumps(caught.exception))
                self.assertEqual((str(again), again.index), (str(caught.exception), 2))
            with self.on(path):
                dead = xemidi.Smf(96)
                library().DeleteSmf(dead._handle)  # behind the binding's back
                with self.assertRaises(xemidi.XemidiError) as caught:
                    dead.insert_notes([0, 1], 0, 60, 100, 1)
                self.assertEqual((caught.exception.call, caught.exception.index),
                                 ("cal_insert_Note", 0))
                self.assertRaises(xemidi.XemidiError, dead.close)

    def test_bad_arguments_raise_before_anything_is_inserted(self):
        good = ([0, 1, 2], 0, 60, 100, 10)

        def notes(position, value):
            return lambda smf: smf.insert_notes(*good[:position], value, *good[position + 1:])

        cases = [
            (notes(2, [60, 61]), ValueError),  # lengths differ
            (lambda smf: smf.insert_notes(0, 0, 60, 100, 10), TypeError),  # no sequence
            (notes(0, [0, 1, 2.0]), TypeError),
            (notes(0, "012"), TypeError),
            (notes(1, None), TypeError),
            (notes(3, array.array("d", [1, 2, 3])), TypeError),
            (notes(3, memoryview(b"\x01\x01\x01").cast("?")), TypeError),
            (notes(0, memoryview(bytes(6)).cast("B", shape=[3, 2])), ValueError),
            (notes(0, [0, 1, 2**32]), OverflowError),
            (notes(0, [0, -1, 2]), OverflowError),
            (notes(0, range(2**32 - 2, 2**32 + 1)), OverflowError),
            # Ranges far longer than memory could list: judged by their ends.
            (notes(0, range(0, 2**61 + 1)), OverflowError),
            (notes(0, range(2**32 - 5, 2**32 - 5 + 2**45)), OverflowError),
            (notes(3, range(1, -2**40, -1)), OverflowError),
            (notes(1, array.array("q", [0, 2**31, 0])), OverflowError),
            (notes(2, array.array("Q", [0, 0, 2**63])), OverflowError),
            (notes(4, -1), ValueError),  # a negative duration
            (notes(4, [10, 2**32, 1]), ValueError),
            (notes(4, 2**32 - 2), ValueError),  # the third note-off would wrap round
            (notes(4, array.array("Q", [1, 2**32 - 1, 1])), ValueError),
            (lambda smf: smf.insert_midi(0, b"\xc0\x05"), TypeError),  # one message, not a sequence
            (lambda smf: smf.insert_midi(0, 5), TypeError),
            (lambda smf: smf.insert_midi(0, [b"\xc0\x05", [0xC0, 5]]), TypeError),
            (lambda smf: smf.insert_midi(0, Told([b"\xc0\x05"], [[0xC0, 5]])), TypeError),
            (lambda smf: smf.insert_midi([0], [b"\xc0\x05", b"\xc0\x05"]), ValueError),
            (lambda smf: smf.insert_midi([2**32], [b"\xc0\x05"]), OverflowError),
        ]
        if numpy is not None:  # stride 0: as long as memory could never list
            endless = numpy.broadcast_to(numpy.uint8(7), (2**61,))
            cases += [(lambda smf: smf.insert_notes(endless, [0, 1], 60, 100, 10), ValueError),
                      (notes(0, numpy.broadcast_to(numpy.int8(-1), (2**61,))), OverflowError),
                      (lambda smf: smf.insert_notes(numpy.broadcast_to(numpy.uint32(2**32 - 1),
                                                                       (2**61,)), 0, 60, 100, 1),
                       ValueError)]
        empty = outcome(lambda smf: None)[1]
        for number, (action, error) in enumerate(cases):
            pure = outcome(action)
            with self.subTest(case=number):
                self.assertEqual((pure[0][0], pure[1]), (error, empty), pure[0])
            for path in self.paths():
                with self.subTest(case=number), self.on(path):
                    self.assertEqual(outcome(action), pure)
        # A range names the first value that does not fit, as its list does.
        for values in (range(2**32 - 5, 2**32 + 5), range(7, -30, -3),
                       range(2**32 + 9, 2**32 - 20, -4)):
            (kind, text, _), empty = outcome(lambda smf: smf.insert_notes(list(values), 0, 60,
                                                                           100, 10))
            given = dict(ticks=list(values), channels=0, keys=60, velocities=100, durations=10)
            called = [xemidi._errors.called("Smf.insert_notes", dict(given, ticks=ticks))
                      for ticks in (list(values), values)]
            self.same_on_both_paths(lambda smf: smf.insert_notes(values, 0, 60, 100, 10),
                                    ((kind, text.replace(*called), None), empty))
        closed = xemidi.Smf(96)
        closed.close()
        for path in self.paths():
            with self.on(path), self.assertRaisesRegex(
                    ValueError, r"^Smf\.insert_notes\(ticks=\[0, 1, 2\], channels=0, keys=60, "
                    r"velocities=100, durations=10\): the object is closed$"):
                closed.insert_notes(*good)

    def test_durations_that_would_end_before_the_note(self):
        """A negative duration wrote a note-off before its note-on, and so
        does one that takes the note-off past the last tick and round: both
        refused, per note and in a batch, before anything goes in. Up to the
        last tick every duration goes in, past 2**31 as the int32_t the C
        interface takes."""
        for per_note, batch in [((1000, -100), ([0, 1000], [1, -100])),
                                ((1000, 2**32 - 100), ([0, 1000], [1, 2**32 - 100])),
                                ((2**32 - 16, 32), ([0, 2**32 - 16], 32))]:
            with self.subTest(note=per_note), xemidi.Smf(96) as smf:
                with self.assertRaises(ValueError) as caught:
                    smf.note(per_note[0], 0, 60, 100, per_note[1])
                negative = per_note[1] < 0
                self.assertTrue(str(caught.exception).endswith(
                    "duration=-100 is not in 0..4294967295" if negative else
                    f"tick + duration = {sum(per_note)} is past tick 4294967295: the note-off "
                    f"would go round to tick {sum(per_note) % 2**32}, before its note-on"))
                for path in self.paths():
                    with self.on(path), self.assertRaises(ValueError) as caught:
                        smf.insert_notes(batch[0], 0, 60, 100, batch[1])
                    where = "durations[1]" if negative else \
                        "ticks[1] + " + ("durations" if batch[1] == 32 else "durations[1]")
                    self.assertIn(f"): {where}", str(caught.exception))
                self.assertEqual(smf.size(), 26)  # nothing inserted
        kind = ctypes.WINFUNCTYPE if ON_WINDOWS else ctypes.CFUNCTYPE
        seen = []
        stand_in = kind(ctypes.c_int, ctypes.c_void_p, ctypes.c_uint32,
                        *[ctypes.c_int32] * 4)(lambda handle, *row: seen.append(row) or 1)
        with xemidi.Smf(96) as smf:
            real, smf._library = smf._library, types.SimpleNamespace(
                cal_insert_Note=stand_in, call_locked=lambda name, handle, *row: stand_in(
                    handle, *row))
            try:
                smf.note(1, 0, 60, 100, 2**32 - 2)
                for path in self.paths():
                    with self.on(path):
                        smf.insert_notes([0, 1], 0, 60, 100, [2**31, 2**32 - 2])
            finally:
                smf._library = real
            last = [(0, 0, 60, 100, -2**31), (1, 0, 60, 100, -2)]
            self.assertEqual(seen, [(1, 0, 60, 100, -2)] + last * len(self.paths()))
            self.assertIn("tick 4294967295 is more than 0x0FFFFFFF ticks after the event before "
                          "it, at tick 1", outcome(lambda smf: smf.note(1, 0, 60, 100, 2**32 - 2)
                                                   or smf.size())[1])

    def test_each_element_is_one_call_of_the_loaded_library_under_the_lock(self):
        """A stand-in for the library's cal_insert_Note, called through its
        ctypes function as the package's library would be: it sees the rows
        in order, the object's handle, and the package's lock held; its
        refusal of the third row ends the batch."""
        kind = ctypes.WINFUNCTYPE if ON_WINDOWS else ctypes.CFUNCTYPE
        seen, free = [], []

        def lock_is_free():  # in another thread
            free.append(xemidi._library.LOCK.acquire(blocking=False))
            if free[-1]:
                xemidi._library.LOCK.release()

        def note(handle, *row):
            thread = threading.Thread(target=lock_is_free)
            thread.start()
            thread.join()
            seen.append((handle, row, free.pop()))
            return len(seen) % 3 != 0

        stand_in = kind(ctypes.c_int, ctypes.c_void_p, ctypes.c_uint32, *[ctypes.c_int32] * 4)(note)
        with xemidi.Smf(96) as smf:
            real, smf._library = smf._library, types.SimpleNamespace(cal_insert_Note=stand_in)
            try:
                for path in self.paths():
                    seen.clear()
                    with self.on(path):
                        with self.assertRaises(xemidi.XemidiError) as caught:
                            smf.insert_notes([1, 2, 3, 4], [0, 1, 2, 3], 60, 100, 2**32 - 5)
                        self.assertEqual(caught.exception.index, 2)
                        self.assertEqual(seen, [(smf._handle, (t, t - 1, 60, 100, -5), False)
                                                for t in (1, 2, 3)])
            finally:
                smf._library = real


def far_apart(smf, first, second):
    smf.control(first, 0, 7, 1)
    smf.control(second, 0, 7, 1)
    return smf


NO_IMAGE = ": the object has no image"
# The rules of the binding's table (xemidi._rules.RULES) that the ranges and
# the small domains of RuleTable leave out, each broken on its own: the
# export, the rule, a call on a new Smf(96) and the reason the message must
# give (None: a call at the rule's edge, which the library takes).
CASES = [
    ("InsertSysexEvent", "sysex_message",  # the length is judged before a byte is read
     lambda s: s._call("InsertSysexEvent", 0, b"\xf0\x00\xf7", 2**28 + 1),
     "len - 1 = 268435456 is not below 2^28"),
    ("calex_insert_Lyric", "text_length", lambda s: s.lyric(0, b"a" * 2**28),
     "the text is 268435456 bytes, not below 2^28"),
    ("GetSmfDataSize", "no_image", lambda s: far_apart(s, 0, 300_000_000).size(),
     "tick 300000000 is more than 0x0FFFFFFF ticks after the event before it, at tick 0"
     + NO_IMAGE),
    ("GetSmfDataSize", "no_image",  # the note-off's tick wraps round to 16 (the C call)
     lambda s: (s._call("cal_insert_Note", 2**32 - 16, 0, 60, 100, 32, ticks=(2**32 - 16, 16)),
                s.data()),
     "tick 4294967280 is more than 0x0FFFFFFF ticks after the event before it, at tick 16"
     + NO_IMAGE),
    ("GetSmfDataSize", "no_image", lambda s: far_apart(s, 2**28 - 1, 2**29 - 2).size(), None),
    ("GetSmfData", "no_image", lambda s: far_apart(s, 0, 2**28)._call(
        "GetSmfData", ctypes.create_string_buffer(64), 64, shown={"size": 64}),
     "tick 268435456 is more than 0x0FFFFFFF ticks after the event before it, at tick 0"
     + NO_IMAGE),
    ("CopyToClipboard", "no_image", lambda s: far_apart(s, 2**31, 2**31).to_clipboard(),
     "the first event, at tick 2147483648, is more than 0x0FFFFFFF ticks after the start"
     + NO_IMAGE),
    ("SaveSmf", "Range(creation_disposition)", lambda s: s.save(os.devnull, 6),
     "creation_disposition=6 is not in 1..5 (CREATE_NEW .. TRUNCATE_EXISTING)"),
]
# Arguments the library takes, for the exports whose ranges are broken at both
# ends, in the order of the C arguments after the handle.
RANGE_CALLS = {
    "cal_insert_Note": dict(tick=0, channel=0, key=60, velocity=100, duration=1),
    "cal_insert_KeyAft": dict(tick=0, channel=0, key=60, pressure=1),
    "cal_insert_Control": dict(tick=0, channel=0, controller=7, value=1),
    "cal_insert_ChanAft": dict(tick=0, channel=0, pressure=1),
    "cal_insert_Patch": dict(tick=0, channel=0, program=0, bank=-1),
    "cal_insert_Wheel": dict(tick=0, channel=0, value=0),
    "calex_insert_RPN": dict(tick=0, channel=0, parameter=0, value=0),
    "calex_insert_NRPN": dict(tick=0, channel=0, parameter=0, value=0),
    "InsertMetaEvent": dict(tick=0, type=0x7F, data=b"", len=0),
}


class RuleTable(unittest.TestCase):
    """The binding's rules (xemidi._rules) against the library: each rule
    broken on its own is refused and the message names it; where the values
    are few, the library refuses exactly what the table names a rule for."""

    def reason(self, call):
        try:
            call()
        except xemidi.XemidiError as error:
            # The method, the reason, then the C call (a C call alone: the reason last).
            self.assertRegex(str(error), f": {re.escape(error.reason)} \\({error.call}\\(.*\\) "
                             "returned (0|NULL)\\)$" if error.method else
                             f": {re.escape(error.reason)}$")
            return error.reason
        return None

    def test_every_rule_is_broken_on_its_own(self):
        def name(rule):
            return f"Range({rule.argument})" if isinstance(rule, _rules.Range) else rule.__name__

        covered = {rule for _, rule, _, _ in CASES} | {"system_error"}  # test_save_dispositions
        covered |= {name(rule) for export in RANGE_CALLS for rule in _rules.RULES[export]}
        covered |= {"_division", "channel_message", "sysex_message", "end_of_track",
                    "meta_length", "hex_text"}  # test_small_domains_judged_alike
        self.assertEqual({name(r) for rules in _rules.RULES.values() for r in rules} - covered,
                         set())
        for export, rule, call, reason in CASES:
            with self.subTest(export=export, rule=rule), xemidi.Smf(96) as smf:
                self.assertEqual(self.reason(lambda: call(smf)), reason)

    def test_ranges_at_both_ends(self):
        with xemidi.Smf(96) as smf:
            for export, arguments in RANGE_CALLS.items():
                for rule in _rules.RULES[export]:
                    if not isinstance(rule, _rules.Range):
                        continue
                    # A meta event of 2^28 - 1 bytes would take 256 MiB: left out.
                    ends = (rule.low - 1, rule.low, rule.high + 1) if rule.argument == "len" \
                        else (rule.low - 1, rule.low, rule.high, rule.high + 1)
                    for value in ends:
                        given = dict(arguments, **{rule.argument: value})
                        reason = self.reason(lambda: smf._call(export, *given.values()))
                        refused = f"{rule.argument}={value} is not in {rule.low}.."
                        self.assertEqual(reason and reason[:len(refused)],
                                         None if rule.low <= value <= rule.high else refused)

    def test_small_domains_judged_alike(self):
        """Divisions at the edges of their 16 bits; every meta type byte with
        lengths 0..6; every status byte with the data bytes of each kind;
        system-exclusive messages of up to 4 bytes; hexadecimal texts made at
        random from tokens of every sort."""
        def alike(export, **arguments):
            if export == "CreateSmf":
                reason = self.reason(lambda: xemidi.Smf(*arguments.values()).close())
            else:
                reason = self.reason(lambda: smf._call(export, *arguments.values()))
            self.assertEqual(reason, _rules.reason(export, arguments), arguments)

        rng = random.Random(28)
        tokens = ["F0", "f7", "7E", "7", "7G", "100", "F07E", "ZZ", "+5", "0X12", ""]
        with xemidi.Smf(96) as smf:
            for division in (0, 1, 32767, 32768, 65535, 65536 + 480, -1, -32768, 2**31 - 1):
                alike("CreateSmf", division=division)
            for type in list(range(0x100)) + [0x12F, 0x151, 0xFFFFFF58]:
                for length in range(7):
                    alike("InsertMetaEvent", tick=0, type=type, data=bytes(length), len=length)
            for status in range(0x100):
                for rest in (b"", b"\x40", b"\x40\x40", b"\x80\x00", b"\x00\x80"):
                    alike("InsertMidiEvent", tick=0, data=bytes([status]) + rest, len=1 + len(rest))
            for data in (bytes([a, 0x41, b])[:n] for a in (0xF0, 0xF7) for b in (0xF0, 0xF7)
                         for n in range(4)):
                alike("InsertSysexEvent", tick=0, data=data, len=len(data))
            for _ in range(300):
                text = " \t\n\v\f\r".join(rng.choices(tokens, k=rng.randrange(5)))
                alike("calex_insert_Sysx", tick=0, text=text.encode())

    def test_windows_error_codes_as_reasons(self):
        """GetLastError() after a refused SaveSmf on Windows, worked out as a
        function of the code (no Windows Python here)."""
        path = "C:\\music\\song.mid"

        def reason(disposition, code):
            arguments = dict(path=path.encode(), creation_disposition=disposition)
            return _rules.reason("SaveSmf", arguments,
                                 _rules.Known(error=code, windows=True, filename=path))

        self.assertEqual(reason(1, 80), f"CREATE_NEW: the file exists: {path!r}")
        self.assertEqual(reason(1, 183), f"CREATE_NEW: the file exists: {path!r}")
        self.assertEqual(reason(5, 2), f"TRUNCATE_EXISTING: the file does not exist: {path!r}")
        self.assertEqual(reason(2, 50),
                         f"{path!r} is neither a file on disk nor a character device")
        self.assertTrue(reason(2, 80).endswith(f": {path!r}"))  # the system's text for the code
        self.assertIsNone(reason(2, 0))


class NamedMetaEvents(unittest.TestCase):
    """Each writes the event that meta() would; ValueError (TypeError for a
    wrong type), with nothing inserted, for what the format cannot hold."""

    def check(self, type, data, *calls):
        for call in calls:
            with xemidi.Smf(96) as named, xemidi.Smf(96) as raw:
                call(named)
                raw.meta(0, type, data)
                self.assertEqual(named.data(), raw.data(), data)

    def refused(self, *calls, error=ValueError):
        for call in calls:
            with xemidi.Smf(96) as smf:
                with self.subTest(call=call), self.assertRaises(error):
                    call(smf)
                self.assertEqual(smf.size(), 26)  # no event

    def test_tempo(self):
        for bpm, micros in [(120, 500000), (3.58, 16759777), (6e7, 1), (140.5, 427046),
                            (decimal.Decimal("140.5"), 427046),
                            (fractions.Fraction(281, 2), 427046)]:
            self.check(0x51, micros.to_bytes(3, "big"), lambda smf: smf.tempo(0, bpm),
                       lambda smf: smf.tempo(0, microseconds_per_quarter=micros))
        self.refused(lambda smf: smf.tempo(0, 3.57), lambda smf: smf.tempo(0, -120),
                     lambda smf: smf.tempo(0, 1.2e8), lambda smf: smf.tempo(0, 1e-320),
                     lambda smf: smf.tempo(0, microseconds_per_quarter=2**24))
        self.refused(lambda smf: smf.tempo(0), lambda smf: smf.tempo(0, 120, 500000),
                     error=TypeError)

    def test_time_signature(self):
        self.check(0x58, bytes([6, 3, 24, 8]), lambda smf: smf.time_signature(0, 6, 8))
        self.check(0x58, bytes([255, 255, 1, 255]),
                   lambda smf: smf.time_signature(0, 255, 2**255, 1, 255))
        self.refused(lambda smf: smf.time_signature(0, 3, 6),
                     lambda smf: smf.time_signature(0, 0, 4),
                     lambda smf: smf.time_signature(0, 3, 2**256),
                     lambda smf: smf.time_signature(0, 3, 4, 24, 256))

    def test_key_signature(self):
        self.check(0x59, b"\xf9\x01", lambda smf: smf.key_signature(0, -7, True))
        self.check(0x59, b"\x07\x00", lambda smf: smf.key_signature(0, 7))
        self.refused(lambda smf: smf.key_signature(0, 8), lambda smf: smf.key_signature(0, -8))

    def test_track_name(self):
        self.check(0x03, b"Fl\xc3\xbbte", lambda smf: smf.track_name(0, "Fl\u00fbte"))
        self.check(0x03, b"a\0b", lambda smf: smf.track_name(0, memoryview(b"a\0b")))
        self.refused(lambda smf: smf.track_name(0, 3), error=TypeError)


class Lifetime(unittest.TestCase):
    def test_with_statement_deletes_the_object(self):
        with self.assertRaises(KeyError):
            with xemidi.Smf(480) as smf:
                handle = smf._handle
                raise KeyError
        self.assertTrue(smf.closed)
        self.assertEqual(library().DeleteSmf(handle), 0)  # no longer a live object
        for method, arguments in [("note", (0, 0, 60, 100, 1)), ("data", ()), ("tempo", (0, 60))]:
            with self.subTest(method=method), self.assertRaises(ValueError) as caught:
                getattr(smf, method)(*arguments)
            self.assertEqual(str(caught.exception), xemidi._errors.called(
                f"Smf.{method}", dict(zip(inspect.signature(getattr(smf, method)).parameters,
                                          arguments))) + ": the object is closed")
        smf.close()  # again: nothing

    def test_copies_own_their_objects(self):
        with worked_example() as smf:
            for twin in (copy.copy(smf), copy.deepcopy(smf), smf.copy()):
                self.assertNotEqual(twin._handle, smf._handle)
                twin.close()
            self.assertEqual(smf.data(), WORKED_EXAMPLE)
            with self.assertRaises(TypeError):
                pickle.dumps(smf)

    def test_copy_of_a_subclass_is_of_that_subclass(self):
        class Song(xemidi.Smf):
            def __init__(self, title):
                super().__init__(480)
                self.title = title

        with Song("Etude") as song, copy.copy(song) as twin:
            self.assertEqual((type(twin), twin.title), (Song, "Etude"))
            self.assertNotEqual(twin._handle, song._handle)

    def test_close_racing_calls_on_other_threads_deletes_once(self):
        """The handle was read outside the lock: a call could pass a handle
        that a close on another thread had just deleted, and two closes could
        both delete it. Now every call finds a live object or a closed one."""
        errors, interval = [], sys.getswitchinterval()

        def work(smf, start, closes):
            start.wait()
            try:
                if closes:
                    time.sleep(0.002)  # while the others insert
                    smf.close()
                for tick in range(100_000):
                    smf.control(tick, 0, 7, 1)
            except ValueError:  # closed
                pass
            except Exception as error:
                errors.append(error)

        sys.setswitchinterval(1e-6)
        try:
            for _ in range(20):
                smf, start = xemidi.Smf(96), threading.Barrier(8)
                threads = [threading.Thread(target=work, args=(smf, start, i < 2))
                           for i in range(8)]
                for thread in threads:
                    thread.start()
                for thread in threads:
                    thread.join()
        finally:
            sys.setswitchinterval(interval)
        self.assertEqual(errors, [])

    def test_collected_object_is_deleted(self):
        smf = xemidi.Smf(480)
        handle = smf._handle
        del smf
        gc.collect()
        self.assertEqual(library().DeleteSmf(handle), 0)


class Loading(unittest.TestCase):
    def test_explicit_path_is_the_only_place_tried(self):
        with self.assertRaises(OSError) as caught:
            xemidi.load(ROOT / "no-such-library.so")
        self.assertRegex(str(caught.exception), r"tried\n  the path given: .*no-such-library")
        self.assertNotIn("XEMIDI_LIBRARY", str(caught.exception))
        self.assertEqual(xemidi.load(Path(library().path).parent).path, library().path)

    def test_package_folder_then_variable(self):
        """A copy of the package with the library in its folder, as the Windows
        zip carries it: found there; with XEMIDI_LIBRARY set, only that."""
        with tempfile.TemporaryDirectory() as folder:
            package = Path(folder) / "xemidi"
            shutil.copytree(ROOT / "python" / "xemidi", package)
            shutil.copy(library().path, package / Path(xemidi._library._FILE_NAME))
            env = {k: v for k, v in os.environ.items() if k != "XEMIDI_LIBRARY"}
            env["PYTHONPATH"] = folder
            script = "import xemidi; print(xemidi.Smf(480).size(), xemidi.load().path)"
            run = subprocess.run([sys.executable, "-c", script], env=env, capture_output=True,
                                 text=True, cwd=folder, check=True)
            self.assertEqual(run.stdout.split(), ["26", str(package / xemidi._library._FILE_NAME)])
            env["XEMIDI_LIBRARY"] = str(Path(folder) / "missing.so")
            run = subprocess.run([sys.executable, "-c", script], env=env, capture_output=True,
                                 text=True, cwd=folder)
            self.assertNotEqual(run.returncode, 0)
            self.assertIn("tried\n  XEMIDI_LIBRARY: " + env["XEMIDI_LIBRARY"], run.stderr)
            self.assertNotIn("package's folder", run.stderr)
            env["XEMIDI_LIBRARY"] = str(package)  # the folder that holds the library
            run = subprocess.run([sys.executable, "-c", script], env=env, capture_output=True,
                                 text=True, cwd=folder, check=True)
            self.assertEqual(run.stdout.split(), ["26", str(package / xemidi._library._FILE_NAME)])
            # Found nowhere: the error says how to name it.
            del env["XEMIDI_LIBRARY"]
            hide = ("import ctypes.util, xemidi._library as l; l._FILE_NAME = 'absent.so'; "
                    "ctypes.util.find_library = lambda name: None; ")
            run = subprocess.run([sys.executable, "-c", hide + script], env=env,
                                 capture_output=True, text=True, cwd=folder)
            self.assertIn("\nName the library with the environment variable XEMIDI_LIBRARY=",
                          run.stderr)


class WindowsDllBitness(unittest.TestCase):
    """Before Windows loads a DLL, the loader reads its machine: a Python of
    the other bitness is told which package it needs. Each Windows build
    runs this against its own DLL (XEMIDI_WINDOWS_DLL, XEMIDI_WINDOWS_DLL_BITS)."""

    def setUp(self):
        if not os.environ.get("XEMIDI_WINDOWS_DLL"):
            self.skipTest("XEMIDI_WINDOWS_DLL is not set (ctest of the win32 and win64 builds)")
        self.dll = Path(os.environ["XEMIDI_WINDOWS_DLL"])
        self.bits = int(os.environ["XEMIDI_WINDOWS_DLL_BITS"])
        self.other = {32: 64, 64: 32}[self.bits]

    def test_each_python_bitness_through_the_loader(self):
        pe = xemidi._pe
        self.assertEqual(pe.dll_machine(self.dll), {32: (32, "x86"), 64: (64, "x64")}[self.bits])
        pe.check_bitness(self.dll, self.bits)
        with self.assertRaises(pe.WrongBitness) as caught:
            pe.check_bitness(self.dll, self.other)
        expected = {32: "this xemidi.dll is 32-bit (x86); a 64-bit Python needs the win64 package",
                    64: "this xemidi.dll is 64-bit (x64); a 32-bit Python needs the win32 package"}
        self.assertEqual(str(caught.exception), expected[self.bits])
        # The loader as on Windows, in this Python: the check speaks first for
        # a DLL of the other bitness; for its own, the file reaches the loader.
        with unittest.mock.patch.object(xemidi._library, "ON_WINDOWS", True), \
                self.assertRaises(OSError) as caught:
            xemidi.load(self.dll)
        mine = ctypes.sizeof(ctypes.c_void_p) * 8
        self.assertEqual(f"a {mine}-bit Python needs" in str(caught.exception), mine != self.bits)

    def test_files_it_leaves_to_the_loader(self):
        image = self.dll.read_bytes()
        pe_offset = int.from_bytes(image[0x3C:0x40], "little")
        arm64 = bytearray(image)
        arm64[pe_offset + 4:pe_offset + 6] = (0xAA64).to_bytes(2, "little")
        cwd = os.getcwd()
        with tempfile.TemporaryDirectory() as folder:
            for name, data in [("empty", b""), ("dos-header-only", image[:64]),
                               ("far-offset", image[:0x3C] + b"\xff" * 4 + image[0x40:]),
                               ("arm64", bytes(arm64))]:
                path = Path(folder) / f"{name}.dll"
                path.write_bytes(data)
                with self.subTest(name):
                    self.assertIsNone(xemidi._pe.dll_machine(path))
                    xemidi._pe.check_bitness(path, self.other)
            self.assertIsNone(xemidi._pe.dll_machine(Path(folder) / "missing.dll"))
            # A bare name is Windows' to find, never a file of the current folder.
            shutil.copy(self.dll, Path(folder) / "xemidi.dll")
            try:
                os.chdir(folder)
                xemidi._pe.check_bitness("xemidi.dll", self.other)
            finally:
                os.chdir(cwd)


def chunk(tag, body):
    return tag + len(body).to_bytes(4, "big") + body


# Two tracks with a tie at tick 0 and one at 96; a system-exclusive message
# longer than a buffer of 256 bytes; a tempo with its length in two bytes.
TWO_TRACKS = (chunk(b"MThd", bytes([0, 1, 0, 2, 0, 96]))
              + chunk(b"MTrk", b"\x00\xff\x51\x80\x03\x07\xa1\x20\x60\xc0\x05"
                      + b"\x00\xff\x2f\x00")
              + chunk(b"MTrk", b"\x00\x90\x3c\x64\x60\x3c\x00\x00\xf0\x82\x2d"
                      + bytes(300) + b"\xf7\x00\xff\x2f\x00"))
TWO_TRACKS_EVENTS = [(0, b"\xff\x51\x03\x07\xa1\x20"), (0, b"\x90\x3c\x64"),
                     (96, b"\xc0\x05"), (96, b"\x90\x3c\x00"),
                     (96, b"\xf0\x82\x2d" + bytes(300) + b"\xf7")]


class Reading(unittest.TestCase):
    """xemidi.read and read_tracks from each kind of source, Smf.events on
    the pure and the compiled path alike, and the errors of a refused file."""

    def events_on_each_path(self, smf):
        """events() on the pure path and, where it can be built, the compiled
        one: the same list on both."""
        saved = xemidi._accelerator.MODULE
        try:
            xemidi._accelerator.MODULE = None
            pure = list(smf.events())
            loops = compiled_loops()
            if loops is None and STRICT:
                self.fail("the compiled loops cannot be built (a C compiler, python3-dev)")
            xemidi._accelerator.MODULE = loops
            compiled = list(smf.events()) if loops is not None else pure
        finally:
            xemidi._accelerator.MODULE = saved
        self.assertEqual(compiled, pure)
        return pure

    def test_every_kind_of_source(self):
        with tempfile.TemporaryDirectory() as folder:
            path = Path(folder) / "two.mid"
            path.write_bytes(TWO_TRACKS)
            sources = [TWO_TRACKS, bytearray(TWO_TRACKS), memoryview(TWO_TRACKS), str(path),
                       path, array.array("B", TWO_TRACKS)]
            for source in sources:
                with self.subTest(source=type(source).__name__), xemidi.read(source) as smf:
                    self.assertEqual(self.events_on_each_path(smf), TWO_TRACKS_EVENTS)
                    self.assertEqual((smf.division, len(smf)), (96, 5))
            with open(path, "rb") as f, xemidi.read(f) as smf:
                self.assertEqual(len(smf), 5)
            tracks = xemidi.read_tracks(path)
        self.assertEqual([self.events_on_each_path(t) for t in tracks],
                         [[TWO_TRACKS_EVENTS[0], TWO_TRACKS_EVENTS[2]],
                          [TWO_TRACKS_EVENTS[1], TWO_TRACKS_EVENTS[3], TWO_TRACKS_EVENTS[4]]])
        # A file read is an object like any: its image is a format 0 file.
        with xemidi.read(tracks[1].data()) as again:
            self.assertEqual(list(again.events()), list(tracks[1].events()))
        for smf in tracks:
            smf.close()
        with self.assertRaises(TypeError):
            xemidi.read(12)
        with xemidi.Smf(480) as smf:
            self.assertEqual((len(smf), smf.division, self.events_on_each_path(smf)), (0, 480, []))

    def test_a_read_objects_gap_counts_the_events_read(self):
        """An object read from a file, then given an event too far after its
        last: the reason names the gap from the last event read (tick 96 of
        TWO_TRACKS), in the object and in its copy, as a track of tracks_data
        too, not a gap from the start."""
        far = 96 + 0x10000000
        expected = (f"tick {far} is more than 0x0FFFFFFF ticks after the event before it, "
                    f"at tick 96{NO_IMAGE}")
        with xemidi.read(TWO_TRACKS) as smf:
            smf.control(far, 0, 7, 1)
            with smf.copy() as twin:
                for each in (smf, twin):
                    with self.assertRaises(xemidi.XemidiError) as caught:
                        each.size()
                    self.assertEqual(caught.exception.reason, expected)
                    with self.assertRaises(xemidi.XemidiError) as caught:
                        xemidi.tracks_data([each])
                    self.assertEqual(caught.exception.reason, f"smfs[0] has no file: {expected}")

    def test_refused_files(self):
        cases = [(b"", 1, 0, "not a Standard MIDI File"),
                 (TWO_TRACKS[:30], 5, 14, "cut short"),
                 (chunk(b"MThd", bytes([0, 2, 0, 1, 0, 96])), 3, 8, "format 2")]
        for data, code, offset, words in cases:
            for read in (xemidi.read, xemidi.read_tracks):
                with self.subTest(data=data[:8], read=read.__name__):
                    with self.assertRaises(xemidi.SmfReadError) as caught:
                        read(data)
                    error = caught.exception
                    self.assertIsInstance(error, ValueError)
                    self.assertIsInstance(error, xemidi.XemidiError)
                    self.assertNotIsInstance(error, OSError)
                    self.assertEqual((error.code, error.offset), (code, offset))
                    self.assertIn(words, error.reason)
                    self.assertIn(f"(at byte {offset})", str(error))
                    self.assertTrue(str(error).startswith(f"xemidi.{read.__name__}(source=b"))
                    copied = pickle.loads(pickle.dumps(error))
                    self.assertEqual((type(copied), copied.offset, str(copied)),
                                     (type(error), error.offset, str(error)))
        with tempfile.TemporaryDirectory() as folder:
            missing = Path(folder) / "missing.mid"
            for read in (xemidi.read, xemidi.read_tracks):
                with self.subTest(read=read.__name__), self.assertRaises(OSError) as caught:
                    read(missing)
                error = caught.exception
                self.assertIsInstance(error, xemidi.SmfFileError)
                self.assertIsInstance(error, xemidi.XemidiError)
                self.assertIsInstance(error, FileNotFoundError)  # as open() raises it
                self.assertNotIsInstance(error, ValueError)
                self.assertTrue(str(error).startswith(f"xemidi.{read.__name__}(source="))
                self.assertEqual((error.code, error.offset), (12, 0))
                self.assertEqual((error.errno, error.filename), (errno.ENOENT, missing))
                self.assertIn("No such file or directory", str(error))
                copied = pickle.loads(pickle.dumps(error))
                self.assertEqual((copied.errno, copied.filename), (errno.ENOENT, missing))


class Tracks(unittest.TestCase):
    """tracks_data and save_tracks: several objects as the tracks of one
    format 1 file, each the track of the object's own file."""

    def band(self):
        tempo, piano, drums = (xemidi.Smf(480) for _ in range(3))
        tempo.tempo(0, 120)
        tempo.time_signature(0, 3, 4)
        piano.insert_notes(range(0, 1920, 480), 0, [60, 64, 67, 72], 100, 480)
        piano.patch(0, 0, 0)
        drums.insert_notes(range(0, 1920, 240), 9, [36, 42] * 4, 110, 120)
        return [tempo, piano, drums, piano]  # the same object may stand twice

    def test_one_track_per_object(self):
        smfs = self.band()
        data = xemidi.tracks_data(smfs)
        self.assertEqual(data[:14], chunk(b"MThd", bytes([0, 1, 0, 4, 0x01, 0xE0])))
        self.assertEqual(data[14:], b"".join(smf.data()[14:] for smf in smfs))
        self.assertEqual([list(t.events()) for t in xemidi.read_tracks(data)],
                         [list(smf.events()) for smf in smfs])
        with tempfile.TemporaryDirectory() as folder:
            path = Path(folder) / "band.mid"
            xemidi.save_tracks(path, iter(smfs))
            self.assertEqual(path.read_bytes(), data)
            with self.assertRaises(FileExistsError) as caught:
                xemidi.save_tracks(path, smfs, xemidi.Disposition.CREATE_NEW)
            self.assertIsInstance(caught.exception, xemidi.XemidiError)
            missing = Path(folder) / "no" / "band.mid"
            with self.assertRaises(FileNotFoundError) as caught:
                xemidi.save_tracks(missing, smfs)
            self.assertEqual((caught.exception.errno, caught.exception.filename),
                             (errno.ENOENT, missing))
            self.assertTrue(str(caught.exception).startswith("xemidi.save_tracks(path="))
            with open(path, "wb") as file:
                xemidi.save_tracks(file, smfs)
            self.assertEqual(path.read_bytes(), data)
            if read_tracks_with_mido is None:
                if STRICT:
                    self.fail("mido is not installed (python3-mido)")
                return
            file_format, division, tracks = read_tracks_with_mido(str(path))
        self.assertEqual((file_format, division, len(tracks)), (1, 480, 4))
        for track, smf in zip(tracks, smfs):
            self.assertEqual(without_end_of_track(path, track),
                             [(tick, data) for tick, data in smf.events()])

    def test_refused_tracks_say_which_and_why(self):
        tempo, piano, drums, _ = self.band()
        other, far = xemidi.Smf(96), xemidi.Smf(480)
        far.note(2**28, 0, 60, 100, 1)
        cases = [([tempo, other], xemidi.XemidiError, "smfs[1] has division 96, smfs[0] 480"),
                 ([far, piano], xemidi.XemidiError, "smfs[0] has no file: the first event"),
                 ([], ValueError, "smfs holds 0 objects, not 1..65535"),
                 ([tempo] * 65536, ValueError, "smfs holds 65536 objects"),
                 ([tempo, "piano"], TypeError, "smfs[1] must be an xemidi.Smf, not str"),
                 (7, TypeError, "smfs must be an iterable of xemidi.Smf, not int")]
        for smfs, kind, words in cases:
            for call in (xemidi.tracks_data, lambda s: xemidi.save_tracks(os.devnull, s)):
                with self.subTest(words=words), self.assertRaises(kind) as caught:
                    call(smfs)
                self.assertIn(words, str(caught.exception))
        drums.close()
        with self.assertRaises(ValueError) as caught:
            xemidi.tracks_data([tempo, drums])
        self.assertIn("smfs[1] is closed", str(caught.exception))


class RoundTripThroughMido(unittest.TestCase):
    def setUp(self):
        if read_with_mido is None:
            if STRICT:
                self.fail("mido is not installed (python3-mido)")
            self.skipTest("mido is not installed (python3-mido)")

    def test_generated_piece(self):
        """Every inserting method at random ticks; mido must read exactly the
        expected events at their ticks (the order within a tick is the C
        tests' business)."""
        rng = random.Random(1028)
        expected = collections.Counter()
        with xemidi.Smf(384) as smf:
            for _ in range(300):
                t, c, a, b, v = (rng.randrange(20000), rng.randrange(16), rng.randrange(128),
                                 rng.randrange(1, 128), rng.randrange(16384))
                cc = [0xB0 | c]
                call, events = rng.choice([
                    (lambda: smf.note(t, c, a, b, v), [(t, [0x90 | c, a, b]),
                                                       (t + v, [0x80 | c, a, 64])]),
                    (lambda: smf.key_pressure(t, c, a, b), [(t, [0xA0 | c, a, b])]),
                    (lambda: smf.control(t, c, a, b), [(t, cc + [a, b])]),
                    (lambda: smf.channel_pressure(t, c, a), [(t, [0xD0 | c, a])]),
                    (lambda: smf.patch(t, c, a, v), [(t, cc + [0, v >> 7]),
                                                     (t, cc + [32, v & 127]), (t, [0xC0 | c, a])]),
                    (lambda: smf.wheel(t, c, v - 8192), [(t, [0xE0 | c, v & 127, v >> 7])]),
                    (lambda: smf.rpn(t, c, v, a), [(t, cc + [101, v >> 7]),
                                                   (t, cc + [100, v & 127]), (t, cc + [6, 0]),
                                                   (t, cc + [38, a])]),
                    (lambda: smf.nrpn(t, c, a, v), [(t, cc + [99, 0]), (t, cc + [98, a]),
                                                    (t, cc + [6, v >> 7]),
                                                    (t, cc + [38, v & 127])]),
                    (lambda: smf.sysex_hex(t, f"f0 {a:x} {c:X} F7"), [(t, [0xF0, a, c, 0xF7])]),
                    (lambda: smf.sysex(t, bytes([0xF0, b, 0xF7])), [(t, [0xF0, b, 0xF7])]),
                    (lambda: smf.midi(t, bytes([0xC0 | c, a])), [(t, [0xC0 | c, a])]),
                    (lambda: smf.text(t, f"{a:03}"), [(t, [0xFF, 1, 3] + list(b"%03d" % a))]),
                    (lambda: smf.lyric(t, "la"), [(t, [0xFF, 5, 2, 0x6C, 0x61])]),
                    (lambda: smf.meta(t, 0x7F, bytes([a])), [(t, [0xFF, 0x7F, 1, a])]),
                    (lambda: smf.tempo(t, microseconds_per_quarter=v + 1),
                     [(t, [0xFF, 0x51, 3, 0, (v + 1) >> 8, (v + 1) & 255])]),
                    (lambda: smf.time_signature(t, b, 2 << (a & 3)),
                     [(t, [0xFF, 0x58, 4, b, 1 + (a & 3), 24, 8])]),
                    (lambda: smf.key_signature(t, c % 15 - 7, a & 1),
                     [(t, [0xFF, 0x59, 2, (c % 15 - 7) & 0xFF, a & 1])]),
                    (lambda: smf.track_name(t, "%03d" % a),
                     [(t, [0xFF, 3, 3] + list(b"%03d" % a))]),
                ])
                call()
                expected.update((tick, bytes(data)) for tick, data in events)
            with tempfile.TemporaryDirectory() as folder:
                path = Path(folder) / "piece.mid"
                smf.save(path)
                division, events = read_with_mido(str(path))
        self.assertEqual(division, 384)
        self.assertEqual(collections.Counter(without_end_of_track(path, events)), expected)


if __name__ == "__main__":
    unittest.main(verbosity=2)
