"""pip installs the package from python/ without network access, and the installed package runs
the model from anywhere."""

import shutil
import subprocess
import sys
from pathlib import Path

PACKAGE_DIR = Path(__file__).resolve().parents[1]


def test_pip_installs_the_package_offline(library, tmp_path):
    source = tmp_path / "source"
    shutil.copytree(PACKAGE_DIR, source, ignore=shutil.ignore_patterns("build", "*.egg-info",
                                                                       "__pycache__", "tests"))
    environment = tmp_path / "venv"
    # Debian's numpy, pandas and matplotlib come from the system site packages.
    subprocess.run([sys.executable, "-m", "venv", "--system-site-packages", str(environment)],
                   check=True)
    python = environment / "bin" / "python"
    subprocess.run([str(python), "-m", "pip", "install", "--no-index", "--quiet", str(source)],
                   check=True, cwd=tmp_path)
    script = ("import tarn; m = tarn.Model(); r = m.run(tstop=1, frame=False); "
              "print(tarn.__file__); print(r['t'][-1])")
    completed = subprocess.run([str(python), "-c", script], capture_output=True, text=True,
                               cwd=tmp_path, check=True,
                               env={"TARN_LIBRARY": library.path, "PATH": "/usr/bin:/bin"})
    location, end = completed.stdout.split()
    assert location.startswith(str(environment)) and float(end) == 1.0
