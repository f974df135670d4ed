"""Finding and loading the qxcm library, and the one table of its exports' signatures.

Calls go through ctypes.CDLL, which releases the GIL for the duration of every foreign call, so
a thread blocked in a frame wait leaves the interpreter to the others. The library is called by
one thread at a time: every call holds the one TurnLock, which threads get in the order they
asked for it."""

import ctypes
import os
import sys
import threading
from ctypes import POINTER, c_char_p, c_double, c_float, c_int32, c_uint32, c_uint64, c_void_p
from pathlib import Path

from ._errors import NOMODULE, NOTSUPPORT, error_for

U32, I32, U64, F64 = c_uint32, c_int32, c_uint64, c_double
pU32, pI32, pU64, pF64 = POINTER(c_uint32), POINTER(c_int32), POINTER(c_uint64), POINTER(c_double)
STR, BUF, pBUF, pF32 = c_char_p, c_void_p, POINTER(c_void_p), POINTER(c_float)

# name: argument types before the error out-parameter. Every export listed here returns 1 on
# success and 0 on failure and ends with int32_t *error; the few that do not are in OWN_EXPORTS.
# An export missing from the loaded library (an older build) raises NOTSUPPORT when called.
EXPORTS = {
    "QXCM_INITIALIZE_40": (pU32, BUF, BUF, I32, I32),
    "QXCM_OPENCAMERA_40": (U32, U32),
    "QXCM_CLOSECAMERA_40": (U32,),
    "QXCM_GETCAMERAINFO_40": (U32, U32, BUF),
    "QXCM_GETCAMERASTATUS_40": (U32, pI32),
    "QXCM_SETPARAMETER_40": (U32, I32, F64, I32),
    "QXCM_GETPARAMETER_40": (U32, I32, pF64, I32),
    "QXCM_GETNEXTPARAMETER_40": (U32, BUF, pI32, pI32, I32),
    "QXCM_GETPARAMETERLIMITS_40": (U32, I32, pI32, pF64, pF64, pF64, pF64, pI32),
    "QXCM_GETPARAMETERLIMITS_41": (U32, I32, pI32, pF64, pF64, pF64, pF64, pI32, pI32),
    "QXCM_GETPARAMETERTEXT_40": (U32, I32, BUF, F64, pF64),
    "QXCM_GETVALUETEXT_40": (U32, I32, BUF, F64),
    "QXCM_PREPARECAPTURE_40": (U32, U32, I32, pU32, pU32, pU32),
    "QXCM_PREPARECAPTURE_41": (U32, U32, I32, pU32, pU32, pU32, U64),
    "QXCM_PREPARE_ATTACH_40": (U32, U32, pBUF, U32, pI32),
    "QXCM_UNPREPARECAPTURE_40": (U32,),
    "QXCM_GETBUFFERSIZE_40": (U32, pU32, pU32),
    "QXCM_FRAMEBUNDLE_40": (U32, I32, I32, pI32),
    "QXCM_STARTCAPTURE_40": (U32,),
    "QXCM_STOPCAPTURE_40": (U32,),
    "QXCM_WAITNEXTFRAME_40": (U32, U32, pI32, pI32),
    "QXCM_GETCAPTUREINFO_40": (U32, pI32, pI32),
    "QXCM_FIRETRIGGER_40": (U32,),
    "QXCM_GETFRAME_40": (U32, U32, BUF, pF64, U32),
    "QXCM_GETFRAME_41": (U32, I32, I32, BUF, pF64, U32),
    "QXCM_GETFRAMENUMBER_40": (U32, I32, pU32, pF64),
    "QXCM_GETFRAME_SPLIT_40": (U32, U32, BUF, BUF, pF64, U32),
    "QXCM_GETFRAME_PACK12_40": (U32, U32, BUF, pF64, U32),
    "QXCM_STARTRECORDER_40": (U32, STR, U32),
    "QXCM_STARTRECORDER_41": (U32, STR, I32, I32),
    "QXCM_STARTRECORDER_42": (U32, STR, I32, I32, pU64),
    "QXCM_STOPRECORDER_40": (U32,),
    "QXCM_GETRECORDERSTATUS_40": (U32, pI32, pI32),
    "QXCM_WRITEMETADATA_40": (U32, U32, U32, BUF, U32),
    "QXCM_GETRECORDERFRAME_40": (U32, U32, U64),
    "QXCM_OPENVLSEQFILE_40": (pU32, STR, pI32),
    "QXCM_OPENVLSEQFILE_A": (pU32, STR, pI32, BUF),
    "QXCM_CLOSEVLSEQFILE_40": (U32,),
    "QXCM_GETVLSEQFRAMEINFO_40": (U32, U32, pU32, pU32),
    "QXCM_GETVLSEQFRAMEDATA_40": (U32, I32, BUF, pF64, U32),
    "QXCM_READMETADATA_40": (U32, I32, U32, BUF, U32),
    "QXCM_GETTIMESTAMP": (U32, I32, pF64),
    "QXCM_SETAREA_40": (U32, I32, I32, I32, I32),
    "QXCM_GETAREA_40": (U32,) + (pI32,) * 16,
    "QXCM_SETAREA_PAIRED_40": (U32,) + (I32,) * 6,
    "QXCM_GETAREA_PAIRED_40": (U32,) + (pI32,) * 18,
    "QXCM_SETMULTIREGION_40": (U32, BUF, I32),
    "QXCM_SETOUTPUTTRIGGER_40": (U32, I32, I32, F64, F64, U32, U32),
    "QXCM_SETMASTERPULSE_40": (U32, I32, I32, F64, I32),
    "QXCM_SETLUT_40": (U32, BUF, I32),
    "QXCM_SETEMPROTECTION_40": (U32, I32, I32, I32, I32),
    "QXCM_GETEMPROTECTSTATUS_40": (U32, pI32),
    "QXCM_GETELECTRONINFO_40": (U32, pF32, pF32),
    "QXCM_GETELECTRONINFO": (U32, I32, pF32, pF32),  # the values stored for a buffer frame
    "QXCM_SENSORCOOLER_40": (U32, I32),
    "QXCM_TESTPATTERN_40": (U32, I32),
    "QXCM_TESTPATTERN_41": (U32, I32, I32, I32),
    "QXCM_SETRECURSIVEFILTER_40": (U32, I32),
    "QXCM_SETFRAMEAVERAGING_40": (U32, I32),
    "QXCM_BACKGROUNDSUBTRACT_40": (U32, I32, I32),
    "QXCM_STOREBACKGROUNDFRAME_40": (U32, I32),
    "QXCM_STOREBACKGROUNDFRAME_41": (U32, I32, I32),
    "QXCM_SHADINGCORRECT_40": (U32, I32, I32),
    "QXCM_STORESHADINGFRAME_40": (U32, I32),
    "QXCM_STORESHADINGFRAME_41": (U32, I32, I32),
}

