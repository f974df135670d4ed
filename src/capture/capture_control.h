// Starting, stopping and waiting for frames.
#pragma once

#include <cstdint>

#include "core/library_state.h"

namespace qxcm {

constexpr uint32_t kAutomaticTimeLimit = 0xFFFFFFFF;
constexpr uint32_t kNoTimeLimit = 0xFFFFFFFF;
// The limit of an automatic wait when no exposure tells how long a frame takes.
constexpr uint32_t kDefaultTimeLimitMs = 5000;

// What a family's host limits mean.
struct TimeLimitRule {
    uint32_t automatic;            // the host limit that asks for the computed one
    uint32_t withoutTriggerSource; // what a camera without a trigger source setting waits
    bool triggerFirst; // an external or software trigger means no limit without exposure too
    bool perBundle;    // bundling multiplies the limit by the frames per bundle
};
constexpr TimeLimitRule kCurrentTimeLimits{kAutomaticTimeLimit, kDefaultTimeLimitMs, false, true};
constexpr TimeLimitRule kOlderTimeLimits{0, 1000, true, false};

// The wait limit in milliseconds for a host limit L: L itself, or for the automatic limit one
// second plus exposure and overhead (times the frames per bundle where the rule says so); no
// limit under an external or software trigger, 5000 ms without an exposure setting.
uint32_t FrameTimeLimit(const CameraContext &c, uint32_t hostLimit,
                        const TimeLimitRule &rule = kCurrentTimeLimits);

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
