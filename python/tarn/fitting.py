"""Calibration against measured data: least squares (tarn.fit) and Bayesian sampling
(tarn.sample).

    data = pandas.DataFrame({"t": [24, 72, 168], "output": "ca_np",
                             "value": [1.1, 2.9, 5.0], "sd": 0.1})
    fitted = tarn.fit(model, data, {"cluc_p": 0.1, "vplasc": 0.05},
                      bounds={"cluc_p": (0.01, 1)}, log_residuals=True)
    fitted.estimates            # estimate, standard error and 95 % interval per parameter
    fitted.plot().savefig("fit.png")
    posterior = tarn.sample(model, data, fitted.parameters, seed=1)
    posterior.summary           # mean, sd and percentiles per parameter

Data: one row per measurement with the columns t (or time, hours), output (or name: a model
symbol), value and optionally sd (the measurement's standard deviation; with log residuals, the
standard deviation of its logarithm). The model runs from its initial conditions to the last
measurement with every other parameter at its present value, at the tight tolerances of
tarn.sensitivity (so that solver noise does not blur the differences the optimiser takes); model
values between communication points are interpolated linearly. A schedule given to fit or sample
applies to every run. The model's parameters, tstop and cint are as before when fit and sample
return; model.update(result.parameters) puts the estimates into it.

Parameters are estimated on a log scale (each must be positive), within the model's bounds of
each parameter (a fraction stays at most 1), narrowed by bounds given as {name: (low, high)}
(either may be None).
"""

import math
import numbers

from .errors import OutOfRangeError, RunError, TarnError, WrongTypeError
from .model import status_log
from .sensitivity import DEFAULT_ATOL, DEFAULT_RTOL

# Central differences of the residuals against ln(parameter) take this step: a 0.1 % change,
# far above the solver noise at the tolerances used and small enough to keep the truncation error
# near 1e-7 of the slope.
_JACOBIAN_STEP = 1e-3
# The log-normal prior of a parameter without one: median at its starting value, a factor 10 for
# one standard deviation.
_DEFAULT_PRIOR_SIGMA = math.log(10)


class FitResult:
    """The outcome of tarn.fit.

    estimates: a pandas.DataFrame indexed by parameter with the columns start, estimate, se (the
    standard error, from the Jacobian at the estimate), low and high (the 95 % interval, symmetric
    on the log scale), lower_bound and upper_bound.
    parameters: {name: estimate}. residuals: the data with the columns prediction and residual.
    covariance: the covariance of ln(parameters). curves: the fitted time course of every output
    in the data (a DataFrame). cost: half the sum of squared residuals. success, message, nfev:
    as scipy.optimize.least_squares reports them.
    """

    def __init__(self, **fields):
        self.__dict__.update(fields)

    @property
    def parameters(self):
        return self.estimates["estimate"].to_dict()

    def plot(self, *, title=None):
        """The data against the fitted curves, one panel per output. Returns the Figure."""
        return _plot_fit(self.residuals, self.curves, self.log_residuals, title)

    def __repr__(self):
        shown = ", ".join(f"{name} = {row.estimate:.4g} ± {row.se:.2g}"
                          for name, row in self.estimates.iterrows())
        return f"<FitResult: {shown}; cost {self.cost:.4g}>"


class SampleResult:
    """The outcome of tarn.sample.

    chain: the parameter values after burn-in, an array (steps, walkers, parameters).
    samples: the chain flattened to a pandas.DataFrame, one column per parameter.
    summary: per parameter the mean, sd, and the percentiles p2.5, median and p97.5.
    acceptance_fraction: the mean acceptance fraction of the walkers. sampler: the
    emcee.EnsembleSampler (its chain is on the log scale).
    """

    def __init__(self, **fields):
        self.__dict__.update(fields)

    def __repr__(self):
        return (f"<SampleResult: {self.chain.shape[0]} steps x {self.chain.shape[1]} walkers, "
                f"acceptance {self.acceptance_fraction:.2f}>")


