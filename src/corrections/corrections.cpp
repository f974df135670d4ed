// Corrections run inside the camera; the library only switches them and captures references.
// Nothing is rolled back: a failed second write leaves the first in effect.
#include "corrections/corrections.h"

#include "core/device_calls.h"
#include "core/platform.h"
#include "qxcm/qxcm.h"

namespace qxcm {

namespace {

constexpr double kOff = 1.0;
constexpr double kOn = 2.0;
constexpr double kReferenceNormal = 1.0;
constexpr double kReferenceBackground = 2.0;
constexpr double kReferenceShading = 3.0;

bool SwitchWithCount(CameraContext &c, uint32_t switchId, uint32_t countId, int32_t frames)
{
    // The device needs time to settle before the processing changes under a running capture.
    Os().sleepMs(kCorrectionSettleMs);
    if (frames == 1)
        return WriteValue(c, switchId, kOff);
    return WriteValue(c, switchId, kOn) && WriteValue(c, countId, static_cast<double>(frames));
}

bool SwitchWithSlot(CameraContext &c, uint32_t switchId, uint32_t slotId, int32_t enable,
                    int32_t frame)
{
    if (enable == 0)
        return WriteValue(c, switchId, kOff);
    return WriteValue(c, switchId, kOn) && WriteValue(c, slotId, static_cast<double>(frame));
}

bool StoreReference(CameraContext &c, double mode, uint32_t slotId, int32_t frame,
                    int32_t timeoutMs)
{
    // The reference capture allocates, starts, stops and releases the camera's buffers; under a
    // capture of the host's it would free the buffers the host still copies from.
    if (c.bufferState != 0 || c.recording) {
        c.lastResult = QXERR_BUSY;
        return false;
    }
    if (!WriteValue(c, kPropReferenceCaptureMode, mode))
        return false;
    Device().VelaAllocBuffers(c.deviceHandle, 1);
    Device().VelaCaptureStart(c.deviceHandle, 0);
    VelaWaitRecord wait{};
    wait.size = sizeof wait;
    wait.mask = VELA_EVENT_REFERENCE;
    wait.timeoutMs = static_cast<uint32_t>(timeoutMs);
    c.lastResult = Device().VelaWaitStart(c.waitHandle, &wait);
    bool ok = c.lastResult >= 0 && WriteValue(c, slotId, static_cast<double>(frame));
    if (ok) {
        Device().VelaCommitReference(c.deviceHandle);
        Device().VelaFinishReference(c.deviceHandle);
        // On a time-out or a refused slot the mode stays at the reference kind.
        ok = WriteValue(c, kPropReferenceCaptureMode, kReferenceNormal);
    }
    Device().VelaStopCapture(c.deviceHandle);
    Device().VelaReleaseBuffers(c.deviceHandle, 0);
    return ok;
}

} // namespace

bool SetRecursiveFilter(CameraContext &c, int32_t frames)
{
    return SwitchWithCount(c, kPropRecursiveFilter, kPropRecursiveFilterFrames, frames);
}

bool SetFrameAveraging(CameraContext &c, int32_t frames)
{
    return SwitchWithCount(c, kPropFrameAveraging, kPropFrameAveragingFrames, frames);
}

bool SetBackgroundSubtraction(CameraContext &c, int32_t enable, int32_t frame)
{
    return SwitchWithSlot(c, kPropBackgroundSubtract, kPropBackgroundSubtractSlot, enable, frame);
}

bool SetShadingCorrection(CameraContext &c, int32_t enable, int32_t frame)
{
    return SwitchWithSlot(c, kPropShadingCorrection, kPropShadingCorrectionSlot, enable, frame);
}

bool StoreBackgroundFrame(CameraContext &c, int32_t frame, int32_t timeoutMs)
{
    return StoreReference(c, kReferenceBackground, kPropBackgroundStoreSlot, frame, timeoutMs);
}

bool StoreShadingFrame(CameraContext &c, int32_t frame, int32_t timeoutMs)
{
    return StoreReference(c, kReferenceShading, kPropShadingStoreSlot, frame, timeoutMs);
}

int32_t ShadingStoreTimeout(const CameraContext &c, int32_t callerMs)
{
    int32_t calibration = static_cast<int32_t>(c.calibrationTimeout);
    return callerMs > calibration ? callerMs : calibration;
}

} // namespace qxcm
