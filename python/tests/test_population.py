"""Population runs in processes and on a dask cluster: order, failures, checks, summaries."""

import os
import signal
import sys
import threading
import time

import numpy
import pandas
import pytest

import tarn

OUTPUTS = ["ca_p", "ca_np"]


def dosed_samples(count):
    """Samples whose perchlorate doses differ, so that each result shows which sample it is."""
    return [{"pdose": 0.001 * (index + 1), "ppuls": 1} for index in range(count)]


def assert_in_input_order(population, samples, skip=()):
    # Over a day, plasma perchlorate grows with the dose: results ordered like their doses.
    finals = [population.results[index]["ca_p"].iloc[-1]
              for index in range(len(samples)) if index not in skip]
    assert finals == sorted(finals) and len(set(finals)) == len(finals)
    for outcome, sample in zip(population, samples):
        assert outcome.parameters == sample


def test_fifty_samples_on_two_workers_come_back_in_order(library):
    samples = dosed_samples(50)
    population = tarn.run_population(samples, OUTPUTS, tstop=24, workers=2, rtol=1e-6)
    assert len(population) == 50 and len(population.results) == 50 and not population.errors
    assert [outcome.index for outcome in population] == list(range(50))
    assert_in_input_order(population, samples)
    # Each result is the run a Model gives for the same parameters and tolerances.
    with tarn.Model(library, **samples[7]) as model:
        direct = model.run(tstop=24, outputs=OUTPUTS, rtol=1e-6)
    pandas.testing.assert_frame_equal(population.results[7], direct)


def test_a_failing_sample_is_reported_and_costs_no_other(library):
    samples = dosed_samples(50)
    # A cardiac output 65000 times the normal one makes the equations very stiff, and the
    # non-stiff method without a Jacobian takes tiny steps.
    samples[17] = {"qcc": 1e6, "omfitg": 210}
    population = tarn.run_population(samples, OUTPUTS, tstop=24, workers=2)
    assert len(population.results) == 49 and list(population.errors) == [17]
    # On threads (DLSODES taking turns), the same outcomes to the last bit.
    threaded = tarn.run_population(samples, OUTPUTS, tstop=24, workers=2, backend="threads")
    assert threaded.errors == population.errors
    for index, result in population.results.items():
        pandas.testing.assert_frame_equal(threaded.results[index], result, check_exact=True)
    assert population.errors[17] == (
        "sample 17 (qcc=1000000.0, omfitg=210): the run stopped at t = 0.005 h, "
        "before tstop = 24 h: ERROR: Exceeded max allowed number of integration steps in DLSODES.")
    assert not population[17].ok and population[17].result is None
    assert_in_input_order(population, samples, skip={17})


def test_a_dask_cluster_with_process_workers_runs_the_same_population(library):
    distributed = pytest.importorskip("distributed")
    samples = dosed_samples(50)
    samples[31] = {"bwpre": 1e200}
    local = tarn.run_population(samples, OUTPUTS, tstop=24, workers=2)
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  host="127.0.0.1", dashboard_address=None) as cluster, \
            distributed.Client(cluster) as client:
        on_cluster = tarn.run_population(samples, OUTPUTS, tstop=24, client=client)
    assert len(on_cluster.results) == 49
    assert on_cluster.errors == {
        31: "sample 31 (bwpre=1e+200): the run ended with an exception in the model at t = 0 h: "
            "Run ended by an exception: floating point error"}
    assert on_cluster.errors == local.errors
    for index, result in local.results.items():
        pandas.testing.assert_frame_equal(on_cluster.results[index], result)


