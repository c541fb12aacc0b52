"""xemidi from Python: build Standard MIDI Files (format 0, one track, or
format 1 of several) with the xemidi library, through ctypes.

    import xemidi
    with xemidi.Smf(480) as smf:                    # 480 ticks per quarter note
        smf.note(0, 0, key=60, velocity=100, duration=480)
        image = smf.data()                          # the file, as bytes

`Smf` is the whole interface (see help(xemidi.Smf)); `read` and `read_tracks`
read a Standard MIDI File into Smf objects; `tracks_data` and `save_tracks`
write several as the tracks of one file of format 1; `XemidiError` is what a
refused call raises, with the method as it was called and the rule it broke
(`SmfReadError`, a ValueError too, for a refused file; `SmfFileError`, an
OSError too, for one that cannot be read; a refused save is an OSError too).
Each error of an argument names the method as it was called in front.
`__version__` is the library's version, from include/xemidi.h.

The library (libxemidi.so, xemidi.dll) is loaded on first use from the file
or folder that XEMIDI_LIBRARY names, else from this package's folder (where
`pip install` puts the library it builds when it finds CMake and a C++
compiler), else from the system's library path; `load(path)` names it
explicitly. `EXPORTS` declares every function of the C interface, with its
types.

The batch inserters `Smf.insert_notes` and `Smf.insert_midi` run their loops
in C when the package was built with its compiled module, else in Python,
with the same results: `ACCELERATED` is True for C. XEMIDI_PURE_PYTHON=1 in
the environment at import chooses Python.
"""

from ._accelerator import ACCELERATED
from ._errors import XemidiError
from ._library import EXPORTS, Export, Library, load
from ._read import SmfFileError, SmfReadError, read, read_tracks
from ._smf import Disposition, Smf
from ._tracks import save_tracks, tracks_data
from ._version import __version__

for _public in (Disposition, Export, Library, Smf, SmfFileError, SmfReadError, XemidiError, load,
                read, read_tracks, save_tracks, tracks_data):
    _public.__module__ = __name__  # help() and pickle name them xemidi.X

__all__ = ["ACCELERATED", "Disposition", "EXPORTS", "Export", "Library", "Smf", "SmfFileError",
           "SmfReadError", "XemidiError", "__version__", "load", "read", "read_tracks",
           "save_tracks", "tracks_data"]
