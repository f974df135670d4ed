"""qxcm: scientific cameras from Python, over the qxcm C library.

    import qxcm
    with qxcm.Library() as lib, lib.open(0) as cam:
        cam.exposure = 0.005
        frame = cam.snap()          # a numpy array with .timestamp and .frame_number
"""

import os as _os
import sys as _sys

try:
    import numpy as _numpy  # noqa: F401
except ImportError:
    _HINT = (f"qxcm needs numpy, which {_sys.executable} cannot import: on Debian run "
             "'apt-get install python3-numpy' and use /usr/bin/python3, or 'pip install numpy' "
             "for this interpreter")
    # Run as a program (python3 -m qxcm, qxcm-info): the hint alone, no traceback.
    if _sys.argv and (_sys.argv[0] == "-m" or _os.path.basename(_sys.argv[0]) == "qxcm-info"):
        print(_HINT, file=_sys.stderr)
        raise SystemExit(1)
    raise ImportError(_HINT) from None

from ._errors import QxcmError, Timeout  # noqa: E402
from .camera import Area, Camera, CameraInfo, Library, Trigger  # noqa: E402
from .features import PatternCheck, Region, TestPattern, Views  # noqa: E402
from .frame import Frame  # noqa: E402
from .params import Limits, Parameter, Parameters  # noqa: E402
from .sequence import Sequence, open_sequence  # noqa: E402

__all__ = ["Area", "Camera", "CameraInfo", "Frame", "Library", "Limits", "Parameter",
           "Parameters", "PatternCheck", "QxcmError", "Region", "Sequence", "TestPattern",
           "Timeout", "Trigger", "Views", "open_sequence"]
__version__ = "4.4.24"
