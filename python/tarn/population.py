"""Population runs: one model run per parameter set, in parallel processes or threads.

By default the samples run on worker processes of this package's own program
(tarn._worker), started afresh with this Python and talking over pipes, so the caller's main
module is never imported again: run_population works from a script without a main guard, from
standard input, from `python -c` and from a notebook. Each worker loads the library once and runs
sample after sample, resetting its model in between. A sample that crashes its worker fails
alone and the worker is replaced. With a dask.distributed client the runs are submitted to that
cluster instead (runs within one dask worker process take turns). With backend="threads" they
run on threads of this process, each with a Model of its own: CVODE and the runtime's own methods
run in parallel, while the steps of DLSODES (the default algorithm) take turns, its solver
keeping its integration in process-wide storage, so DLSODES populations gain nothing from
threads.
"""

import numbers
import os
import pickle
import selectors
import signal
import struct
import subprocess
import sys
import threading
import uuid
from collections import deque
from concurrent.futures import ThreadPoolExecutor, as_completed
from pathlib import Path
from collections.abc import Mapping, Sequence
from dataclasses import dataclass, field

from ._library import algorithm_code, load
from .errors import OutOfRangeError, TarnError, UnknownSymbolError, WrongTypeError
from .model import DEFAULT_OUTPUTS, Model, _as_result, status_log
from .plotting import plot_bands
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
        for r in results:
            start, end = numpy.asarray(r["t"], dtype=float)[[0, -1]]
            outside = times[(times < start) | (times > end)]
            if outside.size:
                raise OutOfRangeError(f"time {outside[0]:g} h lies outside the runs, which go "
                                      f"from {start:g} to {end:g} h")
        values = numpy.array([numpy.interp(times, numpy.asarray(r["t"]),
                                           numpy.asarray(r[output], dtype=float))
                              for r in results])
        columns = {"t": times, "n": numpy.full(times.shape, len(results))}
        for percentile in percentiles:
            name = "median" if percentile == 50 else f"p{percentile:g}"
            columns[name] = numpy.percentile(values, percentile, axis=0)
        return _as_result(columns, frame)

    def plot(self, outputs, percentiles=(5, 50, 95), **options):
        """A figure of percentile bands across the successful samples, one panel per output (a
        name or a list of names): the band spans the lowest to the highest percentile, the line
        is the middle one. options are those of tarn.plot (log, time_unit, title, figsize)."""
        results = list(self.results.values())
        if not results:
            raise TarnError("no sample of the population ran successfully")
        outputs = [outputs] if isinstance(outputs, str) else list(outputs)
        times = results[0]["t"]
        summaries = {name: self.summary(name, times, sorted(percentiles), frame=False)
                     for name in outputs}
        return plot_bands(summaries, **options)

    def __repr__(self):
        return (f"<PopulationResult: {len(self) - len(self.errors)} succeeded, "
                f"{len(self.errors)} failed>")


_BACKENDS = ("processes", "threads", "dask")


