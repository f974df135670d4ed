"""Build backend: setuptools' own, taken from the interpreter's site packages when pip's
isolated build environment hides them, so that `pip install ./python` needs no index (the
distribution's setuptools and wheel are enough)."""

import importlib.util
import site
import sys

if importlib.util.find_spec("setuptools") is None:
    for path in site.getsitepackages():
        if path not in sys.path:
            sys.path.append(path)

from setuptools import build_meta as _backend  # noqa: E402
from setuptools.build_meta import *  # noqa: E402,F401,F403


def _missing(requirements):
    # Only what cannot be imported here would have to come from an index.
    return [r for r in requirements if importlib.util.find_spec(r.split(">")[0].split("=")[0]
                                                                .strip()) is None]


def get_requires_for_build_wheel(config_settings=None):
    return _missing(_backend.get_requires_for_build_wheel(config_settings))


def get_requires_for_build_sdist(config_settings=None):
    return _missing(_backend.get_requires_for_build_sdist(config_settings))


def get_requires_for_build_editable(config_settings=None):
    return _missing(_backend.get_requires_for_build_editable(config_settings))
