// Copies of a locked frame into host memory: whole, as one member of a bundle, as two views, or
// expanded from packed 12-bit pixels.
#pragma once

#include <cstdint>
#include <optional>

#include "capture/frame_locks.h"
#include "capture/twelve_bit.h"
#include "core/library_state.h"

namespace qxcm {

// Copies of a captured frame into host memory. Each answers 0 with the time stamp written, or
// the code to report, with the stamp untouched. Refusals before the copy (null destinations,
// a failed lock, a copy outside the locked frame) write nothing; a failure of the check after
// it (the frame replaced, or the second lock refused) comes after the destination was written,
// and its contents are then undefined.
// frameHeight rows at the device's pitch; with a bundle member, that member of the locked
// bundle (refused outside 0 to frames per bundle - 1 or past the locked frame).
int32_t CopyFrame(CameraContext &c, int32_t index, std::optional<int32_t> bundleMember,
                  uint32_t option, uint8_t *destination, double *stamp);
// CopyFrame for the host's bundle index, which picks a member only while bundling is on.
int32_t CopyFrameOfBundle(CameraContext &c, int32_t index, int32_t bundleIndex, uint32_t option,
                          uint8_t *destination, double *stamp);
// The two views of a split frame, each frameHeight rows at the device's pitch.
int32_t CopySplitFrame(CameraContext &c, int32_t index, uint32_t option, uint8_t *view1,
                       uint8_t *view2, double *stamp,
                       ViewPlacement placement = ViewPlacement::ByLayout);
// Packed 12-bit pixels expanded to frameHeight x (frameWidth / 2) pairs of 16-bit words.
int32_t CopyPackedFrame(CameraContext &c, int32_t index, uint32_t option, uint16_t *destination,
                        double *stamp);

} // namespace qxcm