# Exports with a contract of their own: name -> (result type, argument types).
OWN_EXPORTS = {
    "QXCM_DEINITIALIZE_40": (I32, (I32,)),  # always 1
    "QXCM_REPORTERROR": (I32, (I32, BUF)),  # fills a text of at most 128 characters
}

_NAMES = {"linux": "libqxcm.so", "win32": "qxcm.dll", "darwin": "libqxcm.dylib"}
LIBRARY_FILE = _NAMES.get(sys.platform, "libqxcm.so")
# Presets whose library a plain interpreter can load (a sanitizer build needs its runtime
# preloaded, so it is not looked for).
_BUILD_PRESETS = ("mingw-x64",) if sys.platform == "win32" else ("release", "dev")


def candidates():
    """Where the library is looked for, in order."""
    here = Path(__file__).resolve().parent
    yield here / LIBRARY_FILE
    env = os.environ.get("QXCM_LIBRARY")
    if env:
        p = Path(env)
        yield p / LIBRARY_FILE if p.is_dir() else p
    repo = here.parent.parent
    for preset in _BUILD_PRESETS:
        yield repo / "build" / preset / "bin" / LIBRARY_FILE


def find_library():
    for path in candidates():
        if path.is_file():
            return path
    return None


class TurnLock:
    """A reentrant lock handed over in the order threads asked for it: a thread that calls the
    library in a tight loop (a stream's waits and copies) cannot keep another thread's stop or
    close out."""

    def __init__(self):
        self._cond = threading.Condition(threading.Lock())
        self._owner, self._depth = None, 0
        self._next = self._serving = 0
        self._given_up = set()

    def acquire(self):
        me = threading.get_ident()
        with self._cond:
            if self._owner == me:
                self._depth += 1
                return True
            ticket = self._next
            self._next += 1
            try:
                while self._owner is not None or self._serving != ticket:
                    self._cond.wait()
            except BaseException:  # interrupted while waiting: the turn passes on
                self._given_up.add(ticket)
                self._pass_on()
                raise
            self._owner, self._depth = me, 1
            return True

    def release(self):
        with self._cond:
            if self._owner != threading.get_ident():
                raise RuntimeError("release of a TurnLock this thread does not hold")
            self._depth -= 1
            if self._depth == 0:
                self._owner = None
                self._serving += 1
                self._pass_on()

    def _pass_on(self):
        while self._owner is None and self._serving in self._given_up:
            self._given_up.discard(self._serving)
            self._serving += 1
        self._cond.notify_all()

    def __enter__(self):
        return self.acquire()

    def __exit__(self, *exc):
        self.release()


