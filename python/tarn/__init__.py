"""tarn: drive the Tarn simulation library (libtarn.so) from Python.

    import tarn
    model = tarn.Model(pdose=700, ppuls=1)
    result = model.run(tstop=240, outputs=["ca_p", "ca_np"])
    tarn.plot(result, [("ca_p", "ca_np")]).savefig("perchlorate.png")

The library is found at an explicit path (Model(library=...)), in the TARN_LIBRARY environment
variable, in the build tree next to this package's source folder, or in the installed location.
Status messages of the library go to the "tarn.status" logger.
"""

from ._library import ALGORITHMS, LIBRARY_ENVIRONMENT_VARIABLE, Library, Symbol, find_library, load
from .errors import (LibraryNotFoundError, ModelClosedError, OutOfRangeError, RunError, TarnError,
                     UnknownSymbolError, ValidityWarning, WrongTypeError)
from .model import (DEFAULT_OUTPUTS, ExecutionState, Model, ModelState, Output, Parameter,
                    Registration, TimeCourse, outputs)
from .plotting import plot
from .population import PopulationResult, SampleOutcome, run_population
from .progress import ProgressBar
from .schedule import Change, Schedule
from .sensitivity import SensitivityResult, sensitivity
from .fitting import FitResult, SampleResult, fit, sample

__version__ = "1.0.0"

__all__ = [
    "ALGORITHMS", "Change", "DEFAULT_OUTPUTS", "LIBRARY_ENVIRONMENT_VARIABLE", "ExecutionState",
    "Library", "LibraryNotFoundError", "Model", "ModelClosedError", "ModelState",
    "OutOfRangeError", "Output", "Parameter", "PopulationResult", "ProgressBar", "Registration",
    "RunError", "SampleOutcome", "Schedule", "Symbol", "TarnError", "TimeCourse",
    "UnknownSymbolError", "ValidityWarning", "WrongTypeError", "find_library", "load", "outputs",
    "plot", "run_population",
]
