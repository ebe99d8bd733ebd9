"""Local sensitivity analysis: normalised coefficients d ln(output) / d ln(parameter).

    result = tarn.sensitivity(model, ["vplasc", "cluc_p", "bwpre"], ["ca_p", "ca_np"], [240])
    result.table                   # output, t, parameter, value, coefficient
    result.top("ca_np", n=10)      # the ten largest in magnitude
    result.plot().savefig("sensitivity.png")

Each parameter is perturbed by the factors 1 + delta and 1 - delta from its present value in
`model` (every other parameter keeps its present value there), and the coefficient is the central
difference of the logarithms,

    (ln y(p·(1 + delta)) - ln y(p·(1 - delta))) / (ln(1 + delta) - ln(1 - delta)),

which is exact for an output proportional to a power of the parameter. A coefficient of 0.5 means
that a 1 % larger parameter gives a 0.5 % larger output. Outputs that are 0 or negative at a time
have no coefficient there (NaN).

The runs go through tarn.run_population (local processes or a dask client), at tolerances far
tighter than the library's default: at rtol = atol = 1e-4 two equivalent runs (the same scenario
with cint 0.05, 0.1 and 0.2 h) differ by up to 2.6e-4 relative in the infant's day-10 perchlorate
concentration, as much as a 1 % perturbation moves many outputs. At rtol 1e-10 and atol 1e-12
(the defaults here) they differ by 8e-10, which puts an error below 1e-7 on a coefficient from a
1 % perturbation.
"""

import math
import numbers

from .errors import OutOfRangeError, TarnError, WrongTypeError
from .population import run_population

DEFAULT_RTOL = 1e-10
DEFAULT_ATOL = 1e-12


class SensitivityResult:
    """The coefficients of a sensitivity analysis.

    table: a pandas.DataFrame with the columns output, t, parameter, value (the parameter's
    unperturbed value) and coefficient, sorted by output, time and decreasing magnitude.
    errors: {parameter: error message} of the parameters whose runs failed (their coefficients
    are NaN).
    """

    def __init__(self, table, errors):
        self.table = table
        self.errors = errors

    def top(self, output, t=None, n=10):
        """The n coefficients of `output` largest in magnitude at time t (default: the last time
        analysed), as a pandas.Series indexed by parameter."""
        rows = self._rows(output, t)
        return rows.set_index("parameter")["coefficient"].head(n)

    def _rows(self, output, t):
        rows = self.table[self.table["output"] == output]
        if rows.empty:
            raise TarnError(f"{output!r} is not an output of this analysis; its outputs are "
                            f"{list(self.table['output'].cat.categories)}")
        t = rows["t"].max() if t is None else t
        rows = rows[rows["t"] == t]
        if rows.empty:
            raise TarnError(f"{t!r} is not a time of this analysis")
        return rows

    def plot(self, n=10, t=None, *, title=None):
        """A bar chart per output of its n largest coefficients at time t (default: the last
        time analysed). Returns the matplotlib Figure."""
        import matplotlib.pyplot as pyplot
        outputs = list(self.table["output"].cat.categories)
        panels = [self._rows(output, t).head(n).iloc[::-1] for output in outputs]
        height = max(len(rows) for rows in panels)
        figure, axes = pyplot.subplots(1, len(outputs), squeeze=False,
                                       figsize=(6.0 * len(outputs) + 1, 1.2 + 0.32 * height))
        for ax, output, rows in zip(axes[0], outputs, panels):
            coefficients = rows["coefficient"].to_numpy()
            bars = ax.barh(rows["parameter"], coefficients,
                           color=["tab:red" if c > 0 else "tab:blue" for c in coefficients])
            ax.bar_label(bars, fmt="%+.3g", fontsize="small", padding=3)
            ax.margins(x=0.15)
            ax.axvline(0, color="black", linewidth=0.8)
            ax.set_title(f"{output} at t = {rows['t'].iloc[0]:g} h", fontsize="medium")
            ax.set_xlabel("d ln output / d ln parameter")
            ax.grid(True, axis="x", alpha=0.3)
        if title:
            figure.suptitle(title)
        figure.tight_layout()
        return figure

    def __repr__(self):
        return (f"<SensitivityResult: {self.table['parameter'].nunique()} parameters, "
                f"{self.table['output'].nunique()} outputs, {len(self.errors)} failed>")


