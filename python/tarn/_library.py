"""Finding and loading libtarn.so, its C prototypes, and the model's symbol table.

A process loads the library once and keeps one Library object: `load()` returns it. Each Model is
an independent instance of the library's model; `Library.lock` serialises what is shared: making
and destroying instances and recording the model's defaults.
"""

import ctypes
import ctypes.util
import math
import numbers
import os
import sys
import threading
from collections.abc import Mapping
from dataclasses import dataclass
from pathlib import Path

from .errors import (LibraryNotFoundError, OutOfRangeError, TarnError, UnknownSymbolError,
                     WrongTypeError)

LIBRARY_ENVIRONMENT_VARIABLE = "TARN_LIBRARY"
_LIBRARY_FILE = "libtarn.so"
_LIBRARY_SONAME = "libtarn.so.1"

# Symbol type codes (the role of a symbol in the model).
SYMBOL_TYPE_NAMES = {
    0: "independent",
    1: "independent-initial",
    2: "state",
    3: "derivative",
    4: "initial-condition",
    5: "variable",
    6: "comm-interval",
    7: "algorithm",
    8: "steps-per-interval",
    9: "max-step",
    10: "min-step",
    11: "error-flag",
    12: "runtime-flag",
    13: "integration-control",
}
STATE = 2
DERIVATIVE = 3
INITIAL_CONDITION = 4
VARIABLE = 5
INTEGRATION_CONTROL = 13
# Run-control symbols a host sets: cint, ialg, nstp, maxt, mint and the integrator controls.
_SETTING_TYPES = frozenset({6, 7, 8, 9, 10, INTEGRATION_CONTROL})

# Data type codes.
DATA_TYPE_NAMES = {0: "short", 1: "long", 2: "double", 3: "float", 4: "double", 5: "logical",
                   6: "string"}
_SHORT, _LONG, _FLOAT, _DOUBLE, _LOGICAL = 0, 1, 3, 4, 5

# Integration algorithms by code, with the names the command line also accepts.
ALGORITHMS = {
    "adams-moulton": 1,
    "gear": 2,
    "euler": 3,
    "rk2": 4,
    "rk4": 5,
    "rkf12": 8,
    "rkf45": 9,
    "rosenbrock": 12,
    "ab2": 13,
    "dlsodes": 14,
    "odepack": 14,
    "cvode": 15,
}
_ALGORITHM_CODES = frozenset(ALGORITHMS.values())

# Bits of a symbol's bounds (TarnBoundFlags).
_BOUND_MINIMUM, _BOUND_MAXIMUM = 1, 2
_BOUND_MINIMUM_EXCLUSIVE, _BOUND_MAXIMUM_EXCLUSIVE, _BOUND_WHOLE = 4, 8, 16


class _SymbolInfo(ctypes.Structure):
    _fields_ = [
        ("symbolType", ctypes.c_uint32),
        ("dataType", ctypes.c_uint32),
        ("name", ctypes.c_char_p),
        ("numberDimensions", ctypes.c_uint32),
        ("extents", ctypes.POINTER(ctypes.c_uint32)),
        ("attributes", ctypes.c_uint8 * 11),
        ("derivativeIndex", ctypes.c_uint32),
        ("initialConditionIndex", ctypes.c_uint32),
        ("stringLength", ctypes.c_uint32),
    ]


STATUS_CALLBACK = ctypes.CFUNCTYPE(None, ctypes.c_uint32, ctypes.c_uint32, ctypes.c_char_p)
TICK_CALLBACK = ctypes.CFUNCTYPE(None, ctypes.c_uint32, ctypes.c_uint32, ctypes.c_int)
DISCRETE_EVENT_CALLBACK = ctypes.CFUNCTYPE(None, ctypes.c_uint32, ctypes.c_uint32,
                                           ctypes.c_uint32)
STATE_CHANGE_CALLBACK = ctypes.CFUNCTYPE(None, ctypes.c_uint32, ctypes.c_uint32, ctypes.c_int,
                                         ctypes.c_int)

