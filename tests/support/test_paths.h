// What every test program shares, whether or not it links the library: a file of its own per
// process (several builds run their tests at once on one machine and would otherwise remove each
// other's files) and the running number a simulated frame carries in its first four bytes.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

namespace qxtest {

inline std::string TempPath(const std::string &name)
{
#ifdef _WIN32
    const char *dir = getenv("TEMP");
    return std::string(dir && *dir ? dir : ".") + "\\" + std::to_string(_getpid()) + "_" + name;
#else
    const char *dir = getenv("TMPDIR");
    return std::string(dir && *dir ? dir : "/tmp") + "/" + std::to_string(getpid()) + "_" + name;
#endif
}

inline uint32_t FrameNumber(const void *frame)
{
    uint32_t n = 0;
    memcpy(&n, frame, sizeof n);
    return n;
}

} // namespace qxtest
