"""XemidiError, what a refused call raises, and `method` (`package_function`
for xemidi.read and its kin), which puts the method of Smf as the caller
called it in front of every error it raises; below every module that raises
them (_smf for the per-event calls, _batch for the batch inserters, _read).

A XemidiError may also be of a built-in kind: a save that the system
refused is the OSError subclass its errno maps to, as open() raises it
(FileNotFoundError, PermissionError, ...). `joined` makes such a class for
any XemidiError class and any built-in exception, once for each pair, so
that `except XemidiError` and `except FileNotFoundError` both catch it.
"""

import ctypes
import enum
import functools
import inspect
import reprlib
from typing import Any, Callable, Dict, Optional, Tuple, Type, TypeVar

from . import _rules
from ._library import _BY_NAME, rule_of


class XemidiError(Exception):
    """The library refused a call: it returned 0 (NULL for CreateSmf and
    CopySmf) and changed nothing. The message names the method as the
    caller called it (`method`, such as "Smf.note", and `given`, its
    arguments by name as the caller gave them), then why (`reason`): the rule
    of include/xemidi.h that the call broke, which the binding works out
    once the library has refused; then the C function that refused (`call`)
    and the arguments it was given (`arguments`).

    A save that the system refused is also the OSError subclass of its
    errno (FileNotFoundError, FileExistsError, PermissionError, ...), with
    `errno`, `strerror` and `filename` (the path as the caller gave it), and
    `winerror` on Windows, as OSError has them; they are None otherwise. From
    a batch inserter, `index` is the position of the element refused (None
    otherwise); the elements before it stay inserted."""

    def __init__(self, call: str, arguments: Dict[str, Any], *, method: Optional[str] = None,
                 given: Optional[Dict[str, Any]] = None, reason: Optional[str] = None,
                 errno: Optional[int] = None, strerror: Optional[str] = None,
                 winerror: Optional[int] = None, filename: Any = None,
                 index: Optional[int] = None) -> None:
        self.call = call
        self.arguments = dict(arguments)
        self.method, self.given = method, None if given is None else dict(given)
        self.reason = reason or _rules.reason(call, self.arguments) or _rules.otherwise(call)
        self.index = index
        super().__init__(self._message())
        # After OSError's own __init__, which would clear them.
        self.errno, self.strerror, self.filename = errno, strerror, filename
        self.winerror = winerror

    def _message(self) -> str:
        result = "NULL" if _BY_NAME[self.call].result is ctypes.c_void_p else "0"
        refused = f"{self.call}({_listed(self.arguments, _shown_c)}) returned {result}"
        at = "" if self.index is None else f" at index {self.index}"
        if self.method is None:
            return f"{refused}{at}: {self.reason}"
        return f"{called(self.method, self.given or {})}{at}: {self.reason} ({refused})"

    def __str__(self) -> str:
        return str(self.args[0])  # not OSError's "[Errno 2] ..."

    def _keywords(self) -> Dict[str, Any]:
        return {"method": self.method, "given": self.given, "reason": self.reason,
                "errno": self.errno, "strerror": self.strerror, "winerror": self.winerror,
                "filename": self.filename, "index": self.index}

    def named(self, method: str, given: Dict[str, Any]) -> "XemidiError":
        """This error, of its class, as raised by `method` called with `given`."""
        return type(self)(self.call, self.arguments, **dict(self._keywords(), method=method,
                                                           given=given))

    def __reduce__(self) -> Any:
        kinds = getattr(type(self), "_joined", (type(self),))
        return (_remade, (kinds, self.call, self.arguments, self._keywords()))


E = TypeVar("E", bound=XemidiError)