def fit(model, data, parameters, *, bounds=None, log_residuals=False, schedule=None, cint=None,
        rtol=DEFAULT_RTOL, atol=DEFAULT_ATOL, **options):
    """Least-squares estimates of `parameters` (names, starting at their present values, or
    {name: start}) from `data`, with scipy.optimize.least_squares on ln(parameter) within
    `bounds`. Residuals are (model - value) / sd, or with log_residuals (ln model - ln value) / sd;
    sd is 1 where the data give none, and the standard errors then scale with the residuals'
    spread. options go to least_squares. Returns a FitResult.
    """
    import numpy
    import pandas
    from scipy import optimize, stats

    problem = _Problem(model, data, parameters, bounds, log_residuals, schedule, cint, rtol, atol)
    options = {"xtol": 1e-10, "ftol": 1e-10, "gtol": 1e-10, **options}
    with problem:
        solution = optimize.least_squares(problem.residuals, problem.start, jac=problem.jacobian,
                                          bounds=problem.bounds, **options)
        estimate = solution.x
        jacobian = problem.jacobian(estimate)
        residuals = problem.residuals(estimate)
        curves = problem.run(estimate)
    measured, count = len(residuals), len(estimate)
    degrees = measured - count
    if problem.has_sd:
        variance, quantile = 1.0, stats.norm.ppf(0.975)
    elif degrees > 0:
        variance, quantile = float(residuals @ residuals) / degrees, stats.t.ppf(0.975, degrees)
    else:
        variance, quantile = math.nan, math.nan
    covariance = numpy.linalg.pinv(jacobian.T @ jacobian) * variance
    spread = numpy.sqrt(numpy.diag(covariance))
    values = numpy.exp(estimate)
    lower, upper = numpy.exp(problem.bounds[0]), numpy.exp(problem.bounds[1])
    estimates = pandas.DataFrame(
        {"start": numpy.exp(problem.start), "estimate": values, "se": values * spread,
         "low": numpy.exp(estimate - quantile * spread),
         "high": numpy.exp(estimate + quantile * spread),
         "lower_bound": lower, "upper_bound": upper},
        index=pandas.Index(problem.names, name="parameter"))
    table = problem.table.copy()
    table["prediction"] = problem.predictions(curves)
    table["residual"] = residuals
    return FitResult(estimates=estimates, residuals=table,
                     covariance=pandas.DataFrame(covariance, index=problem.names,
                                                 columns=problem.names),
                     curves=pandas.DataFrame(curves), cost=float(solution.cost),
                     success=bool(solution.success), message=solution.message,
                     nfev=int(solution.nfev), log_residuals=problem.log_residuals)


def sample(model, data, parameters, *, priors=None, bounds=None, log_residuals=False, sd=None,
           nwalkers=None, nsteps=1000, burn=None, seed=None, schedule=None, cint=None,
           rtol=DEFAULT_RTOL, atol=DEFAULT_ATOL):
    """Samples the posterior of `parameters` (names at their present values, or {name: start},
    for instance a FitResult's .parameters) given `data` with emcee's affine-invariant ensemble
    sampler, walking on ln(parameter).

    The likelihood is normal in the residuals of tarn.fit, so the data need standard deviations:
    an sd column, or `sd` for every row. priors: {name: (median, sigma)}, a log-normal prior (sigma
    of the logarithm), or {name: function(value) -> log density}; a parameter without one gets a
    log-normal prior with its median at the start and sigma ln 10. bounds as for fit. nwalkers
    (default: 4 per parameter, at least 8) start in a 1 % cloud around the start; the first
    `burn` of `nsteps` steps (default a quarter) are dropped. seed makes the run repeatable.
    Returns a SampleResult.
    """
    import emcee
    import numpy
    import pandas

    problem = _Problem(model, data, parameters, bounds, log_residuals, schedule, cint, rtol, atol,
                       sd=sd)
    if not problem.has_sd:
        raise TarnError("sample needs the measurements' standard deviations: an sd column in "
                        "the data, or sd=")
    dimensions = len(problem.names)
    nwalkers = max(8, 4 * dimensions) if nwalkers is None else nwalkers
    burn = nsteps // 4 if burn is None else burn
    if not 0 <= burn < nsteps:
        raise OutOfRangeError(f"burn must lie from 0 to below nsteps = {nsteps}, not {burn}")
    log_prior = _log_prior(problem, priors or {})
    low, high = problem.bounds

    def log_probability(x):
        if numpy.any(x < low) or numpy.any(x > high):
            return -numpy.inf
        prior = log_prior(x)
        if not numpy.isfinite(prior):
            return -numpy.inf
        residuals = problem.residuals(x)
        return prior - 0.5 * float(residuals @ residuals)

    generator = numpy.random.default_rng(seed)
    start = problem.start + 0.01 * generator.standard_normal((nwalkers, dimensions))
    start = numpy.clip(start, low, high)
    sampler = emcee.EnsembleSampler(nwalkers, dimensions, log_probability)
    sampler.random_state = numpy.random.RandomState(generator.integers(2**32)).get_state()
    with problem:
        sampler.run_mcmc(start, nsteps, progress=False)
    chain = numpy.exp(sampler.get_chain(discard=burn))
    samples = pandas.DataFrame(chain.reshape(-1, dimensions), columns=problem.names)
    summary = pandas.DataFrame({
        "mean": samples.mean(), "sd": samples.std(),
        "p2.5": samples.quantile(0.025), "median": samples.median(),
        "p97.5": samples.quantile(0.975)})
    summary.index.name = "parameter"
    return SampleResult(chain=chain, samples=samples, summary=summary,
                        acceptance_fraction=float(numpy.mean(sampler.acceptance_fraction)),
                        sampler=sampler)