class Native:
    """The loaded library: one callable per export, each raising QxcmError on failure."""

    def __init__(self, path=None):
        if path is None:
            path = find_library()
        if path is None:
            # Last resort: the loader's own search (an installed prefix on its path).
            path = LIBRARY_FILE
        self.path = Path(path)
        try:
            self.dll = ctypes.CDLL(str(path))
        except OSError as e:
            looked = ", ".join(str(p) for p in candidates())
            raise error_for(NOMODULE, f"cannot load the qxcm library ({e}); looked in {looked} "
                            "and on the loader's path; QXCM_LIBRARY names it", "load") from None
        # The library is called from one thread at a time; the waits of a capture are short
        # slices, so a stop or close of another thread gets its turn between two of them.
        self.lock = TurnLock()
        self.functions = {}
        for name, args in EXPORTS.items():
            fn = getattr(self.dll, name, None)
            if fn is not None:
                fn.argtypes = list(args) + [pI32]
                fn.restype = I32
                self.functions[name] = fn
        for name, (restype, args) in OWN_EXPORTS.items():
            fn = getattr(self.dll, name)
            fn.argtypes = list(args)
            fn.restype = restype
            self.functions[name] = fn

    @property
    def folder(self):
        """The folder of the loaded library (its stand-ins live beside it)."""
        return Path(os.path.dirname(self._loaded_file()))

    def _loaded_file(self):
        if self.path.is_absolute() or self.path.exists():
            return str(self.path.resolve())
        # Loaded through the loader's search: ask the loader where it found it.
        try:
            info = _dl_info(self.dll.QXCM_REPORTERROR)
            if info:
                return info
        except OSError:
            pass
        return str(self.path)

    def error_text(self, code):
        text = ctypes.create_string_buffer(256)
        self.functions["QXCM_REPORTERROR"](code, text)
        return text.value.decode("latin-1")

    def fail(self, name, code):
        return error_for(code, self.error_text(code), name)

    def has(self, name):
        return name in self.functions

    def function(self, name):
        fn = self.functions.get(name)
        if fn is None:
            raise error_for(NOTSUPPORT, "not exported by the loaded library", name)
        return fn

    def call(self, name, *args):
        """Calls an export that ends with an error out-parameter; raises on failure."""
        fn = self.function(name)
        err = c_int32(0)
        with self.lock:
            ok = fn(*args, ctypes.byref(err))
        if ok != 1:
            raise self.fail(name, err.value)


def _dl_info(fn):
    if sys.platform == "win32":
        return None

    class DlInfo(ctypes.Structure):
        _fields_ = [("dli_fname", c_char_p), ("dli_fbase", c_void_p), ("dli_sname", c_char_p),
                    ("dli_saddr", c_void_p)]

    libc = ctypes.CDLL(None)
    info = DlInfo()
    if libc.dladdr(ctypes.cast(fn, c_void_p), ctypes.byref(info)) and info.dli_fname:
        return info.dli_fname.decode()
    return None


_native = None
_native_lock = threading.Lock()


def refusal(code, note, function):
    """The error for a call the package refuses itself: the code's text from the library, then
    why."""
    try:
        text = native().error_text(code)
    except OSError:
        text = ""
    return error_for(code, f"{text} ({note})" if text else note, function)


def native():
    """The process's one loaded library (the library keeps process-wide state)."""
    global _native
    with _native_lock:
        if _native is None:
            _native = Native()
        return _native
