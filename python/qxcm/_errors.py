"""Exceptions raised for every failed library call."""

def signed32(code):
    code = int(code) & 0xFFFFFFFF
    return code - (1 << 32) if code & 0x80000000 else code


# Codes of the public header that callers compare against (signed 32-bit, as the library
# reports them).
NONE = 0
API_LEVEL = -1
API_LEVEL_OPEN = signed32(0x90000101)
OPEN_FAILED = signed32(0x82001001)
TIMEOUT = signed32(0x80000106)
ABORT = signed32(0x80000102)
BUSY = signed32(0x80000101)
NOMEMORY = signed32(0x80000203)
NOMODULE = signed32(0x80000204)
INVALIDHANDLE = signed32(0x80000807)
INVALIDPARAM = signed32(0x80000808)
INVALIDVIEW = signed32(0x8000082A)
NOTSUPPORT = signed32(0x80000F03)
FAILEDOPENVLSEQ = signed32(0x84001001)
FAILEDREADDATA = signed32(0x84001004)



class QxcmError(Exception):
    """A library call failed.

    ``code`` is the library's signed 32-bit error code, ``text`` its text from
    ``QXCM_REPORTERROR`` and ``function`` the name of the export that failed."""

    def __init__(self, code, text="", function=""):
        self.code = signed32(code)
        self.text = text
        self.function = function
        super().__init__(self.code, text, function)

    def __str__(self):
        where = f"{self.function}: " if self.function else ""
        return f"{where}0x{self.code & 0xFFFFFFFF:08X} {self.text}".rstrip()

    def __reduce__(self):
        return (type(self), (self.code, self.text, self.function))


class Timeout(QxcmError):
    """A wait ended at its time limit before a frame came."""


def error_for(code, text, function):
    cls = Timeout if signed32(code) == TIMEOUT else QxcmError
    return cls(code, text, function)
