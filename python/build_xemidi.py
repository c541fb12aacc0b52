"""The build backend of the xemidi package (PEP 517).

It writes a wheel of the package folder xemidi/, with the metadata of
pyproject.toml's [project] table and the version that ../include/xemidi.h
states (XEMIDI_VERSION_STRING), also written out as xemidi/_version.py
(xemidi.__version__), and, where it can, two compiled parts:

- the module xemidi/_cbatch (the batch inserters' loops, from
  xemidi/_cbatch.c), where Python's C compiler (sysconfig's CC, or CC from
  the environment) and Python's headers are found;
- libxemidi.so, built by CMake from the repository around this folder
  (../CMakeLists.txt, ../src, ../include: Release, without tests or
  examples), where CMake and a C++ compiler are found, outside Windows.

Either missing leaves its part out, says so on standard error (which pip
shows with -v) and never fails the build: the package then runs its pure
loops, or loads the library from elsewhere. A wheel with a compiled part is
tagged for this interpreter and platform, one without is pure.

Run as a program (python3 python/build_xemidi.py), it builds only the
compiled module, into xemidi/ itself, for the package used in place.

It needs nothing beyond the standard library (and tomli before Python 3.11),
so that `pip install ./python` works where no package index can be reached.
pip builds a local folder in place, so the repository is the folder above
this file. It builds wheels only: the version lives outside this folder.
"""

import base64
import hashlib
import importlib.util
import os
import re
import shlex
import shutil
import subprocess
import sys
import sysconfig
import tempfile
import zipfile
from pathlib import Path
from typing import Dict, List, Optional

HERE = Path(__file__).resolve().parent
ROOT = HERE.parent
HEADER = ROOT / "include" / "xemidi.h"
PACKAGE = "xemidi"
EXTENSION = "_cbatch"
LIBRARY = "libxemidi.so"  # the file name the package loads from its folder outside Windows
# The [project] keys written to the metadata; any other is refused rather
# than dropped.
KEYS = {"name", "dynamic", "description", "license", "requires-python"}


class UnsupportedOperation(Exception):
    """The backend cannot do this (PEP 517)."""


def _say(message: str) -> None:
    print(f"build_xemidi: {message}", file=sys.stderr, flush=True)


def _project():
    if sys.version_info >= (3, 11):
        import tomllib
    else:
        import tomli as tomllib
    with open(HERE / "pyproject.toml", "rb") as file:
        project = tomllib.load(file)["project"]
    unknown = set(project) - KEYS
    if unknown or project.get("dynamic") != ["version"]:
        raise RuntimeError(f"build_xemidi writes only {sorted(KEYS)} with a dynamic version; "
                           f"pyproject.toml also has {sorted(unknown)}")
    return project


def _version():
    """The header's version, read by the package's own _version module."""
    if not HEADER.is_file():
        raise RuntimeError(f"xemidi takes its version from {HEADER}, which is missing: "
                           "build the package inside the repository")
    spec = importlib.util.spec_from_file_location("_xemidi_version", HERE / PACKAGE / "_version.py")
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    version = module.from_header(HEADER)
    if version == "0+unknown":
        raise RuntimeError(f"no XEMIDI_VERSION_STRING in {HEADER}")
    return version


def version_module(version: str) -> bytes:
    """xemidi/_version.py as a wheel carries it: the version written out."""
    return (f'"""The package\'s version, the library\'s (include/xemidi.h), written out '
            f'when the package was built."""\n\n__version__ = "{version}"\n').encode()


def _metadata(project, version):
    fields = [("Metadata-Version", "2.4"), ("Name", project["name"]), ("Version", version),
              ("Summary", project["description"]), ("License-Expression", project["license"]),
              ("Requires-Python", project["requires-python"])]
    return "".join(f"{key}: {value}\n" for key, value in fields).encode()


def _record_line(path, data):
    digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
    return f"{path},sha256={digest},{len(data)}\n"


# ---- the compiled module ----------------------------------------------------