_u32 = ctypes.c_uint32
_PROTOTYPES = {
    "TarnGetVersion": (_u32, []),
    "TarnInitialize": (None, []),
    "TarnCreateIndependent": (_u32, []),
    "TarnDestroy": (None, [_u32]),
    "TarnGetNumberSymbols": (_u32, []),
    "TarnGetNumberDiscreteSections": (_u32, []),
    "TarnGetSymbolIndex": (_u32, [ctypes.c_char_p]),
    "TarnGetSymbolName": (ctypes.c_char_p, [_u32]),
    "TarnGetSymbolInfo": (ctypes.c_bool, [_u32, ctypes.POINTER(_SymbolInfo)]),
    "TarnGetRelativeError": (ctypes.c_double, [_u32, _u32]),
    "TarnGetAbsoluteError": (ctypes.c_double, [_u32, _u32]),
    "TarnSetRelativeError": (None, [_u32, _u32, ctypes.c_double]),
    "TarnSetAbsoluteError": (None, [_u32, _u32, ctypes.c_double]),
    "TarnGetDoubles": (_u32, [_u32, _u32, ctypes.POINTER(_u32), ctypes.c_void_p]),
    "TarnSetDoubles": (_u32, [_u32, _u32, ctypes.POINTER(_u32), ctypes.c_void_p]),
    "TarnGetSymbolDescription": (ctypes.c_char_p, [_u32]),
    "TarnGetSymbolUnit": (ctypes.c_char_p, [_u32]),
    "TarnGetSymbolGroup": (ctypes.c_char_p, [_u32]),
    "TarnGetSymbolBounds": (_u32, [_u32, ctypes.POINTER(ctypes.c_double),
                                   ctypes.POINTER(ctypes.c_double)]),
    "TarnIsWithinSymbolBounds": (ctypes.c_bool, [_u32, ctypes.c_double]),
    "TarnGetStateInitialParameter": (_u32, [_u32]),
    "TarnIsSymbolOutput": (ctypes.c_bool, [_u32]),
    "TarnGetValidityRange": (ctypes.c_bool, [ctypes.POINTER(ctypes.c_double),
                                             ctypes.POINTER(ctypes.c_double)]),
    "TarnGetShort": (ctypes.c_int16, [_u32, _u32]),
    "TarnGetLong": (ctypes.c_int32, [_u32, _u32]),
    "TarnGetFloat": (ctypes.c_float, [_u32, _u32]),
    "TarnGetDouble": (ctypes.c_double, [_u32, _u32]),
    "TarnGetBool": (ctypes.c_uint8, [_u32, _u32]),
    "TarnGetDouble1": (ctypes.c_double, [_u32, _u32, _u32]),
    "TarnSetShort": (None, [_u32, _u32, ctypes.c_int16]),
    "TarnSetLong": (None, [_u32, _u32, ctypes.c_int32]),
    "TarnSetFloat": (None, [_u32, _u32, ctypes.c_float]),
    "TarnSetDouble": (None, [_u32, _u32, ctypes.c_double]),
    "TarnSetBool": (None, [_u32, _u32, ctypes.c_uint8]),
    "TarnCalcDeriv": (None, [_u32, _u32]),
    "TarnStartBlocking": (None, [_u32]),
    "TarnStop": (None, [_u32]),
    "TarnPreStep": (None, [_u32]),
    "TarnStep": (None, [_u32]),
    "TarnRunToTime": (None, [_u32, ctypes.c_double]),
    "TarnSaveState": (ctypes.c_void_p, [_u32]),
    "TarnRestoreState": (ctypes.c_bool, [_u32, ctypes.c_void_p]),
    "TarnFreeState": (None, [ctypes.c_void_p]),
    "TarnSerializeState": (ctypes.c_uint64, [ctypes.c_void_p, ctypes.c_void_p, ctypes.c_uint64]),
    "TarnDeserializeState": (ctypes.c_void_p, [ctypes.c_char_p, ctypes.c_uint64]),
    "TarnAddStatusCallback": (None, [_u32, _u32, STATUS_CALLBACK]),
    "TarnAddTickCallbackFunction": (None, [_u32, _u32, TICK_CALLBACK]),
    "TarnAddDiscreteEventCallbackFunction": (None, [_u32, _u32, _u32, DISCRETE_EVENT_CALLBACK]),
    "TarnRemoveDiscreteEventCallbackFunction": (None, [_u32, _u32, _u32,
                                                       DISCRETE_EVENT_CALLBACK]),
    "TarnAddExecutionStateChangeCallbackFunction": (None, [_u32, _u32, STATE_CHANGE_CALLBACK]),
    "TarnRemoveExecutionStateChangeCallbackFunction": (None, [_u32, _u32,
                                                              STATE_CHANGE_CALLBACK]),
}