def _log_prior(problem, priors):
    """The log prior density of ln(parameters)."""
    import numpy
    lib = problem.model.library
    priors = {lib.symbol(name).name: prior for name, prior in priors.items()}
    unknown = set(priors) - set(problem.names)
    if unknown:
        raise TarnError(f"priors name parameters that are not sampled: {sorted(unknown)}")
    terms = []
    for k, name in enumerate(problem.names):
        prior = priors.get(name)
        if prior is None:
            prior = (math.exp(problem.start[k]), _DEFAULT_PRIOR_SIGMA)
        if callable(prior):
            # A density of the value, taken over to its logarithm: p(x) = p(value)·value.
            terms.append(lambda x, k=k, f=prior: f(math.exp(x[k])) + x[k])
        else:
            median, sigma = prior
            if not (median > 0 and sigma > 0):
                raise OutOfRangeError(f"the log-normal prior of {name} needs a positive median "
                                      f"and sigma, not {prior!r}")
            centre = math.log(median)
            terms.append(lambda x, k=k, c=centre, s=sigma: -0.5 * ((x[k] - c) / s) ** 2)
    return lambda x: float(numpy.sum([term(x) for term in terms]))


class _Problem:
    """The data, the parameters on their log scale, and runs of the model at given parameters.
    Used as a context: on leaving, the model's parameters, tstop, cint and tolerances are put
    back."""

    def __init__(self, model, data, parameters, bounds, log_residuals, schedule, cint, rtol, atol,
                 sd=None):
        import numpy
        lib = model.library
        self.model, self.schedule, self.rtol, self.atol = model, schedule, rtol, atol
        self.log_residuals = bool(log_residuals)
        if isinstance(parameters, str):
            parameters = [parameters]
        starts = dict(parameters) if hasattr(parameters, "keys") else \
            {name: model[name] for name in parameters}
        if not starts:
            raise TarnError("there is no parameter to estimate")
        self.names, start = [], []
        for name, value in starts.items():
            symbol = lib.symbol(name)
            if not symbol.is_parameter:
                raise WrongTypeError(f"{symbol.name} is not a parameter")
            if isinstance(value, bool) or not isinstance(value, numbers.Real) or \
                    not (math.isfinite(value) and value > 0):
                raise OutOfRangeError(f"{symbol.name} starts at {value!r}: parameters are "
                                      "estimated on a log scale and must start positive")
            self.names.append(symbol.name)
            start.append(math.log(value))
        self.start = numpy.array(start)
        self.bounds = self._log_bounds(bounds or {}, lib)
        if numpy.any(self.start < self.bounds[0]) or numpy.any(self.start > self.bounds[1]):
            raise OutOfRangeError("every start must lie within its bounds")
        self.table = self._checked_data(data, lib, sd)
        self.has_sd = "sd" in self.table
        self.outputs = list(dict.fromkeys(self.table["output"]))
        self.tstop = float(self.table["t"].max())
        self.cint = model["cint"] if cint is None else cint
        self._kept = {name: model[name] for name in self.names + ["tstop", "cint"]}
        self._tolerances = model.tolerances()

    def _log_bounds(self, bounds, lib):
        """The bounds of the log-scale parameters: the model's own (a fraction stays at most 1),
        narrowed by those given."""
        import numpy
        low, high = numpy.full(len(self.names), -numpy.inf), numpy.full(len(self.names), numpy.inf)
        for k, name in enumerate(self.names):
            symbol = lib.symbol(name)
            if symbol.minimum > 0:
                low[k] = math.log(symbol.minimum)
            if symbol.maximum < math.inf:
                high[k] = math.log(symbol.maximum)
        for name, (lower, upper) in bounds.items():
            symbol = lib.symbol(name)
            if symbol.name not in self.names:
                raise TarnError(f"bounds name {symbol.name}, which is not estimated")
            k = self.names.index(symbol.name)
            if lower is not None and lower > 0:
                low[k] = max(low[k], math.log(lower))
            if upper is not None:
                if not upper > 0:
                    raise OutOfRangeError(f"the upper bound of {symbol.name} must be positive")
                high[k] = min(high[k], math.log(upper))
        return low, high

    def _checked_data(self, data, lib, sd):
        import numpy
        import pandas
        table = pandas.DataFrame(data).rename(columns={"time": "t", "name": "output"})
        missing = {"t", "output", "value"} - set(table.columns)
        if missing:
            raise TarnError(f"the data need the columns t, output and value; missing "
                            f"{sorted(missing)}")
        if sd is not None:
            table["sd"] = sd
        columns = ["t", "output", "value"] + (["sd"] if "sd" in table else [])
        table = table[columns].reset_index(drop=True)
        table["output"] = [lib.symbol(name).name for name in table["output"]]
        for column in set(columns) - {"output"}:
            table[column] = table[column].astype(float)
            if not numpy.all(numpy.isfinite(table[column])):
                raise OutOfRangeError(f"the data's column {column} holds values that are not "
                                      "finite numbers")
        if table.empty or table["t"].max() <= 0 or table["t"].min() < 0:
            raise OutOfRangeError("the data need measurements at times from 0 h, not all at 0")
        if "sd" in table and not numpy.all(table["sd"] > 0):
            raise OutOfRangeError("every standard deviation sd must be positive")
        if self.log_residuals and not numpy.all(table["value"] > 0):
            raise OutOfRangeError("log residuals need positive measured values")
        return table

    def __enter__(self):
        # A failed run is an error of fit or a rejected proposal of sample: the library's own
        # messages stay out of the log meanwhile.
        self._log_was_disabled, status_log.disabled = status_log.disabled, True
        return self

    def __exit__(self, *exc_info):
        status_log.disabled = self._log_was_disabled
        self.model.update(self._kept)
        self.model.set_tolerances(rtol={name: rtol for name, (rtol, _) in self._tolerances.items()},
                                  atol={name: atol for name, (_, atol) in self._tolerances.items()})

    def run(self, x):
        """The time course of the data's outputs at parameters exp(x), as a dict of arrays."""
        import numpy
        self.model.update(dict(zip(self.names, numpy.exp(x))))
        return self.model.run(tstop=self.tstop, cint=self.cint, outputs=self.outputs,
                              frame=False, schedule=self.schedule, rtol=self.rtol,
                              atol=self.atol)

    def predictions(self, course):
        import numpy
        predicted = numpy.empty(len(self.table))
        for output in self.outputs:
            rows = (self.table["output"] == output).to_numpy()
            predicted[rows] = numpy.interp(self.table["t"].to_numpy()[rows], course["t"],
                                           course[output])
        return predicted

    def residuals(self, x):
        """The residuals at parameters exp(x); infinite where the model cannot run with them, so
        that the optimiser shortens its step and the sampler rejects the proposal."""
        import numpy
        try:
            predicted = self.predictions(self.run(x))
        except RunError:
            return numpy.full(len(self.table), numpy.inf)
        measured = self.table["value"].to_numpy()
        if self.log_residuals:
            with numpy.errstate(divide="ignore", invalid="ignore"):
                difference = numpy.log(predicted) - numpy.log(measured)
            # A prediction at or below 0 has no logarithm: as far off as the largest miss.
            difference[~numpy.isfinite(difference)] = 1e3
        else:
            difference = predicted - measured
        return difference / (self.table["sd"].to_numpy() if self.has_sd else 1.0)

    def jacobian(self, x):
        """Central differences in ln(parameter), one-sided at a bound."""
        import numpy
        columns = []
        for k in range(len(x)):
            up, down = x.copy(), x.copy()
            up[k] = min(x[k] + _JACOBIAN_STEP, self.bounds[1][k])
            down[k] = max(x[k] - _JACOBIAN_STEP, self.bounds[0][k])
            columns.append((self.residuals(up) - self.residuals(down)) / (up[k] - down[k]))
        return numpy.array(columns).T


