"""Every bad input gives a clear error of the expected kind, and the model stays usable."""

import pytest

import tarn

NAN = float("nan")


def assign(name, value):
    return lambda m: m.__setitem__(name, value)


BAD_INPUTS = {
    # Unknown names.
    "read unknown": (lambda m: m["nosuch"], tarn.UnknownSymbolError, "unknown symbol 'nosuch'"),
    "write misspelt": (assign("pdos", 1), tarn.UnknownSymbolError,
                       r"unknown symbol 'pdos' \(did you mean 'pdose'"),
    "update unknown": (lambda m: m.update(pdose=1, nosuch=2), tarn.UnknownSymbolError,
                       "unknown symbol 'nosuch'"),
    "unknown output": (lambda m: m.run(outputs=["ca_p", "ca_pp"]), tarn.UnknownSymbolError,
                       "unknown symbol 'ca_pp'"),
    "name not text": (lambda m: m[5], tarn.WrongTypeError, "a symbol name is a str, not int"),
    # Wrong types.
    "number as text": (assign("pdose", "0.1"), tarn.WrongTypeError,
                       "pdose takes a number, not str '0.1'"),
    "number as None": (assign("pdose", None), tarn.WrongTypeError, "pdose takes a number"),
    "number as bool": (assign("pdose", True), tarn.WrongTypeError, "pdose takes a number"),
    "fractional integer": (assign("nstp", 2.5), tarn.WrongTypeError,
                           "nstp takes an integer, not 2.5"),
    "logical as 2": (assign("wesitg", 2), tarn.WrongTypeError,
                     "wesitg is a logical and takes True or False"),
    "computed symbol": (assign("ca_p", 1.0), tarn.WrongTypeError,
                        "ca_p cannot be set: it is a variable symbol computed"),
    "table": (assign("vft", 1.0), tarn.WrongTypeError, "vft cannot be set: it is a table"),
    "run flag": (assign("zzstopflag", True), tarn.WrongTypeError, "zzstopflag cannot be set"),
    "tstop as text": (lambda m: m.run(tstop="24"), tarn.WrongTypeError, "tstop takes a number"),
    "output not text": (lambda m: m.run(outputs=[3]), tarn.WrongTypeError,
                        "a symbol name is a str"),
    "table output": (lambda m: m.run(outputs=["vft"]), tarn.WrongTypeError,
                     "output vft is a table"),
    "algorithm as float": (lambda m: m.run(algorithm=2.0), tarn.WrongTypeError,
                           "algorithm takes a name or an integer code, not float"),
    "run_to text": (lambda m: m.run_to("5"), tarn.WrongTypeError, "run_to takes a time in hours"),
    "callback not callable": (lambda m: m.on_state_change(5), tarn.WrongTypeError,
                              "a callback must be callable"),
    "section as text": (lambda m: m.on_discrete_event(print, section="1000"),
                        tarn.WrongTypeError, "section takes an integer code"),
    # Values out of range.
    "negative cint": (lambda m: m.run(cint=-0.05), tarn.OutOfRangeError,
                      "cint must be positive, not -0.05"),
    "zero cint": (assign("cint", 0), tarn.OutOfRangeError, "cint must be positive"),
    "negative tstop": (lambda m: m.run(tstop=-1), tarn.OutOfRangeError, "tstop must be positive"),
    "zero steps": (assign("nstp", 0), tarn.OutOfRangeError, "nstp must be at least 1"),
    "negative mint": (assign("mint", -1e-9), tarn.OutOfRangeError, "mint must not be negative"),
    "below a parameter's bound": (assign("conc", -5), tarn.OutOfRangeError,
                                  r"conc must not be negative, not -5: its bounds are \[0, inf\) "
                                  "ug/L"),
    "zero body weight": (assign("bwpre", 0), tarn.OutOfRangeError, "bwpre must be positive"),
    "fraction above one": (assign("vfc", 1.5), tarn.OutOfRangeError,
                           r"vfc must be positive and at most 1, not 1.5: its bounds are "
                           r"\(0, 1\]"),
    "switch between": (assign("ppuls", 0.5), tarn.OutOfRangeError, "ppuls must be 0 or 1"),
    "state before a run": (assign("aplasma_i", 500), tarn.WrongTypeError,
                           "aplasma_i is a state; set its initial amount with iaplas_i"),
    "state from zero": (assign("aurine_i", 1), tarn.WrongTypeError,
                        "aurine_i is a state that every run starts at 0"),
    "unknown code": (lambda m: m.run(algorithm=7), tarn.OutOfRangeError,
                     r"unknown algorithm 7; known: adams-moulton \(1\), gear \(2\)"),
    "unknown name": (lambda m: m.run(algorithm="bogus"), tarn.OutOfRangeError,
                     "unknown algorithm 'bogus'"),
    "ialg unknown": (assign("ialg", 11), tarn.OutOfRangeError,
                     "ialg = 11 is not an integration algorithm"),
    "ialg unknown name": (assign("ialg", "dassl"), tarn.OutOfRangeError,
                          "unknown algorithm 'dassl'"),
    "nan": (assign("pdose", NAN), tarn.OutOfRangeError, "pdose must be a finite number, not nan"),
    "too large": (assign("nstp", 2**40), tarn.OutOfRangeError, "does not fit its 32-bit storage"),
    "run_to beyond tstop": (lambda m: m.run_to(25), tarn.OutOfRangeError,
                            r"run_to\(25\): the run ends at tstop = 24 h"),
    "run_to infinite": (lambda m: m.run_to(float("inf")), tarn.OutOfRangeError,
                        "run_to takes a finite time"),
    "unknown section": (lambda m: m.on_discrete_event(print, section=1002), tarn.OutOfRangeError,
                        r"no discrete section 1002; its sections are \[1000, 1001\]"),
}


