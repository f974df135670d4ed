// Which exposure a buffer frame holds: the device's running number of the frame, which jumps
// past every frame the device exposed but never delivered.
#pragma once

#include <cstdint>

#include "core/library_state.h"

namespace qxcm {

// The device's number and the stamp (seconds since the time origin, as frame copies report it)
// of buffer frame `index`; a host compares the stamp with its copy's to know the number belongs
// to that copy. 0, or the code to report with nothing written.
int32_t GetFrameNumber(CameraContext &c, int32_t index, uint32_t *number, double *stamp);

} // namespace qxcm
