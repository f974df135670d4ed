// Frame calls of the older family: copies by buffer index, the next frame by data type, the
// 8-bit preview, the two views of a split frame and the per-frame electron values. Every copy
// stays inside the locked frame and writes no more than a row of the host's layout holds;
// otherwise it fails with QXERR_INVALIDPARAM and writes nothing. A copy that afterwards finds
// its frame replaced, or cannot lock it again, fails having written the destination.
#pragma once

#include <cstdint>

#include "legacy/legacy_capture.h"

namespace qxcm {

// frameHeight rows at the device's pitch; the time origin is neither taken nor used.
Failure CopyLegacyFrame(CameraContext &c, uint32_t index, uint8_t *destination);
// The same with the time origin taken and the frame's stamp reported.
Failure CopyLegacyFrameStamped(CameraContext &c, uint32_t index, uint8_t *destination,
                               double *stamp);
// Moves a frame laid out at the pitch of the frame locked last into rows of width x bytes
// per pixel (8- and 16-bit data only). No device call.
Failure RepackLegacyFrame(CameraContext &c, const uint8_t *source, uint8_t *destination);

// Waits for and locks the next frame, then copies it in rows of width x bytes per pixel.
Failure CopyNextLegacyFrame(CameraContext &c, uint32_t timeLimit, uint8_t *destination);
// Waits for and locks the next frame only.
Failure LockNextLegacyFrame(CameraContext &c, uint32_t timeLimit);
// The next frame as 8 bits per pixel, width x height bytes: 16-bit data shifted to the device's
// data range, 8-bit data copied.
Failure CopyNextEightBitFrame(CameraContext &c, uint32_t timeLimit, uint8_t *destination);

// CopySplitFrame of buffer frame `index` with the views always at the device's per-view offsets.
Failure CopyPairedFrame(CameraContext &c, uint32_t index, uint8_t *view1, uint8_t *view2,
                        double *stamp);

// The electron conversion values the frame wait stored for buffer frame `index` (-1.0 for a
// camera without them); an index outside the buffers is refused.
Failure ReadElectronInfo(CameraContext &c, int32_t index, float *factor, float *offset);

} // namespace qxcm