@dataclass(frozen=True)
class Symbol:
    """Description of one symbol of the model.

    `index` is the 1-based position in the symbol table; `symbol_type` and `data_type` are the
    library's codes; `extents` the six array extents (all 0 for a scalar); `attributes` the eleven
    attribute flags; `derivative_index` and `initial_condition_index` are set for states.

    What the model says the symbol means: `description`, `unit` ("1" for a pure number), `group`
    (the part of the model), the bounds of a value that may be set (`minimum` and `maximum`,
    -inf/inf where there is none; `bound_flags` says whether they are excluded and whether only
    0 or 1 is taken), `initial_parameter` (for a state: the parameter its initial value comes
    from, or None when it starts at 0) and `is_output` (listed among the outputs worth plotting).
    Empty texts where the model records nothing.
    """

    index: int
    name: str
    symbol_type: int
    data_type: int
    extents: tuple
    attributes: tuple
    derivative_index: int
    initial_condition_index: int
    relative_error: float
    absolute_error: float
    description: str = ""
    unit: str = ""
    group: str = ""
    minimum: float = -math.inf
    maximum: float = math.inf
    bound_flags: int = 0
    initial_parameter: str = None
    is_output: bool = False

    @property
    def type_name(self):
        return SYMBOL_TYPE_NAMES.get(self.symbol_type, str(self.symbol_type))

    @property
    def data_type_name(self):
        return DATA_TYPE_NAMES.get(self.data_type, str(self.data_type))

    @property
    def is_scalar(self):
        return self.extents[0] == 0

    @property
    def is_table(self):
        return bool(self.attributes[10])

    @property
    def is_parameter(self):
        """A model parameter: a variable with a default value that is not a table."""
        return (self.symbol_type == VARIABLE and bool(self.attributes[1])
                and not self.is_table)

    @property
    def is_setting(self):
        """A run-control symbol a host sets: cint, ialg, nstp, maxt, mint and the *itg controls."""
        return self.symbol_type in _SETTING_TYPES

    @property
    def is_writable(self):
        """Parameters, run-control settings and states (a state written between steps is where
        the next step starts)."""
        return self.is_scalar and (self.is_parameter or self.is_setting
                                   or self.symbol_type == STATE)

    @property
    def bounds(self):
        """The bounds in interval notation ("(0, inf)", "[0, 1]", "{0, 1}" for a switch); ""
        when there are none."""
        flags, low, high = self.bound_flags, self.minimum, self.maximum
        if not flags:
            return ""
        if flags & _BOUND_WHOLE and low + 1 == high:
            return f"{{{low:g}, {high:g}}}"
        opening = "(" if flags & _BOUND_MINIMUM_EXCLUSIVE or math.isinf(low) else "["
        closing = ")" if flags & _BOUND_MAXIMUM_EXCLUSIVE or math.isinf(high) else "]"
        return f"{opening}{low:g}, {high:g}{closing}"

    def requirement(self):
        """What a value outside the bounds breaks, in words ("must be positive", ...)."""
        flags, low, high = self.bound_flags, self.minimum, self.maximum
        if flags & _BOUND_WHOLE and low + 1 == high:
            return f"must be {low:g} or {high:g}"
        lower = ""
        if flags & _BOUND_MINIMUM:
            if low == 0:
                lower = "be positive" if flags & _BOUND_MINIMUM_EXCLUSIVE else "not be negative"
            else:
                lower = ("be above " if flags & _BOUND_MINIMUM_EXCLUSIVE else "be at least ") + \
                    f"{low:g}"
        upper = ""
        if flags & _BOUND_MAXIMUM:
            upper = ("below " if flags & _BOUND_MAXIMUM_EXCLUSIVE else "at most ") + f"{high:g}"
        if not lower:
            return f"must be {upper}" if upper else ""
        if not upper:
            return f"must {lower}"
        return f"must {lower} and {'' if lower.startswith('be ') else 'be '}{upper}"

    @property
    def size(self):
        count = 1
        for extent in self.extents:
            if extent == 0:
                break
            count *= extent
        return count


