"""Model: one instance of the library's model, driven from Python.

Every Model is an independent instance of the library: its own values, tolerances, solver and
run state, so any number of Models live side by side in one process and none disturbs another.
Different Models may run at the same time on different threads (tarn.run_population with
backend="threads"); CVODE and the runtime's own methods then run in parallel, while the steps of
DLSODES (the default algorithm) take turns, its solver keeping its integration in process-wide
storage. One Model is used by one thread at a time (its methods hold the Model's lock).

Runs execute on the calling thread; callbacks arrive on it during run(), step() and run_to().
Ctrl-C (SIGINT) during a run stops it at the end of the communication interval in progress and
raises KeyboardInterrupt; the model stays usable.
"""

import ctypes
import enum
import logging
import math
import numbers
import re
import signal
import threading
import warnings
from collections import namedtuple

from ._library import (DISCRETE_EVENT_CALLBACK, STATE_CHANGE_CALLBACK,
                       STATUS_CALLBACK, TICK_CALLBACK, Library, algorithm_code, index_array,
                       load)
from .errors import (ModelClosedError, OutOfRangeError, RunError, TarnError, ValidityWarning,
                     WrongTypeError)

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

Parameter = namedtuple("Parameter", "name default value unit bounds group description")
Parameter.__doc__ = ("A model parameter with its default and its present value, its unit, its "
                     "bounds in interval notation, its group and its description.")

Output = namedtuple("Output", "name unit group description")
Output.__doc__ = "A quantity worth plotting, with its unit, group and description."