def sensitivity(model, parameters, outputs, times, delta=0.01, *, cint=None, rtol=DEFAULT_RTOL,
                atol=DEFAULT_ATOL, workers=None, client=None, progress=None):
    """Normalised sensitivity coefficients d ln(output) / d ln(parameter) by central differences
    (this module explains the method and the tolerances).

    model: the Model whose present parameter values and algorithm are the point analysed.
    parameters: names of parameters with non-zero values. outputs: names of outputs. times: hours
    at which the coefficients are taken (the runs end at the last one; times between
    communication points are interpolated linearly). delta: the relative perturbation. cint: the
    communication interval (default: the model's). rtol, atol: the tolerances of every state.
    workers, client, progress: as for tarn.run_population.

    Returns a SensitivityResult.
    """
    import numpy
    import pandas

    lib = model.library
    if isinstance(delta, bool) or not isinstance(delta, numbers.Real) or not 0 < delta < 1:
        raise OutOfRangeError(f"delta is a relative perturbation between 0 and 1, not {delta!r}")
    names = []
    for name in [parameters] if isinstance(parameters, str) else parameters:
        symbol = lib.symbol(name)
        if not symbol.is_parameter:
            raise WrongTypeError(f"{symbol.name} is not a parameter")
        value = model[symbol.name]
        if isinstance(value, bool) or not (math.isfinite(value) and value != 0):
            raise OutOfRangeError(f"{symbol.name} = {value!r}: a normalised sensitivity needs a "
                                  "finite, non-zero parameter value")
        names.append(symbol.name)
    if not names:
        raise TarnError("sensitivity needs at least one parameter")
    output_names = [symbol.name for symbol in lib.output_symbols(outputs)[1:]]  # after t
    times = numpy.unique(numpy.atleast_1d(numpy.asarray(times, dtype=float)))
    if times.size == 0 or not numpy.all(numpy.isfinite(times)) or times[-1] <= 0:
        raise OutOfRangeError(f"times are finite hours, the last after 0, not {times.tolist()}")

    base = {p.name: p.value for p in model.parameters()
            if p.value != p.default and not (p.value != p.value and p.default != p.default)}
    factors = (1 + delta, 1 - delta)
    samples = [{**base, name: model[name] * factor} for name in names for factor in factors]
    population = run_population(samples, output_names, tstop=float(times[-1]),
                                cint=model["cint"] if cint is None else cint,
                                algorithm=model["ialg"], rtol=rtol, atol=atol, workers=workers,
                                client=client, progress=progress, frame=False,
                                library=lib.path)

    step = math.log(factors[0]) - math.log(factors[1])
    rows, errors = [], {}
    for k, name in enumerate(names):
        up, down = population[2 * k], population[2 * k + 1]
        failed = [outcome.error for outcome in (up, down) if not outcome.ok]
        if failed:
            errors[name] = "; ".join(failed)
        for output in output_names:
            if failed:
                coefficients = numpy.full(times.shape, numpy.nan)
            else:
                with numpy.errstate(divide="ignore", invalid="ignore"):
                    high, low = (numpy.log(numpy.interp(times, outcome.result["t"],
                                                        outcome.result[output]))
                                 for outcome in (up, down))
                coefficients = (high - low) / step
            rows.extend({"output": output, "t": t, "parameter": name, "value": model[name],
                         "coefficient": c} for t, c in zip(times, coefficients))
    if len(errors) == len(names):
        raise TarnError("every run of the sensitivity analysis failed: " +
                        next(iter(errors.values())))
    table = pandas.DataFrame(rows)
    table["output"] = pandas.Categorical(table["output"], categories=output_names, ordered=True)
    table["magnitude"] = table["coefficient"].abs()
    table = (table.sort_values(["output", "t", "magnitude"], ascending=[True, True, False],
                               kind="stable", na_position="last")
             .drop(columns="magnitude").reset_index(drop=True))
    return SensitivityResult(table, errors)
