"""Model: parameters, settings, runs, steps, states and derivatives."""

import math

import numpy
import pandas
import pytest

import tarn


def test_parameters_lists_every_parameter_with_default_and_value(model):
    parameters = {p.name: p for p in model.parameters()}
    assert len(parameters) == 210
    assert parameters["tstop"] == ("tstop", 24.0, 24.0)
    assert parameters["bwpre"] == ("bwpre", 67.8, 67.8)
    # Tables, computed variables and run settings are not parameters.
    assert not {"vft", "milkingest", "ca_p", "cint", "ialg"} & parameters.keys()
    model["bwpre"] = 70
    assert {p.name: p for p in model.parameters()}["bwpre"] == ("bwpre", 67.8, 70.0)


def test_symbols_are_read_and_written_by_name_in_any_case(model):
    model["PDOSE"] = 0.5
    assert model["pdose"] == model["PdOsE"] == 0.5
    model.update({"Ppuls": 1}, PDSTART=12, nstp=20, wesitg=False, ialg="Rosenbrock")
    assert (model["ppuls"], model["pdstart"], model["nstp"], model["wesitg"], model["ialg"]) == \
        (1, 12, 20, False, 12)
    assert isinstance(model["nstp"], int) and isinstance(model["wesitg"], bool)
    assert "CA_P" in model and "nosuch" not in model
    assert model["vft"].tolist() == [0.0836, 0.0836, 0.0, -700.0, 0.0, 4380.0]


def test_update_checks_every_value_before_writing_any(model):
    with pytest.raises(tarn.OutOfRangeError):
        model.update(pdose=3.0, cint=-1)
    assert model["pdose"] == 0.0


def test_reset_and_a_new_model_start_from_the_defaults(library):
    first = tarn.Model(library, pdose=2.0, tstop=48, ialg=2)
    first.reset()
    assert (first["pdose"], first["tstop"], first["ialg"]) == (0.0, 24.0, 14)
    first["pdose"] = 2.0
    # Instances share one data block: the new Model takes over with the defaults.
    second = tarn.Model(library)
    assert second["pdose"] == 0.0
    with pytest.raises(tarn.ModelClosedError, match="a newer Model replaced it"):
        first["pdose"]
    second.close()
    with pytest.raises(tarn.ModelClosedError, match="it was closed"):
        second.run()


def test_run_records_every_output_point_and_keeps_its_settings(model):
    result = model.run(tstop=2, cint=0.25, outputs=["ca_i", "wesitg", "ialg"], frame=False)
    assert list(result) == ["t", "ca_i", "wesitg", "ialg"]
    numpy.testing.assert_allclose(result["t"], numpy.arange(9) * 0.25, rtol=0, atol=1e-12)
    assert result["wesitg"].dtype == bool and result["ialg"].tolist() == [14] * 9
    assert (model["tstop"], model["cint"]) == (2.0, 0.25)
    assert model.time == 2.0


def test_run_gives_a_data_frame_when_pandas_is_present(model):
    frame = model.run(tstop=1)
    assert isinstance(frame, pandas.DataFrame)
    assert list(frame.columns) == ["t", *tarn.DEFAULT_OUTPUTS]
    assert len(frame) == 21 and frame["t"].iloc[-1] == 1.0


def test_algorithm_by_name_and_by_code_run_the_same_integrator(model):
    by_name = model.run(tstop=1, algorithm="GEAR", outputs="ca_i", frame=False)
    assert model["ialg"] == 2
    by_code = model.run(tstop=1, algorithm=2, outputs="ca_i", frame=False)
    numpy.testing.assert_array_equal(by_name["ca_i"], by_code["ca_i"])
    default = model.run(tstop=1, algorithm="dlsodes", outputs="ca_i", frame=False)
    numpy.testing.assert_allclose(default["ca_i"], by_name["ca_i"], rtol=1e-3, atol=1e-6)


def test_a_perchlorate_dose_reaches_mother_and_infant(model):
    undosed = model.run(tstop=24, outputs=["ca_p", "ca_np"], frame=False)
    model.update(pdose=0.01)
    dosed = model.run(tstop=24, outputs=["ca_p", "ca_np"], frame=False)
    assert undosed["ca_p"].max() == 0 and undosed["ca_np"].max() == 0
    assert dosed["ca_p"][-1] > 0 and dosed["ca_np"][-1] > 0


def test_steps_and_run_to_reproduce_a_whole_run(model):
    whole = model.run(tstop=1, outputs=["ca_i", "aurine_i"], frame=False)
    model.reset()
    model["tstop"] = 1
    assert [model.step() for _ in range(4)] == pytest.approx([0.05, 0.1, 0.15, 0.2], abs=1e-12)
    assert model["ca_i"] == whole["ca_i"][4]
    assert model.run_to(1.0) == pytest.approx(1.0, abs=1e-12)
    assert model["ca_i"] == whole["ca_i"][-1]


def test_run_to_ends_on_the_target_and_restores_cint(model):
    assert model.run_to(0.33) == pytest.approx(0.33, abs=1e-12)
    assert model["cint"] == 0.05
    assert model.run_to(0.33) == pytest.approx(0.33, abs=1e-12)  # already there: nothing runs


def test_states_and_derivatives_by_name(model):
    model.run_to(1.0)
    states = model.states()
    assert len(states) == 101 and states["aplasma_i"] == model["aplasma_i"]
    derivatives = model.calc_derivatives()
    assert set(derivatives) == set(states)
    derivative_symbol = model.library.symbols[model.symbol("aurine_i").derivative_index]
    assert derivatives["aurine_i"] == model[derivative_symbol.name]
    # The derivative predicts the next short step of the accumulated urinary iodide.
    model["cint"] = 1e-4
    before = model["aurine_i"]
    model.step()
    assert (model["aurine_i"] - before) / 1e-4 == pytest.approx(derivatives["aurine_i"], rel=1e-3)


def test_calc_derivatives_before_a_run_runs_the_initial_section(model):
    derivatives = model.calc_derivatives()
    assert model.time == 0
    assert all(math.isfinite(value) for value in derivatives.values())


def test_a_state_written_between_steps_is_where_the_next_step_starts(model):
    model.step()
    before = model["aurine_i"]
    model["aurine_i"] = before + 100
    model.step()
    assert before + 100 < model["aurine_i"] < before + 101
