"""The package's version, which is the library's: include/xemidi.h states it
once (XEMIDI_VERSION_STRING). A wheel and a Windows zip carry this module
with the version written out (build_xemidi.version_module); used in place,
from the repository's python/ folder, it reads the header."""

import re
from pathlib import Path

HEADER = Path(__file__).resolve().parents[2] / "include" / "xemidi.h"


def from_header(header: Path = HEADER) -> str:
    """XEMIDI_VERSION_STRING of the header; "0+unknown" without one (a copy
    of this folder outside the repository and its packages)."""
    try:
        text = header.read_text(encoding="utf-8")
    except OSError:
        return "0+unknown"
    match = re.search(r'^#define XEMIDI_VERSION_STRING "([0-9]+(?:\.[0-9]+)*)"$', text, re.M)
    return match.group(1) if match else "0+unknown"


__version__ = from_header()
