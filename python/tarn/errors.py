"""Exceptions raised by the tarn package.

Every error is a TarnError; each also derives from the built-in exception a Python caller would
expect (KeyError for an unknown name, TypeError for a value of the wrong type, ValueError for a
value out of range, RuntimeError for a failed run, OSError for a library that cannot be found).
"""


class TarnError(Exception):
    """Base class of every error raised by the tarn package."""


class LibraryNotFoundError(TarnError, OSError):
    """libtarn.so was not found or could not be loaded."""


class UnknownSymbolError(TarnError, KeyError):
    """A name that is not a symbol of the model, or not one usable where it was given."""

    def __init__(self, message, name=None):
        super().__init__(message)
        self.name = name

    def __str__(self):
        # KeyError would show the message quoted like a key.
        return str(self.args[0])


class WrongTypeError(TarnError, TypeError):
    """A value or argument of a type the symbol or parameter does not take."""


class OutOfRangeError(TarnError, ValueError):
    """A value of the right type outside the range its symbol or argument accepts."""


class ModelClosedError(TarnError, RuntimeError):
    """A Model used after close()."""


class RunError(TarnError, RuntimeError):
    """A run, step or run_to that ended in failure.

    Attributes:
        time: the model time (hours) at which the run stopped.
        messages: every status message the library sent during the run, in order.
        result: the time course recorded up to the failure (run() only; None otherwise).
    """

    def __init__(self, message, time=None, messages=(), result=None):
        super().__init__(message)
        self.time = time
        self.messages = list(messages)
        self.result = result


class ValidityWarning(UserWarning):
    """A run that goes past the model's validity range (after six months the model extrapolates
    its physiological tables and its results can be impossible)."""
