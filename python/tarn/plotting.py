"""Plots of a time course with matplotlib (imported only when plot() is called)."""

from .errors import OutOfRangeError, TarnError, UnknownSymbolError, WrongTypeError

# Beyond this span the time axis is in days rather than hours.
_DAYS_FROM_HOURS = 72.0
_TIME_UNITS = {"h": (1.0, "time (h)"), "d": (24.0, "time (days)")}
_PANEL_HEIGHT = 2.2  # inches per panel
_WIDTH = 8.0  # inches


def plot(result, names=None, *, time_unit=None, title=None, figsize=None):
    """A figure of a time course, one panel per quantity or group, sharing the time axis.

    result: what Model.run returns (a DataFrame or a dict of arrays with the column "t").
    names: the quantities to draw; each entry is a symbol name (a panel of its own) or a list or
    tuple of names (one panel, one line each, with a legend). Default: every column but t.
    time_unit: "h" or "d"; by default hours for runs up to 72 h, else days.
    Panels are labelled with symbol names: the model records no units besides hours.

    Returns the matplotlib Figure; save it with figure.savefig(path).
    """
    try:
        import matplotlib.pyplot as pyplot
    except ImportError:
        raise ImportError("tarn.plot needs matplotlib (Debian: python3-matplotlib)") from None
    import numpy

    columns = list(result.keys()) if hasattr(result, "keys") else None
    if columns is None or "t" not in columns:
        raise WrongTypeError("plot takes a run result: a DataFrame or dict with the column 't'")
    if names is None:
        names = [name for name in columns if name != "t"]
    elif isinstance(names, str):
        names = [names]
    panels = []
    for entry in names:
        group = [entry] if isinstance(entry, str) else list(entry)
        if not group or not all(isinstance(name, str) for name in group):
            raise WrongTypeError(f"each plot entry is a name or a list of names, not {entry!r}")
        for name in group:
            if name not in columns:
                raise UnknownSymbolError(f"{name!r} is not in the result; its columns are "
                                         f"{columns}", name)
        panels.append(group)
    if not panels:
        raise TarnError("nothing to plot: the result has no column besides t")

    hours = numpy.asarray(result["t"], dtype=float)
    if time_unit is None:
        span = hours[-1] - hours[0] if hours.size else 0.0
        time_unit = "d" if span > _DAYS_FROM_HOURS else "h"
    if time_unit not in _TIME_UNITS:
        raise OutOfRangeError(f"time_unit is 'h' or 'd', not {time_unit!r}")
    scale, time_label = _TIME_UNITS[time_unit]
    time = hours / scale

    if figsize is None:
        figsize = (_WIDTH, 1.0 + _PANEL_HEIGHT * len(panels))
    figure, axes = pyplot.subplots(len(panels), 1, sharex=True, figsize=figsize, squeeze=False)
    for ax, group in zip(axes[:, 0], panels):
        for name in group:
            ax.plot(time, numpy.asarray(result[name], dtype=float), label=name)
        if len(group) <= 2:  # larger groups are named by their legend alone
            ax.set_ylabel(", ".join(group))
        ax.grid(True, alpha=0.3)
        ax.ticklabel_format(axis="y", style="sci", scilimits=(-3, 4))
        if len(group) > 1:
            ax.legend(loc="best", fontsize="small")
    axes[-1, 0].set_xlabel(time_label)
    if time.size > 1:
        axes[-1, 0].set_xlim(time[0], time[-1])
    if title:
        figure.suptitle(title)
    figure.tight_layout()
    return figure