def outputs(library=None):
    """The outputs worth plotting (names for Model.run's outputs), in symbol table order, each as
    Output(name, unit, group, description)."""
    lib = library if isinstance(library, Library) else load(library)
    return [Output(symbol.name, symbol.unit, symbol.group, symbol.description)
            for symbol in lib.outputs()]


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

    Model(library=None, *, rtol=None, atol=None, **parameters): loads the library (an explicit
    path, TARN_LIBRARY, the build tree, then the installed location), creates an instance with
    every value and tolerance at the model's default and the time at its start, then applies the
    given parameter values and tolerances (see set_tolerances). Every name and value is checked
    first: a constructor that raises creates no instance.

    Symbols are read and written by name in any case: model["pdose"], model["PDOSE"] = 700,
    model.update(pdose=700, ppuls=1). Parameters and run settings (cint, ialg, nstp, maxt, mint
    and the *itg controls) can be written within their bounds; states only once a run has started
    (step, run_to or run; step and run_to then continue from them), since a fresh run starts
    them from their initial-value parameters. Every scalar symbol can be read; model.symbol(name)
    tells what it means.
    """

    def __init__(self, library=None, *, rtol=None, atol=None, **parameters):
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
        self._warned_validity = False
        self._lock = threading.RLock()
        lib = self._lib
        values = self._checked_values(parameters)
        relative = lib.checked_tolerances(rtol, "rtol")
        absolute = lib.checked_tolerances(atol, "atol")
        # Instances are made and destroyed one at a time (while other Models may be running).
        with lib.lock:
            instance = lib.dll.TarnCreateIndependent()
            if instance == 0:
                raise TarnError("the library has no free instance (99 Models are open)")
            self._instance = instance
            lib.restore_defaults(instance)
        with self._lock:
            self._add_internal_callbacks()
            for symbol, value in values:
                lib.write(instance, symbol, value)
            lib.set_tolerances(instance, relative, absolute)

    # ---- Lifecycle -----------------------------------------------------------------------------

    def close(self):
        """Destroys the instance. Further use raises ModelClosedError."""
        with self._lock:
            if self._instance:
                self._check_idle()
                self._release("it was closed")

    def _release(self, reason):
        with self._lock:
            self._lib.dll.TarnDestroy(self._instance)
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
            if self._instance:
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
        with self._lock:
            return self._lib.read(self._open_instance(), self._lib.symbol(name))

    def __setitem__(self, name, value):
        self.update({name: value})

    def update(self, values=None, /, **parameters):
        """Writes several symbols: a mapping and/or keywords, names in any case. Every name and
        value is checked before anything is written: a value outside a parameter's bounds raises
        OutOfRangeError, a state written before a run has started WrongTypeError."""
        items = dict(values or {})
        items.update(parameters)
        with self._lock:
            instance = self._open_instance()
            for symbol, value in self._checked_values(items):
                self._lib.write(instance, symbol, value)

    def _checked_values(self, values):
        """[(symbol, value as written)] for a mapping of names to values; raises at the first
        unknown name or bad value."""
        checked = []
        for name, value in values.items():
            symbol = self._lib.symbol(name)
            checked.append((symbol, self._lib.check(symbol, value, states=self._prepared)))
        return checked

    def parameters(self):
        """Every parameter as Parameter(name, default, value, unit, bounds, group, description),
        in symbol table order."""
        with self._lock:
            instance = self._open_instance()
            return [Parameter(symbol.name, self._lib.default(symbol),
                              self._lib.read(instance, symbol), symbol.unit, symbol.bounds,
                              symbol.group, symbol.description)
                    for symbol in self._lib.parameters()]

    def reset(self):
        """Makes the model equal to a new Model: every value and tolerance back to its default and
        the time to its start; the next step() or run_to() starts a fresh run from the initial
        conditions."""
        with self._lock:
            self._lib.restore_defaults(self._open_instance())
            self._prepared = False

    def set_tolerances(self, rtol=None, atol=None):
        """Sets the integrators' relative (rtol) and absolute (atol) error tolerances: a number
        for every state, or a mapping of state names to numbers. They stay set until reset() or
        a new Model."""
        with self._lock:
            instance = self._open_instance()
            self._check_idle()
            relative = self._lib.checked_tolerances(rtol, "rtol")
            absolute = self._lib.checked_tolerances(atol, "atol")
            self._lib.set_tolerances(instance, relative, absolute)

    def tolerances(self):
        """Every state's (rtol, atol), by state name."""
        with self._lock:
            instance = self._open_instance()
            dll = self._lib.dll
            return {symbol.name: (dll.TarnGetRelativeError(instance, symbol.index),
                                  dll.TarnGetAbsoluteError(instance, symbol.index))
                    for symbol in self._lib.states()}

    def save_state(self):
        """The model's present state as a ModelState: every value (states, parameters, settings,
        the time), the dosing schedule and the solver's clock. It can be pickled, so it may be
        sent to another process, and restored into any Model of the same library."""
        with self._lock:
            instance = self._open_instance()
            self._check_idle()
            dll = self._lib.dll
            handle = dll.TarnSaveState(instance)
            try:
                size = dll.TarnSerializeState(handle, None, 0)
                buffer = ctypes.create_string_buffer(size)
                dll.TarnSerializeState(handle, buffer, size)
            finally:
                dll.TarnFreeState(handle)
            return ModelState(buffer.raw, self._prepared)

    def restore_state(self, state):
        """Puts a ModelState back; step() and run_to() then continue from it, as a run restarted
        at its time from its values (with the fixed-step methods exactly as the run it was saved
        from went on; the other methods restart their integration there). Tolerances and
        callbacks stay as they are."""
        if not isinstance(state, ModelState):
            raise WrongTypeError(f"restore_state takes a ModelState, not {type(state).__name__}")
        with self._lock:
            instance = self._open_instance()
            self._check_idle()
            dll = self._lib.dll
            handle = dll.TarnDeserializeState(state.data, len(state.data))
            if not handle:
                raise TarnError("the state is damaged or from another library")
            try:
                if not dll.TarnRestoreState(instance, handle):
                    raise TarnError("the state is from a model with another symbol table")
            finally:
                dll.TarnFreeState(handle)
            self._prepared = state.prepared

    @property
    def time(self):
        """The model time t, in hours."""
        return self["t"]

    def states(self):
        """Every state's present value, by state name."""
        with self._lock:
            instance = self._open_instance()
            return {symbol.name: self._lib.read(instance, symbol)
                    for symbol in self._lib.states()}

    def derivatives(self):
        """Every state's present derivative (as last evaluated), by state name."""
        with self._lock:
            instance = self._open_instance()
            symbols = self._lib.symbols
            return {symbol.name: self._lib.read(instance, symbols[symbol.derivative_index])
                    for symbol in self._lib.states()}

    def calc_derivatives(self):
        """Evaluates the derivative section at the present state and returns the derivatives by
        state name. Before any run it first runs the initial section, as step() does."""
        with self._lock:
            instance = self._open_instance()
            self._check_idle()
            if not self._prepared:
                self._prepare()
            self._lib.dll.TarnCalcDeriv(instance, _DERIVATIVE_SECTION)
            return self.derivatives()

    # ---- Runs ----------------------------------------------------------------------------------

    def run(self, tstop=None, cint=None, outputs=None, algorithm=None, *, times=None, rtol=None,
            atol=None, schedule=None, frame=None):
        """Runs the model from its initial conditions to tstop and returns the time course.

        tstop and cint (hours), algorithm (a name such as "gear" or "dlsodes", or a code) and the
        tolerances rtol and atol (see set_tolerances) are set on the model first and stay set.
        outputs names the symbols recorded (default: DEFAULT_OUTPUTS); the result has the column
        "t" first. Rows come at every communication interval from the start, and the last
        interval is shortened to end on tstop. times: record rows at exactly these times (hours,
        ascending, from the start time on) instead; without tstop the run ends at the last.

        The result is a pandas.DataFrame when pandas is installed (frame=None) or frame is True,
        else a TimeCourse (a dict of numpy arrays); either has the unit of every column in
        attrs["units"]. Raises RunError when the run fails (its .result holds the time course up
        to the failure). A run past the model's validity range warns (ValidityWarning).

        schedule: a tarn.Schedule of changes applied at their times (tarn.schedule explains how;
        not with times).
        """
        settings = {}
        if tstop is not None:
            settings["tstop"] = tstop
        if cint is not None:
            settings["cint"] = cint
        if algorithm is not None:
            settings["ialg"] = algorithm_code(algorithm)
        if times is not None and schedule is not None:
            raise TarnError("run takes times or a schedule, not both")
        if times is not None:
            times = _checked_times(times)
            if tstop is None and times[-1] > 0:
                settings["tstop"] = times[-1]
        with self._lock:
            instance = self._open_instance()
            self._check_idle()
            lib = self._lib
            columns = lib.output_symbols(DEFAULT_OUTPUTS if outputs is None else outputs)
            relative = lib.checked_tolerances(rtol, "rtol")
            absolute = lib.checked_tolerances(atol, "atol")
            checked = self._checked_values(settings)
            start = self["zzticg"]
            end = next((value for symbol, value in checked if symbol.name == "tstop"),
                       self["tstop"])
            if times is not None and (times[0] < start - self._tolerance(start)
                                      or times[-1] > end + self._tolerance(end)):
                raise OutOfRangeError(f"times must lie from the start, t = {start:g} h, to "
                                      f"tstop = {end:g} h")
            for symbol, value in checked:
                lib.write(instance, symbol, value)
            lib.set_tolerances(instance, relative, absolute)
            self._warned_validity = False
            self._warn_past_validity(end)
            if schedule is not None:
                from .schedule import run_schedule
                return run_schedule(self, schedule, columns, frame)
            cint = self["cint"]
            self._recording = _Recording(lib, instance, columns,
                                         len(times) if times is not None else
                                         int((end - start) / cint) + 2)
            try:
                if times is None:
                    failure = self._run_to_tstop(instance, start, end, cint)
                else:
                    failure = self._run_through(instance, times)
            finally:
                recording, self._recording = self._recording, None
            result = _as_result(recording.columns(), frame)
            if failure:
                time, messages = self.time, self._run_messages
                hint = self._explicit_step_hint() if self._exception_time is not None else None
                raise RunError(f"{failure}\n{hint}" if hint else failure, time, messages,
                               result)
            return result

    def _run_to_tstop(self, instance, start, end, cint):
        """A whole run that records every output point. When tstop is not a whole number of
        intervals from the start, the run is stopped at the last output point before it and
        continued with one shorter interval that ends on tstop. Returns the failure text or
        None."""
        intervals = math.floor((end - start) / cint + _TIME_TOLERANCE)
        last_point = start + intervals * cint
        if end - last_point > self._tolerance(end):
            self._recording.stop_at = last_point - self._tolerance(last_point)
        self._execute(self._lib.dll.TarnStartBlocking, instance)
        self._prepared = True
        if self._recording.stopped and self._exception_time is None:
            messages = self._run_messages
            # The continuation runs only once the stop is taken back.
            self._lib.write(instance, self._lib.symbol("zzstopflag"), False)
            self._execute(self._lib.dll.TarnRunToTime, instance, end)
            self._run_messages = messages + self._run_messages
        return self._failure(end, f"before tstop = {end:g} h")

    def _run_through(self, instance, times):
        """A run that records rows at exactly the given times. Returns the failure text or
        None."""
        recording, self._recording = self._recording, None
        try:
            self._prepare()
            messages = []
            for target in times:
                if target > self.time + self._tolerance(target):
                    self._execute(self._lib.dll.TarnRunToTime, instance, target)
                    messages += self._run_messages
                    failure = self._failure(target, f"before {target:g} h")
                    if failure:
                        self._run_messages = messages
                        return failure
                recording.record()
            self._run_messages = messages
            return None
        finally:
            self._recording = recording

    def step(self):
        """Advances one communication interval (cint) and returns the new time. The first call
        after creation or reset() runs the initial section first."""
        with self._lock:
            instance = self._open_instance()
            self._check_idle()
            if not self._prepared:
                self._warned_validity = False
                self._prepare()
            start, cint, tstop = self.time, self["cint"], self["tstop"]
            if start >= tstop - self._tolerance(tstop):
                raise OutOfRangeError(f"the run has reached tstop = {tstop:g} h; "
                                      "raise tstop to step further")
            self._warn_past_validity(start + cint)
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
        with self._lock:
            instance = self._open_instance()
            self._check_idle()
            if not self._prepared:
                self._warned_validity = False
                self._prepare()
            now, tstop = self.time, self["tstop"]
            if target < now - self._tolerance(now):
                raise OutOfRangeError(f"run_to({target:g}): the model is already at t = {now:g} h")
            if target > tstop + self._tolerance(tstop):
                raise OutOfRangeError(f"run_to({target:g}): the run ends at tstop = {tstop:g} h; "
                                      "raise tstop to go further")
            self._warn_past_validity(target)
            self._execute(self._lib.dll.TarnRunToTime, instance, target)
            failure = self._failure(target, f"before {target:g} h")
            if failure:
                raise RunError(failure, self.time, self._run_messages)
            return self.time

    def _explicit_step_hint(self):
        """For a run of an explicit fixed-step method that ended in an exception: the step the
        method needs on this model, estimated from the fastest mode at the start of the run (the
        largest eigenvalue magnitude of a difference-quotient Jacobian of the states), or None
        for the other methods. The model's values are left as the failure left them."""
        algorithm = self["ialg"]
        if algorithm not in _EXPLICIT_STABILITY:
            return None
        name, stability = _EXPLICIT_STABILITY[algorithm]
        lib, instance = self._lib, self._instance
        step = self["cint"] / self["nstp"]
        after_failure = lib.read_doubles(instance)
        callbacks, self._callbacks = self._callbacks, {}  # the host's callbacks see nothing
        try:
            self._execute(lib.dll.TarnPreStep, instance)
            rate = _fastest_rate(lib, instance)
        finally:
            self._callbacks = callbacks
            lib.write_doubles(instance, after_failure)
            self._prepared = False
        if not rate > 0:
            return None
        largest = stability / rate
        needed = math.ceil(self["cint"] / largest)
        return (f"Hint: {name} is an explicit method with a fixed step, {step:g} h here "
                f"(cint/nstp). This model is stiff: its fastest mode at the start of the run "
                f"decays at {rate:.3g} per hour, and {name} is stable on it only with steps "
                f"below about {largest:.2g} h. Raise nstp to at least {needed}, or use a stiff "
                "method: dlsodes (the default), cvode, gear or rosenbrock.")

    def _warn_past_validity(self, end):
        """Warns (once per run) when the run is about to go past the model's validity range."""
        valid = self._lib.validity_range
        if valid is None or self._warned_validity or end <= valid[1] + self._tolerance(valid[1]):
            return
        self._warned_validity = True
        warnings.warn(f"the run goes to t = {end:g} h, past the model's validity range "
                      f"({valid[0]:g} to {valid[1]:g} h after birth); beyond it the model "
                      "extrapolates its physiological tables and its results can be impossible",
                      ValidityWarning, stacklevel=3)

    def _prepare(self):
        """Runs the initial section and stops before the first interval."""
        self._execute(self._lib.dll.TarnPreStep, self._instance)
        failure = self._failure(None, "")
        if failure:
            raise RunError(failure, self.time, self._run_messages)
        self._prepared = True

    def _check_idle(self):
        if self._busy:
            raise TarnError("the model cannot be run, stepped or closed from inside "
                            "one of its own callbacks")

    def _execute(self, function, *arguments):
        self._run_messages = []
        self._exception_time = None
        self._interrupt = None
        self._busy = True
        try:
            with _StopOnInterrupt(self):
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
        with self._lock:
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
        with self._lock:
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
                    self._recording.record()
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
# The first line of the integrators' statistics, written at the end of every run.
_STATISTICS_HEADING = "Count of times state controlled step size"


