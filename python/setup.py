"""Installs the tarn package: pip install ./python (no network needed).

The package drives libtarn.so through ctypes, so nothing is compiled. numpy is required;
pandas (DataFrame results), matplotlib (tarn.plot) and dask.distributed (population runs on a
cluster) are used when present.
"""

from setuptools import setup

setup(
    name="tarn",
    version="1.0.0",
    description="Drive the Tarn simulation library (libtarn.so) from Python",
    packages=["tarn"],
    python_requires=">=3.9",
    install_requires=["numpy"],
    extras_require={
        "frames": ["pandas"],
        "plot": ["matplotlib"],
        "cluster": ["distributed"],
    },
)
