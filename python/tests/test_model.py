"""Model: parameters, settings, runs, steps, states and derivatives."""

import math
import pickle

import numpy
import pandas
import pytest

import tarn


def test_parameters_lists_every_parameter_with_default_value_and_meaning(model):
    parameters = {p.name: p for p in model.parameters()}
    assert len(parameters) == 210
    assert parameters["tstop"] == ("tstop", 24.0, 24.0, "h", "(0, inf)", "run control",
                                   "end of the run")
    assert parameters["bwpre"][:5] == ("bwpre", 67.8, 67.8, "kg", "(0, inf)")
    assert parameters["ppuls"].bounds == "{0, 1}" and "pdstart" in parameters["ppuls"].description
    assert all(p.unit and p.description and p.group for p in parameters.values())
    # Tables, computed variables and run settings are not parameters.
    assert not {"vft", "milkingest", "ca_p", "cint", "ialg"} & parameters.keys()
    model["bwpre"] = 70
    assert {p.name: p for p in model.parameters()}["bwpre"][:3] == ("bwpre", 67.8, 70.0)


def test_symbols_and_results_carry_their_units(model):
    state = model.symbol("APLASMA_I")
    assert (state.unit, state.group, state.initial_parameter) == ("nmol", "maternal iodide",
                                                                  "iaplas_i")
    assert model.symbol("aurine_i").initial_parameter is None
    assert (model.symbol("conc").minimum, model.symbol("conc").maximum) == (0, math.inf)
    outputs = {o.name: o for o in tarn.outputs()}
    assert set(tarn.DEFAULT_OUTPUTS) <= outputs.keys()
    assert outputs["ca_np"] == ("ca_np", "nmol/L", "infant perchlorate",
                                "free perchlorate concentration in the infant's plasma")
    units = {"t": "h", "ca_np": "nmol/L", "bw_n": "kg", "ppuls": "1"}
    assert model.run(tstop=1, outputs=["ca_np", "bw_n", "ppuls"]).attrs["units"] == units
    assert model.run(tstop=1, outputs=["ca_np", "bw_n", "ppuls"],
                     frame=False).attrs["units"] == units


def test_a_run_past_the_validity_range_warns_once(model):
    with pytest.warns(tarn.ValidityWarning, match=r"t = 5000 h, past the model's validity range "
                                                  r"\(0 to 4380 h after birth\)") as caught:
        model.run(tstop=5000, cint=100, outputs="ca_ni")
    assert len(caught) == 1
    model.reset()
    model.update(tstop=6000, cint=1000)
    with pytest.warns(tarn.ValidityWarning) as caught:
        for _ in range(6):
            model.step()
    assert len(caught) == 1


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
    first = tarn.Model(library, pdose=2.0, tstop=48, ialg=2, rtol=1e-3,
                       atol={"aplasma_i": 1e-2})
    first.run_to(30)
    # States and outputs are not computed yet.
    fresh = {"pdose": 0.0, "tstop": 24.0, "ialg": 14, "t": 0.0, "aplasma_i": 5.5555e33,
             "ca_p": 5.5555e33}
    first.reset()
    assert {name: first[name] for name in fresh} == fresh
    assert set(first.tolerances().values()) == {(1e-4, 1e-4)}  # the model's own
    first.update(pdose=2.0)
    first.set_tolerances(rtol=1e-2)
    first.run_to(3)
    # A constructor that fails leaves the open Model as it was.
    with pytest.raises(tarn.UnknownSymbolError, match="unknown symbol 'typo'"):
        tarn.Model(library, pdose=10, typo=1)
    with pytest.raises(tarn.OutOfRangeError, match="rtol must be a finite positive number"):
        tarn.Model(library, rtol=0)
    assert first["pdose"] == 2.0 and first.time == 3
    # A second Model lives beside the first, equal to a reset one, and neither sees the other.
    second = tarn.Model(library)
    assert {name: second[name] for name in fresh} == fresh
    assert set(second.tolerances().values()) == {(1e-4, 1e-4)}
    assert set(first.tolerances().values()) == {(1e-2, 1e-4)}
    second["pdose"] = 0.5
    second.run_to(1)
    assert first["pdose"] == 2.0 and first.time == 3 and second.time == 1
    first.close()
    second.close()
    with pytest.raises(tarn.ModelClosedError, match="it was closed"):
        second.run()


