"""Builds the Python module `steiner` with the project's own CMake build.

The wheel holds exactly what `cmake --install BUILD --component python`
installs into a virtual environment's site-packages, so whatever the module's
CMake rules ship (the extension, its type stubs) ships here too.
"""

import hashlib
import os
import re
import shlex
import shutil
import subprocess
import sys
import sysconfig
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext
from setuptools.errors import SetupError

ROOT = Path(__file__).resolve().parent


def project_version():
    text = (ROOT / "CMakeLists.txt").read_text(encoding="utf-8")
    found = re.search(r"^\s*project\s*\(\s*[\w-]+\s+VERSION\s+([0-9]+(?:\.[0-9]+){0,3})",
                      text, re.MULTILINE)
    if found is None:
        raise SetupError("CMakeLists.txt: the project() call sets no VERSION")
    return found[1]


def pybind11_module():
    try:
        import pybind11
    except ImportError:
        raise SetupError("building the module needs pybind11 (the Debian packages "
                         "python3-pybind11 and pybind11-dev, or pybind11 from an index)") from None
    return pybind11


def numpy_requirement():
    # Modules built with pybind11 before 2.12 misread the arrays of numpy 2.
    version = tuple(int(part) for part in re.findall(r"\d+", pybind11_module().__version__)[:2])
    return "numpy>=1.17" + (",<2" if version < (2, 12) else "")


def run(command):
    print(" ".join(shlex.quote(str(word)) for word in command), flush=True)
    try:
        subprocess.run([str(word) for word in command], check=True)
    except FileNotFoundError:
        raise SetupError(f"{command[0]} was not found: building the module needs "
                         "CMake 3.25 or later on PATH") from None
    except subprocess.CalledProcessError as error:
        raise SetupError(f"{command[0]} failed with status {error.returncode}") from None


class CMakeBuild(build_ext):
    """Configures, builds and installs the module's CMake component into the wheel's tree."""

    def initialize_options(self):
        super().initialize_options()
        self._installed = []

    def get_outputs(self):
        return [str(path) for path in self._installed]

    def run(self):
        if self.inplace or getattr(self, "editable_mode", False):
            raise SetupError("the module is built into a wheel only: use `pip install .`, "
                             "not an editable install")
        temp = Path(self.build_temp).resolve()
        # One CMake folder per interpreter: a cache made for one must not
        # serve another of the same version.
        interpreter = hashlib.sha256(os.path.realpath(sys.executable).encode()).hexdigest()[:12]
        build = temp / f"cmake-{interpreter}"
        configure = ["cmake", "-S", ROOT, "-B", build,
                     "-DCMAKE_BUILD_TYPE=Release",
                     f"-DSTEINER_PYTHON={sys.executable}",
                     f"-Dpybind11_DIR={pybind11_module().get_cmake_dir()}",
                     # The main build goes on without the module when pybind11
                     # is missing; this one has nothing else to build.
                     "-DCMAKE_REQUIRE_FIND_PACKAGE_pybind11=ON",
                     "-DBUILD_TESTING=OFF", "-DSTEINER_BUILD_BENCH=OFF"]
        # A folder keeps the generator it was made with; CMAKE_GENERATOR
        # names another, and without Ninja CMake takes its own default.
        fresh = not (build / "CMakeCache.txt").exists()
        if fresh and "CMAKE_GENERATOR" not in os.environ and shutil.which("ninja"):
            configure += ["-G", "Ninja"]
        configure += shlex.split(os.environ.get("CMAKE_ARGS", ""))
        run(configure)
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL") or str(os.cpu_count() or 1)
        run(["cmake", "--build", build, "--config", "Release", "--target", "steiner_python",
             "--parallel", jobs])

        staging = temp / "staging"
        shutil.rmtree(staging, ignore_errors=True)
        run(["cmake", "--install", build, "--config", "Release", "--component", "python",
             "--prefix", staging])
        version = f"{sys.version_info[0]}.{sys.version_info[1]}"
        site = staging / "lib" / f"python{version}" / "site-packages"
        suffix = sysconfig.get_config_var("EXT_SUFFIX")
        if not any(path.name.endswith(suffix) for path in site.rglob("*")):
            raise SetupError(f"the CMake build installed no module ending in {suffix} into {site}")
        self._copy_into_wheel_tree(site, temp / "installed.txt")

    def _copy_into_wheel_tree(self, site, record):
        # The wheel's tree outlives a build: files a former build copied, and
        # this one's component no longer installs, must not ship.
        target = Path(self.build_lib).resolve()
        if record.exists():
            for name in record.read_text(encoding="utf-8").splitlines():
                (target / name).unlink(missing_ok=True)
        names = sorted(str(path.relative_to(site)) for path in site.rglob("*") if path.is_file())
        for name in names:
            (target / name).parent.mkdir(parents=True, exist_ok=True)
            shutil.copy2(site / name, target / name)
        record.write_text("".join(name + "\n" for name in names), encoding="utf-8")
        self._installed = [target / name for name in names]


setup(
    version=project_version(),
    install_requires=[numpy_requirement()],
    # The module comes whole from the CMake build: no Python package to find
    # among the source folders.
    packages=[],
    # Marks the wheel as built for this platform and interpreter.
    ext_modules=[Extension("steiner", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    # setuptools' own build folders sit beside the CMake presets' under build/.
    options={"build": {"build_base": "build/pip"}},
)
