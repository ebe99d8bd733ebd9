"""Local sensitivity coefficients, and the tight tolerances they run at."""

import pytest

import tarn


@pytest.fixture(scope="module")
def analysis(library):
    with tarn.Model(library, conc=5) as model:
        return tarn.sensitivity(model, ["conc", "cluc_p", "bwpre"], ["aintake_p", "ca_np"],
                                [24, 48], workers=2, progress=False)


def test_a_linear_output_has_coefficient_1_for_its_scale_parameter(analysis):
    # The maternal perchlorate intake is proportional to the drinking-water concentration.
    coefficients = analysis.top("aintake_p", t=48)
    assert coefficients["conc"] == pytest.approx(1, abs=1e-4)
    assert coefficients["cluc_p"] == pytest.approx(0, abs=1e-6)
    assert analysis.errors == {}
    assert list(analysis.table.columns) == ["output", "t", "parameter", "value", "coefficient"]
    assert len(analysis.table) == 3 * 2 * 2


def test_coefficients_do_not_depend_on_the_perturbation(analysis, library):
    # Solver noise far below the perturbation: a ten times smaller one gives the same slope.
    with tarn.Model(library, conc=5) as model:
        small = tarn.sensitivity(model, ["cluc_p", "bwpre"], ["ca_np"], [48], delta=0.001,
                                 workers=2, progress=False)
    for parameter in ("cluc_p", "bwpre"):
        assert small.top("ca_np")[parameter] == pytest.approx(
            analysis.top("ca_np", t=48)[parameter], abs=2e-4)
    # Faster maternal clearance lowers the infant's exposure; a heavier mother drinks more.
    assert analysis.top("ca_np", t=48)["cluc_p"] < -0.1
    assert analysis.top("ca_np", t=48)["bwpre"] > 0.1


def test_the_bar_chart_has_a_panel_per_output(analysis):
    figure = analysis.plot(n=2)
    titles = [ax.get_title() for ax in figure.axes]
    assert titles == ["aintake_p at t = 48 h", "ca_np at t = 48 h"]
    assert [len(ax.patches) for ax in figure.axes] == [2, 2]


def test_parameters_are_checked(model):
    with pytest.raises(tarn.OutOfRangeError, match="non-zero"):
        tarn.sensitivity(model, ["pdose"], ["ca_p"], [24])  # pdose is 0 by default
    with pytest.raises(tarn.WrongTypeError, match="not a parameter"):
        tarn.sensitivity(model, ["ca_p"], ["ca_np"], [24])


def test_the_chosen_tolerances_silence_the_solver_noise(model):
    def day_10(cint, **tolerances):
        return model.run(tstop=240, cint=cint, outputs=["ca_np"], frame=False,
                         **tolerances)["ca_np"][-1]

    model["conc"] = 5
    # Two equivalent runs (other output intervals) differ by the solver's noise.
    loose = abs(day_10(1) / day_10(0.5) - 1)
    tight = abs(day_10(1, rtol=1e-10, atol=1e-12) / day_10(0.5, rtol=1e-10, atol=1e-12) - 1)
    assert tight < 1e-8 < loose
