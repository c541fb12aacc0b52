"""XemidiError, what a refused call raises, below every module that raises
it (_smf for the per-event calls, _batch for the batch inserters)."""

import ctypes
import functools
import reprlib
from typing import Any, Dict, Optional

from . import _rules
from ._library import _BY_NAME


class XemidiError(Exception):
    """The library refused a call: it returned 0 (NULL for CreateSmf and
    CopySmf) and changed nothing. The error names the C function (`call`),
    the arguments it was given (`arguments`) and why (`reason`): the rule of
    include/xemidi.h that the call broke, which the binding works out once
    the library has refused. A save that the system refused carries the
    system's reason as OSError does: `errno` (and `winerror` on Windows) and
    `filename`; they are None otherwise. From a batch inserter, `index` is
    the position of the element refused (None otherwise); the elements before
    it stay inserted."""

    def __init__(self, call: str, arguments: Dict[str, Any], *, reason: Optional[str] = None,
                 errno: Optional[int] = None, winerror: Optional[int] = None,
                 filename: Any = None, index: Optional[int] = None) -> None:
        self.call = call
        self.arguments = dict(arguments)
        self.reason = reason or _rules.reason(call, self.arguments) or _rules.otherwise(call)
        self.errno, self.winerror, self.filename = errno, winerror, filename
        self.index = index
        shown = ", ".join(f"{name}={_shown(value)}" for name, value in arguments.items())
        result = "NULL" if _BY_NAME[call].result is ctypes.c_void_p else "0"
        at = "" if index is None else f" at index {index}"
        super().__init__(f"{call}({shown}) returned {result}{at}: {self.reason}")

    def __reduce__(self) -> Any:
        keywords = {"reason": self.reason, "errno": self.errno, "winerror": self.winerror,
                    "filename": self.filename, "index": self.index}
        return (functools.partial(type(self), **keywords), (self.call, self.arguments))


def _shown(value: Any) -> str:
    """An argument in an error message: ints as numbers (Disposition.CREATE_NEW
    as 1), long data shortened to its ends (without a repr of all of it)."""
    if isinstance(value, int):
        return str(int(value))
    if isinstance(value, (bytes, bytearray)) and len(value) > 64:
        value = bytes(value[:16]) + bytes(value[-16:])
    return reprlib.repr(value)
