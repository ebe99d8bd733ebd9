"""Fixtures of the tarn package tests.

The package under test is this source tree's (python/tarn); the library is the one TARN_LIBRARY
names, else the build tree's. tarn-sim is the one TARN_SIM names, else the one beside the
library. Subprocesses (examples, population workers) get the same package through PYTHONPATH.
"""

import os
import sys
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
PACKAGE_DIR = ROOT / "python"
sys.path.insert(0, str(PACKAGE_DIR))
os.environ["PYTHONPATH"] = os.pathsep.join(
    [str(PACKAGE_DIR)] + [p for p in os.environ.get("PYTHONPATH", "").split(os.pathsep) if p])

import tarn  # noqa: E402


@pytest.fixture(scope="session")
def library():
    lib = tarn.load()
    # Subprocesses find the same library.
    os.environ[tarn.LIBRARY_ENVIRONMENT_VARIABLE] = lib.path
    return lib


@pytest.fixture
def model(library):
    with tarn.Model(library) as opened:
        yield opened


@pytest.fixture(scope="session")
def tarn_sim(library):
    path = Path(os.environ.get("TARN_SIM") or Path(library.path).parent / "tarn-sim")
    if not path.is_file():
        pytest.fail(f"tarn-sim not found at {path}; build it or set TARN_SIM")
    return str(path)