@pytest.mark.parametrize("case", BAD_INPUTS.values(), ids=BAD_INPUTS.keys())
def test_bad_input_gives_a_clear_error_and_changes_nothing(model, case):
    action, kind, message = case
    with pytest.raises(kind, match=message):
        action(model)
    # The built-in base classes catch them too, and the model is unchanged and usable.
    assert issubclass(kind, (KeyError, TypeError, ValueError))
    assert (model["pdose"], model["cint"], model["tstop"], model["ialg"]) == (0, 0.05, 24, 14)
    assert model.run(tstop=0.1, outputs="ca_i", frame=False)["t"][-1] == pytest.approx(0.1)


def test_going_back_in_time_or_past_tstop_is_refused(model):
    model.run_to(2.0)
    with pytest.raises(tarn.OutOfRangeError, match=r"the model is already at t = 2 h"):
        model.run_to(1.0)
    model.run_to(24)
    with pytest.raises(tarn.OutOfRangeError, match="the run has reached tstop = 24 h"):
        model.step()


def test_an_exception_in_the_model_fails_the_run(model):
    model["bwpre"] = 1e200  # an absurd body weight: the model's arithmetic overflows
    with pytest.raises(tarn.RunError, match="exception in the model at t = 0 h: Run ended by an "
                                            "exception: floating point error") as failure:
        model.run()
    assert failure.value.time == 0
    model.reset()
    assert len(model.run(tstop=1, frame=False)["t"]) == 21


@pytest.mark.parametrize("algorithm, name, largest_step, nstp", [
    ("rk4", "RK4", "9.3e-05", 541), ("euler", "Euler", "6.6e-05", 753)])
def test_an_explicit_method_unstable_on_the_stiff_model_hints_at_the_step(model, algorithm, name,
                                                                          largest_step, nstp):
    with pytest.raises(tarn.RunError) as failure:
        model.run(algorithm=algorithm, outputs=["ca_i"])
    assert str(failure.value).splitlines()[-1] == (
        f"Hint: {name} is an explicit method with a fixed step, 0.005 h here (cint/nstp). This "
        f"model is stiff: its fastest mode at the start of the run decays at 3.01e+04 per hour, "
        f"and {name} is stable on it only with steps below about {largest_step} h. Raise nstp "
        f"to at least {nstp}, or use a stiff method: dlsodes (the default), cvode, gear or "
        "rosenbrock.")
    # The model is left as the failure left it.
    assert model.time == failure.value.time > failure.value.result["t"].iloc[-1]
    model["nstp"] = nstp
    assert model.run(tstop=1, outputs=["ca_i"], frame=False)["t"][-1] == 1


# A cardiac output 65000 times the normal one makes the equations very stiff, and the non-stiff
# method without a Jacobian takes tiny steps.
STIFF = {"qcc": 1e6, "omfitg": 210}


def test_a_solver_failure_carries_the_solver_message(model):
    model.update(STIFF)
    with pytest.raises(tarn.RunError) as failure:
        model.run()
    error = failure.value
    assert str(error) == ("the run stopped at t = 0.005 h, before tstop = 24 h: ERROR: Exceeded "
                          "max allowed number of integration steps in DLSODES.")
    assert error.time == pytest.approx(0.005)
    assert error.result["t"].tolist() == pytest.approx([0, 0.005])
    assert any("DLSODES- At current T" in message for message in error.messages)


def test_a_solver_failure_while_stepping(model):
    model.update(STIFF)
    with pytest.raises(tarn.RunError, match=r"stopped at t = 0.005 h, before the end of the "
                                            r"interval at 0.05 h: ERROR: Exceeded"):
        model.step()
