"""qxcm: scientific cameras from Python, over the qxcm C library.

    import qxcm
    with qxcm.Library() as lib, lib.open(0) as cam:
        cam.exposure = 0.005
        frame = cam.snap()          # a numpy array with .timestamp and .frame_number
"""

from ._errors import QxcmError, Timeout
from .camera import Area, Camera, CameraInfo, Library, Trigger
from .frame import Frame
from .params import Limits, Parameter, Parameters
from .sequence import Sequence, open_sequence

__all__ = ["Area", "Camera", "CameraInfo", "Frame", "Library", "Limits", "Parameter",
           "Parameters", "QxcmError", "Sequence", "Timeout", "Trigger", "open_sequence"]
__version__ = "4.4.24"
