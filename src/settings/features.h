// Device features: the output lookup table, the protection of the electron-multiplying gain
// stage, the electron conversion values, the sensor cooler and the test pattern. Each answers
// true or false with the cause of a failure in the camera's lastResult.
#pragma once

#include <cstdint>

#include "core/library_state.h"

namespace qxcm {

// Whether a lookup table of `points` points (two 32-bit values each) can be handed over in one
// request whose byte size is a 32-bit value.
bool LutSizeFits(int32_t points);

// Hands the table to the device and switches it on. An absent table or one of fewer than 2
// points fails without a device call and with lastResult as it was.
bool ApplyLut(CameraContext &c, const int32_t *points, int32_t count);

bool ApplyEmProtection(CameraContext &c, int32_t mode, int32_t alarm, int32_t level,
                       int32_t frames);
bool ReadEmProtectionStatus(CameraContext &c, int32_t *status);
// Both values or neither.
bool ReadElectronInfo(CameraContext &c, float *conversion, float *offset);

// Through the cooler's property record: a value it already caches makes no device write. A
// camera without the record fails without a device call and with lastResult as it was.
bool ApplySensorCooler(CameraContext &c, int32_t enable);

// Switches the test pattern; with enable exactly 2 and `parameters` given, also writes its
// kind and option.
bool ApplyTestPattern(CameraContext &c, int32_t enable, const int32_t *parameters);

} // namespace qxcm
