#!/usr/bin/python3
"""Installs the package as the README says, into a virtual environment and
without a package index (pip install --no-index ./python), then checks
from that environment, with XEMIDI_LIBRARY naming the library, that:
the package imports from the environment, states the version of
include/xemidi.h and the MIT licence, writes the worked example, and
uninstalls without a trace.

  XEMIDI_LIBRARY=build/dev/libxemidi.so check_install.py VENV_FOLDER

Exits 77 (ctest: skipped) where Python cannot make a virtual environment
with pip (Debian: python3-venv missing), unless XEMIDI_PYTHON_STRICT=1.
"""

import importlib.util
import os
import re
import subprocess
import sys
import venv
from pathlib import Path

from test_binding import ROOT, WORKED_EXAMPLE

CHECK = """
import importlib.metadata, sys, xemidi
assert xemidi.__file__.startswith(sys.prefix), xemidi.__file__
metadata = importlib.metadata.metadata("xemidi")
print(metadata["Version"], metadata["License-Expression"])
with xemidi.Smf(480) as smf:
    smf.note(0, 0, 60, 100, 480)
    print(smf.data().hex())
"""


def run(*command, **options):
    done = subprocess.run(command, capture_output=True, text=True, **options)
    if done.returncode != 0:
        sys.exit(f"FAIL {' '.join(command)}\n{done.stdout}{done.stderr}")
    return done.stdout


def main():
    if importlib.util.find_spec("ensurepip") is None:
        message = "no ensurepip: install python3-venv"
        if os.environ.get("XEMIDI_PYTHON_STRICT") == "1":
            sys.exit("FAIL " + message)
        print("SKIP " + message)
        return 77
    folder = Path(sys.argv[1]).resolve()
    source = ROOT / "python"
    python = str(folder / ("Scripts" if os.name == "nt" else "bin") / "python")
    # No configuration or index from this machine: only what the folder holds.
    env = {k: v for k, v in os.environ.items() if not k.startswith(("PIP_", "PYTHON"))}
    env.update(PIP_CONFIG_FILE=os.devnull, PIP_DISABLE_PIP_VERSION_CHECK="1",
               XEMIDI_LIBRARY=str(Path(os.environ["XEMIDI_LIBRARY"]).resolve()))

    # The environment of an earlier run is reused (making one takes seconds),
    # without the package, which a failed run may have left.
    pip = subprocess.run([python, "-m", "pip", "uninstall", "-y", "xemidi"], env=env,
                         capture_output=True, check=False) if os.path.exists(python) else None
    if pip is None or pip.returncode != 0:
        venv.create(folder, clear=True, with_pip=True)
    run(python, "-m", "pip", "install", "--no-index", str(source), env=env, cwd=folder)

    header = (ROOT / "include" / "xemidi.h").read_text()
    version = re.search(r'#define XEMIDI_VERSION_STRING "(.+)"', header).group(1)
    found = run(python, "-c", CHECK, env=env, cwd=folder).split()
    expected = [version, "MIT", WORKED_EXAMPLE.hex()]
    if found != expected:
        sys.exit(f"FAIL the installed package gives {found}, expected {expected}")

    run(python, "-m", "pip", "uninstall", "-y", "xemidi", env=env, cwd=folder)
    left = run(python, "-c", "import importlib.util as u; print(u.find_spec('xemidi'))",
               env=env, cwd=folder).strip()
    if left != "None":
        sys.exit(f"FAIL after uninstalling, Python still finds xemidi: {left}")
    print(f"installed xemidi {version} into {folder} without an index, used it, removed it")
    return 0


if __name__ == "__main__":
    sys.exit(main())
