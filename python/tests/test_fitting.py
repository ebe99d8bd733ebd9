"""Calibration: least squares and posterior sampling recover the parameters synthetic data were
made with."""

import numpy
import pandas
import pytest

import tarn

TRUTH = {"cluc_p": 0.125, "vplasc": 0.044}  # the model's defaults
START = {"cluc_p": 0.2, "vplasc": 0.03}
TIMES = [3, 6, 12, 24, 36, 48]


@pytest.fixture
def exposed(model):
    model["conc"] = 5
    return model


def synthetic(model, noise=0.0, seed=0):
    """Maternal and infant plasma perchlorate at TIMES from the model at TRUTH, times a
    log-normal error of sd `noise`."""
    model.update(TRUTH)
    course = model.run(tstop=48, cint=1, outputs=["ca_p", "ca_np"], frame=False, rtol=1e-10,
                       atol=1e-12)
    generator = numpy.random.default_rng(seed)
    rows = [{"t": t, "output": output, "value": value * numpy.exp(noise * generator.normal())}
            for output in ("ca_p", "ca_np")
            for t, value in zip(TIMES, numpy.interp(TIMES, course["t"], course[output]))]
    return pandas.DataFrame(rows)


def test_noise_free_data_give_back_the_parameters(exposed):
    data = synthetic(exposed)
    fitted = tarn.fit(exposed, data, START, bounds={"cluc_p": (0.01, 1)}, log_residuals=True)
    assert fitted.success
    for name, value in TRUTH.items():
        assert fitted.parameters[name] == pytest.approx(value, rel=1e-4)
    assert numpy.abs(fitted.residuals["residual"]).max() < 1e-6
    assert exposed["cluc_p"] == 0.125 and exposed["tstop"] == 48  # put back
    # The plasma volume fraction keeps the model's own bound, cluc_p the one given.
    assert fitted.estimates["upper_bound"].to_dict() == pytest.approx({"cluc_p": 1, "vplasc": 1})


def test_noisy_data_give_intervals_holding_the_true_values(exposed):
    data = synthetic(exposed, noise=0.1, seed=11)
    fitted = tarn.fit(exposed, data.assign(sd=0.1), START, log_residuals=True)
    estimates = fitted.estimates
    for name, value in TRUTH.items():
        assert estimates.loc[name, "low"] < value < estimates.loc[name, "high"]
    assert list(fitted.residuals.columns) == ["t", "output", "value", "sd", "prediction",
                                              "residual"]
    figure = fitted.plot()
    assert [ax.get_ylabel() for ax in figure.axes] == ["ca_p", "ca_np"]
    assert len(figure.axes[0].lines) >= 2  # the fitted curve and the data

    posterior = tarn.sample(exposed, data.assign(sd=0.1), fitted.parameters,
                            log_residuals=True, nwalkers=8, nsteps=80, seed=5)
    assert posterior.chain.shape == (60, 8, 2)
    assert 0.2 < posterior.acceptance_fraction < 0.9
    for name, value in TRUTH.items():
        assert posterior.summary.loc[name, "p2.5"] < value < posterior.summary.loc[name, "p97.5"]


def test_calibration_inputs_are_checked(exposed):
    data = synthetic(exposed)
    with pytest.raises(tarn.TarnError, match="missing \\['value'\\]"):
        tarn.fit(exposed, data.drop(columns="value"), START)
    with pytest.raises(tarn.OutOfRangeError, match="must start positive"):
        tarn.fit(exposed, data, {"cluc_p": 0})
    with pytest.raises(tarn.TarnError, match="standard deviations"):
        tarn.sample(exposed, data, START)