def _candidate_paths(path=None):
    """Where libtarn.so is looked for, in order, as (origin, path) pairs."""
    if path is not None:
        return [("the path given", Path(path))]
    candidates = []
    from_environment = os.environ.get(LIBRARY_ENVIRONMENT_VARIABLE)
    if from_environment:
        return [(LIBRARY_ENVIRONMENT_VARIABLE, Path(from_environment))]
    # The build tree, when this package is used from its source folder (python/tarn).
    source_root = Path(__file__).resolve().parents[2]
    candidates.append(("the build tree", source_root / "build" / _LIBRARY_FILE))
    # An installed tree: this Python's prefix, then the usual prefixes.
    for prefix in dict.fromkeys([sys.prefix, "/usr/local", "/usr"]):
        for libdir in ("lib", "lib64", "lib/x86_64-linux-gnu"):
            candidates.append(("the installed location", Path(prefix) / libdir / _LIBRARY_SONAME))
    return candidates


def find_library(path=None):
    """The path of the libtarn.so to load.

    Looks at the explicit `path`; else the TARN_LIBRARY environment variable; else the build tree
    next to this package's source folder, the installed locations under this Python's prefix,
    /usr/local and /usr, and finally the dynamic loader's own search. Raises LibraryNotFoundError
    naming every place looked at.
    """
    candidates = _candidate_paths(path)
    for _, candidate in candidates:
        if candidate.is_file():
            return str(candidate.resolve())
    if path is None and not os.environ.get(LIBRARY_ENVIRONMENT_VARIABLE):
        found = ctypes.util.find_library("tarn")
        if found:
            return found
    looked = "\n".join(f"  {candidate} ({origin})" for origin, candidate in candidates)
    raise LibraryNotFoundError(
        f"libtarn.so not found. Looked at:\n{looked}\n"
        f"Build it with 'make build', or give its path in {LIBRARY_ENVIRONMENT_VARIABLE} "
        "or as the library argument.")


