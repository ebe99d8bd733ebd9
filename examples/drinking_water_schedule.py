"""A changing drinking-water exposure of a lactating mother over the infant's first 90 days.

The mother's drinking water carries perchlorate (conc) at 5 from day 10, at 15 from day 30 (a
contaminated supply), and none from day 60, when the supply is replaced. The schedule applies each
change at its exact time. The script prints the maternal and infant plasma perchlorate on the days
of the changes and at the end, and writes their time course to drinking_water_schedule.png.

    python3 examples/drinking_water_schedule.py [--outdir build/examples]
"""

import argparse
from pathlib import Path

import matplotlib

matplotlib.use("Agg")  # the figure goes to a file

import tarn  # noqa: E402

DEFAULT_OUTDIR = Path(__file__).resolve().parents[1] / "build" / "examples"
DAY = 24.0  # hours
EXPOSURE = [(10, 5.0), (30, 15.0), (60, 0.0)]  # (day, conc from that day on)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--outdir", type=Path, default=DEFAULT_OUTDIR)
    args = parser.parse_args()

    schedule = tarn.Schedule()
    for day, conc in EXPOSURE:
        schedule = schedule.set("conc", conc, at=day * DAY)
    model = tarn.Model()
    result = model.run(tstop=90 * DAY, cint=1, outputs=["conc", "ca_p", "ca_np", "cttot_np"],
                       schedule=schedule)

    print("day  conc   ca_p (mother)   ca_np (infant)")
    for day in [day for day, _ in EXPOSURE] + [90]:
        row = result[result["t"] == day * DAY].iloc[0]
        print(f"{day:3d}  {row['conc']:4g}   {row['ca_p']:13.4g}   {row['ca_np']:14.4g}")

    figure = tarn.plot(result, ["conc", ("ca_p", "ca_np"), "cttot_np"],
                       title="Perchlorate in drinking water: 5 from day 10, 15 from day 30, "
                             "0 from day 60")
    for ax in figure.axes:
        for day, _ in EXPOSURE:
            ax.axvline(day, color="grey", linewidth=0.8, linestyle=":")
    args.outdir.mkdir(parents=True, exist_ok=True)
    figure.savefig(args.outdir / "drinking_water_schedule.png", dpi=100)
    print(f"wrote {args.outdir / 'drinking_water_schedule.png'}")


if __name__ == "__main__":
    main()
