"""A sweep over one sensitivity multiplier: the infant's urinary perchlorate clearance.

The model scales several physiological quantities by multipliers named *_sens (all 1 by
default). This script runs the same maternal dosing (pdose for ten days) with the infant's
urinary perchlorate clearance multiplier cluxc_np_sens from 0.25 to 4, and reports the infant's
plasma and thyroid perchlorate: a table on standard output and in sensitivity_sweep.csv, and the
infant plasma curves in sensitivity_sweep.png.

    python3 examples/sensitivity_sweep.py [--parameter cluxc_np_sens] [--outdir build/examples]
"""

import argparse
from pathlib import Path

import matplotlib

matplotlib.use("Agg")  # the figure goes to a file

import pandas  # noqa: E402

import tarn  # noqa: E402

DEFAULT_OUTDIR = Path(__file__).resolve().parents[1] / "build" / "examples"
MULTIPLIERS = (0.25, 0.5, 1.0, 2.0, 4.0)
DAY = 24.0  # hours


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--parameter", default="cluxc_np_sens",
                        help="the multiplier to sweep (default cluxc_np_sens)")
    parser.add_argument("--outdir", type=Path, default=DEFAULT_OUTDIR)
    args = parser.parse_args()

    model = tarn.Model()
    rows, curves = [], {}
    for multiplier in MULTIPLIERS:
        model.reset()
        model.update({args.parameter: multiplier}, pdose=700, ppuls=1, pdstart=0,
                     pdlength=10 * DAY)
        result = model.run(tstop=14 * DAY, cint=1, outputs=["ca_np", "cttot_np"])
        peak = result["ca_np"].idxmax()
        rows.append({args.parameter: multiplier,
                     "peak ca_np": result["ca_np"][peak],
                     "peak at day": result["t"][peak] / DAY,
                     "ca_np day 10": result["ca_np"][result["t"] == 10 * DAY].item(),
                     "cttot_np day 10": result["cttot_np"][result["t"] == 10 * DAY].item(),
                     "ca_np day 14": result["ca_np"].iloc[-1]})
        curves["t"] = result["t"]
        curves[f"ca_np x{multiplier:g}"] = result["ca_np"]

    table = pandas.DataFrame(rows)
    print(table.to_string(index=False, float_format="%.4g"))
    args.outdir.mkdir(parents=True, exist_ok=True)
    table.to_csv(args.outdir / "sensitivity_sweep.csv", index=False)
    figure = tarn.plot(curves, [tuple(name for name in curves if name != "t")],
                       title=f"Infant plasma perchlorate by {args.parameter}", figsize=(10, 5))
    figure.axes[0].set_ylabel("ca_np")
    figure.savefig(args.outdir / "sensitivity_sweep.png", dpi=100)
    print(f"\ntable and figure written to {args.outdir}")


if __name__ == "__main__":
    main()
