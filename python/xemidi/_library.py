"""The C interface of xemidi through ctypes: every export with its types, and
the loading of the shared library (libxemidi.so, xemidi.dll)."""

import ctypes
import ctypes.util
import operator
import os
import threading
from typing import Any, Dict, Iterator, NamedTuple, NoReturn, Optional, Tuple, Type, Union

from ._pe import check_bitness

_HANDLE = ctypes.c_void_p  # SmfHandle
_I32 = ctypes.c_int32
_U32 = ctypes.c_uint32
_DATA = ctypes.c_void_p  # const void* / void*
_TEXT = ctypes.c_char_p  # const char*, zero-terminated
_SIZE = ctypes.POINTER(ctypes.c_uint32)
_HANDLES = ctypes.POINTER(_HANDLE)  # const SmfHandle*: an array of handles

# Ranges of the integer argument types: ctypes wraps an int that does not
# fit without a word, so the binding checks before it calls.
_INT_RANGES = {_I32: (-(2**31), 2**31 - 1), _U32: (0, 2**32 - 1)}
def refused(kind: Type[Exception], rule: str) -> Exception:
    """An argument refused before the library is called: a `kind`
    (TypeError, ValueError, OverflowError) that says the rule it broke. The
    method of Smf that raises it puts its own name and its arguments in
    front (_errors.method); `Library.call` the export's name."""
    error = kind(rule)
    error.xemidi_rule = rule  # type: ignore[attr-defined]
    return error


def rule_of(error: BaseException) -> Optional[str]:
    """The rule of an error made by `refused`; None for any other error."""
    return getattr(error, "xemidi_rule", None)


class Export(NamedTuple):
    """One function of the C interface, as include/xemidi.h declares it."""

    ordinal: int  # 0: outside Windows only (xemidi_clipboard.h)
    name: str
    result: Any  # ctypes type of the result
    arguments: Tuple[Tuple[str, Any], ...]  # (name, ctypes type) in order


def _export(ordinal: int, name: str, result: Any, *arguments: Tuple[str, Any]) -> Export:
    return Export(ordinal, name, result, arguments)


_SMF = ("smf", _HANDLE)
_TICK = ("tick", _U32)
_CHANNEL = ("channel", _I32)

# The one declaration of every export; tests/python checks it against the
# exports the build lists (names, ordinals, bytes of arguments).
EXPORTS: Tuple[Export, ...] = (
    _export(1, "CreateSmf", _HANDLE, ("division", _I32)),
    _export(2, "DeleteSmf", ctypes.c_int, _SMF),
    _export(3, "SaveSmf", ctypes.c_int, _SMF, ("path", _TEXT), ("creation_disposition", _U32),
            ("flags_and_attributes", _U32)),
    _export(4, "GetSmfDataSize", ctypes.c_int, _SMF, ("size", _SIZE)),
    _export(5, "GetSmfData", ctypes.c_int, _SMF, ("buffer", _DATA), ("size", _U32)),
    _export(6, "InsertMidiEvent", ctypes.c_int, _SMF, _TICK, ("data", _DATA), ("len", _I32)),
    _export(7, "InsertSysexEvent", ctypes.c_int, _SMF, _TICK, ("data", _DATA), ("len", _I32)),
    _export(8, "InsertMetaEvent", ctypes.c_int, _SMF, _TICK, ("type", _U32), ("data", _DATA),
            ("len", _I32)),
    _export(9, "cal_insert_Note", ctypes.c_int, _SMF, _TICK, _CHANNEL, ("key", _I32),
            ("velocity", _I32), ("duration", _I32)),
    _export(10, "cal_insert_KeyAft", ctypes.c_int, _SMF, _TICK, _CHANNEL, ("key", _I32),
            ("pressure", _I32)),
    _export(11, "cal_insert_Control", ctypes.c_int, _SMF, _TICK, _CHANNEL, ("controller", _I32),
            ("value", _I32)),
    _export(12, "cal_insert_ChanAft", ctypes.c_int, _SMF, _TICK, _CHANNEL, ("pressure", _I32)),
    _export(13, "cal_insert_Patch", ctypes.c_int, _SMF, _TICK, _CHANNEL, ("program", _I32),
            ("bank", _I32)),
    _export(14, "cal_insert_Wheel", ctypes.c_int, _SMF, _TICK, _CHANNEL, ("value", _I32)),
    _export(15, "calex_insert_RPN", ctypes.c_int, _SMF, _TICK, _CHANNEL, ("parameter", _I32),
            ("value", _I32)),
    _export(16, "calex_insert_NRPN", ctypes.c_int, _SMF, _TICK, _CHANNEL, ("parameter", _I32),
            ("value", _I32)),
    _export(17, "calex_insert_Sysx", ctypes.c_int, _SMF, _TICK, ("text", _TEXT)),
    _export(18, "calex_insert_Text", ctypes.c_int, _SMF, _TICK, ("text", _TEXT)),
    _export(19, "calex_insert_Lyric", ctypes.c_int, _SMF, _TICK, ("text", _TEXT)),
    _export(20, "CopyToClipboard", ctypes.c_int, _SMF),
    _export(21, "CopySmf", _HANDLE, _SMF),
    _export(22, "ReadSmf", _HANDLE, ("data", _DATA), ("size", _U32), ("reason", _SIZE),
            ("offset", _SIZE)),
    _export(23, "LoadSmf", _HANDLE, ("path", _TEXT), ("reason", _SIZE), ("offset", _SIZE)),
    _export(24, "ReadSmfTracks", ctypes.c_int, ("data", _DATA), ("size", _U32),
            ("tracks", _DATA), ("capacity", _U32), ("count", _SIZE), ("reason", _SIZE),
            ("offset", _SIZE)),
    _export(25, "LoadSmfTracks", ctypes.c_int, ("path", _TEXT), ("tracks", _DATA),
            ("capacity", _U32), ("count", _SIZE), ("reason", _SIZE), ("offset", _SIZE)),
    _export(26, "GetSmfReadErrorText", ctypes.c_int, ("reason", _U32), ("buffer", _DATA),
            ("size", _U32)),
    _export(27, "GetSmfDivision", ctypes.c_int, _SMF, ("division", _SIZE)),
    _export(28, "GetSmfEventCount", ctypes.c_int, _SMF, ("count", _SIZE)),
    _export(29, "GetSmfEvent", ctypes.c_int, _SMF, ("index", _U32), ("tick", _SIZE),
            ("buffer", _DATA), ("size", _U32), ("needed", _SIZE)),
    _export(30, "GetSmfTracksDataSize", ctypes.c_int, ("tracks", _HANDLES), ("count", _U32),
            ("size", _SIZE)),
    _export(31, "GetSmfTracksData", ctypes.c_int, ("tracks", _HANDLES), ("count", _U32),
            ("buffer", _DATA), ("size", _U32)),
    _export(32, "SaveSmfTracks", ctypes.c_int, ("tracks", _HANDLES), ("count", _U32),
            ("path", _TEXT), ("creation_disposition", _U32), ("flags_and_attributes", _U32)),
    _export(0, "xemidi_clipboard_open", ctypes.c_int),
    _export(0, "xemidi_clipboard_close", ctypes.c_int),
    _export(0, "xemidi_clipboard_format", _U32, ("name", _TEXT)),
    _export(0, "xemidi_clipboard_data", _DATA, ("format", _U32), ("size", _SIZE)),
)

