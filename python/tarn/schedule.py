"""Dosing schedules: changes of model inputs and boluses into states at given times.

    schedule = (tarn.Schedule()
                .set("conc", 5, at=240)                   # drinking water from day 10 ...
                .set("conc", 0, at=960)                   # ... to day 40
                .add("aoral_i", 10, at=8, ii=24, addl=6))  # 7 daily boluses from 8 h
    result = model.run(tstop=2160, cint=1, schedule=schedule)

A schedule run starts from the initial conditions like Model.run. It ends the communication
interval in progress exactly at each change time, writes the changes between intervals (a state
changed this way makes the solver restart from its new value) and goes on. Output rows lie on
the communication grid of a run without a schedule, plus one at each change time off that grid
and one at tstop; a row at the time of a change shows the values after it (states, inputs and
the outputs computed from them).

Changes at the start time of the run: inputs (anything but a state) are written before the
initial section, so that quantities the model derives from them once at the start see them;
states are changed after the initial conditions have been set. After the run, every symbol the
schedule changed that is not a state holds the value it held before the run again.
"""

import csv
import math
import numbers
from collections import namedtuple

from .errors import OutOfRangeError, RunError, TarnError, WrongTypeError

Change = namedtuple("Change", "time name value action")
Change.__doc__ = ("One change of a schedule: at `time` (hours), `action` 'set' writes `value` to "
                  "the symbol `name`, 'add' adds it to the state `name`.")

_ACTIONS = ("set", "add")
# Two times closer than this fraction of the larger of their magnitude and cint are the same time.
_TIME_TOLERANCE = 1e-9


class Schedule:
    """An immutable list of changes, sorted by time when run. set() and add() return a new
    Schedule with the changes added; `a + b` combines two schedules. Changes at the same time are
    applied in the order they were given."""

    def __init__(self, changes=()):
        self._changes = tuple(changes)

    def set(self, name, value, at, ii=None, addl=0):
        """Writes `value` to the symbol `name` (a parameter, setting or state) at time `at`
        (hours), and again every `ii` hours `addl` more times."""
        return self._with("set", name, value, at, ii, addl)

    def add(self, name, amount, at, ii=None, addl=0):
        """Adds `amount` to the state `name` (a bolus) at time `at` (hours), and again every `ii`
        hours `addl` more times."""
        return self._with("add", name, amount, at, ii, addl)

    def _with(self, action, name, value, at, ii, addl):
        if not isinstance(name, str):
            raise WrongTypeError(f"a schedule names a symbol by a str, not {name!r}")
        if isinstance(value, bool) or not isinstance(value, numbers.Real):
            raise WrongTypeError(f"the value of {name} at {at!r} h is a number, not {value!r}")
        if not math.isfinite(value):
            raise OutOfRangeError(f"the value of {name} at {at!r} h must be finite, not {value}")
        times = _repeat_times(name, at, ii, addl)
        return Schedule(self._changes + tuple(Change(t, name, value, action) for t in times))

    def __add__(self, other):
        if not isinstance(other, Schedule):
            return NotImplemented
        return Schedule(self._changes + other._changes)

    def changes(self):
        """Every change, repeats expanded, sorted by time (stable: changes at one time keep the
        order they were given in)."""
        return sorted(self._changes, key=lambda change: change.time)

    def __iter__(self):
        return iter(self.changes())

    def __len__(self):
        return len(self._changes)

    def __eq__(self, other):
        return isinstance(other, Schedule) and self.changes() == other.changes()

    def __repr__(self):
        shown = ", ".join(f"{c.action} {c.name}={c.value:g} at {c.time:g} h"
                          for c in self.changes()[:4])
        more = f", ... ({len(self)} changes)" if len(self) > 4 else ""
        return f"Schedule({shown}{more})"

    @classmethod
    def from_records(cls, records):
        """A schedule from rows with the keys time, name, value and optionally action ('set', the
        default, or 'add'), ii and addl: a list of mappings or a pandas.DataFrame."""
        if hasattr(records, "to_dict") and hasattr(records, "columns"):
            records = records.to_dict("records")
        schedule = cls()
        for number, record in enumerate(records, start=1):
            try:
                action = _text(record.get("action")) or "set"
                if action not in _ACTIONS:
                    raise OutOfRangeError(f"action is 'set' or 'add', not {action!r}")
                addl = _number(record.get("addl"), "addl") or 0
                if addl != int(addl):
                    raise OutOfRangeError(f"addl is a whole number from 0 up, not {addl!r}")
                schedule = schedule._with(
                    action, _text(record["name"]), _number(record["value"], "value"),
                    _number(record["time"], "time"), _number(record.get("ii"), "ii"), int(addl))
            except KeyError as missing:
                raise TarnError(f"schedule row {number} has no {missing}") from None
            except (WrongTypeError, OutOfRangeError) as error:
                raise type(error)(f"schedule row {number}: {error}") from None
        return schedule

    @classmethod
    def read_csv(cls, path):
        """A schedule from a CSV file with the header time,name,value and optionally action, ii
        and addl (the format `tarn-sim run --schedule` reads)."""
        with open(path, newline="") as table:
            rows = [{key.strip(): value for key, value in row.items() if key is not None}
                    for row in csv.DictReader(line for line in table
                                              if not line.lstrip().startswith("#"))]
        return cls.from_records(rows)


def _text(value):
    if value is None or isinstance(value, float) and math.isnan(value):
        return ""
    return str(value).strip()


def _number(value, what):
    """A number from a table cell: None for an empty cell."""
    if isinstance(value, str):
        value = value.strip()
        if not value:
            return None
        try:
            value = float(value)
        except ValueError:
            raise WrongTypeError(f"{what} is a number, not {value!r}") from None
    if value is None or isinstance(value, float) and math.isnan(value):
        return None
    return value