@functools.lru_cache(maxsize=None)
def joined(kind: Type[E], base: Type[BaseException]) -> Type[E]:
    """The class of an error that is both `kind` (XemidiError or a subclass
    of it) and `base`, a built-in exception (FileNotFoundError, ValueError,
    ...): named kind[base], made once for each pair."""
    if issubclass(kind, base):
        return kind
    name = f"{kind.__name__}[{base.__name__}]"
    return type(name, (kind, base), {"__module__": kind.__module__,
                                     "__qualname__": f"{kind.__qualname__}[{base.__name__}]",
                                     "__doc__": kind.__doc__, "_joined": (kind, base)})


def of_errno(kind: Type[E], errno: Optional[int]) -> Type[E]:
    """`kind`, joined with the OSError subclass that errno maps to, as
    OSError(errno, ...) chooses it; `kind` itself for no errno."""
    return joined(kind, type(OSError(errno, ""))) if errno else kind


def _remade(kinds: Tuple[type, ...], call: str, arguments: Dict[str, Any],
            keywords: Dict[str, Any]) -> XemidiError:
    """An error unpickled: of the class `kinds` names (one, or two joined)."""
    kind = joined(*kinds) if len(kinds) == 2 else kinds[0]
    return kind(call, arguments, **keywords)


# ---- the method as the caller called it -----------------------------------------

F = TypeVar("F", bound=Callable[..., Any])


def method(function: F) -> F:
    """Decorates a method of Smf: an error that it raises for its arguments,
    before any call (`_library.refused`) or from the library (XemidiError),
    gets the method's name and the arguments the caller gave it, by name, in
    front: "Smf.note(tick=0.5, channel=0, ...): tick must be an int, not
    float". Only the failing call binds the arguments to their names."""
    name = function.__name__
    return _naming(function, lambda args: type(args[0]).__name__ + (
        "" if name == "__init__" else f".{name}"))


def package_function(function: F) -> F:
    """`method`, for a function of the package: "xemidi.read(source=...): ..."."""
    return _naming(function, lambda args: f"xemidi.{function.__name__}")


def _naming(function: F, name_of: Callable[[Tuple[Any, ...]], str]) -> F:
    signature = inspect.signature(function)

    def caller(args: Tuple[Any, ...], kwargs: Dict[str, Any]) -> Tuple[str, Dict[str, Any]]:
        given = dict(signature.bind(*args, **kwargs).arguments)
        given.pop("self", None)
        return name_of(args), given

    @functools.wraps(function)
    def checked(*args: Any, **kwargs: Any) -> Any:
        try:
            return function(*args, **kwargs)
        except XemidiError as error:
            if error.method is not None:
                raise
            raise error.named(*caller(args, kwargs)) from None
        except (TypeError, ValueError, OverflowError) as error:
            rule = rule_of(error)
            if rule is None:
                raise
            raise type(error)(f"{called(*caller(args, kwargs))}: {rule}") from None

    return checked  # type: ignore[return-value]


def called(method: str, given: Dict[str, Any]) -> str:
    """A call as a message shows it: Smf.note(tick=0, channel=0, ...)."""
    return f"{method}({_listed(given, _shown)})"


def _listed(arguments: Dict[str, Any], shown: Callable[[Any], str]) -> str:
    return ", ".join(f"{name}={shown(value)}" for name, value in arguments.items())


_REPR = reprlib.Repr()
_REPR.maxstring = _REPR.maxother = 160  # a path whole, most reprs of objects too


def _shown(value: Any) -> str:
    """An argument as the caller gave it: Disposition.CREATE_NEW, long data
    and sequences shortened (without a repr of all of it)."""
    if isinstance(value, enum.Enum):
        return f"{type(value).__name__}.{value.name}"
    if isinstance(value, (bytes, bytearray)) and len(value) > 64:
        value = bytes(value[:16]) + bytes(value[-16:])
    return _REPR.repr(value)


def _shown_c(value: Any) -> str:
    """An argument of a C call: ints as numbers (Disposition.CREATE_NEW as 1)."""
    return str(int(value)) if isinstance(value, int) else _shown(value)
