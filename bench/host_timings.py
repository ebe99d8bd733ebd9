"""Whole-process and population timings of the Python host against tarn-sim and a plain loop.

    TARN_LIBRARY=build/libtarn.so PYTHONPATH=python /usr/bin/python3 bench/host_timings.py build

1. Reading a run: the lactation run (tstop 4320 h, cint 1) with every state as an output, in a
   fresh process: `Model.run(frame=False)` against tarn-sim writing the same table.
2. A population: 200 subjects of 720 h each (cint 1, the infant's plasma perchlorate), as a
   plain loop over one Model, then with run_population on one and on two worker processes.
3. The same population with CVODE on threads of one process (backend="threads"), on one and on
   two threads.

Each timing is the fastest of REPETITIONS (other work on a shared machine only adds time).
"""

import subprocess
import sys
import time
from pathlib import Path

import tarn

REPETITIONS = 3
SUBJECTS = 200
READ_RUN = """
import tarn
model = tarn.Model()
model.run(tstop=4320, cint=1, outputs=[s.name for s in model.library.states()], frame=False)
"""


def fastest(action):
    times = []
    for _ in range(REPETITIONS):
        start = time.perf_counter()
        action()
        times.append(time.perf_counter() - start)
    return min(times)


def main(build_dir):
    tarn_sim = str(Path(build_dir) / "tarn-sim")
    states = ",".join(symbol.name for symbol in tarn.load().states())
    python = fastest(lambda: subprocess.run([sys.executable, "-c", READ_RUN], check=True))
    command_line = fastest(lambda: subprocess.run(
        [tarn_sim, "--tstop", "4320", "--cint", "1", "--out", states], check=True,
        stdout=subprocess.DEVNULL))
    print(f"lactation run, every state: Python {python:.3f} s, tarn-sim {command_line:.3f} s, "
          f"ratio {python / command_line:.2f}")

    samples = [{"pdose": 0.0001 * (k + 1), "ppuls": 1} for k in range(SUBJECTS)]
    settings = dict(tstop=720, cint=1)

    def loop():
        with tarn.Model() as model:
            for sample in samples:
                model.reset()
                model.update(sample)
                model.run(outputs=["ca_np"], frame=False, **settings)

    def population(workers, **options):
        result = tarn.run_population(samples, ["ca_np"], workers=workers, frame=False,
                                     progress=False, **settings, **options)
        assert not result.errors

    plain = fastest(loop)
    one = fastest(lambda: population(1))
    two = fastest(lambda: population(2))
    print(f"{SUBJECTS} subjects x 720 h: loop {plain:.2f} s, workers=1 {one:.2f} s "
          f"({one / plain:.2f} x the loop), workers=2 {two:.2f} s ({plain / two:.2f} x faster "
          "than the loop)")

    one = fastest(lambda: population(1, backend="threads", algorithm="cvode"))
    two = fastest(lambda: population(2, backend="threads", algorithm="cvode"))
    print(f"{SUBJECTS} subjects x 720 h with CVODE on threads: workers=1 {one:.2f} s, "
          f"workers=2 {two:.2f} s ({one / two:.2f} x faster)")


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "build")