def _tool(name: str) -> List[str]:
    """A command of Python's build configuration (CC, LDSHARED), as the
    environment overrides it; a CC from the environment also links."""
    configured = shlex.split(sysconfig.get_config_var(name) or "")
    if os.environ.get(name):
        return shlex.split(os.environ[name])
    if name == "LDSHARED" and os.environ.get("CC") and configured:
        default_cc = shlex.split(sysconfig.get_config_var("CC") or "")
        if configured[:len(default_cc)] == default_cc:
            return shlex.split(os.environ["CC"]) + configured[len(default_cc):]
    return configured


def _run(command: List[str], what: str) -> Optional[str]:
    """Runs command; None when it worked, else why not (its last lines)."""
    try:
        done = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                              text=True, check=False)
    except OSError as error:
        return f"{what}: {error}"
    if done.returncode == 0:
        return None
    return f"{what} failed:\n" + "\n".join(done.stdout.splitlines()[-20:])


def build_extension(folder: Path, werror: bool = False) -> Optional[Path]:
    """Compiles xemidi/_cbatch.c into folder and returns the module's file;
    None, having said why, without a compiler or Python's headers, or when
    compiling fails. werror (the package's tests) turns on the warnings of
    the library's own code, makes them errors, and raises RuntimeError when
    compiling fails."""
    def give_up(reason: str, failed: bool = False) -> None:
        if failed and werror:
            raise RuntimeError(reason)
        _say(f"{reason}; the batch inserters will run in Python (xemidi.ACCELERATED False)")

    cc, ldshared = _tool("CC"), _tool("LDSHARED")
    headers = Path(sysconfig.get_paths()["include"])
    if sys.implementation.name != "cpython":
        return give_up(f"the compiled module is for CPython, not {sys.implementation.name}")
    if not cc or not ldshared or shutil.which(cc[0]) is None:
        return give_up(f"no C compiler ({' '.join(cc) or 'none configured'})")
    if not (headers / "Python.h").is_file():
        return give_up(f"no Python headers ({headers / 'Python.h'}; Debian: python3-dev)")
    objects = folder / f"{EXTENSION}.o"
    module = folder / (EXTENSION + sysconfig.get_config_var("EXT_SUFFIX"))
    flags = shlex.split(sysconfig.get_config_var("CFLAGS") or "")
    flags += shlex.split(sysconfig.get_config_var("CCSHARED") or "")
    flags += shlex.split(os.environ.get("CFLAGS", ""))
    flags += ["-fvisibility=hidden", f"-I{headers}", f"-I{ROOT / 'include'}"]
    if werror:
        flags += ["-Wall", "-Wextra", "-Wpedantic", "-Wshadow", "-Wconversion", "-Werror"]
    source = HERE / PACKAGE / f"{EXTENSION}.c"
    failure = (_run(cc + flags + ["-c", str(source), "-o", str(objects)], "compiling")
               or _run(ldshared + [str(objects), "-o", str(module)]
                       + shlex.split(os.environ.get("LDFLAGS", "")), "linking"))
    if failure:
        return give_up(failure, failed=True)
    return module


def load_extension(folder: Path, werror: bool = False):
    """build_extension, then the module imported from its file as
    xemidi._cbatch (for the tests and benchmarks, which set it as the
    package's accelerator); None where it cannot be built."""
    path = build_extension(folder, werror)
    if path is None:
        return None
    spec = importlib.util.spec_from_file_location(f"{PACKAGE}.{EXTENSION}", path)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


# ---- the library ------------------------------------------------------------

