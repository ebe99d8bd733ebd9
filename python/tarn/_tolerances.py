"""Error tolerances of every state for the length of one run.

A state's tolerances belong to the library's description of the symbol, which every instance
shares, so a run that tightens them puts the previous values back when it ends.
"""

import math
import numbers
from contextlib import contextmanager

from .errors import OutOfRangeError, WrongTypeError


def checked_tolerance(name, value):
    """A tolerance given to a run: None (the library's) or a positive finite number."""
    if value is None:
        return None
    if isinstance(value, bool) or not isinstance(value, numbers.Real):
        raise WrongTypeError(f"{name} takes a number, not {value!r}")
    if not (math.isfinite(value) and value > 0):
        raise OutOfRangeError(f"{name} must be a positive finite number, not {value}")
    return float(value)


@contextmanager
def state_tolerances(lib, instance, rtol=None, atol=None):
    """Sets the relative (rtol) and absolute (atol) error tolerance of every state while the block
    runs; None leaves that tolerance as it is."""
    rtol = checked_tolerance("rtol", rtol)
    atol = checked_tolerance("atol", atol)
    if rtol is None and atol is None:
        yield
        return
    dll, states = lib.dll, lib.states()
    kept = [(dll.TarnGetRelativeError(instance, symbol.index),
             dll.TarnGetAbsoluteError(instance, symbol.index)) for symbol in states]
    try:
        for symbol in states:
            if rtol is not None:
                dll.TarnSetRelativeError(instance, symbol.index, rtol)
            if atol is not None:
                dll.TarnSetAbsoluteError(instance, symbol.index, atol)
        yield
    finally:
        for symbol, (relative, absolute) in zip(states, kept):
            dll.TarnSetRelativeError(instance, symbol.index, relative)
            dll.TarnSetAbsoluteError(instance, symbol.index, absolute)