_BY_NAME: Dict[str, Export] = {export.name: export for export in EXPORTS}

# The library is not thread-safe and ctypes lets other threads run during a
# call, so every call from this package holds this lock. One lock for the
# process: every load of the same file shares one copy of the library.
# Reentrant, because a finalizer may delete an object in the middle of a call.
LOCK = threading.RLock()

if os.name == "nt":
    # Untested here (no Windows Python on the build machines): 32-bit Python
    # needs the 32-bit DLL (__stdcall, which WinDLL calls), 64-bit Python the
    # 64-bit one. The path is ANSI text for CreateFileA. SaveSmf's reason is
    # the thread's GetLastError(), which ctypes keeps for each call.
    _FILE_NAME = "xemidi.dll"
    ON_WINDOWS = True

    def _load(path: str) -> Any:
        return ctypes.WinDLL(path, use_last_error=True)

    def system_error() -> int:
        """GetLastError() as the last call of this thread into the library left it."""
        return ctypes.get_last_error()

    def clear_system_error() -> None:
        ctypes.set_last_error(0)
else:
    _FILE_NAME = "libxemidi.so"
    ON_WINDOWS = False

    def _load(path: str) -> Any:
        return ctypes.CDLL(path, use_errno=True)

    def system_error() -> int:
        """errno as the last call of this thread into the library left it."""
        return ctypes.get_errno()

    def clear_system_error() -> None:
        ctypes.set_errno(0)


class Library:
    """The loaded shared library. Each export is an attribute of that name,
    a ctypes function with the argument and result types of include/xemidi.h
    (``library.CreateSmf(480)``); `call` checks integer arguments first."""

    def __init__(self, path: str) -> None:
        self.path = path
        if ON_WINDOWS:  # a DLL of the other bitness: say which package the Python needs
            check_bitness(path)
        self._dll = _load(path)
        self._calls: Dict[str, Tuple[Any, int, Tuple[Tuple[int, int, int], ...]]] = {}
        for export in EXPORTS:
            if export.ordinal == 0 and ON_WINDOWS:
                continue
            function = getattr(self._dll, export.name)  # AttributeError: not xemidi
            function.restype = export.result
            function.argtypes = [kind for _, kind in export.arguments]
            setattr(self, export.name, function)
            ranges = tuple((i, *_INT_RANGES[kind]) for i, (_, kind) in enumerate(export.arguments)
                           if kind in _INT_RANGES)
            self._calls[export.name] = (function, len(export.arguments), ranges)

    def call(self, name: str, *arguments: Any) -> Any:
        """Calls the export `name` with the lock held and returns its result.
        It takes as many arguments as the C function (else TypeError);
        integer arguments must be ints (else TypeError) that fit their C type
        (else OverflowError); none of these errors calls the library."""
        with LOCK:
            try:
                return self.call_locked(name, *arguments)
            except (TypeError, OverflowError) as error:
                rule = rule_of(error)
                if rule is None:
                    raise
                raise type(error)(f"{name}: {rule}") from None

    def call_locked(self, name: str, *arguments: Any) -> Any:
        """`call`, for a caller that holds LOCK already; its errors for the
        arguments name no export (see `refused`)."""
        function, count, ranges = self._calls[name]
        if len(arguments) != count:
            raise TypeError(f"{name} takes {count} arguments ({len(arguments)} given)")
        try:
            for i, low, high in ranges:
                if not low <= arguments[i] <= high:
                    break
            else:
                return function(*arguments)
        except (TypeError, ctypes.ArgumentError):
            pass
        _refuse(_BY_NAME[name], arguments)

    def __repr__(self) -> str:
        return f"<xemidi.Library {self.path!r}>"


