// Capture control. Snap mode hands the frames out in order and counts them itself; sequence
// mode reports how far the device has come, which may run ahead of the host.
#include "capture/capture_control.h"

#include "capture/buffers.h"
#include "common/saturating_cast.h"
#include "core/call_lock.h"
#include "core/device_calls.h"
#include "core/platform.h"
#include "qxcm/qxcm.h"
#include "settings/properties.h"

namespace qxcm {

uint32_t FrameTimeLimit(const CameraContext &c, uint32_t hostLimit, const TimeLimitRule &rule)
{
    if (hostLimit != rule.automatic)
        return hostLimit;
    if (!HasParameter(c, kParameterTriggerSource))
        return rule.withoutTriggerSource;
    double source = ParameterRecord(c, kParameterTriggerSource).cachedValue[0];
    bool triggered = source == kTriggerSourceExternal || source == kTriggerSourceSoftware;
    bool exposure = HasParameter(c, kParameterExposureTime);
    if (triggered && (exposure || rule.triggerFirst))
        return kNoTimeLimit;
    if (!exposure)
        return kDefaultTimeLimitMs;
    double t = ParameterRecord(c, kParameterExposureTime).cachedValue[0] + c.frameOverheadSeconds;
    double k = 1.0;
    if (rule.perBundle && HasParameter(c, kParameterBundleMode) &&
        HasParameter(c, kParameterBundleFrames) &&
        ParameterRecord(c, kParameterBundleMode).cachedValue[0] == kBundleModeOn)
        k = ParameterRecord(c, kParameterBundleFrames).cachedValue[0];
    // An exposure nobody can tell (NaN) adds nothing to the second.
    return SaturateToUint32(1000.0 + static_cast<double>(SaturateToInt64(t * 1000.0 * k)));
}

// Stores the electron values of buffer frame k; a frame outside the buffers has no slot.
static void StoreElectronValues(CameraContext &c, int32_t k)
{
    if (!c.frameElectronInfo || k < 0 || k >= c.bufferFrameCount)
        return;
    double value = 0.0;
    ReadValue(c, kPropElectronGain, &value); // a failed read stores what `value` holds
    c.frameElectronInfo[2 * k] = value;
    ReadValue(c, kPropElectronOffset, &value);
    c.frameElectronInfo[2 * k + 1] = value;
}

int32_t WaitForFrame(CameraContext &c, uint32_t timeLimit, int32_t *frameIndex, int32_t *frameCount)
{
    VelaTransferRecord transfer{};
    transfer.size = sizeof transfer;
    VelaWaitRecord wait{};
    wait.size = sizeof wait;
    wait.mask = VELA_EVENT_FRAMEREADY;
    wait.timeoutMs = FrameTimeLimit(c, timeLimit);
    // The device's event, waited for without the library's lock: a stop or close from another
    // thread ends it, and a camera gone meanwhile is not touched again.
    const uint64_t waitHandle = c.waitHandle;
    const bool sequence = c.captureStartMode != 0;
    auto frameEvent = [&] {
        int32_t result = 0;
        if (!WithoutCallLock(c, result, [&] {
                int32_t r = Device().VelaWaitStart(waitHandle, &wait);
                if (r >= 0 && sequence)
                    Os().sleepMs(1);
                return r;
            }))
            return int32_t{QXERR_ABORT};
        c.lastResult = result;
        return result < 0 ? result : 0;
    };

    if (sequence) {
        if (int32_t code = frameEvent())
            return code;
        c.lastResult = Device().VelaGetTransferInfo(c.deviceHandle, &transfer);
        if (c.lastResult < 0)
            return c.lastResult;
        StoreElectronValues(c, transfer.newestIndex);
        ++c.framesTaken;
        *frameIndex = transfer.newestIndex;
        *frameCount = transfer.frameCount;
        return 0;
    }

    c.lastResult = Device().VelaGetTransferInfo(c.deviceHandle, &transfer);
    if (c.lastResult < 0)
        return c.lastResult;
    if (transfer.frameCount < c.framesTaken + 1) {
        if (int32_t code = frameEvent())
            return code;
        c.lastResult = Device().VelaGetTransferInfo(c.deviceHandle, &transfer);
        if (c.lastResult < 0)
            return c.lastResult;
    }
    StoreElectronValues(c, transfer.newestIndex);
    *frameIndex = c.framesTaken;
    if (c.framesTaken < c.bufferFrameCount)
        ++c.framesTaken;
    *frameCount = c.framesTaken;
    return 0;
}

bool StartCapture(CameraContext &c)
{
    c.timeOriginSet = 0; // dropped even when the start fails
    c.lastResult = Device().VelaCaptureStart(c.deviceHandle, c.captureStartMode);
    if (c.lastResult < 0)
        return false;
    c.framesTaken = 0;
    return true;
}

bool StopCapture(CameraContext &c)
{
    c.lastResult = Device().VelaStopCapture(c.deviceHandle);
    return c.lastResult >= 0;
}

bool FireTrigger(CameraContext &c)
{
    c.lastResult = Device().VelaFireTrigger(c.deviceHandle, 0);
    return c.lastResult >= 0;
}

bool GetCaptureStatus(CameraContext &c, int32_t *status)
{
    int32_t value = 0;
    c.lastResult = Device().VelaGetCaptureStatus(c.deviceHandle, &value);
    if (c.lastResult < 0)
        return false;
    *status = value;
    return true;
}

bool GetCaptureInfo(CameraContext &c, int32_t *frameIndex, int32_t *frameCount)
{
    VelaTransferRecord transfer{};
    transfer.size = sizeof transfer;
    c.lastResult = Device().VelaGetTransferInfo(c.deviceHandle, &transfer);
    if (c.lastResult < 0)
        return false;
    *frameIndex = transfer.newestIndex;
    *frameCount = transfer.frameCount;
    return true;
}

} // namespace qxcm
