"""Population runs: one model run per parameter set, in parallel processes.

Instances of the library share one data block, so runs are parallel across processes, never
threads. Locally every sample runs in a process of its own, forked from a helper process that
has loaded the library, so a sample that crashes its process costs only that sample. With a
dask.distributed client the runs are submitted to that cluster instead; its workers should be
processes (runs within one worker process take turns).

As with any multiprocessing code, a script calls run_population under
`if __name__ == "__main__":`.
"""

import multiprocessing
import numbers
import os
import pickle
import selectors
import signal
import uuid
from collections import deque
from collections.abc import Mapping, Sequence
from dataclasses import dataclass, field

from ._library import algorithm_code, load
from ._tolerances import checked_tolerance
from .errors import OutOfRangeError, TarnError, UnknownSymbolError, WrongTypeError
from .model import DEFAULT_OUTPUTS, Model, _as_result, status_log
from .progress import ProgressBar


@dataclass
class SampleOutcome:
    """The outcome of one sample: its result (a time course) or its error message."""

    index: int
    parameters: dict
    result: object = field(default=None, repr=False)
    error: str = None

    @property
    def ok(self):
        return self.error is None


class PopulationResult(Sequence):
    """The outcomes of a population run, one SampleOutcome per sample in input order."""

    def __init__(self, outcomes):
        self._outcomes = list(outcomes)

    def __getitem__(self, position):
        return self._outcomes[position]

    def __len__(self):
        return len(self._outcomes)

    @property
    def results(self):
        """{sample index: time course} of the samples that ran, in input order."""
        return {o.index: o.result for o in self._outcomes if o.ok}

    @property
    def errors(self):
        """{sample index: error message} of the samples that failed, in input order."""
        return {o.index: o.error for o in self._outcomes if not o.ok}

    def summary(self, output, times, percentiles=(5, 50, 95), frame=None):
        """Percentiles of `output` across the successful samples at each of `times` (hours,
        linearly interpolated between output points).

        Columns: t, n (samples), then one per percentile: p5, median, p95 by default. A
        pandas.DataFrame when pandas is installed (frame=None) or frame is True, else a dict of
        numpy arrays.
        """
        import numpy
        results = list(self.results.values())
        if not results:
            raise TarnError("no sample of the population ran successfully")
        times = numpy.atleast_1d(numpy.asarray(times, dtype=float))
        if output not in results[0]:
            raise UnknownSymbolError(
                f"{output!r} is not an output of this population; its outputs are "
                f"{[name for name in results[0] if name != 't']}", output)
        values = numpy.array([numpy.interp(times, numpy.asarray(r["t"]),
                                           numpy.asarray(r[output], dtype=float))
                              for r in results])
        columns = {"t": times, "n": numpy.full(times.shape, len(results))}
        for percentile in percentiles:
            name = "median" if percentile == 50 else f"p{percentile:g}"
            columns[name] = numpy.percentile(values, percentile, axis=0)
        return _as_result(columns, frame)

    def __repr__(self):
        return (f"<PopulationResult: {len(self) - len(self.errors)} succeeded, "
                f"{len(self.errors)} failed>")


def run_population(samples, outputs=None, tstop=None, workers=None, client=None, *, cint=None,
                   algorithm=None, progress=None, frame=None, library=None, rtol=None,
                   atol=None):
    """Runs the model once per parameter set and returns a PopulationResult in input order.

    samples: a sequence of mappings {parameter name: value}, or a pandas.DataFrame with one row
    per sample. outputs, tstop, cint, algorithm, rtol and atol are as for Model.run. workers: how
    many processes run at once (default: the machine's processor count). client: a
    dask.distributed.Client to run the samples on instead. progress: show a progress bar on
    standard error (default: when it is a terminal). library: the libtarn.so path (default: as
    Model finds it); dask workers load the same path.

    Every name and value is checked before anything runs (an unknown name or a value of the
    wrong type raises at once). A sample whose run fails is reported in .errors with its message
    and costs no other sample.
    """
    lib = load(library)
    parameter_sets = _checked_samples(lib, samples)
    output_names = [symbol.name for symbol in
                    lib.output_symbols(DEFAULT_OUTPUTS if outputs is None else outputs)]
    settings = {}
    if tstop is not None:
        settings["tstop"] = lib.check(lib.symbol("tstop"), tstop)
    if cint is not None:
        settings["cint"] = lib.check(lib.symbol("cint"), cint)
    if algorithm is not None:
        settings["algorithm"] = algorithm_code(algorithm)
    for name, tolerance in (("rtol", rtol), ("atol", atol)):
        if tolerance is not None:
            settings[name] = checked_tolerance(name, tolerance)
    tasks = [(index, (lib.path, parameters, output_names, settings))
             for index, parameters in enumerate(parameter_sets)]

    with ProgressBar(len(tasks), "tarn population", enabled=progress) as bar:
        if not tasks:
            raw = {}
        elif client is not None:
            raw = _run_on_cluster(client, tasks, bar)
        else:
            raw = _run_in_processes(tasks, lib.path, _worker_count(workers), bar)

    outcomes = []
    for index, parameters in enumerate(parameter_sets):
        columns, error = raw[index]
        if error is not None:
            described = ", ".join(f"{k}={v!r}" for k, v in parameters.items()) or "defaults"
            error = f"sample {index} ({described}): {error}"
            outcomes.append(SampleOutcome(index, parameters, None, error))
        else:
            outcomes.append(SampleOutcome(index, parameters, _as_result(columns, frame)))
    return PopulationResult(outcomes)


