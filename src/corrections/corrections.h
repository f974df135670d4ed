// Device-side image corrections: frame averaging, the recursive filter, background subtraction
// and shading correction, and the capture of their reference frames into the device's slots.
// Each operation answers true or false and leaves the cause of a failure in lastResult.
#pragma once

#include <cstdint>

#include "core/library_state.h"

namespace qxcm {

constexpr uint32_t kPropRecursiveFilter = 0x00380110;
constexpr uint32_t kPropRecursiveFilterFrames = 0x00380120;
constexpr uint32_t kPropFrameAveraging = 0x003803A0;
constexpr uint32_t kPropFrameAveragingFrames = 0x003803B0;
constexpr uint32_t kPropBackgroundSubtract = 0x00380210;
constexpr uint32_t kPropBackgroundSubtractSlot = 0x00380220;
constexpr uint32_t kPropBackgroundStoreSlot = 0x00380230;
constexpr uint32_t kPropShadingCorrection = 0x00380310;
constexpr uint32_t kPropShadingCorrectionSlot = 0x00380320;
constexpr uint32_t kPropShadingStoreSlot = 0x00380330;
constexpr uint32_t kPropReferenceCaptureMode = 0x00380410;

// How long the device is given to settle before the averaging or filter switch changes.
constexpr uint32_t kCorrectionSettleMs = 1000;

// A frame count of 1 switches the function off; any other count switches it on with that
// count, which the device may refuse. Both wait kCorrectionSettleMs first.
bool SetRecursiveFilter(CameraContext &c, int32_t frames);
bool SetFrameAveraging(CameraContext &c, int32_t frames);

// enable 0 switches the function off (the slot is then not written); otherwise on with the
// reference of slot `frame`.
bool SetBackgroundSubtraction(CameraContext &c, int32_t enable, int32_t frame);
bool SetShadingCorrection(CameraContext &c, int32_t enable, int32_t frame);

// Captures one reference frame into slot `frame`, waiting up to timeoutMs for it (negative
// values pass on as the device's unsigned limit, -1 being "no limit"). Refused with
// QXERR_BUSY, before any device call, while the camera has a capture prepared or a recorder
// connected: the reference capture ends by releasing the capture buffers.
bool StoreBackgroundFrame(CameraContext &c, int32_t frame, int32_t timeoutMs);
bool StoreShadingFrame(CameraContext &c, int32_t frame, int32_t timeoutMs);

// The time-out of the shading store that takes a caller's value: the larger of the two,
// compared as signed numbers.
int32_t ShadingStoreTimeout(const CameraContext &c, int32_t callerMs);

} // namespace qxcm