def run_population(samples, outputs=None, tstop=None, workers=None, client=None, *, cint=None,
                   algorithm=None, rtol=None, atol=None, progress=None, frame=None,
                   library=None, backend=None):
    """Runs the model once per parameter set and returns a PopulationResult in input order.

    samples: a sequence of mappings {parameter name: value}, or a pandas.DataFrame with one row
    per sample. outputs, tstop, cint, algorithm, rtol and atol are as for Model.run. workers:
    how many processes (or threads) run at once (default: the machine's processor count).
    client: a dask.distributed.Client to run the samples on instead. backend: "processes" (the
    default without a client), "threads" (threads of this process; parallel with CVODE and the
    runtime's own methods, while DLSODES steps take turns) or "dask" (the default with a
    client, which it needs). progress: show a progress bar on
    standard error (default: when it is a terminal). library: the libtarn.so path (default: as
    Model finds it); dask workers load the same path.

    Every name and value is checked before anything runs (an unknown name or a value of the
    wrong type raises at once). A sample whose run fails is reported in .errors with its message
    and costs no other sample.
    """
    if backend is None:
        backend = "dask" if client is not None else "processes"
    if backend not in _BACKENDS:
        raise OutOfRangeError(f"backend must be one of {', '.join(_BACKENDS)}, not {backend!r}")
    if (backend == "dask") != (client is not None):
        raise WrongTypeError("a dask client goes with backend='dask', and only with it")
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
    for kind, tolerance in (("rtol", rtol), ("atol", atol)):
        if tolerance is not None:
            lib.checked_tolerances(tolerance, kind)
            settings[kind] = tolerance
    tasks = [(index, (lib.path, parameters, output_names, settings))
             for index, parameters in enumerate(parameter_sets)]

    with ProgressBar(len(tasks), "tarn population", enabled=progress) as bar:
        if not tasks:
            raw = {}
        elif backend == "dask":
            raw = _run_on_cluster(client, tasks, bar)
        elif backend == "threads":
            raw = _run_on_threads(tasks, lib, _worker_count(workers), bar)
        else:
            raw = _run_on_workers(tasks, lib.path, _worker_count(workers), bar)

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
    """Runs one sample on a Model of its own in this process (a dask worker); returns
    (columns, None) or (None, error message)."""
    lib = load(library_path)
    with lib.lock:
        was_disabled, status_log.disabled = status_log.disabled, True
        try:
            with Model(lib) as model:
                return _run_sample_on(model, parameters, outputs, settings)
        except TarnError as error:
            return None, str(error)
        finally:
            status_log.disabled = was_disabled


# ---- Local worker processes ------------------------------------------------------------------
# Tasks go to a worker on its standard input and outcomes come back on its original standard
# output, each a frame of an 8-byte length and a pickle; anything the library itself prints goes
# to the worker's standard error instead.

_HEADER = struct.Struct("<Q")


def _write_frame(stream, value):
    data = pickle.dumps(value, protocol=pickle.HIGHEST_PROTOCOL)
    stream.write(_HEADER.pack(len(data)) + data)
    stream.flush()


def _read_frame(stream):
    """The next value, or None at the end of the stream."""
    header = stream.read(_HEADER.size)
    if len(header) < _HEADER.size:
        return None
    return pickle.loads(stream.read(_HEADER.unpack(header)[0]))


def _take_frames(buffer):
    """The values of the complete frames at the start of a bytearray, which loses them."""
    values = []
    while len(buffer) >= _HEADER.size:
        end = _HEADER.size + _HEADER.unpack_from(buffer)[0]
        if len(buffer) < end:
            break
        values.append(pickle.loads(buffer[_HEADER.size:end]))
        del buffer[:end]
    return values


def _run_sample_on(model, parameters, outputs, settings):
    """Runs one sample on an open Model; returns (columns, None) or (None, error message)."""
    try:
        model.reset()
        model.update(parameters)
        return model.run(outputs=outputs, frame=False, **settings), None
    except TarnError as error:
        return None, str(error)
    except Exception as error:
        return None, f"{type(error).__name__}: {error}"


def serve(library_path):
    """The worker loop (tarn._worker runs it)."""
    signal.signal(signal.SIGINT, signal.SIG_IGN)
    outcomes = os.fdopen(os.dup(sys.stdout.fileno()), "wb")
    os.dup2(sys.stderr.fileno(), sys.stdout.fileno())
    tasks = sys.stdin.buffer

    # The error message carries what matters; the library's messages stay out of the log.
    status_log.disabled = True
    model = Model(library_path)
    while (task := _read_frame(tasks)) is not None:
        index, parameters, outputs, settings = task
        _write_frame(outcomes, (index, _run_sample_on(model, parameters, outputs, settings)))


def _describe_end(returncode):
    """What the exit status of a worker that died during a sample says."""
    if returncode < 0:
        try:
            return f"the sample's worker process was killed by {signal.Signals(-returncode).name}"
        except ValueError:
            return f"the sample's worker process was killed by signal {-returncode}"
    return f"the sample's worker process ended with exit status {returncode} without a result"