def _is_statistics(message):
    return message.lstrip().startswith(_STATISTICS_HEADING)


def _message_level(message):
    """Statistics are DEBUG, failures ERROR, warnings WARNING, everything else INFO."""
    if _is_statistics(message):
        return logging.DEBUG
    if _ERROR_PATTERN.search(message):
        return logging.ERROR
    if "warning" in message.lower():
        return logging.WARNING
    return logging.INFO


def _error_lines(messages):
    """The lines of the run's messages that report an error, or else its last message."""
    messages = [message for message in messages if not _is_statistics(message)]
    lines = [line.strip() for message in messages for line in message.splitlines()
             if _ERROR_PATTERN.search(line)]
    if not lines and messages:
        lines = [messages[-1].strip()]
    return "\n".join(dict.fromkeys(lines))


# Explicit fixed-step methods by code: name, and the length of the stability interval on the
# negative real axis (Hairer and Wanner, Solving ODEs II, IV.2): a step h is stable on a decay
# rate r only when h r stays below it.
_EXPLICIT_STABILITY = {3: ("Euler", 2.0), 4: ("RK2", 2.0), 5: ("RK4", 2.785),
                       13: ("AB2", 1.0)}
_DIFFERENCE_QUOTIENT_STEP = 1e-7  # relative perturbation of a state


