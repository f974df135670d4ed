"""A live view of one camera in a browser: `python3 -m qxcm.view` (qxcm-view)."""

from .acquire import Acquisition, Refused
from .server import Viewer

__all__ = ["Acquisition", "Refused", "Viewer"]
