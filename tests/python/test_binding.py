#!/usr/bin/python3
"""The Python binding (python/xemidi) against the library of this build, which
XEMIDI_LIBRARY names (ctest sets it):

  XEMIDI_LIBRARY=build/dev/libxemidi.so python3 tests/python/test_binding.py

The round trip through mido is skipped when mido is missing, unless
XEMIDI_PYTHON_STRICT=1 (CI) makes that a failure.
"""

import collections
import copy
import ctypes
import gc
import os
import pickle
import random
import shutil
import subprocess
import sys
import tempfile
import unittest
import unittest.mock
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "python"))
sys.path.insert(1, str(ROOT / "tests" / "readers"))

import xemidi  # noqa: E402

try:
    from midi_readers import read_with_mido, without_end_of_track
except ImportError:  # no mido
    read_with_mido = None

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
                    self.assertTrue(str(caught.exception).startswith(f"{export}(tick="))
                    self.assertEqual(smf.data(), before)

    def test_save_dispositions(self):
        with worked_example() as smf, tempfile.TemporaryDirectory() as folder:
            path = Path(folder) / "song.mid"
            path.write_bytes(b"x" * 40)
            with self.assertRaises(xemidi.XemidiError) as caught:
                smf.save(path, disposition=xemidi.Disposition.CREATE_NEW)
            self.assertIn("creation_disposition=1, flags_and_attributes=128)",
                          str(caught.exception))
            smf.save(str(path), xemidi.Disposition.OPEN_EXISTING)
            self.assertEqual(path.read_bytes(), WORKED_EXAMPLE + b"xxxxx")

    def test_every_export_refuses_a_deleted_handle(self):
        """The library deleted the object behind the binding's back: every
        method is refused, with the name of its export."""
        lib = library()
        smf = xemidi.Smf(480)
        self.assertEqual(lib.DeleteSmf(smf._handle), 1)
        calls = [(method, good) for method, good, _, _ in INSERTS]
        calls += [("copy", ()), ("size", ()), ("data", ()), ("to_clipboard", ()),
                  ("save", (os.devnull,)), ("close", ())]
        refused = {"CreateSmf"}
        with self.assertRaises(xemidi.XemidiError) as caught:
            xemidi.Smf(0)
        self.assertEqual(str(caught.exception), "CreateSmf(division=0) returned NULL")
        for method, arguments in calls:
            with self.subTest(method=method), self.assertRaises(xemidi.XemidiError) as caught:
                getattr(smf, method)(*arguments)
            refused.add(caught.exception.call)
        self.assertTrue(smf.closed)
        # data() stops at the size: GetSmfData refuses a buffer one byte short.
        with worked_example() as smf, self.assertRaises(xemidi.XemidiError) as caught:
            smf._call("GetSmfData", ctypes.create_string_buffer(34), 34, shown={"size": 34})
        self.assertEqual(str(caught.exception), "GetSmfData(size=34) returned 0")
        refused.add(caught.exception.call)
        self.assertEqual(refused, {e.name for e in xemidi.EXPORTS if e.ordinal})

    def test_arguments_that_c_cannot_carry(self):
        with worked_example() as smf:
            for call, error in [(lambda: smf.note(2**32, 0, 60, 100, 1), OverflowError),
                                (lambda: smf.note(-1, 0, 60, 100, 1), OverflowError),
                                (lambda: smf.wheel(0, 2**32 + 1, 0), OverflowError),
                                (lambda: smf.control(0, 1.0, 7, 1), TypeError),
                                (lambda: smf.midi(0, [0xC0, 1]), TypeError),
                                (lambda: smf.text(0, "a\0b"), ValueError),
                                (lambda: smf.save("a\0b"), ValueError)]:
                with self.subTest(error=error), self.assertRaises(error):
                    call()
            self.assertEqual(smf.data(), WORKED_EXAMPLE)


class Lifetime(unittest.TestCase):
    def test_with_statement_deletes_the_object(self):
        with self.assertRaises(KeyError):
            with xemidi.Smf(480) as smf:
                handle = smf._handle
                raise KeyError
        self.assertTrue(smf.closed)
        self.assertEqual(library().DeleteSmf(handle), 0)  # no longer a live object
        with self.assertRaises(ValueError):
            smf.note(0, 0, 60, 100, 1)
        smf.close()  # again: nothing

    def test_copies_own_their_objects(self):
        with worked_example() as smf:
            for twin in (copy.copy(smf), copy.deepcopy(smf), smf.copy()):
                self.assertNotEqual(twin._handle, smf._handle)
                twin.close()
            self.assertEqual(smf.data(), WORKED_EXAMPLE)
            with self.assertRaises(TypeError):
                pickle.dumps(smf)

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
