"""The ten parameters that matter most for the infant's plasma perchlorate on day 10.

The mother drinks water with perchlorate (conc 5) from birth. Every parameter with a non-zero
value (but the molecular weights, switches and run settings) is perturbed by +1 % and -1 %, and
the normalised sensitivity coefficient d ln(ca_np) / d ln(parameter) on day 10 is taken from the
two runs (tarn.sensitivity, at tight tolerances, on parallel processes). The script prints the
ten largest, writes every coefficient to infant_sensitivity.csv and a bar chart of the ten to
infant_sensitivity.png.

The infant's tissue blood flows are fractions of its cardiac output (qrc_n, qsc_n, ...) that
the model does not scale back to the cardiac output when one of them changes: perturbed alone,
they unbalance the venous return against the cardiac output, and so lead the list by far.

    python3 examples/infant_sensitivity.py [--workers 2] [--outdir build/examples]
"""

import argparse
from pathlib import Path

import matplotlib

matplotlib.use("Agg")  # the figure goes to a file

import tarn  # noqa: E402

DEFAULT_OUTDIR = Path(__file__).resolve().parents[1] / "build" / "examples"
DAY = 24.0  # hours
# Constants, switches and settings rather than physiology: molecular weights, the dosing window,
# the choice of water intake per body weight or per day, the milk intake table, the run's end.
NOT_ANALYSED = {"mwi", "mwt4", "mwt3", "mwclo4", "pdlength", "dwsmom", "milktable", "tstop"}


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--workers", type=int, default=None)
    parser.add_argument("--outdir", type=Path, default=DEFAULT_OUTDIR)
    args = parser.parse_args()

    model = tarn.Model(conc=5)
    parameters = [p.name for p in model.parameters()
                  if p.value != 0 and p.name not in NOT_ANALYSED]
    result = tarn.sensitivity(model, parameters, ["ca_np"], [10 * DAY], cint=1,
                              workers=args.workers)
    if result.errors:
        print(f"{len(result.errors)} parameters failed: {result.errors}")
    top = result.top("ca_np", n=10)
    print(f"{len(parameters)} parameters; the ten with the largest coefficients for ca_np on "
          "day 10:")
    for name, coefficient in top.items():
        print(f"  {name:16s} {coefficient:+.4f}")

    args.outdir.mkdir(parents=True, exist_ok=True)
    result.table.to_csv(args.outdir / "infant_sensitivity.csv", index=False)
    figure = result.plot(n=10, title="Infant plasma perchlorate on day 10")
    figure.savefig(args.outdir / "infant_sensitivity.png", dpi=100)
    print(f"wrote {args.outdir / 'infant_sensitivity.csv'} and "
          f"{args.outdir / 'infant_sensitivity.png'}")


if __name__ == "__main__":
    main()