class Library:
    """The loaded libtarn.so: its functions, its symbol table and the model's default values."""

    def __init__(self, path):
        try:
            self.dll = ctypes.CDLL(path)
        except OSError as error:
            raise LibraryNotFoundError(f"cannot load {path}: {error}") from None
        self.path = path
        for name, (restype, argtypes) in _PROTOTYPES.items():
            try:
                function = getattr(self.dll, name)
            except AttributeError:
                raise LibraryNotFoundError(
                    f"{path} is not a Tarn library: it has no function {name}") from None
            function.restype = restype
            function.argtypes = argtypes
        self.lock = threading.RLock()
        self.dll.TarnInitialize()
        self.symbols = self._read_symbol_table()
        # (start, end) in hours over which the model is valid, or None when it records none.
        self.validity_range = self._read_validity_range()
        self.discrete_sections = tuple(
            1000 + k for k in range(self.dll.TarnGetNumberDiscreteSections()))
        self._defaults = None
        self._double_indexes = None
        self._double_defaults = None

    def _read_symbol_table(self):
        symbols = [None]
        info = _SymbolInfo()
        dll = self.dll
        low, high = ctypes.c_double(), ctypes.c_double()
        for index in range(1, dll.TarnGetNumberSymbols() + 1):
            if not dll.TarnGetSymbolInfo(index, ctypes.byref(info)):
                raise TarnError(f"the library does not describe symbol {index}")
            flags = dll.TarnGetSymbolBounds(index, ctypes.byref(low), ctypes.byref(high))
            initial = dll.TarnGetStateInitialParameter(index)
            symbols.append(Symbol(
                index=index,
                name=info.name.decode("ascii"),
                symbol_type=info.symbolType,
                data_type=info.dataType,
                extents=tuple(info.extents[k] for k in range(6)),
                attributes=tuple(info.attributes),
                derivative_index=info.derivativeIndex,
                initial_condition_index=info.initialConditionIndex,
                relative_error=dll.TarnGetRelativeError(0, index),
                absolute_error=dll.TarnGetAbsoluteError(0, index),
                description=dll.TarnGetSymbolDescription(index).decode("utf-8"),
                unit=dll.TarnGetSymbolUnit(index).decode("utf-8"),
                group=dll.TarnGetSymbolGroup(index).decode("utf-8"),
                minimum=low.value,
                maximum=high.value,
                bound_flags=flags,
                initial_parameter=(dll.TarnGetSymbolName(initial).decode("ascii")
                                   if initial else None),
                is_output=dll.TarnIsSymbolOutput(index)))
        return tuple(symbols)

    def _read_validity_range(self):
        start, end = ctypes.c_double(), ctypes.c_double()
        if self.dll.TarnGetValidityRange(ctypes.byref(start), ctypes.byref(end)):
            return (start.value, end.value)
        return None

    @property
    def version(self):
        version = self.dll.TarnGetVersion()
        return f"{version >> 16}.{version & 0xFFFF}"

    # ---- Symbols by name -----------------------------------------------------------------------

    def symbol(self, name):
        """The symbol called `name` in any case, as the library's own lookup finds it."""
        if not isinstance(name, str):
            raise WrongTypeError(f"a symbol name is a str, not {type(name).__name__}: {name!r}")
        index = 0
        if name.isascii() and "\0" not in name:
            index = self.dll.TarnGetSymbolIndex(name.encode("ascii"))
        if index == 0:
            raise UnknownSymbolError(f"unknown symbol {name!r}{self._suggestion(name)}", name)
        return self.symbols[index]

    def _suggestion(self, name):
        import difflib
        names = [symbol.name for symbol in self.symbols[1:]]
        close = difflib.get_close_matches(name.lower(), names, n=3)
        return f" (did you mean {', '.join(repr(c) for c in close)}?)" if close else ""

    def output_symbols(self, names):
        """The symbols a run records: t, then those named (a name or a sequence of names),
        each a scalar."""
        if isinstance(names, str):
            names = [names]
        columns = [self.symbol("t")]
        for name in names:
            symbol = self.symbol(name)
            if not symbol.is_scalar:
                raise WrongTypeError(f"output {symbol.name} is a table, not a scalar")
            if symbol not in columns:
                columns.append(symbol)
        return columns

    def parameters(self):
        return [symbol for symbol in self.symbols[1:] if symbol.is_parameter]

    def settings(self):
        return [symbol for symbol in self.symbols[1:] if symbol.is_setting]

    def states(self):
        return [symbol for symbol in self.symbols[1:] if symbol.symbol_type == STATE]

    def outputs(self):
        return [symbol for symbol in self.symbols[1:] if symbol.is_output]

    def units(self, names):
        """The unit of each named symbol, by name ("" for a name the model does not have)."""
        units = {}
        for name in names:
            index = self.dll.TarnGetSymbolIndex(name.encode("ascii")) if name.isascii() else 0
            units[name] = self.symbols[index].unit if index else ""
        return units

    # ---- Values --------------------------------------------------------------------------------

    def read(self, instance, symbol):
        """The symbol's value: a float, an int, a bool, or a numpy array for a table."""
        if not symbol.is_scalar:
            import numpy
            if symbol.data_type != _DOUBLE:
                raise WrongTypeError(f"{symbol.name} is an array of {symbol.data_type_name}")
            return numpy.array([self.dll.TarnGetDouble1(instance, symbol.index, k + 1)
                                for k in range(symbol.size)])
        reader = {_DOUBLE: self.dll.TarnGetDouble, _LONG: self.dll.TarnGetLong,
                  _SHORT: self.dll.TarnGetShort, _FLOAT: self.dll.TarnGetFloat}.get(
                      symbol.data_type)
        if reader is not None:
            return reader(instance, symbol.index)
        if symbol.data_type == _LOGICAL:
            return bool(self.dll.TarnGetBool(instance, symbol.index))
        raise WrongTypeError(f"{symbol.name} holds {symbol.data_type_name} values, "
                             "which this package does not read")

    def check(self, symbol, value, *, states=False):
        """The value converted for the symbol; raises for a symbol that cannot be written (a
        state too, unless `states`: a fresh run starts every state from its initial value) or a
        value of the wrong type or outside the symbol's bounds."""
        name = symbol.name
        if symbol.symbol_type == STATE and not states:
            if symbol.initial_parameter:
                raise WrongTypeError(f"{name} is a state; set its initial amount with "
                                     f"{symbol.initial_parameter}")
            raise WrongTypeError(f"{name} is a state that every run starts at 0; it cannot be "
                                 "set before a run")
        if not symbol.is_writable:
            what = "a table" if symbol.is_table else f"a {symbol.type_name} symbol"
            raise WrongTypeError(f"{name} cannot be set: it is {what} computed or managed by the "
                                 "model, not a parameter, a run setting or a state")
        if symbol.data_type == _LOGICAL:
            if isinstance(value, bool) or (isinstance(value, numbers.Integral)
                                           and value in (0, 1)):
                return bool(value)
            raise WrongTypeError(f"{name} is a logical and takes True or False, "
                                 f"not {value!r}")
        if name == "ialg" and isinstance(value, str):
            return algorithm_code(value)
        if isinstance(value, bool) or not isinstance(value, numbers.Real):
            kind = "an integer" if symbol.data_type in (_LONG, _SHORT) else "a number"
            raise WrongTypeError(f"{name} takes {kind}, not {type(value).__name__} {value!r}")
        if symbol.data_type in (_LONG, _SHORT):
            if not isinstance(value, numbers.Integral):
                if not (isinstance(value, numbers.Real) and math.isfinite(value)
                        and float(value).is_integer()):
                    raise WrongTypeError(f"{name} takes an integer, not {value!r}")
            value = int(value)
            bits = 31 if symbol.data_type == _LONG else 15
            if not -(1 << bits) <= value < (1 << bits):
                raise OutOfRangeError(f"{name} = {value} does not fit its {bits + 1}-bit storage")
            if name == "ialg" and value not in _ALGORITHM_CODES:
                raise OutOfRangeError(f"ialg = {value} is not an integration algorithm; "
                                      f"{algorithm_list()}")
        else:
            value = float(value)
            if not math.isfinite(value):
                raise OutOfRangeError(f"{name} must be a finite number, not {value}")
        if not self.dll.TarnIsWithinSymbolBounds(symbol.index, value):
            unit = f" {symbol.unit}" if symbol.unit not in ("", "1") else ""
            raise OutOfRangeError(f"{name} {symbol.requirement()}, not {value:g}: its bounds are "
                                  f"{symbol.bounds}{unit}")
        return value

    def write(self, instance, symbol, value):
        """Writes a value that check() returned."""
        writer = {_DOUBLE: self.dll.TarnSetDouble, _LONG: self.dll.TarnSetLong,
                  _SHORT: self.dll.TarnSetShort, _FLOAT: self.dll.TarnSetFloat,
                  _LOGICAL: self.dll.TarnSetBool}[symbol.data_type]
        writer(instance, symbol.index, value)

    # ---- Defaults ------------------------------------------------------------------------------

    def restore_defaults(self, instance):
        """Makes the model what it was when the library was loaded: every double (time, states,
        computed values, parameters, settings), the other parameters and settings, and the
        states' tolerances. The first call records the values: the model's data block holds its
        defaults until a host writes to it."""
        import numpy
        restorable = self.parameters() + self.settings() + [self.symbol("zzticg")]
        if self._defaults is None:
            self._defaults = {symbol.index: self.read(instance, symbol) for symbol in restorable}
            doubles = [symbol.index for symbol in self.symbols[1:]
                       if symbol.is_scalar and symbol.data_type == _DOUBLE]
            self._double_indexes = index_array(doubles)
            self._double_defaults = numpy.empty(len(doubles))
            self.dll.TarnGetDoubles(instance, len(doubles), self._double_indexes,
                                    self._double_defaults.ctypes.data)
            return
        self.dll.TarnSetDoubles(instance, len(self._double_defaults), self._double_indexes,
                                self._double_defaults.ctypes.data)
        for symbol in restorable:
            if symbol.data_type != _DOUBLE:
                value = self._defaults[symbol.index]
                if self.read(instance, symbol) != value:
                    self.write(instance, symbol, value)
        for symbol in self.states():
            self.dll.TarnSetRelativeError(instance, symbol.index, symbol.relative_error)
            self.dll.TarnSetAbsoluteError(instance, symbol.index, symbol.absolute_error)

    def read_doubles(self, instance):
        """Every scalar double of the model, as restore_defaults knows them."""
        import numpy
        values = numpy.empty(len(self._double_defaults))
        self.dll.TarnGetDoubles(instance, len(values), self._double_indexes, values.ctypes.data)
        return values

    def write_doubles(self, instance, values):
        """Writes back what read_doubles returned."""
        self.dll.TarnSetDoubles(instance, len(values), self._double_indexes, values.ctypes.data)

    def checked_tolerances(self, value, kind):
        """[(state, tolerance)] for a tolerance given to every state (a number) or per state (a
        mapping of state names to numbers); kind is "rtol" or "atol". Raises for a name that is
        not a state and for a value that is not a finite number, not positive (rtol) or
        negative (atol)."""
        if value is None:
            return []
        if isinstance(value, Mapping):
            items = [(self.symbol(name), tolerance) for name, tolerance in value.items()]
            for symbol, _ in items:
                if symbol.symbol_type != STATE:
                    raise WrongTypeError(f"{kind} is given per state, and {symbol.name} is a "
                                         f"{symbol.type_name} symbol, not a state")
        else:
            items = [(symbol, value) for symbol in self.states()]
        checked = []
        for symbol, tolerance in items:
            if isinstance(tolerance, bool) or not isinstance(tolerance, numbers.Real):
                raise WrongTypeError(f"{kind} takes a number or a mapping of state names to "
                                     f"numbers, not {type(tolerance).__name__} {tolerance!r}")
            tolerance = float(tolerance)
            if not math.isfinite(tolerance) or tolerance < 0 or (kind == "rtol" and
                                                                 tolerance == 0):
                requirement = "positive" if kind == "rtol" else "zero or positive"
                raise OutOfRangeError(f"{kind} must be a finite {requirement} number, "
                                      f"not {tolerance}")
            checked.append((symbol, tolerance))
        return checked

    def set_tolerances(self, instance, relative, absolute):
        """Applies what checked_tolerances returned."""
        for symbol, tolerance in relative:
            self.dll.TarnSetRelativeError(instance, symbol.index, tolerance)
        for symbol, tolerance in absolute:
            self.dll.TarnSetAbsoluteError(instance, symbol.index, tolerance)

    def default(self, symbol):
        return self._defaults[symbol.index]


