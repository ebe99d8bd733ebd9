"""Dosing schedules: changes at their exact times, boluses, repeats, and the command line's."""

import csv
import io
import subprocess

import numpy
import pytest

import tarn

OUTPUTS = ["ca_p", "ca_np", "aplas_p", "rdose_p"]


def test_a_change_at_10_h_equals_running_to_10_h_setting_it_and_continuing(model):
    model.update(tstop=30, cint=0.05)
    result = model.run(outputs=OUTPUTS, schedule=tarn.Schedule().set("conc", 5, at=10),
                       frame=False)
    assert model["conc"] == 0  # the schedule's inputs are put back after the run

    model.reset()
    model.update(tstop=30, cint=0.05)
    model.run_to(10)
    model["conc"] = 5
    expected = []
    while model.time < 30:
        model.step()
        expected.append([model.time] + [model[name] for name in OUTPUTS])
    at_10 = int(numpy.flatnonzero(result["t"] == 10.0)[0])
    after = numpy.array([result[name][at_10 + 1:] for name in ["t"] + OUTPUTS]).T
    assert numpy.array_equal(after, numpy.array(expected))  # bit for bit
    # The row at the change shows the intake after it; the row before, none.
    assert result["rdose_p"][at_10 - 1] == 0 and result["rdose_p"][at_10] > 8


def test_without_changes_a_schedule_run_is_the_plain_run(model):
    outputs = OUTPUTS + ["bal_p", "adam_p"]  # mass balances of the model's run loop too
    plain = model.run(tstop=5, cint=0.1, outputs=outputs, frame=False)
    scheduled = model.run(tstop=5, cint=0.1, outputs=outputs, frame=False,
                          schedule=tarn.Schedule().set("conc", 1, at=7))  # after tstop
    assert all(numpy.array_equal(plain[name], scheduled[name]) for name in plain)


def test_a_bolus_adds_exactly_its_amount_and_the_body_keeps_it(model):
    schedule = tarn.Schedule().add("aplas_p", 2.5, at=3.333)  # between two rows
    result = model.run(tstop=12, cint=0.5, outputs=["aplas_p", "adam_p", "aintake_p"],
                       schedule=schedule, frame=False)
    times = list(result["t"])
    assert times[:8] == [0, 0.5, 1, 1.5, 2, 2.5, 3, 3.333] and times[8] == 3.5
    assert result["aplas_p"][7] == 2.5  # no perchlorate before: the amount, exactly
    # Perchlorate in the body and excreted stays the bolus (no intake), to the solver's tolerance.
    assert result["aintake_p"][-1] == 0
    assert result["adam_p"][-1] == pytest.approx(2.5, rel=1e-3)


def test_repeats_expand_every_ii_hours_addl_more_times():
    schedule = (tarn.Schedule().add("aoral_i", 10, at=8, ii=24, addl=2)
                + tarn.Schedule().set("conc", 5, at=0.5).set("conc", 0, at=32))
    assert [(c.time, c.name, c.action) for c in schedule] == [
        (0.5, "conc", "set"), (8, "aoral_i", "add"), (32, "aoral_i", "add"),
        (32, "conc", "set"), (56, "aoral_i", "add")]
    with pytest.raises(tarn.OutOfRangeError, match="interval ii"):
        tarn.Schedule().add("aoral_i", 1, at=0, addl=3)


def test_repeated_boluses_each_add_their_amount(model):
    schedule = tarn.Schedule().add("aoral_i", 100, at=2, ii=4, addl=2)
    with_boluses = model.run(tstop=12, cint=1, outputs=["aoral_i"], schedule=schedule,
                             frame=False)["aoral_i"]
    without = model.run(tstop=12, cint=1, outputs=["aoral_i"], frame=False)["aoral_i"]
    # aoral_i only accumulates the iodide intake: the boluses add up on top of it.
    assert numpy.allclose(with_boluses - without, [0, 0] + [100] * 4 + [200] * 4 + [300] * 3,
                          rtol=1e-6)


def test_schedules_are_checked_before_anything_runs(model):
    with pytest.raises(tarn.UnknownSymbolError):
        model.run(tstop=1, schedule=tarn.Schedule().set("nosuch", 1, at=0))
    with pytest.raises(tarn.WrongTypeError, match="adds amounts to states only"):
        model.run(tstop=1, schedule=tarn.Schedule().add("conc", 1, at=0))
    with pytest.raises(tarn.OutOfRangeError, match="cint must be positive"):
        model.run(tstop=1, schedule=tarn.Schedule().set("cint", -1, at=0.5))
    with pytest.raises(tarn.OutOfRangeError, match="conc must not be negative"):
        model.run(tstop=1, schedule=tarn.Schedule().set("conc", -5, at=0.5))


def test_a_schedule_may_set_a_state_during_the_run(model):
    # Refused before a run, a state may change once the run has started it.
    result = model.run(tstop=2, cint=1, outputs=["aplasma_i"],
                       schedule=tarn.Schedule().set("aplasma_i", 500, at=1), frame=False)
    assert result["aplasma_i"].tolist()[:2] == [0, 500]


def test_a_schedule_file_runs_the_same_in_python_and_on_the_command_line(model, tarn_sim,
                                                                       tmp_path):
    path = tmp_path / "exposure.csv"
    path.write_text("time,name,value,action,ii,addl\n"
                    "# drinking water from 6 h, a bolus into the gut every 8 h from 1 h\n"
                    "6,conc,5,,,\n"
                    "1,agj_p,0.5,add,8,2\n"
                    "20.25,conc,0,set,,\n")
    schedule = tarn.Schedule.read_csv(path)
    assert len(schedule) == 5
    result = model.run(tstop=30, cint=0.5, outputs=["ca_p", "aintake_p"], schedule=schedule,
                       frame=False)
    completed = subprocess.run(
        [tarn_sim, "--tstop", "30", "--cint", "0.5", "--out", "ca_p,aintake_p",
         "--schedule", str(path), "--at", "12", "pdose=0.01", "--at", "14", "pdose=0"],
        capture_output=True, text=True, check=True)
    rows = list(csv.reader(io.StringIO(completed.stdout)))[1:]
    with_pdose = model.run(
        tstop=30, cint=0.5, outputs=["ca_p", "aintake_p"], frame=False,
        schedule=schedule + tarn.Schedule().set("pdose", 0.01, at=12).set("pdose", 0, at=14))
    assert [float(row[0]) for row in rows] == list(with_pdose["t"])
    assert numpy.allclose([[float(v) for v in row[1:]] for row in rows],
                          numpy.array([with_pdose["ca_p"], with_pdose["aintake_p"]]).T,
                          rtol=1e-9, atol=0)
    assert 20.25 in list(result["t"])
