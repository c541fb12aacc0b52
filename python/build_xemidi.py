"""The build backend of the xemidi package (PEP 517).

It writes a pure-Python wheel of the package folder xemidi/, with the
metadata of pyproject.toml's [project] table and the version that
../include/xemidi.h states (XEMIDI_VERSION_STRING). It needs nothing beyond
the standard library (and tomli before Python 3.11), so that
`pip install ./python` works where no package index can be reached. It builds
wheels only: the version lives in the repository, outside this folder.
"""

import base64
import hashlib
import re
import sys
import zipfile
from pathlib import Path

HERE = Path(__file__).resolve().parent
HEADER = HERE.parent / "include" / "xemidi.h"
PACKAGE = "xemidi"
# The [project] keys written to the metadata; any other is refused rather
# than dropped.
KEYS = {"name", "dynamic", "description", "license", "requires-python"}


class UnsupportedOperation(Exception):
    """The backend cannot do this (PEP 517)."""


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
    try:
        header = HEADER.read_text(encoding="utf-8")
    except FileNotFoundError:
        raise RuntimeError(f"xemidi takes its version from {HEADER}, which is missing: "
                           "build the package inside the repository") from None
    match = re.search(r'^#define XEMIDI_VERSION_STRING "([0-9]+(?:\.[0-9]+)*)"$', header, re.M)
    if match is None:
        raise RuntimeError(f"no XEMIDI_VERSION_STRING in {HEADER}")
    return match.group(1)


def _metadata(project, version):
    fields = [("Metadata-Version", "2.4"), ("Name", project["name"]), ("Version", version),
              ("Summary", project["description"]), ("License-Expression", project["license"]),
              ("Requires-Python", project["requires-python"])]
    return "".join(f"{key}: {value}\n" for key, value in fields).encode()


def _record_line(path, data):
    digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
    return f"{path},sha256={digest},{len(data)}\n"


def get_requires_for_build_wheel(config_settings=None):
    return [] if sys.version_info >= (3, 11) else ["tomli>=1.1"]


def build_wheel(wheel_directory, config_settings=None, metadata_directory=None):
    project, version = _project(), _version()
    info = f"{project['name']}-{version}.dist-info"
    files = {f"{PACKAGE}/{path.name}": path.read_bytes()
             for path in sorted((HERE / PACKAGE).iterdir())
             if path.suffix == ".py" or path.name == "py.typed"}
    files[f"{info}/METADATA"] = _metadata(project, version)
    files[f"{info}/WHEEL"] = (b"Wheel-Version: 1.0\nGenerator: build_xemidi\n"
                              b"Root-Is-Purelib: true\nTag: py3-none-any\n")
    record = "".join(_record_line(path, data) for path, data in files.items())
    files[f"{info}/RECORD"] = (record + f"{info}/RECORD,,\n").encode()

    name = f"{project['name']}-{version}-py3-none-any.whl"
    with zipfile.ZipFile(Path(wheel_directory) / name, "w") as wheel:
        for path, data in files.items():
            entry = zipfile.ZipInfo(path, date_time=(1980, 1, 1, 0, 0, 0))  # reproducible
            entry.compress_type = zipfile.ZIP_DEFLATED
            entry.external_attr = 0o644 << 16
            wheel.writestr(entry, data)
    return name


def build_sdist(sdist_directory, config_settings=None):
    raise UnsupportedOperation("xemidi has no source distribution: its version is read from "
                               "the repository's include/xemidi.h; build the wheel from there")
