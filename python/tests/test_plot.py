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


def test_one_panel_per_quantity_or_group_labelled_by_name(short_run):
    figure = tarn.plot(short_run, [("ca_i", "ca_ni"), "athyt_i"], title="iodide")
    first, second = figure.axes
    assert first.get_ylabel() == "ca_i, ca_ni" and second.get_ylabel() == "athyt_i"
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