def _fastest_rate(lib, instance):
    """The largest eigenvalue magnitude (per hour) of the states' Jacobian at the present state,
    from forward difference quotients of the derivative section."""
    import numpy
    states = lib.states()
    count = len(states)
    state_indexes = index_array([symbol.index for symbol in states])
    derivative_indexes = index_array([symbol.derivative_index for symbol in states])
    dll = lib.dll

    def derivatives(values):
        dll.TarnSetDoubles(instance, count, state_indexes, values.ctypes.data)
        dll.TarnCalcDeriv(instance, _DERIVATIVE_SECTION)
        rates = numpy.empty(count)
        dll.TarnGetDoubles(instance, count, derivative_indexes, rates.ctypes.data)
        return rates

    start = numpy.empty(count)
    dll.TarnGetDoubles(instance, count, state_indexes, start.ctypes.data)
    at_start = derivatives(start)
    jacobian = numpy.empty((count, count))
    for column in range(count):
        shifted = start.copy()
        shifted[column] += _DIFFERENCE_QUOTIENT_STEP * max(abs(start[column]), 1e-3)
        jacobian[:, column] = (derivatives(shifted) - at_start) / (shifted[column] -
                                                                   start[column])
    derivatives(start)
    if not numpy.isfinite(jacobian).all():
        return math.nan
    return float(numpy.abs(numpy.linalg.eigvals(jacobian)).max())


