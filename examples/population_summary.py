"""A population of 100 mother-infant pairs under the same perchlorate dosing.

Each subject draws body weight and four physiological multipliers from log-normal distributions
(a fixed seed makes the population reproducible). Every subject runs on a worker process,
or on a local dask cluster with --dask. The script prints and writes (population_summary.csv)
the median and the 5th and 95th percentiles of the infant's plasma perchlorate at chosen days.

    python3 examples/population_summary.py [--subjects 100] [--workers N] [--dask]
"""

import argparse
from pathlib import Path

import numpy
import pandas

import tarn

DEFAULT_OUTDIR = Path(__file__).resolve().parents[1] / "build" / "examples"
DAY = 24.0  # hours
SUMMARY_DAYS = (1, 3, 7, 10, 14)

# Parameter: (median, coefficient of variation) of a log-normal distribution.
VARIATION = {
    "bwpre": (67.8, 0.15),          # maternal body weight before pregnancy
    "cluc_p": (0.125, 0.3),         # maternal urinary perchlorate clearance
    "cluxc_np_sens": (1.0, 0.3),    # infant urinary perchlorate clearance multiplier
    "ingest_sens": (1.0, 0.2),      # milk ingestion multiplier
    "vmaxmk_sens": (1.0, 0.3),      # mammary uptake multiplier
}


def draw_population(subjects, seed):
    generator = numpy.random.default_rng(seed)
    columns = {}
    for name, (median, cv) in VARIATION.items():
        sigma = numpy.sqrt(numpy.log1p(cv * cv))
        columns[name] = median * generator.lognormal(0.0, sigma, subjects)
    return pandas.DataFrame(columns).assign(pdose=700, ppuls=1, pdstart=0, pdlength=10 * DAY)


def run(samples, workers, use_dask):
    arguments = dict(outputs=["ca_p", "ca_np"], tstop=14 * DAY, cint=1)
    if not use_dask:
        return tarn.run_population(samples, workers=workers, **arguments)
    from distributed import Client, LocalCluster
    with LocalCluster(n_workers=workers or 2, threads_per_worker=1, processes=True,
                      dashboard_address=None) as cluster, Client(cluster) as client:
        return tarn.run_population(samples, client=client, **arguments)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--subjects", type=int, default=100)
    parser.add_argument("--seed", type=int, default=20240601)
    parser.add_argument("--workers", type=int, default=None,
                        help="processes at once (default: one per processor)")
    parser.add_argument("--dask", action="store_true", help="run on a local dask cluster")
    parser.add_argument("--outdir", type=Path, default=DEFAULT_OUTDIR)
    args = parser.parse_args()

    samples = draw_population(args.subjects, args.seed)
    population = run(samples, args.workers, args.dask)
    for message in population.errors.values():
        print("failed:", message)

    summary = population.summary("ca_np", [day * DAY for day in SUMMARY_DAYS])
    summary.insert(0, "day", summary.pop("t") / DAY)
    print(f"\ninfant plasma perchlorate (ca_np), {len(population.results)} of {len(population)} "
          "subjects")
    print(summary.to_string(index=False, float_format="%.4g"))
    args.outdir.mkdir(parents=True, exist_ok=True)
    summary.to_csv(args.outdir / "population_summary.csv", index=False)
    print(f"\nsummary written to {args.outdir / 'population_summary.csv'}")


if __name__ == "__main__":
    main()