class _Worker:
    """One worker process and the sample it runs."""

    def __init__(self, library_path):
        package_parent = str(Path(__file__).resolve().parents[1])
        environment = dict(os.environ)
        environment["PYTHONPATH"] = os.pathsep.join(
            [package_parent] + [p for p in environment.get("PYTHONPATH", "").split(os.pathsep)
                                if p])
        self.process = subprocess.Popen(
            [sys.executable, "-m", "tarn._worker", library_path], stdin=subprocess.PIPE,
            stdout=subprocess.PIPE, env=environment)
        self.task = None
        self.finished_any = False
        self._received = bytearray()

    @property
    def fd(self):
        return self.process.stdout.fileno()

    def send(self, task):
        index, arguments = task
        self.task = task
        try:
            _write_frame(self.process.stdin, (index, *arguments[1:]))
        except BrokenPipeError:  # the worker died; its end of output reports it
            pass

    def receive(self):
        """Reads what is available: the (index, outcome) frames complete so far, or None when the
        worker's output ended."""
        chunk = os.read(self.fd, 1 << 20)
        if not chunk:
            return None
        self._received += chunk
        return _take_frames(self._received)

    def close(self, kill=False):
        if kill:
            self.process.kill()
        try:
            self.process.stdin.close()
        except OSError:
            pass
        try:
            self.process.wait(timeout=None if kill else 10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        self.process.stdout.close()


def _run_on_workers(tasks, library_path, workers, bar):
    """Runs the tasks on up to `workers` worker processes, one sample in flight per worker;
    returns {sample index: outcome}."""
    pending = deque(tasks)
    outcomes = {}
    pool = []
    interrupted = True
    with selectors.DefaultSelector() as selector:
        def start_worker():
            worker = _Worker(library_path)
            pool.append(worker)
            selector.register(worker.fd, selectors.EVENT_READ, worker)
            worker.send(pending.popleft())

        def retire(worker, kill=False):
            selector.unregister(worker.fd)
            pool.remove(worker)
            worker.close(kill)

        try:
            for _ in range(min(workers, len(pending))):
                start_worker()
            while len(outcomes) < len(tasks):
                for key, _ in selector.select():
                    worker = key.data
                    frames = worker.receive()
                    if frames is None:  # the worker died during its sample
                        retire(worker)
                        status = worker.process.returncode
                        if status > 0 and not worker.finished_any:
                            # An exit status, not a signal, before any result: Python or the
                            # library failed to start, and every worker would.
                            raise TarnError(
                                "a population worker process could not start: "
                                f"'{sys.executable} -m tarn._worker' ended with exit status "
                                f"{status} (its error is on standard error)")
                        outcomes[worker.task[0]] = (None, _describe_end(status))
                        bar.advance()
                        if pending:
                            start_worker()
                        continue
                    for index, outcome in frames:
                        outcomes[index] = outcome
                        bar.advance()
                        worker.finished_any = True
                        worker.task = None
                        if pending:
                            worker.send(pending.popleft())
                        else:
                            retire(worker)
            interrupted = False
        finally:
            for worker in list(pool):
                retire(worker, kill=interrupted)
    return outcomes


def _run_on_threads(tasks, lib, workers, bar):
    """Runs the tasks on `workers` threads, each with a Model of its own that it resets between
    samples; returns {sample index: outcome}."""
    local = threading.local()
    models = []
    models_lock = threading.Lock()

    def run(parameters, outputs, settings):
        if not hasattr(local, "model"):
            local.model = Model(lib)
            with models_lock:
                models.append(local.model)
        return _run_sample_on(local.model, parameters, outputs, settings)

    was_disabled, status_log.disabled = status_log.disabled, True
    executor = ThreadPoolExecutor(max_workers=workers, thread_name_prefix="tarn-population")
    futures = {executor.submit(run, *arguments[1:]): index for index, arguments in tasks}
    outcomes = {}
    try:
        for future in as_completed(futures):
            outcomes[futures[future]] = future.result()
            bar.advance()
    except BaseException:
        for future in futures:
            future.cancel()
        with models_lock:
            for model in models:
                model._stop(None)
        raise
    finally:
        executor.shutdown(wait=True)
        status_log.disabled = was_disabled
        for model in models:
            model.close()
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

