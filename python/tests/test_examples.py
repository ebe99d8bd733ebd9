"""The examples run from a fresh tree and write what they promise."""

import csv
import os
import subprocess
import sys
from pathlib import Path

import pytest

from test_plot import png_size

EXAMPLES = Path(__file__).resolve().parents[2] / "examples"


def run_example(name, outdir, *arguments):
    completed = subprocess.run([sys.executable, str(EXAMPLES / name), "--outdir", str(outdir),
                                *arguments], capture_output=True, text=True, timeout=600)
    assert completed.returncode == 0, completed.stderr
    return completed.stdout


@pytest.fixture(autouse=True)
def library_for_subprocesses(library):
    """The library fixture exports the library's path to the examples."""


def test_perchlorate_dosing_writes_its_figure(tmp_path):
    output = run_example("perchlorate_dosing.py", tmp_path)
    assert "dosing starts at day 2\ndosing stops at day 12\n" in output
    assert png_size(tmp_path / "perchlorate_dosing.png") == (1000, 900)


def test_sensitivity_sweep_writes_its_table(tmp_path):
    output = run_example("sensitivity_sweep.py", tmp_path)
    with open(tmp_path / "sensitivity_sweep.csv") as table:
        rows = list(csv.DictReader(table))
    assert [float(row["cluxc_np_sens"]) for row in rows] == [0.25, 0.5, 1, 2, 4]
    peaks = [float(row["peak ca_np"]) for row in rows]
    assert peaks == sorted(peaks, reverse=True)  # faster clearance, lower infant exposure
    assert png_size(tmp_path / "sensitivity_sweep.png") == (1000, 500)
    assert "peak ca_np" in output


def test_population_summary_of_a_hundred_subjects(tmp_path):
    output = run_example("population_summary.py", tmp_path, "--workers", "2")
    assert "100 of 100 subjects" in output
    with open(tmp_path / "population_summary.csv") as table:
        rows = list(csv.DictReader(table))
    assert [float(row["day"]) for row in rows] == [1, 3, 7, 10, 14]
    for row in rows:
        assert row["n"] == "100"
        assert 0 < float(row["p5"]) < float(row["median"]) < float(row["p95"])


def readme_python_snippet():
    readme = (EXAMPLES.parent / "README.md").read_text()
    return readme.split("```python\n", 1)[1].split("```", 1)[0]


@pytest.mark.parametrize("how", ["script", "standard input", "-c"])
def test_the_readme_snippet_runs_as_a_script_without_a_main_guard(how, tmp_path):
    snippet = readme_python_snippet() + "print(len(population.results), 'samples ran')\n"
    script = tmp_path / "snippet.py"
    script.write_text(snippet)
    command = {"script": [sys.executable, str(script)],
               "standard input": [sys.executable, "-"],
               "-c": [sys.executable, "-c", snippet]}[how]
    completed = subprocess.run(command, input=snippet if how == "standard input" else None,
                               cwd=tmp_path, capture_output=True, text=True, timeout=600,
                               env={**os.environ, "MPLBACKEND": "Agg"})
    assert completed.returncode == 0, completed.stderr
    # The script ran once: the population's workers never import it.
    assert completed.stdout == "3 samples ran\n"
    assert png_size(tmp_path / "perchlorate.png")[0] > 0
def test_drinking_water_schedule_follows_the_changes(tmp_path):
    output = run_example("drinking_water_schedule.py", tmp_path)
    rows = [line.split() for line in output.splitlines()[1:5]]
    assert [(row[0], row[1]) for row in rows] == [("10", "5"), ("30", "15"), ("60", "0"),
                                                  ("90", "0")]
    infant = [float(row[3]) for row in rows]
    assert infant[0] == 0 < infant[1] < infant[2] and infant[3] < infant[2] / 100
    assert png_size(tmp_path / "drinking_water_schedule.png") == (800, 760)


def test_infant_sensitivity_ranks_the_parameters(tmp_path):
    output = run_example("infant_sensitivity.py", tmp_path, "--workers", "2")
    ranked = [line.split() for line in output.splitlines()[1:11]]
    assert [name for name, _ in ranked][:2] == ["qrc_n", "qsc_n"]
    # The infant's exposure is a little more than proportional to the mother's water.
    assert 1 < float(dict(ranked)["conc"]) < 1.2
    with open(tmp_path / "infant_sensitivity.csv") as table:
        assert len(list(csv.DictReader(table))) > 100
    assert png_size(tmp_path / "infant_sensitivity.png")[0] == 700


def test_fit_synthetic_data_holds_the_true_values_in_its_intervals(tmp_path):
    output = run_example("fit_synthetic_data.py", tmp_path)
    rows = [line.split() for line in output.splitlines() if line.startswith(("cluc_p", "vplasc"))]
    assert [row[-1] for row in rows] == ["yes", "yes"]
    assert png_size(tmp_path / "fit_synthetic_data.png") == (800, 640)
