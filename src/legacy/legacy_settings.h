// Trigger settings of the older family: its trigger-mode table written through the records of
// parameters 15 to 18, and its input-trigger table written straight to the device.
#pragma once

#include <cstdint>

#include "core/library_state.h"

namespace qxcm {

// Whether the camera has a record for any of parameters 15 to 18.
bool HasLegacyTriggerRecords(const CameraContext &c);
// Whether the older trigger-mode table knows a host mode.
bool IsLegacyTriggerMode(int32_t mode);

// Writes the three settings of a known mode to the records of parameters 15, 16 and 17, then
// the polarity to that of 18, stopping at the first that fails (a missing record included).
bool ApplyLegacyTrigger(CameraContext &c, int32_t mode, int32_t polarity);

// Writes the input trigger of an older host mode straight to the device properties (or through
// the older trigger-mode call for modes 8, 16, 128 and 256). An unknown mode fails without a
// device call. A refused write fails with its own code in lastResult; the delay's result, and
// the polarity's after modes 128 and 256, are not examined.
bool ApplyLegacyInputTrigger(CameraContext &c, int32_t mode, int32_t polarity, double delay);

} // namespace qxcm
