"""The bitness of a Windows DLL, read from its file before it is loaded.

Windows refuses a DLL of the other bitness with a bare error (WinError 193,
"not a valid Win32 application"); reading the machine field of the file's
PE header first lets the loader say which package the Python needs. Plain
file reading: the DOS header's e_lfanew (offset 0x3C) gives the offset of
the PE signature, which the COFF header's machine field follows.
"""

import os
import struct
from typing import Optional, Tuple, Union

# COFF machine field: (bits, name) of the two builds of the library.
MACHINES = {0x014C: (32, "x86"), 0x8664: (64, "x64")}
# The package that holds the DLL of each bitness.
PACKAGES = {32: "win32", 64: "win64"}


class WrongBitness(OSError):
    """The DLL is of the other bitness than the Python that loads it."""


def dll_machine(path: Union[str, os.PathLike]) -> Optional[Tuple[int, str]]:
    """(bits, name) of the machine the DLL at `path` is built for: (32, "x86")
    or (64, "x64"). None when the file cannot be read, is no PE file, or is
    built for another machine: the loader's own error then tells."""
    try:
        with open(path, "rb") as file:
            dos_header = file.read(64)
            if len(dos_header) < 64 or dos_header[:2] != b"MZ":
                return None
            (pe_offset,) = struct.unpack_from("<I", dos_header, 0x3C)
            file.seek(pe_offset)
            pe_header = file.read(6)  # signature, then the machine field
    except (OSError, ValueError, OverflowError):
        return None
    if len(pe_header) < 6 or pe_header[:4] != b"PE\0\0":
        return None
    (machine,) = struct.unpack_from("<H", pe_header, 4)
    return MACHINES.get(machine)


def check_bitness(path: Union[str, os.PathLike], python_bits: Optional[int] = None) -> None:
    """Raises WrongBitness when the DLL at `path` is of the other bitness
    than a Python of `python_bits` (default: this Python's). A bare file name
    is left to Windows, which looks for it in its own folders, not in the
    current one."""
    if python_bits is None:
        python_bits = struct.calcsize("P") * 8
    if not os.path.dirname(os.fspath(path)):
        return
    found = dll_machine(path)
    if found is None or found[0] == python_bits:
        return
    bits, name = found
    raise WrongBitness(f"this {os.path.basename(os.fspath(path))} is {bits}-bit ({name}); "
                       f"a {python_bits}-bit Python needs the {PACKAGES[python_bits]} package")