class ModelState:
    """A saved state of a Model (Model.save_state): the library's byte form of it, and whether
    the Model had started a run (a state saved before one restores values only, and the next
    step() starts a fresh run). Picklable."""

    __slots__ = ("data", "prepared")

    def __init__(self, data, prepared):
        self.data = bytes(data)
        self.prepared = bool(prepared)

    def __reduce__(self):
        return ModelState, (self.data, self.prepared)

    def __eq__(self, other):
        return (isinstance(other, ModelState) and other.data == self.data and
                other.prepared == self.prepared)

    def __hash__(self):
        return hash((self.data, self.prepared))

    def __repr__(self):
        return f"<tarn.ModelState ({len(self.data)} bytes)>"


class _StopOnInterrupt:
    """While the model runs on the main thread, Ctrl-C (SIGINT) stops the run at the end of the
    communication interval in progress instead of raising inside a callback of the library,
    where the exception would be lost; the model raises KeyboardInterrupt when the run returns.
    A SIGINT handler of the program's own stays in charge."""

    def __init__(self, model):
        self._model = model
        self._installed = False

    def __enter__(self):
        if threading.current_thread() is threading.main_thread() and \
                signal.getsignal(signal.SIGINT) is signal.default_int_handler:
            signal.signal(signal.SIGINT, self._on_interrupt)
            self._installed = True
        return self

    def _on_interrupt(self, signum, frame):
        self._model._stop(KeyboardInterrupt())

    def __exit__(self, *exc_info):
        if self._installed:
            signal.signal(signal.SIGINT, signal.default_int_handler)


