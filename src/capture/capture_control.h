// Starting, stopping and waiting for frames.
#pragma once

#include <cstdint>

#include "core/library_state.h"

namespace qxcm {

constexpr uint32_t kAutomaticTimeLimit = 0xFFFFFFFF;
constexpr uint32_t kNoTimeLimit = 0xFFFFFFFF;
// The limit of an automatic wait when no exposure tells how long a frame takes.
constexpr uint32_t kDefaultTimeLimitMs = 5000;

// The wait limit in milliseconds for a host limit L: L itself, or for the automatic limit one
// second plus exposure and overhead, times the frames per bundle.
uint32_t FrameTimeLimit(const CameraContext &c, uint32_t hostLimit);

// Waits for the next frame and reports its buffer index and the frame count (the device's in
// sequence mode, the library's own in snap mode); the two are written only on success. Answers
// 0 or the wait's own code: the device's, or QXERR_ABORT when the camera was closed or the
// library de-initialised while it waited (`c` is then not touched again, and must not be by
// the caller either). A stop from another thread cannot put its code in the wait's place.
int32_t WaitForFrame(CameraContext &c, uint32_t timeLimit, int32_t *frameIndex,
                     int32_t *frameCount);

bool StartCapture(CameraContext &c);
bool StopCapture(CameraContext &c);
// Fires one software trigger.
bool FireTrigger(CameraContext &c);
// The device's capture status, written only on success.
bool GetCaptureStatus(CameraContext &c, int32_t *status);
// The device's newest buffer index and frame count, written only on success.
bool GetCaptureInfo(CameraContext &c, int32_t *frameIndex, int32_t *frameCount);

} // namespace qxcm
