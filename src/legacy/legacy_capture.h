// Capture control of the older family: allocating and starting in one step, the geometry and
// data-type reports, waits, and the wait-and-lock that its frame calls rest on.
#pragma once

#include <cstdint>
#include <optional>

#include "capture/capture_control.h"
#include "core/library_state.h"

namespace qxcm {

// What an operation of the older family answers: nothing on success, else the code to report.
// A code of the device may be any value the camera's lastResult held, success codes included,
// so presence, not the value, marks the failure.
using Failure = std::optional<int32_t>;

// Allocates buffers for `frames` (3 for mode 1, a sequence) and starts at once.
bool StartLegacyCapture(CameraContext &c, uint32_t mode, uint32_t frames);
// UpdateFrameGeometry, which also needs the device's older data-size answer.
bool UpdateLegacyFrameGeometry(CameraContext &c);

// Waits for the next frame with the device's older calls and locks it: in snap mode the frames
// in order, then the last one again; in sequence mode the newest. rowBytes takes its pitch;
// *index the buffer frame asked for (-1: the newest). Answers the code to report on failure,
// QXERR_ABORT when the camera went away while the wait blocked; a device that fails without a
// code (its last error 0) still fails.
Failure WaitAndLockLegacyFrame(CameraContext &c, uint32_t hostLimit, const uint8_t **address,
                               int32_t *index);

// The exported operations; null outputs are refused before any device call.
Failure PrepareLegacyCapture(CameraContext &c, uint32_t mode, uint32_t frames, uint32_t *width,
                             uint32_t *height, uint32_t *dataType);
Failure ReleaseLegacyBuffers(CameraContext &c);
// With geometry the width and height are reported too; without, they are not used.
Failure StartLegacyCaptureReporting(CameraContext &c, uint32_t mode, uint32_t frames,
                                    uint32_t *dataType, bool withGeometry, uint32_t *width,
                                    uint32_t *height);
Failure RestartLegacyCapture(CameraContext &c);
Failure StopLegacyCapture(CameraContext &c);
Failure WaitLegacyFrame(CameraContext &c, uint32_t timeLimit, int32_t *frameIndex,
                        int32_t *frameCount);
Failure WaitLegacyEvent(CameraContext &c, uint32_t timeLimit, uint32_t *event);
Failure ReadLegacyCaptureInfo(CameraContext &c, int32_t *frameIndex, int32_t *frameCount);
Failure FireLegacyTrigger(CameraContext &c);
// With bytes per pixel, all three outputs are zeroed first and it is reported too.
Failure ReadLegacyFrameSize(CameraContext &c, uint32_t *width, uint32_t *height,
                            bool withBytesPerPixel, uint32_t *bytesPerPixel);

} // namespace qxcm
