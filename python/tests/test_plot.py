"""tarn.plot: panels, labels, time units, and a real PNG of the size asked for."""

import struct

import matplotlib
import pytest

import tarn

matplotlib.use("Agg")


def png_size(path):
    """Width and height from a PNG file's signature and header chunk."""
    with open(path, "rb") as png:
        header = png.read(24)
    assert header[:8] == b"\x89PNG\r\n\x1a\n" and header[12:16] == b"IHDR"
    return struct.unpack(">II", header[16:24])


@pytest.fixture(scope="module")
def short_run(library):
    with tarn.Model(library) as model:
        return model.run(tstop=24, cint=0.5, outputs=["ca_i", "ca_ni", "athyt_i"])


def test_one_panel_per_quantity_or_group_labelled_by_name_and_unit(short_run):
    figure = tarn.plot(short_run, [("ca_i", "ca_ni"), "athyt_i"], title="iodide")
    first, second = figure.axes
    assert first.get_ylabel() == "ca_i, ca_ni (nmol/L)"
    assert second.get_ylabel() == "athyt_i (nmol)"
    assert [line.get_label() for line in first.get_lines()] == ["ca_i", "ca_ni"]
    assert first.get_legend() is not None and second.get_legend() is None
    assert second.get_xlabel() == "time (h)" and figure._suptitle.get_text() == "iodide"
    assert list(second.get_lines()[0].get_ydata()) == list(short_run["athyt_i"])


def test_long_runs_are_drawn_in_days(library):
    with tarn.Model(library) as model:
        result = model.run(tstop=240, cint=6, outputs=["ca_i"], frame=False)
    figure = tarn.plot(result)
    (axes,) = figure.axes
    assert axes.get_xlabel() == "time (days)"
    assert axes.get_lines()[0].get_xdata()[-1] == pytest.approx(10.0)
    assert tarn.plot(result, time_unit="h").axes[0].get_xlabel() == "time (h)"


def test_the_saved_figure_is_a_png_of_the_size_asked_for(short_run, tmp_path):
    figure = tarn.plot(short_run, ["ca_i", "ca_ni", "athyt_i"], figsize=(8, 6))
    figure.savefig(tmp_path / "run.png", dpi=100)
    assert png_size(tmp_path / "run.png") == (800, 600)


@pytest.mark.parametrize("names, kind, message", [
    (["nosuch"], tarn.UnknownSymbolError, "'nosuch' is not in the result"),
    ([("ca_i", 3)], tarn.WrongTypeError, "each plot entry is a name or a list of names"),
    ([[]], tarn.WrongTypeError, "each plot entry"),
])
def test_bad_names(short_run, names, kind, message):
    with pytest.raises(kind, match=message):
        tarn.plot(short_run, names)


def test_bad_result_and_time_unit(short_run):
    with pytest.raises(tarn.WrongTypeError, match="plot takes a run result"):
        tarn.plot([1, 2, 3])
    with pytest.raises(tarn.OutOfRangeError, match="time_unit is 'h' or 'd', not 'min'"):
        tarn.plot(short_run, time_unit="min")


def test_scenarios_overlaid_with_labels_on_a_log_scale(library, short_run):
    with tarn.Model(library, pdose=0.01, ppuls=1) as model:
        dosed = model.run(tstop=24, cint=0.5, outputs=["ca_i", "ca_ni", "athyt_i"])
    figure = tarn.plot({"undosed": short_run, "dosed": dosed},
                       [("ca_i", "ca_ni", "athyt_i"), "ca_i"], log=True)
    group, single = figure.axes
    assert [line.get_label() for line in single.get_lines()] == ["undosed", "dosed"]
    assert [line.get_label() for line in group.get_lines()][:3] == [
        "undosed: ca_i", "undosed: ca_ni", "undosed: athyt_i"]
    assert group.get_ylabel() == "ca_i, ca_ni, athyt_i" and single.get_yscale() == "log"
    with pytest.raises(tarn.UnknownSymbolError, match="'ca_p' is not in the result"):
        tarn.plot({"a": short_run, "b": {"t": [0], "ca_i": [1]}}, ["ca_p"])


def test_population_percentile_bands(library):
    population = tarn.run_population([{"pdose": d, "ppuls": 1} for d in (0.005, 0.01, 0.02)],
                                     ["ca_p"], tstop=12, workers=1)
    figure = population.plot("ca_p", percentiles=(95, 5, 50))
    (axes,) = figure.axes
    (band,), (median,) = axes.collections, axes.get_lines()
    assert median.get_label() == "median" and band.get_label() == "p5 to p95"
    assert list(median.get_ydata()) == list(population.results[1]["ca_p"])
    with pytest.raises(tarn.OutOfRangeError, match="time 13 h lies outside the runs, which go "
                                                   "from 0 to 12 h"):
        population.summary("ca_p", [6, 13])
