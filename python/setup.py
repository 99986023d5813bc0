# For Debian's pybuild, which drives setup.py; the metadata is that of pyproject.toml.
from setuptools import setup

setup()
