// Properties by name and by device id for the older family: the walk over the device's list,
// limits of any record, and direct reads and writes of a device property.
#pragma once

#include <cstdint>

#include "core/library_state.h"

namespace qxcm {

// The device property after the one `*number` names (property id + 17296; 17296 starts the
// walk) and its name (64 characters). Both are written only on success; false at the end.
bool NextLegacyProperty(CameraContext &c, int32_t *number, char *name);

// Refreshes a record and writes its limits to the host's variables; `writable` takes the
// device's writable bit (0x20000) for a property, 1 for a substitute. False (cause in
// lastResult, nothing written) when the refresh fails.
bool ReadLegacyPropertyInfo(CameraContext &c, int32_t record, uint32_t *isList, double *maxValue,
                            double *minValue, double *step, double *defaultValue,
                            uint32_t *writable);

// A device property written and read by id, bypassing the records.
bool WriteLegacyProperty(CameraContext &c, uint32_t id, float value);
bool ReadLegacyProperty(CameraContext &c, uint32_t id, float *value);

} // namespace qxcm