def an_int(value: Any, name: str) -> int:
    """value as an int (an int, or any object that is one, such as a numpy
    integer); else TypeError, as `refused` makes it."""
    try:
        return operator.index(value)
    except TypeError:
        raise refused(TypeError, f"{name} must be an int, not {type(value).__name__}") from None


def checked_int(value: Any, name: str, limits: Tuple[int, int],
                error: Type[Exception] = OverflowError) -> int:
    """`an_int` within limits (low, high); else `error` for an int outside
    them, as `refused` makes it."""
    value = an_int(value, name)
    low, high = limits
    if not low <= value <= high:
        raise refused(error, f"{name}={value} is not in {low}..{high}")
    return value


def _refuse(export: Export, arguments: Tuple[Any, ...]) -> NoReturn:
    """Raises the error for arguments that ctypes cannot pass as they are."""
    for (argument, kind), value in zip(export.arguments, arguments):
        if kind in _INT_RANGES:
            checked_int(value, argument, _INT_RANGES[kind])
        else:
            try:
                kind.from_param(value)
            except TypeError as error:
                raise refused(TypeError, f"{argument}: {error}") from None
    raise refused(TypeError, f"arguments {arguments!r} do not match the C types")


_default: Optional[Library] = None


def _file(path: str) -> str:
    """The library's file: path itself, or the file in the folder path names."""
    return os.path.join(path, _FILE_NAME) if os.path.isdir(path) else path


def _candidates(path: Union[str, os.PathLike, None]) -> Iterator[Tuple[str, str]]:
    """(where, file) in the order `load` tries them."""
    variable = os.environ.get("XEMIDI_LIBRARY")
    if path is not None:
        yield "the path given", _file(os.fsdecode(path))
    elif variable:
        yield "XEMIDI_LIBRARY", _file(variable)
    else:
        yield "the package's folder", os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                                   _FILE_NAME)
        # find_library runs programs (ldconfig): only when the folder failed.
        yield "the system's library path", ctypes.util.find_library("xemidi") or _FILE_NAME


def _how_to_name_it(where: str) -> str:
    """The end of load's error: how to name the library, for the way tried."""
    example = os.path.join("path", "to", _FILE_NAME)
    if where == "the path given":
        return (f"load() tries only the path it is given: the file {_FILE_NAME} or the "
                "folder that holds it.")
    if where == "XEMIDI_LIBRARY":
        return (f"While XEMIDI_LIBRARY is set, only it is tried: make it name {_FILE_NAME} "
                "or the folder that holds it, or unset it to have the other places searched.")
    install = ("put xemidi.dll into the package's folder, as the Windows zip does"
               if ON_WINDOWS else
               "install it on the system's library path (cmake --install, or the Debian "
               "package, then ldconfig) or copy it into the package's folder")
    return (f"Name the library with the environment variable XEMIDI_LIBRARY={example} "
            f"(the file or the folder that holds it), or with xemidi.load({example!r}) "
            f"before the first Smf; or {install}.")


def load(path: Union[str, os.PathLike, None] = None) -> Library:
    """Loads the xemidi library and makes it the one that new Smf objects use.

    Where it looks: `path` when given, else what the environment variable
    XEMIDI_LIBRARY names when set; only there, so that a wrong setting is
    never hidden by another copy of the library. Either may name the file or
    the folder that holds it. Otherwise the package's own folder, then the
    system's library path (``libxemidi.so`` on Linux, ``xemidi.dll`` on
    Windows). Without `path`, a library already loaded is returned as it is.

    Raises OSError listing every place tried and why each failed, and how
    to name the library.
    """
    global _default
    with LOCK:
        if path is None and _default is not None:
            return _default
        failures = []
        for where, candidate in _candidates(path):
            try:
                library = Library(candidate)
            except (OSError, AttributeError) as error:
                failures.append(f"  {where}: {candidate}: {error}")
                continue
            _default = library
            return library
        raise OSError("xemidi: cannot load the library; tried\n" + "\n".join(failures) +
                      "\n" + _how_to_name_it(where))
