// The seam between the library and its operating system: every call the library makes to the
// platform goes through one table, filled by platform_posix.cpp or platform_win32.cpp. Tests
// replace single entries (a fake clock, a temporary log path, a configuration stub).
#pragma once

#include <cstddef>
#include <cstdint>

namespace qxcm {

enum class Module { Device, SequenceFile };

struct Platform {
    // Loads the module, looking beside this library first, then on the loader's path.
    // Returns an opaque handle or null.
    void *(*loadModule)(Module module);
    // Resolves an operation by ordinal (Windows) or by name (elsewhere); null when missing.
    void *(*resolve)(void *handle, int ordinal, const char *name);
    // Milliseconds since the library was loaded, from a monotonic clock.
    int32_t (*elapsedMs)();
    void (*sleepMs)(uint32_t ms);
    // Reads the machine-wide "calibration.timeout" value; false when it is not configured.
    bool (*readCalibrationTimeout)(int32_t *value);
    // Formats the device library's file version as "a.b.c.d"; false when it cannot be read.
    bool (*deviceLibraryVersion)(void *handle, char *text, size_t capacity);
    // The call log's path.
    const char *(*logPath)();
};

Platform &Os();

} // namespace qxcm
