"""The worker program of local population runs: python -m tarn._worker LIBRARY_PATH

It loads the library once, opens one Model and runs sample after sample on it, resetting it in
between, until its standard input ends (tarn.population describes the exchange).
"""

import sys

from .population import serve

if __name__ == "__main__":
    serve(sys.argv[1])
