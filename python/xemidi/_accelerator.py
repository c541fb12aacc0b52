"""The compiled loops of the batch inserters: the module _cbatch, which the
package's build makes where it finds a C compiler and Python's headers.

It is used unless the environment variable XEMIDI_PURE_PYTHON is set to
anything but "" or "0" when the package is imported. Without it the batch
inserters run the same loops in Python over the per-event calls, with the
same results and the same errors, only slower. ACCELERATED tells which."""

import os
from types import ModuleType
from typing import Optional

from . import _rules
from ._arguments import DURATIONS

MODULE: Optional[ModuleType] = None

if os.environ.get("XEMIDI_PURE_PYTHON", "") in ("", "0"):
    try:
        from . import _cbatch as MODULE  # type: ignore[no-redef]
    except ImportError:  # not built: no compiler, or the Windows zip
        MODULE = None
    if MODULE is not None and (getattr(MODULE, "SPAN_BITS", None) != _rules.SPAN_BITS or
                               getattr(MODULE, "DURATION_HIGH", None) != DURATIONS[1]):
        MODULE = None  # built for another bookkeeping of ticks, or of durations

ACCELERATED: bool = MODULE is not None