def index_array(indexes):
    """Symbol indexes as the C array TarnGetDoubles and TarnSetDoubles take."""
    return (_u32 * len(indexes))(*indexes)


def algorithm_code(algorithm):
    """The integration algorithm code for a code or a name (any case)."""
    if isinstance(algorithm, str):
        code = ALGORITHMS.get(algorithm.lower())
        if code is None:
            raise OutOfRangeError(f"unknown algorithm {algorithm!r}; {algorithm_list()}")
        return code
    if isinstance(algorithm, bool) or not isinstance(algorithm, numbers.Integral):
        raise WrongTypeError("algorithm takes a name or an integer code, "
                             f"not {type(algorithm).__name__} {algorithm!r}")
    if int(algorithm) not in _ALGORITHM_CODES:
        raise OutOfRangeError(f"unknown algorithm {algorithm}; {algorithm_list()}")
    return int(algorithm)


def algorithm_list():
    return "known: " + ", ".join(f"{name} ({code})" for name, code in ALGORITHMS.items()
                                 if name != "odepack")


_loaded = None
_load_lock = threading.Lock()


def load(path=None):
    """The process's Library, loading it on first use (see find_library for where it is looked
    for). A later call naming a different library raises: a process holds one."""
    global _loaded
    with _load_lock:
        if _loaded is None:
            _loaded = Library(find_library(path))
        elif path is not None and Path(path).resolve() != Path(_loaded.path).resolve():
            raise TarnError(f"this process already loaded {_loaded.path}; it cannot load {path} "
                            "as well")
        return _loaded