def test_samples_are_checked_before_anything_runs(library):
    with pytest.raises(tarn.UnknownSymbolError, match="sample 2: unknown symbol 'pdos'"):
        tarn.run_population([{}, {}, {"pdos": 1}], OUTPUTS, tstop=1)
    with pytest.raises(tarn.WrongTypeError, match="sample 1: pdose takes a number"):
        tarn.run_population([{}, {"pdose": "high"}], OUTPUTS, tstop=1)
    with pytest.raises(tarn.OutOfRangeError, match="cint must be positive"):
        tarn.run_population([{}], OUTPUTS, tstop=1, cint=-1)
    with pytest.raises(tarn.UnknownSymbolError, match="unknown symbol 'nosuch'"):
        tarn.run_population([{}], ["nosuch"], tstop=1)
    with pytest.raises(tarn.WrongTypeError, match="output vft is a table"):
        tarn.run_population([{}], ["ca_p", "vft"], tstop=1)
    with pytest.raises(tarn.WrongTypeError, match="sample 0 is a float"):
        tarn.run_population([0.5], OUTPUTS, tstop=1)
    with pytest.raises(tarn.OutOfRangeError, match="atol must be a finite zero or positive"):
        tarn.run_population([{}], OUTPUTS, tstop=1, atol=-1)
    with pytest.raises(tarn.OutOfRangeError, match="workers must be at least 1"):
        tarn.run_population([{}], OUTPUTS, tstop=1, workers=0)
    with pytest.raises(tarn.OutOfRangeError, match="backend must be one of"):
        tarn.run_population([{}], OUTPUTS, tstop=1, backend="fork")
    with pytest.raises(tarn.WrongTypeError, match="a dask client goes with backend='dask'"):
        tarn.run_population([{}], OUTPUTS, tstop=1, backend="dask")
    assert len(tarn.run_population([], OUTPUTS, tstop=1)) == 0


def test_samples_from_a_data_frame_and_the_summary_table(library):
    frame = pandas.DataFrame({"pdose": [0.001, 0.002, 0.003, 0.004], "ppuls": 1})
    population = tarn.run_population(frame, OUTPUTS, tstop=12, workers=2, frame=False)
    assert population[2].parameters == {"pdose": 0.003, "ppuls": 1.0}
    summary = population.summary("ca_np", [6, 12], percentiles=(5, 50, 95), frame=False)
    values = numpy.array([[r["ca_np"][r["t"] == t][0] for t in (6, 12)]
                          for r in population.results.values()])
    assert list(summary) == ["t", "n", "p5", "median", "p95"]
    numpy.testing.assert_array_equal(summary["n"], [4, 4])
    numpy.testing.assert_allclose(summary["median"], numpy.median(values, axis=0))
    numpy.testing.assert_allclose(summary["p95"], numpy.percentile(values, 95, axis=0))
    with pytest.raises(tarn.UnknownSymbolError, match="'ca_i' is not an output"):
        population.summary("ca_i", [6])


def worker_processes():
    """This process's live population workers."""
    workers = []
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                with open(f"/proc/{entry}/stat") as stat:
                    state, parent = stat.read().rsplit(")", 1)[1].split()[:2]
                with open(f"/proc/{entry}/cmdline", "rb") as cmdline:
                    command = cmdline.read()
            except (OSError, ValueError):
                continue
            if state != "Z" and int(parent) == os.getpid() and b"tarn._worker" in command:
                workers.append(int(entry))
    return workers


def test_a_sample_whose_worker_crashes_costs_no_other_and_the_worker_is_replaced(library):
    killed = []

    def kill_one_worker():
        deadline = time.monotonic() + 60
        while not killed and time.monotonic() < deadline:
            running = worker_processes()
            if running:
                try:
                    os.kill(running[0], signal.SIGKILL)
                    killed.append(running[0])
                except ProcessLookupError:  # it ended between the look and the kill
                    pass
            time.sleep(0.01)

    killer = threading.Thread(target=kill_one_worker)
    killer.start()
    # Runs of a second or more each, so that one is surely running when the killer looks; one
    # worker for four samples, so that the killed one must be replaced for the others to run.
    samples = dosed_samples(4)
    population = tarn.run_population(samples, OUTPUTS, tstop=6000, workers=1)
    killer.join()
    assert killed and len(population.results) == 3
    (index, message), = population.errors.items()
    assert message.endswith("the sample's worker process was killed by SIGKILL")
    assert [(outcome.index, outcome.parameters) for outcome in population] == \
        list(enumerate(samples))


def test_workers_that_cannot_start_raise_instead_of_failing_every_sample(library, monkeypatch):
    monkeypatch.setattr(sys, "executable", "/bin/false")
    with pytest.raises(tarn.TarnError, match="a population worker process could not start: "
                                             "'/bin/false -m tarn._worker' ended with exit "
                                             "status 1"):
        tarn.run_population([{}, {}, {}], OUTPUTS, tstop=1, workers=2)
    assert not worker_processes()
