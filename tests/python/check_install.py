#!/usr/bin/python3
"""Installs the package as the README says, into a virtual environment and
without a package index (pip install --no-index ./python), then checks
from that environment, with no XEMIDI_LIBRARY set, that: the package imports
from the environment, states the version of include/xemidi.h (in its
metadata and as xemidi.__version__) and the MIT licence, loads the library
that its build put in its own folder, runs its batch inserters compiled
(xemidi.ACCELERATED), and in Python with
XEMIDI_PURE_PYTHON=1, writes the worked example both ways, and uninstalls
without a trace. Then that the build backend with neither a C compiler nor
CMake to be found still makes a wheel, a pure one, saying where the package
will look for the library.

  check_install.py VENV_FOLDER

Exits 77 (ctest: skipped) where Python cannot make a virtual environment
with pip (Debian: python3-venv missing); a package without its compiled
loops (no python3-dev) passes, saying so. XEMIDI_PYTHON_STRICT=1 makes both
failures.
"""

import importlib.util
import os
import re
import shutil
import subprocess
import sys
import venv
import zipfile
from pathlib import Path

from test_binding import ROOT, STRICT, WORKED_EXAMPLE

CHECK = """
import importlib.metadata, os, sys, xemidi
assert xemidi.__file__.startswith(sys.prefix), xemidi.__file__
metadata = importlib.metadata.metadata("xemidi")
own = os.path.join(os.path.dirname(xemidi.__file__), xemidi._library._FILE_NAME)
print(metadata["Version"], xemidi.__version__, metadata["License-Expression"],
      xemidi.load().path == own, xemidi.ACCELERATED)
with xemidi.Smf(480) as smf, xemidi.Smf(480) as batch:
    smf.note(0, 0, 60, 100, 480)
    batch.insert_notes([0], 0, [60], 100, range(480, 481))
    print(smf.data().hex(), batch.data().hex())
"""


def run(*command, **options):
    done = subprocess.run(command, capture_output=True, text=True, **options)
    if done.returncode != 0:
        sys.exit(f"FAIL {' '.join(command)}\n{done.stdout}{done.stderr}")
    return done.stdout


def check_pure_build(python, env, folder):
    """The backend's wheel where neither a C compiler nor CMake is found."""
    wheels = folder / "pure-wheel"
    shutil.rmtree(wheels, ignore_errors=True)
    wheels.mkdir()
    bare = {k: v for k, v in env.items() if k not in ("CC", "LDSHARED")}
    bare["PATH"] = str(wheels)  # holds no programs
    script = "import sys, build_xemidi; print(build_xemidi.build_wheel(sys.argv[1]))"
    done = subprocess.run([python, "-c", script, str(wheels)], cwd=ROOT / "python", env=bare,
                          capture_output=True, text=True)
    name = done.stdout.strip()
    if done.returncode != 0 or not name.endswith("-py3-none-any.whl"):
        sys.exit(f"FAIL without compiler and CMake the backend made {name!r}\n{done.stderr}")
    compiled = [n for n in zipfile.ZipFile(wheels / name).namelist() if n.endswith(".so")]
    said = ["no C compiler", "no CMake", "will load it from XEMIDI_LIBRARY when set"]
    if compiled or not all(words in done.stderr for words in said):
        sys.exit(f"FAIL the pure wheel holds {compiled}, and the backend said\n{done.stderr}")


def main():
    if importlib.util.find_spec("ensurepip") is None:
        message = "no ensurepip: install python3-venv"
        if STRICT:
            sys.exit("FAIL " + message)
        print("SKIP " + message)
        return 77
    folder = Path(sys.argv[1]).resolve()
    source = ROOT / "python"
    python = str(folder / ("Scripts" if os.name == "nt" else "bin") / "python")
    # No configuration or index from this machine: only what the folder holds;
    # and no library but the package's own.
    env = {k: v for k, v in os.environ.items()
           if not k.startswith(("PIP_", "PYTHON", "XEMIDI_"))}
    env.update(PIP_CONFIG_FILE=os.devnull, PIP_DISABLE_PIP_VERSION_CHECK="1")

    # The environment of an earlier run is reused (making one takes seconds),
    # without the package, which a failed run may have left.
    pip = subprocess.run([python, "-m", "pip", "uninstall", "-y", "xemidi"], env=env,
                         capture_output=True, check=False) if os.path.exists(python) else None
    if pip is None or pip.returncode != 0:
        venv.create(folder, clear=True, with_pip=True)
    run(python, "-m", "pip", "install", "--no-index", str(source), env=env, cwd=folder)

    header = (ROOT / "include" / "xemidi.h").read_text()
    version = re.search(r'#define XEMIDI_VERSION_STRING "(.+)"', header).group(1)
    example = WORKED_EXAMPLE.hex()
    found = run(python, "-c", CHECK, env=env, cwd=folder).split()
    pure = run(python, "-c", CHECK, env=dict(env, XEMIDI_PURE_PYTHON="1"), cwd=folder).split()
    accelerated = "True"
    if found[4:5] == ["False"] and not STRICT:
        print("NOTE the package was built without its compiled loops (python3-dev?)")
        accelerated = "False"
    for given, expected in ((found, [version, version, "MIT", "True", accelerated, example,
                                     example]),
                            (pure, [version, version, "MIT", "True", "False", example, example])):
        if given != expected:
            sys.exit(f"FAIL the installed package gives {given}, expected {expected}")

    run(python, "-m", "pip", "uninstall", "-y", "xemidi", env=env, cwd=folder)
    left = run(python, "-c", "import importlib.util as u; print(u.find_spec('xemidi'))",
               env=env, cwd=folder).strip()
    if left != "None":
        sys.exit(f"FAIL after uninstalling, Python still finds xemidi: {left}")
    check_pure_build(python, env, folder)
    print(f"installed xemidi {version} into {folder} without an index, with its library and "
          f"{'its compiled loops' if accelerated == 'True' else 'no compiled loops'}, used it, "
          "removed it; a wheel without compiler and CMake is pure")
    return 0


if __name__ == "__main__":
    sys.exit(main())
