"""The Python host and tarn-sim agree, and tarn-sim shows its progress on a terminal."""

import csv
import io
import os
import pty
import subprocess

import pytest

import tarn

SCENARIOS = {
    "default": ([], {}),
    "dosing with gear": (
        ["--set", "pdose=0.01", "--set", "ppuls=1", "--set", "pdstart=6", "--alg", "gear",
         "--tstop", "48", "--cint", "0.5", "--out", "ca_p,ca_np,cttot_p,ialg,wesitg"],
        dict(parameters=dict(pdose=0.01, ppuls=1, pdstart=6), algorithm="gear", tstop=48,
             cint=0.5, outputs=["ca_p", "ca_np", "cttot_p", "ialg", "wesitg"])),
}


def printed(value):
    """A value as tarn-sim prints it."""
    if isinstance(value, (bool, int)) or hasattr(value, "dtype") and value.dtype.kind in "bi":
        return str(int(value))
    return "%.10g" % value


@pytest.mark.parametrize("arguments, call", SCENARIOS.values(), ids=SCENARIOS.keys())
def test_python_run_equals_tarn_sim_to_the_printed_digits(model, tarn_sim, arguments, call):
    completed = subprocess.run([tarn_sim, "run", *arguments], capture_output=True, text=True,
                               check=True)
    rows = list(csv.reader(io.StringIO(completed.stdout)))
    model.update(call.get("parameters", {}))
    settings = {k: v for k, v in call.items() if k != "parameters"}
    result = model.run(frame=False, **settings)
    assert rows[0] == list(result)
    python_rows = [[printed(result[name][k]) for name in result] for k in range(len(result["t"]))]
    assert len(rows) - 1 == len(python_rows) > 20
    assert rows[1:] == python_rows


def test_params_lists_the_defaults_the_python_model_reports(model, tarn_sim):
    completed = subprocess.run([tarn_sim, "params", "--format", "tsv"], capture_output=True,
                               text=True, check=True)
    rows = list(csv.reader(io.StringIO(completed.stdout), delimiter="\t"))
    assert rows[0] == ["name", "default", "unit", "bounds", "group", "description"]
    assert rows[1:] == [[p.name, printed(p.default), "" if p.unit == "1" else p.unit, p.bounds,
                         p.group, p.description] for p in model.parameters()]


def test_outputs_lists_what_the_python_package_lists(tarn_sim):
    completed = subprocess.run([tarn_sim, "outputs"], capture_output=True, text=True, check=True)
    rows = list(csv.reader(io.StringIO(completed.stdout)))
    assert rows[0] == ["name", "unit", "group", "description"]
    assert rows[1:] == [[o.name, "" if o.unit == "1" else o.unit, o.group, o.description]
                        for o in tarn.outputs()]


def test_symbols_of_a_type_match_the_symbol_table(library, tarn_sim):
    completed = subprocess.run([tarn_sim, "symbols", "--type", "derivative"],
                               capture_output=True, text=True, check=True)
    names = [row[1] for row in csv.reader(io.StringIO(completed.stdout))][1:]
    assert names == [library.symbols[s.derivative_index].name for s in library.states()]


def run_with_terminal_stderr(tarn_sim, arguments):
    """Runs tarn-sim with standard error on a pseudo-terminal; returns (status, stdout, stderr)."""
    controller, terminal = pty.openpty()
    process = subprocess.Popen([tarn_sim, *arguments], stdout=subprocess.PIPE,
                               stderr=terminal, stdin=subprocess.DEVNULL)
    os.close(terminal)
    output = process.stdout.read()
    shown = b""
    while True:
        try:
            chunk = os.read(controller, 4096)
        except OSError:  # the terminal closed with the process
            break
        if not chunk:
            break
        shown += chunk
    os.close(controller)
    return process.wait(), output, shown.decode(errors="replace")


def test_the_progress_bar_is_drawn_on_the_terminal_and_erased_at_the_end(tarn_sim):
    # "always" draws from the first output point: how long the run takes does not matter.
    arguments = ["--tstop", "3000", "--cint", "0.05", "--every", "100", "--out", "ca_i",
                 "--progress", "always"]
    status, output, shown = run_with_terminal_stderr(tarn_sim, arguments)
    assert status == 0
    assert shown.startswith("\r[") and "%  t = " in shown and " of 3000 h" in shown
    assert shown.rstrip("\r\n ").endswith("\r\x1b[K")  # the bar is erased at the end
    assert output.decode().splitlines()[-1].startswith("3000,")


def test_a_short_run_or_one_without_a_terminal_shows_no_bar(tarn_sim):
    status, _, shown = run_with_terminal_stderr(tarn_sim, ["--tstop", "1"])
    assert status == 0 and "[" not in shown
    completed = subprocess.run([tarn_sim, "--tstop", "3000", "--every", "100", "--out", "ca_i"],
                               capture_output=True, text=True)
    assert completed.returncode == 0 and "[" not in completed.stderr


def test_exit_statuses(tarn_sim):
    def status(*arguments):
        return subprocess.run([tarn_sim, *arguments], capture_output=True).returncode

    assert status("--tstop", "0.1") == 0
    assert status("--set", "bwpre=1e200") == 1
    assert status("--cint", "-1") == 2
    assert status("--set", "bwpre=-67.8") == 2


def test_algorithm_names_agree_with_the_command_line(tarn_sim):
    help_text = subprocess.run([tarn_sim, "run", "--help"], capture_output=True, text=True,
                               check=True).stdout
    for name, code in tarn.ALGORITHMS.items():
        if name != "odepack":
            assert f"{name} ({code}" in help_text