class _Recording:
    """The rows of a run, one per output point. The double columns of a row are read in one call
    into a preallocated array. Of several rows at one time the last is kept: it follows the changes
    made at that time (a stepped run reports a point again when the next step begins), and the end
    of a run and the start of its continuation are the same point. With stop_at set, the run is
    stopped at the first output point at or after that time."""

    def __init__(self, lib, instance, columns, expected_rows):
        import numpy
        self._numpy = numpy
        self._lib = lib
        self._instance = instance
        self._columns = columns  # t first, every one a scalar
        self._doubles = [k for k, symbol in enumerate(columns) if symbol.data_type == _DOUBLE]
        self._indexes = index_array([columns[k].index for k in self._doubles])
        self._others = [symbol for symbol in columns if symbol.data_type != _DOUBLE]
        self._other_values = [[] for _ in self._others]
        self._allocate(numpy.empty((max(expected_rows, 1), len(self._doubles))))
        self._count = 0
        self.stop_at = None
        self.stopped = False

    def _allocate(self, rows):
        self._rows = rows
        self._address = rows.ctypes.data
        self._row_bytes = rows.shape[1] * rows.itemsize

    def record(self):
        rows, count = self._rows, self._count
        if count == len(rows):
            self._allocate(self._numpy.concatenate([rows, self._numpy.empty_like(rows)]))
            rows = self._rows
        self._lib.dll.TarnGetDoubles(self._instance, rows.shape[1], self._indexes,
                                     self._address + count * self._row_bytes)
        t = rows[count, 0]
        if count and t == rows[count - 1, 0]:
            # The later row at one time replaces the earlier.
            rows[count - 1] = rows[count]
            for values, symbol in zip(self._other_values, self._others):
                values[-1] = self._lib.read(self._instance, symbol)
        else:
            for values, symbol in zip(self._other_values, self._others):
                values.append(self._lib.read(self._instance, symbol))
            self._count = count + 1
        if self.stop_at is not None and t >= self.stop_at:
            self.stop_at = None
            self.stopped = True
            self._lib.dll.TarnStop(self._instance)

    def columns(self):
        """{name: values} in column order."""
        numpy = self._numpy
        doubles = self._rows[:self._count]
        position = {k: j for j, k in enumerate(self._doubles)}
        others = iter(self._other_values)
        return {symbol.name: (doubles[:, position[k]].copy() if k in position
                              else numpy.array(next(others)))
                for k, symbol in enumerate(self._columns)}


def _checked_times(times):
    """The output times of run(times=...): finite, ascending, at least one."""
    import numpy
    if isinstance(times, (str, bytes)):
        raise WrongTypeError(f"times takes a sequence of numbers, not {times!r}")
    try:
        checked = numpy.asarray(times, dtype=float).ravel()
    except (TypeError, ValueError):
        raise WrongTypeError(f"times takes a sequence of numbers, not {times!r}") from None
    if checked.size == 0:
        raise OutOfRangeError("times names no time")
    if not numpy.isfinite(checked).all():
        raise OutOfRangeError(f"times must be finite, not {times!r}")
    if (numpy.diff(checked) <= 0).any():
        raise OutOfRangeError(f"times must be in ascending order without repeats: {times!r}")
    return checked


class TimeCourse(dict):
    """A time course as a dict of numpy arrays (column "t" first). Like a DataFrame result, it
    carries the unit of every column in attrs["units"]."""

    def __init__(self, columns, units):
        super().__init__(columns)
        self.attrs = {"units": units}


def _as_result(columns, frame):
    """A time course as a pandas.DataFrame or a TimeCourse, with the unit of every column (by
    name) in its attrs["units"]."""
    import numpy
    arrays = {name: numpy.asarray(values) for name, values in columns.items()}
    units = load().units(arrays)
    if frame is not False:
        try:
            import pandas
        except ImportError:
            if frame:
                raise
        else:
            result = pandas.DataFrame(arrays)
            result.attrs["units"] = units
            return result
    return TimeCourse(arrays, units)
