"""Perchlorate dosing of a lactating mother and what reaches her breast-fed infant.

The mother takes a daily perchlorate dose (pdose, ng per kg body weight per day) for ten days,
starting on day 2; the model runs for three weeks. The script prints the dosing events as the
model reports them and a short table, and writes a figure of plasma and thyroid perchlorate and
of plasma and thyroid iodide, mother and infant, to perchlorate_dosing.png.

    python3 examples/perchlorate_dosing.py [--dose 700] [--outdir build/examples]
"""

import argparse
import logging
from pathlib import Path

import matplotlib

matplotlib.use("Agg")  # the figure goes to a file

import tarn  # noqa: E402

DEFAULT_OUTDIR = Path(__file__).resolve().parents[1] / "build" / "examples"
DAY = 24.0  # hours


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--dose", type=float, default=700,
                        help="pdose, ng/kg/day (default 700, that is 0.7 µg/kg/day)")
    parser.add_argument("--outdir", type=Path, default=DEFAULT_OUTDIR)
    args = parser.parse_args()
    logging.basicConfig(level=logging.INFO, format="%(name)s: %(message)s")

    model = tarn.Model(pdose=args.dose, ppuls=1, pdstart=2 * DAY, pdlength=10 * DAY)
    model.on_discrete_event(lambda section, t: print(
        f"dosing {'starts' if section == 1000 else 'stops'} at day {t / DAY:g}"))
    result = model.run(tstop=21 * DAY, cint=0.5, outputs=[
        "ca_p", "ca_np", "cttot_p", "cttot_np", "ca_i", "ca_ni", "athyt_i"])

    print(f"\nperchlorate dose {args.dose:g} ng per kg per day, days 2 to 12")
    table = result[result["t"].isin([d * DAY for d in (0, 2, 3, 7, 12, 14, 21)])]
    print(table.assign(day=table["t"] / DAY).set_index("day").drop(columns="t")
          .to_string(float_format="%.4g"))

    figure = tarn.plot(result, [("ca_p", "ca_np"), ("cttot_p", "cttot_np"), ("ca_i", "ca_ni"),
                                "athyt_i"],
                       title=f"Perchlorate {args.dose:g} per kg per day, days 2-12: "
                             "mother (_p, _i) and infant (_np, _ni)",
                       figsize=(10, 9))
    for axes in figure.axes:  # shade the dosing days
        axes.axvspan(2, 12, color="0.92", zorder=0)
    args.outdir.mkdir(parents=True, exist_ok=True)
    path = args.outdir / "perchlorate_dosing.png"
    figure.savefig(path, dpi=100)
    print(f"\nfigure written to {path}")


if __name__ == "__main__":
    main()