def build_library(folder: Path) -> Optional[Path]:
    """Builds libxemidi.so with CMake in folder and returns it; None, having
    said where the package will look instead, when it cannot."""
    cmake = shutil.which("cmake")
    reason = None
    if os.name != "posix":
        reason = "the library is built here outside Windows only (the zips carry xemidi.dll)"
    elif not (ROOT / "CMakeLists.txt").is_file():
        reason = f"no {ROOT / 'CMakeLists.txt'}: not inside the repository"
    elif cmake is None:
        reason = "no CMake"
    else:
        build = folder / "library"
        configure = [cmake, "-S", str(ROOT), "-B", str(build), "-DCMAKE_BUILD_TYPE=Release",
                     "-DXEMIDI_BUILD_TESTS=OFF", "-DXEMIDI_BUILD_EXAMPLES=OFF",
                     "-DXEMIDI_INSTALL=OFF"]
        if shutil.which("ninja"):
            configure += ["-G", "Ninja"]
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL", "2")
        reason = (_run(configure, "CMake's configuration")
                  or _run([cmake, "--build", str(build), "--target", "xemidi", "--parallel", jobs],
                          "CMake's build"))
        if reason is None:
            if (build / LIBRARY).is_file():
                return (build / LIBRARY).resolve()
            reason = f"CMake built no {LIBRARY}"
    _say(f"{reason}; the package holds no library of its own and will load it from "
         "XEMIDI_LIBRARY when set, else from its own folder, else from the system's "
         "library path")
    return None


# ---- the wheel --------------------------------------------------------------

def _tag(compiled: bool, platform_specific: bool) -> str:
    platform = re.sub(r"[-.]", "_", sysconfig.get_platform())
    if compiled:
        python = f"cp{sys.version_info[0]}{sys.version_info[1]}"
        return f"{python}-{python}{getattr(sys, 'abiflags', '')}-{platform}"
    return f"py3-none-{platform}" if platform_specific else "py3-none-any"


def _write_wheel(path: Path, files: Dict[str, bytes]) -> None:
    with zipfile.ZipFile(path, "w") as wheel:
        for name, data in files.items():
            entry = zipfile.ZipInfo(name, date_time=(1980, 1, 1, 0, 0, 0))  # reproducible
            entry.compress_type = zipfile.ZIP_DEFLATED
            entry.external_attr = (0o755 if name.endswith(".so") else 0o644) << 16
            wheel.writestr(entry, data)


def get_requires_for_build_wheel(config_settings=None):
    return [] if sys.version_info >= (3, 11) else ["tomli>=1.1"]


def build_wheel(wheel_directory, config_settings=None, metadata_directory=None):
    project, version = _project(), _version()
    info = f"{project['name']}-{version}.dist-info"
    files = {f"{PACKAGE}/{path.name}": path.read_bytes()
             for path in sorted((HERE / PACKAGE).iterdir())
             if path.suffix == ".py" or path.name == "py.typed"}
    files[f"{PACKAGE}/_version.py"] = version_module(version)
    with tempfile.TemporaryDirectory(prefix="build_xemidi-") as scratch:
        module = build_extension(Path(scratch))
        library = build_library(Path(scratch))
        for built, name in ((module, module and module.name), (library, LIBRARY)):
            if built is not None:
                files[f"{PACKAGE}/{name}"] = built.read_bytes()
    tag = _tag(module is not None, library is not None)
    pure = tag == "py3-none-any"
    files[f"{info}/METADATA"] = _metadata(project, version)
    files[f"{info}/WHEEL"] = (f"Wheel-Version: 1.0\nGenerator: build_xemidi\n"
                              f"Root-Is-Purelib: {str(pure).lower()}\nTag: {tag}\n").encode()
    record = "".join(_record_line(path, data) for path, data in files.items())
    files[f"{info}/RECORD"] = (record + f"{info}/RECORD,,\n").encode()

    name = f"{project['name']}-{version}-{tag}.whl"
    _write_wheel(Path(wheel_directory) / name, files)
    return name


def build_sdist(sdist_directory, config_settings=None):
    raise UnsupportedOperation("xemidi has no source distribution: its version is read from "
                               "the repository's include/xemidi.h; build the wheel from there")


def build_in_place() -> Optional[Path]:
    """The compiled module built into xemidi/ itself, for the package used
    in place (PYTHONPATH=python); None, having said why, when it cannot be."""
    with tempfile.TemporaryDirectory(prefix="build_xemidi-") as scratch:
        module = build_extension(Path(scratch))
        return None if module is None else Path(shutil.copy(module, HERE / PACKAGE))


if __name__ == "__main__":
    built = build_in_place()
    if built is not None:
        print(f"build_xemidi: {built}: xemidi used from {HERE} runs its compiled loops")
    sys.exit(0 if built is not None else 1)
