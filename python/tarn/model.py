"""Model: one instance of the library's model, driven from Python.

All instances of the library share the model's one data block and its one execution manager, so a
process holds one live Model: opening a Model closes the one opened before it (further use of the
old one raises ModelClosedError). Parallel runs go through separate processes
(tarn.run_population).

Runs execute on the calling thread; callbacks arrive on it during run(), step() and run_to().
"""

import enum
import logging
import math
import numbers
import re
from collections import namedtuple

from ._library import (DISCRETE_EVENT_CALLBACK, STATE_CHANGE_CALLBACK,
                       STATUS_CALLBACK, TICK_CALLBACK, Library, algorithm_code, load)
from ._tolerances import state_tolerances
from .errors import ModelClosedError, OutOfRangeError, RunError, TarnError, WrongTypeError

log = logging.getLogger("tarn")
status_log = logging.getLogger("tarn.status")

# Outputs recorded when run() is given none: plasma iodide and perchlorate of mother and infant,
# thyroid iodide stores, and the thyroid hormones T4 and T3 (the command line's default columns).
DEFAULT_OUTPUTS = ("ca_i", "ca_ni", "ca_p", "ca_np", "athyt_i", "atgi_n", "ct4", "ct3", "ct4_n",
                   "ct3_n")

_DERIVATIVE_SECTION = 500
_DOUBLE = 4
_TICK_OUTPUT = 0
# Two times closer than this fraction of the larger of their magnitude and cint are the same time.
_TIME_TOLERANCE = 1e-9

Parameter = namedtuple("Parameter", "name default value")
Parameter.__doc__ = "A model parameter with its default and its present value."


class ExecutionState(enum.IntEnum):
    """Execution states reported to state-change callbacks."""

    NONE = 0
    STARTED = 1
    INITIALIZED = 3
    ENDED = 5
    DEBUG_STARTED = 6
    DEBUG_ENDED = 7
    DEBUG_PAUSED = 8
    DEBUG_CONTINUED = 9
    EXCEPTION = 10
    CONTINUE_REQUESTED = 11


def _execution_state(code):
    try:
        return ExecutionState(code)
    except ValueError:
        return code


class Registration:
    """A callback registered with a Model. It stays registered (and the Python function alive)
    until remove() is called or the Model is closed."""

    def __init__(self, model, callback, entries):
        self._model = model
        self.callback = callback
        self._entries = entries  # (user value, section or None) per library registration

    @property
    def active(self):
        return any(value in self._model._callbacks for value, _ in self._entries)

    def remove(self):
        """Stops calls to the callback. During a run it takes effect at once; the library's
        registration is removed when the run returns."""
        self._model._remove(self._entries)