def _checked_samples(lib, samples):
    if hasattr(samples, "to_dict") and hasattr(samples, "columns"):
        samples = samples.to_dict("records")
    if isinstance(samples, (str, bytes, Mapping)) or not hasattr(samples, "__iter__"):
        raise WrongTypeError("samples must be a sequence of parameter mappings or a DataFrame, "
                             f"not {type(samples).__name__}")
    checked = []
    for index, sample in enumerate(samples):
        if not isinstance(sample, Mapping):
            raise WrongTypeError(f"sample {index} is a {type(sample).__name__}, not a mapping "
                                 "of parameter names to values")
        parameters = {}
        for name, value in sample.items():
            try:
                symbol = lib.symbol(name)
                parameters[symbol.name] = lib.check(symbol, _plain(value))
            except UnknownSymbolError as error:
                raise UnknownSymbolError(f"sample {index}: {error}", error.name) from None
            except (WrongTypeError, OutOfRangeError) as error:
                raise type(error)(f"sample {index}: {error}") from None
        checked.append(parameters)
    return checked


def _plain(value):
    """numpy scalars (a DataFrame row's values) as Python numbers."""
    if type(value).__module__ == "numpy" and hasattr(value, "item"):
        return value.item()
    return value


def _worker_count(workers):
    if workers is None:
        return os.cpu_count() or 1
    if isinstance(workers, bool) or not isinstance(workers, numbers.Integral):
        raise WrongTypeError(f"workers takes an integer, not {workers!r}")
    if workers < 1:
        raise OutOfRangeError(f"workers must be at least 1, not {workers}")
    return int(workers)


def _run_sample(library_path, parameters, outputs, settings):
    """Runs one sample in this process; returns (columns, None) or (None, error message)."""
    lib = load(library_path)
    with lib.lock:
        # The error message carries what matters; the library's messages stay out of the log.
        was_disabled, status_log.disabled = status_log.disabled, True
        try:
            model = Model(lib)
            try:
                model.update(parameters)
                return model.run(outputs=outputs, frame=False, **settings), None
            finally:
                model.close()
        except Exception as error:
            return None, str(error) if isinstance(error, TarnError) else \
                f"{type(error).__name__}: {error}"
        finally:
            status_log.disabled = was_disabled


def _describe_end(status):
    """What a wait status says about a sample's process that sent no result."""
    code = os.waitstatus_to_exitcode(status)
    if code < 0:
        try:
            return f"the sample's process was killed by {signal.Signals(-code).name}"
        except ValueError:
            return f"the sample's process was killed by signal {-code}"
    return f"the sample's process ended with exit status {code} without a result"


def _fork_samples(connection, library_path, workers):
    """The helper process of a local population run.

    It loads the library once, then forks a fresh process per sample, at most `workers` at a
    time; each child runs its sample, writes the pickled outcome to a pipe of its own and exits.
    The helper sends (index, outcome) to the parent as each child ends, and reports a child that
    ended without an outcome (a crash) as that sample's error. The helper is single-threaded, so
    forking it is safe.
    """
    import numpy  # noqa: F401  (imported once here rather than in every sample's process)
    load(library_path)
    tasks = deque(connection.recv())
    running = {}  # read end of a child's pipe -> (sample index, child pid, bytes read)
    with selectors.DefaultSelector() as selector:
        while tasks or running:
            while tasks and len(running) < workers:
                index, arguments = tasks.popleft()
                read_end, write_end = os.pipe()
                pid = os.fork()
                if pid == 0:  # the sample's process
                    status = 1
                    try:
                        os.close(read_end)
                        with os.fdopen(write_end, "wb") as pipe:
                            pipe.write(pickle.dumps(_run_sample(*arguments)))
                        status = 0
                    finally:
                        os._exit(status)
                os.close(write_end)
                running[read_end] = (index, pid, [])
                selector.register(read_end, selectors.EVENT_READ)
            for key, _ in selector.select():
                read_end = key.fd
                chunk = os.read(read_end, 1 << 16)
                if chunk:
                    running[read_end][2].append(chunk)
                    continue
                selector.unregister(read_end)
                os.close(read_end)
                index, pid, chunks = running.pop(read_end)
                _, status = os.waitpid(pid, 0)
                if status == 0 and chunks:
                    outcome = pickle.loads(b"".join(chunks))
                else:
                    outcome = (None, _describe_end(status))
                connection.send((index, outcome))
    connection.close()


def _run_in_processes(tasks, library_path, workers, bar):
    context = multiprocessing.get_context("spawn")
    receiver, helper_end = context.Pipe()
    helper = context.Process(target=_fork_samples, args=(helper_end, library_path, workers),
                             name="tarn-population", daemon=True)
    helper.start()
    helper_end.close()
    outcomes = {}
    try:
        receiver.send(tasks)
        while len(outcomes) < len(tasks):
            try:
                index, outcome = receiver.recv()
            except EOFError:  # the helper itself ended: every sample not done is lost
                helper.join()
                reason = f"the population's helper process ended with exit code {helper.exitcode}"
                for index, _ in tasks:
                    outcomes.setdefault(index, (None, reason))
                break
            outcomes[index] = outcome
            bar.advance()
    finally:
        receiver.close()
        helper.join(timeout=5)
        if helper.is_alive():
            helper.terminate()
            helper.join()
    return outcomes


def _run_on_cluster(client, tasks, bar):
    from distributed import as_completed
    batch = uuid.uuid4().hex
    futures = {client.submit(_run_sample, *arguments, pure=False,
                             key=f"tarn-sample-{index}-{batch}"): index
               for index, arguments in tasks}
    outcomes = {}
    for future in as_completed(futures):
        index = futures[future]
        try:
            outcomes[index] = future.result()
        except Exception as error:  # the task could not run: a lost worker, for example
            outcomes[index] = (None, f"{type(error).__name__}: {error}")
        future.release()
        bar.advance()
    return outcomes

