"""setuptools' build backend, asking for CMake and Ninja only where they are missing.

Declared outright, they would be fetched and installed for every isolated
build, even on the machines that build the project with their own.
"""

import re
import shutil
import subprocess

from setuptools import build_meta as _setuptools
from setuptools.build_meta import *  # noqa: F401,F403 (the other hooks, unchanged)


def _has_cmake(minimum=(3, 25)):
    cmake = shutil.which("cmake")
    if cmake is None:
        return False
    try:
        text = subprocess.run([cmake, "--version"], capture_output=True, text=True,
                              check=True).stdout
    except (OSError, subprocess.CalledProcessError):
        return False
    found = re.search(r"version (\d+)\.(\d+)", text)
    return found is not None and (int(found[1]), int(found[2])) >= minimum


def get_requires_for_build_wheel(config_settings=None):
    tools = [] if _has_cmake() else ["cmake>=3.25"]
    if shutil.which("ninja") is None:
        tools.append("ninja")
    return _setuptools.get_requires_for_build_wheel(config_settings) + tools
