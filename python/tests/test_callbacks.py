"""Status messages through logging, state-change and discrete-event callbacks, and what happens
when a callback raises."""

import gc
import logging
import os
import re
import signal
import subprocess
import sys
import time

import pytest

import tarn
from tarn import ExecutionState as State


def dosing(model):
    """A pulse of perchlorate from t = 2 h to t = 5 h: discrete sections 1000 and 1001."""
    model.update(ppuls=1, pdstart=2, pdlength=3, pdose=0.01)


def test_status_messages_go_to_logging(model, caplog):
    dosing(model)
    with caplog.at_level(logging.INFO, logger="tarn"):
        model.run(tstop=6)
    messages = [(r.name, r.levelno, r.getMessage()) for r in caplog.records]
    assert ("tarn.status", logging.INFO,
            "Independent variable event number 1000 serviced at 2.000000.") in messages
    assert ("tarn.status", logging.INFO,
            "Independent variable event number 1001 serviced at 5.000000.") in messages


def test_solver_errors_are_logged_as_errors(model, caplog):
    # A cardiac output 65000 times the normal one makes the equations very stiff, and the
    # non-stiff method without a Jacobian takes tiny steps.
    model.update(qcc=1e6, omfitg=210)
    with pytest.raises(tarn.RunError):
        model.run()
    # The integrator's warnings and its error arrive as one message after the interval.
    [record] = caplog.records
    assert record.levelno == logging.ERROR
    assert record.getMessage().splitlines()[-2:] == [
        "ERROR: Exceeded max allowed number of integration steps in DLSODES.",
        "The limit of 50000 internal steps per step of the runtime was reached at "
        "t = 0.0008864295385."]


def test_state_changes_of_a_run_and_of_steps(model):
    changes = []
    model.on_state_change(lambda previous, next_state: changes.append((previous, next_state)))
    model.run(tstop=0.1)
    assert changes == [(State.NONE, State.STARTED), (State.STARTED, State.INITIALIZED),
                       (State.INITIALIZED, State.ENDED)]
    changes.clear()
    model["tstop"] = 1
    model.step()
    assert changes[-1] == (State.STARTED, State.ENDED)
    assert (State.ENDED, State.CONTINUE_REQUESTED) in changes


def test_discrete_events_report_section_and_time(model):
    events = []
    model.on_discrete_event(lambda section, t: events.append((section, t)))
    only_start = []
    model.on_discrete_event(lambda section, t: only_start.append(section), section=1000)
    dosing(model)
    model.run(tstop=6)
    assert events == [(1000, pytest.approx(2.0)), (1001, pytest.approx(5.0))]
    assert only_start == [1000]


def test_a_registration_keeps_its_callback_alive_until_removed(model):
    calls = []

    def register():
        # Only the library holds the lambda once this returns.
        return model.on_state_change(lambda previous, next_state: calls.append(next_state))

    registration = register()
    gc.collect()
    model.run(tstop=0.1)
    assert calls[-1] == State.ENDED and registration.active
    registration.remove()
    calls.clear()
    model.run(tstop=0.1)
    assert calls == [] and not registration.active


def test_an_exception_in_a_callback_is_logged_and_the_run_goes_on(model, caplog):
    def faulty(section, t):
        raise ValueError(f"bad section {section}")

    model.on_discrete_event(faulty)
    dosing(model)
    result = model.run(tstop=6, frame=False)
    assert result["t"][-1] == 6
    failures = [r for r in caplog.records if r.name == "tarn" and r.levelno == logging.ERROR]
    assert len(failures) == 2
    assert "exception in the discrete-event callback" in failures[0].getMessage()
    assert "ValueError: bad section 1000" in failures[0].exc_text


def test_a_keyboard_interrupt_in_a_callback_stops_the_run(model):
    def interrupt(section, t):
        raise KeyboardInterrupt

    model.on_discrete_event(interrupt, section=1000)
    dosing(model)
    with pytest.raises(KeyboardInterrupt):
        model.run(tstop=24)
    assert model.time < 3  # stopped in the interval of the event
    assert model.run(tstop=1, frame=False)["t"][-1] == 1


def test_a_callback_may_not_run_or_close_its_model(model, library, caplog):
    attempts = {
        "run": lambda: model.run(tstop=1),
        "step": model.step,
        "close": model.close,
    }
    for action in attempts.values():
        model.on_discrete_event(lambda section, t, action=action: action(), section=1000)
    dosing(model)
    model.run(tstop=6)
    refusals = [r.exc_text for r in caplog.records if r.name == "tarn"]
    assert len(refusals) == 3
    assert all("cannot be run, stepped or closed from inside" in text
               for text in refusals)
    assert not model.closed


def test_a_callback_removed_during_a_run_is_silenced_at_once(model):
    calls = []
    registration = None

    def once(section, t):
        calls.append(section)
        registration.remove()

    registration = model.on_discrete_event(once)
    dosing(model)
    model.run(tstop=6)
    assert calls == [1000]
    model.run(tstop=6)
    assert calls == [1000]


def test_statistics_are_debug_messages_and_never_errors(model, caplog):
    with caplog.at_level(logging.DEBUG, logger="tarn"):
        model.run(tstop=1, algorithm="gear")
    statistics = [r for r in caplog.records
                  if r.getMessage().startswith("Count of times state controlled step size")]
    assert len(statistics) == 1 and statistics[0].levelno == logging.DEBUG
    assert not [r for r in caplog.records if r.levelno >= logging.WARNING]


INTERRUPTED_RUN = """
import os, sys, tarn
model = tarn.Model()
if sys.argv[1] == "run":
    def announce(previous, next_state):
        if next_state == tarn.ExecutionState.INITIALIZED:
            print("running", flush=True)
    model.on_state_change(announce)
    action = lambda: model.run(tstop=4320, cint=0.001, outputs=["ca_i"])
else:
    print("running", flush=True)
    action = lambda: tarn.run_population([{}] * 4, ["ca_i"], tstop=4320, cint=0.001, workers=2)
def parent(pid):
    try:
        with open(f"/proc/{pid}/stat") as stat:
            return stat.read().rsplit(")", 1)[1].split()[1]
    except (FileNotFoundError, ProcessLookupError):
        return None  # a process of the machine that ended meanwhile
try:
    action()
except KeyboardInterrupt:
    children = [pid for pid in os.listdir("/proc") if pid.isdigit() and
                parent(pid) == str(os.getpid())]
    print(f"interrupted at t = {model.time:g} h, {len(children)} workers left", flush=True)
print("afterwards", tarn.Model().run(tstop=1, frame=False)["t"][-1])
"""


@pytest.mark.parametrize("action", ["run", "population"])
def test_ctrl_c_stops_a_run_and_leaves_the_model_usable(action, library, tmp_path):
    child = subprocess.Popen([sys.executable, "-c", INTERRUPTED_RUN, action],
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    try:
        assert child.stdout.readline() == "running\n"
        time.sleep(1)  # into the run (any moment would do)
        os.kill(child.pid, signal.SIGINT)
        output, errors = child.communicate(timeout=120)
    finally:
        child.kill()
    assert child.returncode == 0, errors
    interrupted, afterwards = output.splitlines()
    assert re.fullmatch(r"interrupted at t = ([0-9.e+-]+) h, 0 workers left", interrupted)
    assert afterwards == "afterwards 1.0"
    assert "Exception ignored" not in errors
