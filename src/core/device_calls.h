// The two result styles of the device library's operations, stored where every failing export
// looks for its cause: the camera's lastResult.
#pragma once

#include <cstdint>

#include "core/device.h"
#include "core/library_state.h"

namespace qxcm {

// Writes one property value; a negative result ends the write sequence it belongs to.
inline bool WriteValue(CameraContext &c, uint32_t id, double value)
{
    c.lastResult = Device().VelaSetValue(c.deviceHandle, id, value);
    return c.lastResult >= 0;
}

inline bool ReadValue(CameraContext &c, uint32_t id, double *value)
{
    c.lastResult = Device().VelaGetValue(c.deviceHandle, id, value);
    return c.lastResult >= 0;
}

// For operations that answer nonzero for success: their cause stays with the device, and the
// camera's previous code (often 1) would report a failure as a success code.
inline bool DeviceAnswered(CameraContext &c, int32_t result)
{
    if (result != 0)
        return true;
    c.lastResult = Device().VelaGetLastError(c.deviceHandle, nullptr, 0);
    return false;
}

} // namespace qxcm
