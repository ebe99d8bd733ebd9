"""Plots of a time course with matplotlib (imported only when plot() is called)."""

import textwrap

from .errors import OutOfRangeError, TarnError, UnknownSymbolError, WrongTypeError

# Beyond this span the time axis is in days rather than hours.
_DAYS_FROM_HOURS = 72.0
_TIME_UNITS = {"h": (1.0, "time (h)"), "d": (24.0, "time (days)")}
_PANEL_HEIGHT = 2.2  # inches per panel
_WIDTH = 8.0  # inches
_LABEL_WIDTH = 24  # characters per line of a panel's value label


def plot(result, names=None, *, log=False, time_unit=None, title=None, figsize=None):
    """A figure of a time course, one panel per quantity or group, sharing the time axis.

    result: what Model.run returns (a DataFrame or a dict of arrays with the column "t"), or a
    mapping of labels to such results, drawn over one another (scenarios side by side).
    names: the quantities to draw; each entry is a symbol name (a panel of its own) or a list or
    tuple of names (one panel, one line each, with a legend). Default: every column but t.
    log: a logarithmic value axis. time_unit: "h" or "d"; by default hours for runs up to 72 h,
    else days. Panels are labelled with their names and the unit of their values (from the
    result's attrs["units"], else from the model), e.g. "ca_i, ca_ni (nmol/L)".

    Returns the matplotlib Figure; save it with figure.savefig(path).
    """
    runs = _labelled_runs(result)
    first = runs[0][1]
    columns = list(first.keys())
    if names is None:
        names = [name for name in columns if name != "t"]
    panels = _panels(names, [run for _, run in runs])
    figure, axes, scale = _figure(panels, [run["t"] for _, run in runs], time_unit, figsize)
    units = _units(first, [name for group in panels for name in group])
    numpy = _numpy()
    for ax, group in zip(axes, panels):
        for label, run in runs:
            time = numpy.asarray(run["t"], dtype=float) / scale
            for name in group:
                line_label = name if label is None else (
                    label if len(group) == 1 else f"{label}: {name}")
                ax.plot(time, numpy.asarray(run[name], dtype=float), label=line_label)
        _finish_panel(ax, group, units, log, legend=len(group) > 1 or len(runs) > 1)
    return _finish_figure(figure, title)


def plot_bands(summaries, *, log=False, time_unit=None, title=None, figsize=None):
    """A figure of percentile bands, one panel per output: summaries maps each output name to
    its PopulationResult.summary table (columns t, n and one per percentile, lowest first). The
    band spans the lowest to the highest percentile; the median (or middle percentile) is a
    line."""
    numpy = _numpy()
    panels = [[name] for name in summaries]
    figure, axes, scale = _figure(panels, [table["t"] for table in summaries.values()],
                                  time_unit, figsize)
    units = _units({}, list(summaries))
    for ax, (name, table) in zip(axes, summaries.items()):
        time = numpy.asarray(table["t"], dtype=float) / scale
        percentiles = [column for column in table.keys() if column not in ("t", "n")]
        low, high = percentiles[0], percentiles[-1]
        middle = percentiles[len(percentiles) // 2]
        ax.fill_between(time, numpy.asarray(table[low], dtype=float),
                        numpy.asarray(table[high], dtype=float), alpha=0.3,
                        label=f"{low} to {high}")
        ax.plot(time, numpy.asarray(table[middle], dtype=float), label=middle)
        _finish_panel(ax, [name], units, log, legend=True)
    return _finish_figure(figure, title)


def _numpy():
    import numpy
    return numpy


def _pyplot():
    try:
        import matplotlib.pyplot as pyplot
    except ImportError:
        raise ImportError("tarn.plot needs matplotlib (Debian: python3-matplotlib)") from None
    return pyplot


def _is_run(value):
    return hasattr(value, "keys") and "t" in value.keys()


def _labelled_runs(result):
    """[(label or None, run)] of one result or a mapping of labels to results."""
    if _is_run(result):
        return [(None, result)]
    if hasattr(result, "items") and len(result) and all(_is_run(run) for run in result.values()):
        return [(str(label), run) for label, run in result.items()]
    raise WrongTypeError("plot takes a run result (a DataFrame or dict with the column 't') or a "
                         "mapping of labels to run results")


def _panels(names, runs):
    if isinstance(names, str):
        names = [names]
    panels = []
    for entry in names:
        group = [entry] if isinstance(entry, str) else list(entry)
        if not group or not all(isinstance(name, str) for name in group):
            raise WrongTypeError(f"each plot entry is a name or a list of names, not {entry!r}")
        for name in group:
            for run in runs:
                if name not in run.keys():
                    raise UnknownSymbolError(f"{name!r} is not in the result; its columns are "
                                             f"{list(run.keys())}", name)
        panels.append(group)
    if not panels:
        raise TarnError("nothing to plot: the result has no column besides t")
    return panels


def _figure(panels, times, time_unit, figsize):
    """The figure and its panels' axes, and the hours per unit of the time axis."""
    pyplot = _pyplot()
    numpy = _numpy()
    hours = numpy.concatenate([numpy.asarray(t, dtype=float) for t in times])
    if time_unit is None:
        span = hours.max() - hours.min() if hours.size else 0.0
        time_unit = "d" if span > _DAYS_FROM_HOURS else "h"
    if time_unit not in _TIME_UNITS:
        raise OutOfRangeError(f"time_unit is 'h' or 'd', not {time_unit!r}")
    scale, time_label = _TIME_UNITS[time_unit]
    if figsize is None:
        figsize = (_WIDTH, 1.0 + _PANEL_HEIGHT * len(panels))
    figure, axes = pyplot.subplots(len(panels), 1, sharex=True, figsize=figsize, squeeze=False)
    axes[-1, 0].set_xlabel(time_label)
    if hours.size > 1:
        axes[-1, 0].set_xlim(hours.min() / scale, hours.max() / scale)
    return figure, axes[:, 0], scale


def _units(result, names):
    """The unit of each name: from the result's attrs["units"], else from the loaded model."""
    units = dict(getattr(result, "attrs", {}).get("units", {}))
    missing = [name for name in names if name not in units]
    if missing:
        from ._library import load
        try:
            units.update(load().units(missing))
        except TarnError:  # no library to ask: the panels go without units
            pass
    return units


def _finish_panel(ax, group, units, log, legend):
    # Long groups wrap their label rather than lose it. The unit follows when the group shares
    # one ("1", a pure number, is not shown).
    label = textwrap.fill(", ".join(group), _LABEL_WIDTH)
    shared = {units.get(name, "") for name in group}
    unit = shared.pop() if len(shared) == 1 else ""
    ax.set_ylabel(f"{label} ({unit})" if unit and unit != "1" else label)
    ax.grid(True, alpha=0.3)
    if log:
        ax.set_yscale("log")
    else:
        ax.ticklabel_format(axis="y", style="sci", scilimits=(-3, 4))
    if legend:
        ax.legend(loc="best", fontsize="small")


def _finish_figure(figure, title):
    if title:
        figure.suptitle(title)
    figure.tight_layout()
    return figure
