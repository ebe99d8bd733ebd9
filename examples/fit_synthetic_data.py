"""Recovering two parameters from synthetic measurements of plasma perchlorate.

"Measurements" of the mother's and the infant's plasma perchlorate (ca_p, ca_np) over ten days of
drinking water with perchlorate (conc 5) are made by the model itself, with a maternal urinary
clearance (cluc_p) and a maternal plasma volume fraction (vplasc) other than the defaults, and a
log-normal measurement error of 10 % (a fixed random seed). tarn.fit then estimates the two from
the defaults, on log residuals. The script prints the true values, the estimates and their 95 %
intervals, and writes the data against the fitted curves to fit_synthetic_data.png.

    python3 examples/fit_synthetic_data.py [--seed 2] [--outdir build/examples]
"""

import argparse
from pathlib import Path

import matplotlib

matplotlib.use("Agg")  # the figure goes to a file

import numpy  # noqa: E402
import pandas  # noqa: E402

import tarn  # noqa: E402

DEFAULT_OUTDIR = Path(__file__).resolve().parents[1] / "build" / "examples"
DAY = 24.0  # hours
TRUTH = {"cluc_p": 0.2, "vplasc": 0.05}  # defaults 0.125 and 0.044
TIMES = [4, 8, 12, 24, 48, 72, 120, 168, 240]  # hours
NOISE = 0.1  # standard deviation of the logarithm of a measurement


def measurements(model, seed):
    model.update(TRUTH, conc=5)
    course = model.run(tstop=10 * DAY, cint=1, outputs=["ca_p", "ca_np"], frame=False,
                       rtol=1e-10, atol=1e-12)
    generator = numpy.random.default_rng(seed)
    rows = []
    for output in ("ca_p", "ca_np"):
        exact = numpy.interp(TIMES, course["t"], course[output])
        noisy = exact * numpy.exp(NOISE * generator.standard_normal(len(TIMES)))
        rows += [{"t": t, "output": output, "value": v, "sd": NOISE}
                 for t, v in zip(TIMES, noisy)]
    model.reset()  # the defaults again
    return pandas.DataFrame(rows)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--seed", type=int, default=2)
    parser.add_argument("--outdir", type=Path, default=DEFAULT_OUTDIR)
    args = parser.parse_args()

    model = tarn.Model()
    data = measurements(model, args.seed)
    model["conc"] = 5
    fitted = tarn.fit(model, data, list(TRUTH), bounds={"cluc_p": (0.01, 2)},
                      log_residuals=True)

    print(f"{len(data)} measurements; {fitted.nfev} evaluations")
    print("parameter   true     start    estimate  95 % interval        inside")
    for name, row in fitted.estimates.iterrows():
        inside = row.low < TRUTH[name] < row.high
        print(f"{name:10s} {TRUTH[name]:6.4g}  {row.start:8.4g}  {row.estimate:8.4g}  "
              f"[{row.low:.4g}, {row.high:.4g}]   {'yes' if inside else 'NO'}")

    args.outdir.mkdir(parents=True, exist_ok=True)
    figure = fitted.plot(title="Synthetic plasma perchlorate (10 % error) and the fitted model")
    figure.savefig(args.outdir / "fit_synthetic_data.png", dpi=100)
    print(f"wrote {args.outdir / 'fit_synthetic_data.png'}")


if __name__ == "__main__":
    main()