def test_two_models_with_different_doses_give_their_own_results(library):
    dosed = {"ppuls": 1, "pdstart": 2, "pdlength": 12}
    with tarn.Model(library, pdose=0.01, **dosed) as low, \
            tarn.Model(library, pdose=0.05, **dosed) as high:
        # Stepped in turns, each gives what it gives alone.
        for t in (6, 12, 18, 24):
            low.run_to(t)
            high.run_to(t)
        turns = (low["ca_p"], high["ca_p"])
    alone = []
    for dose in (0.01, 0.05):
        with tarn.Model(library, pdose=dose, **dosed) as model:
            for t in (6, 12, 18, 24):
                model.run_to(t)
            alone.append(model["ca_p"])
    assert turns == tuple(alone) and alone[0] < alone[1]


def test_a_saved_state_restores_into_any_model_after_pickling(library):
    with tarn.Model(library, pdose=0.01, ppuls=1, pdstart=2, pdlength=12, ialg="rk4",
                    nstp=2000) as model:
        model.run_to(4)
        state = model.save_state()
        model.run_to(8)
        uninterrupted = model.states()
        model.restore_state(state)
        assert model.time == 4
        model.run_to(8)
        # A fixed-step method goes on exactly as the uninterrupted run did.
        assert model.states() == uninterrupted
    sent = pickle.loads(pickle.dumps(state))
    assert sent == state
    with tarn.Model(library) as other:
        other.restore_state(sent)
        assert other["pdose"] == 0.01
        other.run_to(8)
        assert other.states() == uninterrupted
        with pytest.raises(tarn.WrongTypeError, match="takes a ModelState"):
            other.restore_state(sent.data)
        with pytest.raises(tarn.TarnError, match="damaged"):
            other.restore_state(tarn.ModelState(sent.data[:-1], True))


def test_tolerances_for_every_state_or_by_name_reach_the_integrator(model):
    dll, aplasma_i = model.library.dll, model.symbol("aplasma_i").index
    default = model.run(tstop=24, outputs="ca_i", frame=False)
    loose = model.run(tstop=24, outputs="ca_i", rtol=1e-2, atol=1e-2, frame=False)
    instance = model._instance
    assert (dll.TarnGetRelativeError(instance, aplasma_i),
            dll.TarnGetAbsoluteError(instance, aplasma_i)) == \
        (1e-2, 1e-2)
    assert not numpy.array_equal(default["ca_i"], loose["ca_i"])
    numpy.testing.assert_allclose(loose["ca_i"], default["ca_i"], rtol=0.05)
    model.reset()
    model.set_tolerances(atol={"APLASMA_I": 1e-9})
    assert model.tolerances()["aplasma_i"] == (1e-4, 1e-9)
    assert model.tolerances()["aoral_i"] == (1e-4, 1e-4)
    with pytest.raises(tarn.WrongTypeError, match="ca_p is a variable symbol, not a state"):
        model.set_tolerances(rtol={"ca_p": 1e-3})
    with pytest.raises(tarn.OutOfRangeError, match="atol must be a finite zero or positive"):
        model.run(atol=-1)
    with pytest.raises(tarn.WrongTypeError, match="rtol takes a number or a mapping"):
        model.run(rtol="tight")


def test_the_last_interval_ends_on_tstop(model):
    weekly = model.run(tstop=720, cint=168, outputs=["ca_i", "ialg"], frame=False)
    numpy.testing.assert_allclose(weekly["t"], [0, 168, 336, 504, 672, 720], rtol=0, atol=1e-9)
    assert weekly["ialg"].tolist() == [14] * 6 and model.time == pytest.approx(720, abs=1e-9)
    assert model["cint"] == 168
    # The same time course as daily rows give, the shortened last interval included.
    daily = model.run(tstop=720, cint=24, outputs=["ca_i"], frame=False)
    numpy.testing.assert_allclose(weekly["ca_i"], daily["ca_i"][[0, 7, 14, 21, 28, 30]],
                                  rtol=2e-3)


def test_rows_at_chosen_times(model):
    chosen = model.run(times=[0, 2.5, 24, 240], outputs=["ca_i", "wesitg"], frame=False)
    assert chosen["t"].tolist() == [0, 2.5, 24, 240] and model["tstop"] == 240
    assert chosen["wesitg"].tolist() == [True] * 4
    # Chosen times on the communication grid give the rows of a plain run, to the bit.
    every = model.run(tstop=240, outputs=["ca_i"], frame=False)
    assert every["t"][50] == 2.5 and every["t"][480] == 24
    assert chosen["ca_i"][1:3].tolist() == [every["ca_i"][50], every["ca_i"][480]]
    assert model.run(tstop=48, times=[12], frame=False)["t"].tolist() == [12]
    with pytest.raises(tarn.OutOfRangeError, match="ascending order"):
        model.run(times=[0, 24, 12])
    with pytest.raises(tarn.OutOfRangeError, match=r"times must lie from the start, t = 0 h, "
                                                    r"to tstop = 10 h"):
        model.run(tstop=10, times=[0, 24])


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
