"""The installed package finds the installed library relative to its own
folder, under any prefix, as the installed programs do."""

import os
import shutil
import subprocess
import sys

import pytest

BUILD = os.environ.get("BRIMLINK_BUILD_FOLDER")
LIBDIR = os.environ.get("BRIMLINK_INSTALL_LIBDIR")
CMAKE = os.environ.get("CMAKE_COMMAND", "cmake")


@pytest.mark.skipif(not BUILD or not LIBDIR, reason="needs the build folder (run through ctest)")
def test_the_installed_package_creates_the_control_from_the_installed_library(tmp_path, settings):
    prefix = tmp_path / "moved" / "prefix"
    subprocess.run([CMAKE, "--install", BUILD, "--prefix", str(prefix), "--component", "python3-brimlink"],
                   check=True, capture_output=True)
    package = prefix / "lib" / "python3" / "dist-packages"
    assert sorted(os.listdir(package / "brimlink")) == sorted(
        ["__init__.py", "__init__.pyi", "_location.py", "_stubgen.py", "py.typed",
         next(f for f in os.listdir(package / "brimlink") if f.startswith("_brimlink."))])
    code = "import brimlink\nwith brimlink.Control() as c:\n    print(c.GetModuleType(0), brimlink.__file__)\n"
    env = dict(os.environ, PYTHONPATH=str(package))
    without = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, env=env)
    assert without.returncode != 0
    assert f"{prefix}/{LIBDIR}/brimlink" in without.stderr, without.stderr

    # A library the program names is taken as it is, whatever the folders hold.
    ocx = os.path.join(BUILD, "bin", "Brimlink.ocx")
    named = subprocess.run([sys.executable, "-c", code.replace("Control()", f"Control(library={ocx!r})")],
                           capture_output=True, text=True, env=env)
    assert named.returncode == 0, named.stderr

    library = prefix / LIBDIR / "brimlink"
    library.mkdir(parents=True)
    shutil.copy(ocx, library)
    done = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, env=env)
    assert done.returncode == 0, done.stderr
    assert done.stdout == f"0 {package}/brimlink/__init__.py\n"