def _plot_fit(table, curves, log_scale, title):
    import matplotlib.pyplot as pyplot
    import numpy
    outputs = list(dict.fromkeys(table["output"]))
    figure, axes = pyplot.subplots(len(outputs), 1, squeeze=False, sharex=True,
                                   figsize=(8.0, 1.2 + 2.6 * len(outputs)))
    days = curves["t"].max() > 72
    scale, label = (24.0, "time (days)") if days else (1.0, "time (h)")
    for ax, output in zip(axes[:, 0], outputs):
        rows = table[table["output"] == output]
        ax.plot(curves["t"] / scale, curves[output], color="tab:blue", label="fitted model")
        values = rows["value"].to_numpy()
        errors = None
        if "sd" in rows and log_scale:  # a standard deviation of the logarithm: a factor
            factor = numpy.exp(rows["sd"].to_numpy())
            errors = [values - values / factor, values * factor - values]
        elif "sd" in rows:
            errors = rows["sd"]
        ax.errorbar(rows["t"] / scale, values, yerr=errors, fmt="o", color="black",
                    markersize=4, capsize=2, label="data")
        if log_scale:
            ax.set_yscale("log")
            ax.set_ylim(bottom=values.min() / 5)
        ax.set_ylabel(output)
        ax.grid(True, alpha=0.3)
        ax.legend(loc="best", fontsize="small")
    axes[-1, 0].set_xlabel(label)
    if title:
        figure.suptitle(title)
    figure.tight_layout()
    return figure
