// Settings of the older family written straight to device properties: the master pulse and,
// with the trigger tables of the settings layer, input and output triggers.
#pragma once

#include <cstdint>

#include "core/library_state.h"

namespace qxcm {

// Writes pulse mode, trigger source and interval in that order, stopping at the first write the
// device refuses (its code in lastResult).
bool ApplyLegacyMasterPulse(CameraContext &c, int32_t mode, int32_t source, double interval);

} // namespace qxcm