class Model:
    """One instance of the model.

    Model(library=None, **parameters): loads the library (an explicit path, TARN_LIBRARY, the
    build tree, then the installed location), creates an instance with every parameter at its
    default, then applies the given parameter values.

    Symbols are read and written by name in any case: model["pdose"], model["PDOSE"] = 0.01,
    model.update(pdose=0.01, ppuls=1). Parameters, run settings (cint, ialg, nstp, maxt, mint and
    the *itg controls) and states can be written; every scalar symbol can be read.
    """

    def __init__(self, library=None, **parameters):
        self._lib = library if isinstance(library, Library) else load(library)
        self._instance = 0
        self._closed_because = "it was never opened"
        self._callbacks = {}  # user value -> (library callback object, section or None)
        self._pending_removals = []
        self._next_user_value = 1
        self._recording = None
        self._run_messages = None
        self._exception_time = None
        self._interrupt = None
        self._busy = False
        self._prepared = False
        lib = self._lib
        with lib.lock:
            if lib.owner is not None:
                lib.owner._check_idle()
                lib.owner._release("a newer Model replaced it (instances of the library share "
                                   "one data block, so a process holds one Model at a time)")
            instance = lib.dll.TarnCreate()
            if instance == 0:
                raise TarnError("the library has no free instance")
            self._instance = instance
            lib.owner = self
            lib.restore_defaults(instance)
            self._add_internal_callbacks()
        if parameters:
            self.update(parameters)

    # ---- Lifecycle -----------------------------------------------------------------------------

    def close(self):
        """Destroys the instance. Further use raises ModelClosedError."""
        with self._lib.lock:
            if self._instance:
                self._check_idle()
                self._release("it was closed")

    def _release(self, reason):
        self._lib.dll.TarnDestroy(self._instance)
        if self._lib.owner is self:
            self._lib.owner = None
        self._instance = 0
        self._closed_because = reason
        self._callbacks.clear()
        self._internal_callbacks = ()

    @property
    def closed(self):
        return self._instance == 0

    def __enter__(self):
        return self

    def __exit__(self, *exc_info):
        self.close()

    def __del__(self):
        try:
            if self._instance and self._lib.owner is self:
                self.close()
        except Exception:  # interpreter shutdown: the library may already be gone
            pass

    def _open_instance(self):
        if not self._instance:
            raise ModelClosedError(f"this Model cannot be used: {self._closed_because}")
        return self._instance

    def __repr__(self):
        if not self._instance:
            return "<tarn.Model (closed)>"
        return f"<tarn.Model instance {self._instance} at t = {self.time:g} h>"

    # ---- Symbols -------------------------------------------------------------------------------

    @property
    def library(self):
        return self._lib

    def symbol(self, name):
        """The description (tarn.Symbol) of the symbol called `name`."""
        return self._lib.symbol(name)

    def __contains__(self, name):
        return isinstance(name, str) and name.isascii() and "\0" not in name and \
            self._lib.dll.TarnGetSymbolIndex(name.encode("ascii")) != 0

    def __getitem__(self, name):
        with self._lib.lock:
            return self._lib.read(self._open_instance(), self._lib.symbol(name))

    def __setitem__(self, name, value):
        self.update({name: value})

    def update(self, values=None, /, **parameters):
        """Writes several symbols: a mapping and/or keywords, names in any case. Every name and
        value is checked before anything is written."""
        items = list(dict(values or {}).items()) + list(parameters.items())
        with self._lib.lock:
            instance = self._open_instance()
            checked = []
            for name, value in items:
                symbol = self._lib.symbol(name)
                checked.append((symbol, self._lib.check(symbol, value)))
            for symbol, value in checked:
                self._lib.write(instance, symbol, value)

    def parameters(self):
        """Every parameter as Parameter(name, default, value), in symbol table order."""
        with self._lib.lock:
            instance = self._open_instance()
            return [Parameter(symbol.name, self._lib.default(symbol),
                              self._lib.read(instance, symbol))
                    for symbol in self._lib.parameters()]

    def reset(self):
        """Puts every parameter and run setting back to its default; the next step() or run_to()
        starts a fresh run from the initial conditions."""
        with self._lib.lock:
            self._lib.restore_defaults(self._open_instance())
            self._prepared = False

    @property
    def time(self):
        """The model time t, in hours."""
        return self["t"]

    def states(self):
        """Every state's present value, by state name."""
        with self._lib.lock:
            instance = self._open_instance()
            return {symbol.name: self._lib.read(instance, symbol)
                    for symbol in self._lib.states()}

    def derivatives(self):
        """Every state's present derivative (as last evaluated), by state name."""
        with self._lib.lock:
            instance = self._open_instance()
            symbols = self._lib.symbols
            return {symbol.name: self._lib.read(instance, symbols[symbol.derivative_index])
                    for symbol in self._lib.states()}

    def calc_derivatives(self):
        """Evaluates the derivative section at the present state and returns the derivatives by
        state name. Before any run it first runs the initial section, as step() does."""
        with self._lib.lock:
            instance = self._open_instance()
            self._check_idle()
            if not self._prepared:
                self._prepare()
            self._lib.dll.TarnCalcDeriv(instance, _DERIVATIVE_SECTION)
            return self.derivatives()

    # ---- Runs ----------------------------------------------------------------------------------

    def run(self, tstop=None, cint=None, outputs=None, algorithm=None, *, frame=None,
            schedule=None, rtol=None, atol=None):
        """Runs the model from its initial conditions to tstop and returns the time course.

        tstop and cint (hours) and algorithm (a name such as "gear" or "dlsodes", or a code) are
        set on the model first and stay set. outputs names the symbols recorded at every
        communication interval (default: DEFAULT_OUTPUTS); the result has the column "t" first.

        The result is a pandas.DataFrame when pandas is installed (frame=None) or frame is True,
        else a dict of numpy arrays. Raises RunError when the run fails (its .result holds the
        time course up to the failure).

        schedule: a tarn.Schedule of changes applied at their times (tarn.schedule explains how).
        rtol, atol: relative and absolute error tolerances of every state for this run (the
        library's own, 1e-4 unless changed, when not given).
        """
        settings = {}
        if tstop is not None:
            settings["tstop"] = tstop
        if cint is not None:
            settings["cint"] = cint
        if algorithm is not None:
            settings["ialg"] = algorithm_code(algorithm)
        with self._lib.lock:
            instance = self._open_instance()
            self._check_idle()
            columns = self._lib.output_symbols(DEFAULT_OUTPUTS if outputs is None else outputs)
            self.update(settings)
            with state_tolerances(self._lib, instance, rtol, atol):
                return self._run(instance, columns, frame, schedule)

    def _run(self, instance, columns, frame, schedule):
        if schedule is not None:
            from .schedule import run_schedule
            return run_schedule(self, schedule, columns, frame)
        readers = [self._reader(symbol) for symbol in columns]
        values = [[] for _ in columns]
        self._recording = (readers, values)
        try:
            self._execute(self._lib.dll.TarnStartBlocking, instance)
        finally:
            self._recording = None
        self._prepared = True
        result = _as_result({symbol.name: column for symbol, column in zip(columns, values)},
                            frame)
        end = self["tstop"]
        failure = self._failure(end, f"before tstop = {end:g} h")
        if failure:
            raise RunError(failure, self.time, self._run_messages, result)
        return result

    def step(self):
        """Advances one communication interval (cint) and returns the new time. The first call
        after creation or reset() runs the initial section first."""
        with self._lib.lock:
            instance = self._open_instance()
            self._check_idle()
            if not self._prepared:
                self._prepare()
            start, cint, tstop = self.time, self["cint"], self["tstop"]
            if start >= tstop - self._tolerance(tstop):
                raise OutOfRangeError(f"the run has reached tstop = {tstop:g} h; "
                                      "raise tstop to step further")
            self._execute(self._lib.dll.TarnStep, instance)
            target = start + cint
            failure = self._failure(target, f"before the end of the interval at {target:g} h")
            if failure:
                raise RunError(failure, self.time, self._run_messages)
            return self.time

    def run_to(self, t):
        """Advances in communication intervals until the model time is t (hours), shortening the
        last interval to end on it, and returns the time. The first call after creation or
        reset() runs the initial section first. t may not lie beyond tstop."""
        if isinstance(t, bool) or not isinstance(t, numbers.Real):
            raise WrongTypeError(f"run_to takes a time in hours, not {type(t).__name__} {t!r}")
        target = float(t)
        if not math.isfinite(target):
            raise OutOfRangeError(f"run_to takes a finite time, not {target}")
        with self._lib.lock:
            instance = self._open_instance()
            self._check_idle()
            if not self._prepared:
                self._prepare()
            now, tstop = self.time, self["tstop"]
            if target < now - self._tolerance(now):
                raise OutOfRangeError(f"run_to({target:g}): the model is already at t = {now:g} h")
            if target > tstop + self._tolerance(tstop):
                raise OutOfRangeError(f"run_to({target:g}): the run ends at tstop = {tstop:g} h; "
                                      "raise tstop to go further")
            self._execute(self._lib.dll.TarnRunToTime, instance, target)
            failure = self._failure(target, f"before {target:g} h")
            if failure:
                raise RunError(failure, self.time, self._run_messages)
            return self.time

    def _prepare(self):
        """Runs the initial section and stops before the first interval."""
        self._execute(self._lib.dll.TarnPreStep, self._instance)
        failure = self._failure(None, "")
        if failure:
            raise RunError(failure, self.time, self._run_messages)
        self._prepared = True

    def _check_idle(self):
        if self._busy:
            raise TarnError("the model cannot be run, stepped, closed or replaced from inside "
                            "one of its own callbacks")

    def _execute(self, function, *arguments):
        self._run_messages = []
        self._exception_time = None
        self._interrupt = None
        self._busy = True
        try:
            function(*arguments)
        finally:
            self._busy = False
            pending, self._pending_removals = self._pending_removals, []
            for entries in pending:
                self._unregister(entries)
        if self._interrupt is not None:
            raise self._interrupt

    def _tolerance(self, t):
        return _TIME_TOLERANCE * max(abs(t), self["cint"])

    def _failure(self, target, shortfall):
        """The failure text of the last run or step, or None when it succeeded: an exception in
        the model, or a stop before `target` (a solver failure raises the stop flag)."""
        now = self.time
        if self._exception_time is not None:
            reason = (f"the run ended with an exception in the model at t = "
                      f"{self._exception_time:g} h")
        elif target is not None and now < target - self._tolerance(target):
            reason = f"the run stopped at t = {now:g} h, {shortfall}"
        else:
            return None
        details = _error_lines(self._run_messages)
        return f"{reason}: {details}" if details else reason

    def _reader(self, symbol):
        lib, instance, index = self._lib, self._instance, symbol.index
        if symbol.is_scalar and symbol.data_type == _DOUBLE:
            getter = lib.dll.TarnGetDouble
            return lambda: getter(instance, index)
        return lambda: lib.read(instance, symbol)

    # ---- Callbacks -----------------------------------------------------------------------------

    def on_state_change(self, callback):
        """Calls callback(previous, next) with ExecutionState values at every change of the
        execution state during runs. Returns the Registration."""
        def relay(instance, user_value, previous, next_state):
            if user_value in self._callbacks:
                self._call_user("state-change", callback, _execution_state(previous),
                                _execution_state(next_state))
        return self._register(callback, STATE_CHANGE_CALLBACK(relay), [None])

    def on_discrete_event(self, callback, section=None):
        """Calls callback(section, t) each time the model runs a discrete section: the given
        section code, or every discrete section of the model (1000: dosing starts, 1001: dosing
        ends). Returns the Registration."""
        if section is None:
            sections = list(self._lib.discrete_sections)
        elif isinstance(section, bool) or not isinstance(section, numbers.Integral):
            raise WrongTypeError(f"section takes an integer code, not {section!r}")
        elif section not in self._lib.discrete_sections:
            raise OutOfRangeError(f"the model has no discrete section {section}; its sections "
                                  f"are {list(self._lib.discrete_sections)}")
        else:
            sections = [int(section)]

        def relay(instance, user_value, code):
            if user_value in self._callbacks:
                self._call_user("discrete-event", callback, int(code),
                                self._lib.dll.TarnGetDouble(instance, self._time_index))
        return self._register(callback, DISCRETE_EVENT_CALLBACK(relay), sections)

    def _register(self, callback, function, sections):
        if not callable(callback):
            raise WrongTypeError(f"a callback must be callable, not {type(callback).__name__}")
        with self._lib.lock:
            instance = self._open_instance()
            if self._busy:
                raise TarnError("callbacks cannot be added while the model runs")
            dll = self._lib.dll
            entries = []
            for section in sections:
                user_value = self._next_user_value
                self._next_user_value += 1
                if section is None:
                    dll.TarnAddExecutionStateChangeCallbackFunction(instance, user_value, function)
                else:
                    dll.TarnAddDiscreteEventCallbackFunction(instance, user_value, section,
                                                             function)
                self._callbacks[user_value] = (function, section)
                entries.append((user_value, section))
            return Registration(self, callback, entries)

    def _remove(self, entries):
        with self._lib.lock:
            if self._busy:
                # The library may be walking the registration list: silence the callback now
                # and unregister it when the run returns.
                removed = [(v, s) for v, s in entries if v in self._callbacks]
                self._pending_removals.append(
                    [(v, s, self._callbacks.pop(v)[0]) for v, s in removed])
            else:
                self._unregister([(v, s, self._callbacks.pop(v)[0])
                                  for v, s in entries if v in self._callbacks])

    def _unregister(self, entries):
        if not self._instance:
            return
        dll = self._lib.dll
        for user_value, section, function in entries:
            if section is None:
                dll.TarnRemoveExecutionStateChangeCallbackFunction(self._instance, user_value,
                                                                   function)
            else:
                dll.TarnRemoveDiscreteEventCallbackFunction(self._instance, user_value, section,
                                                            function)

    def _call_user(self, kind, callback, *arguments):
        """Calls a host callback. An exception is logged with its traceback and the run goes on;
        KeyboardInterrupt or SystemExit stops the run and is raised when it returns."""
        try:
            callback(*arguments)
        except Exception:
            log.exception("exception in the %s callback %r; the run goes on", kind, callback)
        except BaseException as interrupt:
            self._stop(interrupt)

    def _stop(self, interrupt):
        if self._interrupt is None:
            self._interrupt = interrupt
        self._lib.dll.TarnStop(self._instance)

    def _add_internal_callbacks(self):
        """Status messages to logging, output ticks to the recording of run(), and the exception
        state to failure detection; user value 0 is reserved for these."""
        dll, instance = self._lib.dll, self._instance
        self._time_index = self._lib.symbol("t").index

        def on_status(instance, user_value, text):
            try:
                message = (text or b"").decode("utf-8", "replace").rstrip("\n")
                if not message.strip():
                    return
                if self._run_messages is not None:
                    self._run_messages.append(message)
                status_log.log(_message_level(message), "%s", message)
            except BaseException as interrupt:  # an interrupt arriving in this frame
                self._stop(interrupt)

        def on_tick(instance, user_value, tick_type):
            try:
                if tick_type == _TICK_OUTPUT and self._recording is not None:
                    readers, values = self._recording
                    for read, column in zip(readers, values):
                        column.append(read())
            except BaseException as interrupt:
                self._stop(interrupt)

        def on_state(instance, user_value, previous, next_state):
            try:
                if next_state == ExecutionState.EXCEPTION:
                    self._exception_time = dll.TarnGetDouble(instance, self._time_index)
            except BaseException as interrupt:
                self._stop(interrupt)

        self._internal_callbacks = (STATUS_CALLBACK(on_status), TICK_CALLBACK(on_tick),
                                    STATE_CHANGE_CALLBACK(on_state))
        status, tick, state = self._internal_callbacks
        dll.TarnAddStatusCallback(instance, 0, status)
        dll.TarnAddTickCallbackFunction(instance, 0, tick)
        dll.TarnAddExecutionStateChangeCallbackFunction(instance, 0, state)


_ERROR_PATTERN = re.compile(r"\berror\b", re.IGNORECASE)


def _message_level(message):
    if _ERROR_PATTERN.search(message):
        return logging.ERROR
    if "warning" in message.lower():
        return logging.WARNING
    return logging.INFO


def _error_lines(messages):
    """The lines of the run's messages that report an error, or else its last message."""
    lines = [line.strip() for message in messages for line in message.splitlines()
             if _ERROR_PATTERN.search(line)]
    if not lines and messages:
        lines = [messages[-1].strip()]
    return "\n".join(dict.fromkeys(lines))


def _as_result(columns, frame):
    """A time course as a pandas.DataFrame or a dict of numpy arrays."""
    import numpy
    arrays = {name: numpy.asarray(values) for name, values in columns.items()}
    if frame is False:
        return arrays
    try:
        import pandas
    except ImportError:
        if frame:
            raise
        return arrays
    return pandas.DataFrame(arrays)