def _repeat_times(name, at, ii, addl):
    if isinstance(at, bool) or not isinstance(at, numbers.Real) or not math.isfinite(at):
        raise WrongTypeError(f"the time of a change of {name} is a finite number of hours, "
                             f"not {at!r}")
    if isinstance(addl, bool) or not isinstance(addl, numbers.Integral) or addl < 0:
        raise OutOfRangeError(f"addl (further repeats of {name}) is a whole number from 0 up, "
                              f"not {addl!r}")
    if addl == 0:
        return [float(at)]
    if isinstance(ii, bool) or not isinstance(ii, numbers.Real) or not ii > 0 \
            or not math.isfinite(ii):
        raise OutOfRangeError(f"repeats of {name} need an interval ii of more than 0 hours, "
                              f"not {ii!r}")
    # Each time from its count, so that long series do not drift.
    return [float(at) + k * float(ii) for k in range(int(addl) + 1)]


def run_schedule(model, schedule, columns, frame):
    """Model.run with a schedule: the time course from the initial conditions to tstop with every
    change of `schedule` applied at its time, recording the symbols `columns` (t first). tstop,
    cint and the algorithm are already set."""
    if not isinstance(schedule, Schedule):
        raise WrongTypeError(f"schedule takes a tarn.Schedule, not {type(schedule).__name__}")
    lib = model.library
    start, tstop, cint = model["zzticg"], model["tstop"], model["cint"]
    changes = []
    for change in schedule.changes():
        symbol = lib.symbol(change.name)
        is_state = symbol.type_name == "state"
        if change.action == "add" and not is_state:
            raise WrongTypeError(f"{symbol.name} is not a state: a schedule adds amounts to "
                                 "states only; set it instead")
        # A state changes during the run, after the initial section has started it.
        value = (change.value if change.action == "add"
                 else lib.check(symbol, change.value, states=True))
        if change.time <= tstop + _tolerance(tstop, cint):
            changes.append((Change(max(change.time, start), symbol.name, value, change.action),
                            is_state))
    inputs = {change.name for change, is_state in changes if not is_state}
    kept = {name: model[name] for name in inputs}
    initial = [change for change, is_state in changes if change.time <= start and not is_state]
    later = [change for change, is_state in changes if change.time > start or is_state]

    recorder = _Recorder(model, columns)
    runner = _GridRunner(model, start, cint)
    try:
        _apply(model, initial)
        with recorder:
            recorder.start()
            for time, group in _grouped(later):
                runner.advance_to(time)
                _apply(model, group)
                _evaluate_outputs(model)
            runner.advance_to(tstop)
            recorder.finish()
    except RunError as error:
        error.result = recorder.result(frame)
        raise
    finally:
        model.update(kept)
    return recorder.result(frame)


def _grouped(changes):
    """(time, changes at that time) in time order."""
    groups = []
    for change in changes:
        if groups and groups[-1][0] == change.time:
            groups[-1][1].append(change)
        else:
            groups.append((change.time, [change]))
    return groups


def _apply(model, changes):
    values = {}
    for change in changes:
        present = values.get(change.name, model[change.name])
        values[change.name] = present + change.value if change.action == "add" else change.value
    model.update(values)


def _evaluate_outputs(model):
    """Evaluates the model's outputs from the values just changed, so that the row at a change
    shows them."""
    model.calc_derivatives()


def _tolerance(t, cint):
    return _TIME_TOLERANCE * max(abs(t), cint)


class _Recorder:
    """Records rows of a stepped run from the library's output ticks, as Model.run records a
    whole run.

    Each stepping call runs one pass of the model's run loop per interval: the pass computes the
    run-loop quantities (the mass balances) at its start time and then ticks, and the call ticks
    once more when it returns, before any pass at the new time. Of several ticks at one time the
    recording keeps the last: it follows the changes made at that time and the pass that computed
    them."""

    def __init__(self, model, columns):
        self._model = model
        self._symbols = list(columns)  # t first
        self._recording = None

    def __enter__(self):
        from .model import _Recording
        model = self._model
        with model._lock:
            self._recording = _Recording(model.library, model._open_instance(), self._symbols,
                                         expected_rows=0)
        model._recording = self._recording
        return self

    def __exit__(self, *exc_info):
        self._model._recording = None

    def start(self):
        """Runs the initial section from the initial conditions and stops before the first
        interval."""
        model = self._model
        with model._lock:
            model._check_idle()
            model._prepare()

    def finish(self):
        """Runs the pass of the run loop at tstop, which computes the last row and ends the run
        without integrating further."""
        model = self._model
        with model._lock:
            model._execute(model.library.dll.TarnStep, model._open_instance())

    def result(self, frame):
        from .model import _as_result
        return _as_result(self._recording.columns(), frame)


class _GridRunner:
    """Advances a started model on the communication grid start + k·cint and ends an interval at
    any other time asked for."""

    def __init__(self, model, start, cint):
        self._model = model
        self._start = start
        self._cint = cint
        self._index = 0  # the grid point the model is at or last passed
        self._on_grid = True

    def _grid(self, index):
        return self._start + index * self._cint

    def advance_to(self, target):
        model, tolerance = self._model, _tolerance(target, self._cint)
        while self._grid(self._index + 1) < target + tolerance:
            if self._on_grid:
                model.step()  # a whole interval, exactly as a run without a schedule takes it
            else:
                model.run_to(self._grid(self._index + 1))
                self._on_grid = True
            self._index += 1
        if abs(model.time - target) > tolerance:
            model.run_to(target)
            self._on_grid = False
