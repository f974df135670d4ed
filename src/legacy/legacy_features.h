// Device features of the older family: the two-view area and the EM gain protection.
#pragma once

#include <cstdint>

#include "legacy/legacy_capture.h"
#include "settings/properties.h"

namespace qxcm {

// ApplyEmProtection and ReadEmProtectionStatus (settings/features.h) answering as this family does.
Failure SetEmProtection(CameraContext &c, int32_t mode, int32_t alarm, int32_t level,
                        int32_t frames);
Failure ReadEmProtectStatus(CameraContext &c, int32_t *status);

// The two-view area as the current family sets it.
Failure SetLegacyPairedArea(CameraContext &c, int32_t hpos1, int32_t vpos1, int32_t hpos2,
                            int32_t vpos2, int32_t hsize, int32_t vsize);
// The eighteen outputs of the current family's two-view area read, in its order; the units are
// asked for at the binning parameter 1 holds (1 without a record), not the device's.
Failure ReadLegacyPairedArea(CameraContext &c, int32_t *const (&outputs)[18]);

} // namespace qxcm
