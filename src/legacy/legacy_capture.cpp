// Capture control of the older family. Its wait and lock use the device's older calls, which
// answer only success or failure: a failure's cause is asked for, so the host learns it.
#include "legacy/legacy_capture.h"

#include <algorithm>
#include <climits>
#include <utility>

#include "capture/buffers.h"
#include "capture/capture_control.h"
#include "common/host_data_types.h"
#include "core/call_lock.h"
#include "core/device.h"
#include "core/device_calls.h"
#include "qxcm/qxcm.h"
#include "settings/properties.h"

namespace qxcm {
namespace {

constexpr uint32_t kFrameReadyEvent = 2;

void ReportLegacyGeometry(CameraContext &c, uint32_t *width, uint32_t *height)
{
    if (UpdateLegacyFrameGeometry(c)) {
        *width = HostWidth(c);
        *height = c.frameHeight;
    }
}

} // namespace

bool StartLegacyCapture(CameraContext &c, uint32_t mode, uint32_t frames)
{
    c.timeOriginSet = 0;
    ReadFrameOverhead(c);
    int32_t n = mode == 1 ? 3 : static_cast<int32_t>(std::min<uint32_t>(frames, INT32_MAX));
    c.lastResult = Device().VelaAllocBuffers(c.deviceHandle, n);
    if (c.lastResult < 0)
        return false;
    // Recorded like a preparation's buffers, so that unpreparing releases them and the
    // electron values always have one slot per buffer frame.
    c.bufferState = 1;
    c.bufferFrameCount = n;
    RenewElectronInfo(c, n);
    if (c.recording) {
        Device().VelaCaptureRecord(c.deviceHandle, c.recorderHandle);
        Device().VelaRefreshRecorder(c.recorderHandle);
    }
    int32_t start = mode == 1 ? -1 : 0;
    c.lastResult = Device().VelaCaptureStart(c.deviceHandle, start);
    if (c.lastResult < 0)
        return false;
    c.captureStartMode = start;
    c.framesTaken = 0;
    return true;
}

bool UpdateLegacyFrameGeometry(CameraContext &c)
{
    double width = 0.0, height = 0.0;
    // A failed size read keeps its code for the caller to report; a success leaves lastResult.
    for (auto [id, value] : {std::pair{kPropImageWidth, &width}, {kPropImageHeight, &height}}) {
        int32_t result = Device().VelaGetValue(c.deviceHandle, id, value);
        if (result < 0) {
            c.lastResult = result;
            return false;
        }
    }
    int32_t size[2] = {};
    if (!DeviceAnswered(c, Device().VelaGetDataSize(c.deviceHandle, size)))
        return false;
    StoreFrameGeometry(c, width, height);
    return true;
}

Failure WaitAndLockLegacyFrame(CameraContext &c, uint32_t hostLimit, const uint8_t **address,
                               int32_t *index)
{
    uint32_t limit = FrameTimeLimit(c, hostLimit, kOlderTimeLimits);
    int32_t frame = -1; // the newest
    uint32_t event = kFrameReadyEvent;
    // As in WaitForFrame: the event is waited for without the library's lock.
    const uint64_t device = c.deviceHandle;
    auto frameEvent = [&]() -> Failure {
        int32_t answer = 0;
        if (!WithoutCallLock(
                c, answer, [&] { return Device().VelaWaitEvent(device, &event, limit, nullptr); }))
            return QXERR_ABORT;
        if (!DeviceAnswered(c, answer))
            return c.lastResult;
        return {};
    };
    if (c.captureStartMode == 0) {
        int32_t newest = -1, count = 0;
        if (Device().VelaReadTransferInfo(c.deviceHandle, &newest, &count) != 0) {
            if (c.framesTaken >= count) {
                if (Failure f = frameEvent())
                    return f;
                Device().VelaReadTransferInfo(c.deviceHandle, &newest, &count);
                frame = newest;
            } else {
                frame = c.framesTaken;
            }
        }
        if (c.framesTaken < c.bufferFrameCount - 1)
            ++c.framesTaken;
    } else if (Failure f = frameEvent()) {
        return f;
    }
    void *locked = nullptr;
    if (!DeviceAnswered(c, Device().VelaLockData(c.deviceHandle, &locked, &c.rowBytes, frame)))
        return c.lastResult;
    *address = static_cast<const uint8_t *>(locked);
    *index = frame;
    return {};
}

Failure PrepareLegacyCapture(CameraContext &c, uint32_t mode, uint32_t frames, uint32_t *width,
                             uint32_t *height, uint32_t *dataType)
{
    if (!width || !height || !dataType)
        return QXERR_INVALIDPARAM;
    if (!PrepareBuffers(c, mode, static_cast<int32_t>(std::min<uint32_t>(frames, INT32_MAX))))
        return c.lastResult;
    ReportDataType(c, false, dataType);
    ReportLegacyGeometry(c, width, height);
    return {};
}

Failure ReleaseLegacyBuffers(CameraContext &c)
{
    if (!ReleaseBuffers(c))
        return c.lastResult;
    return {};
}

Failure StartLegacyCaptureReporting(CameraContext &c, uint32_t mode, uint32_t frames,
                                    uint32_t *dataType, bool withGeometry, uint32_t *width,
                                    uint32_t *height)
{
    if (!dataType || (withGeometry && (!width || !height)))
        return QXERR_INVALIDPARAM;
    if (!StartLegacyCapture(c, mode, frames))
        return c.lastResult;
    ReportDataType(c, false, dataType);
    if (withGeometry)
        ReportLegacyGeometry(c, width, height);
    return {};
}

Failure RestartLegacyCapture(CameraContext &c)
{
    if (!StartCapture(c))
        return c.lastResult;
    return {};
}

Failure StopLegacyCapture(CameraContext &c)
{
    if (!StopCapture(c))
        return c.lastResult;
    return {};
}

Failure WaitLegacyFrame(CameraContext &c, uint32_t timeLimit, int32_t *frameIndex,
                        int32_t *frameCount)
{
    if (!frameIndex || !frameCount)
        return QXERR_INVALIDPARAM;
    int32_t index = 0, count = 0;
    if (int32_t code = WaitForFrame(c, timeLimit, &index, &count))
        return code;
    *frameIndex = index;
    *frameCount = count;
    return {};
}

Failure WaitLegacyEvent(CameraContext &c, uint32_t timeLimit, uint32_t *event)
{
    if (!event)
        return QXERR_INVALIDPARAM;
    VelaWaitRecord wait{};
    wait.size = sizeof wait;
    wait.mask = *event;
    wait.timeoutMs = timeLimit;
    const uint64_t waitHandle = c.waitHandle;
    int32_t result = 0;
    if (!WithoutCallLock(c, result, [&] { return Device().VelaWaitStart(waitHandle, &wait); }))
        return QXERR_ABORT;
    c.lastResult = result;
    if (c.lastResult < 0)
        return c.lastResult;
    *event = wait.event;
    return {};
}

Failure ReadLegacyCaptureInfo(CameraContext &c, int32_t *frameIndex, int32_t *frameCount)
{
    if (!frameIndex || !frameCount)
        return QXERR_INVALIDPARAM;
    if (!GetCaptureInfo(c, frameIndex, frameCount))
        return c.lastResult;
    return {};
}

Failure FireLegacyTrigger(CameraContext &c)
{
    if (!FireTrigger(c))
        return c.lastResult;
    return {};
}

Failure ReadLegacyFrameSize(CameraContext &c, uint32_t *width, uint32_t *height,
                            bool withBytesPerPixel, uint32_t *bytesPerPixel)
{
    if (!width || !height || (withBytesPerPixel && !bytesPerPixel))
        return QXERR_INVALIDPARAM;
    if (withBytesPerPixel)
        *width = *height = *bytesPerPixel = 0;
    if (!UpdateLegacyFrameGeometry(c))
        return c.lastResult;
    *width = HostWidth(c);
    *height = c.frameHeight;
    // The size query has always left the older family's own 16-bit code at 0.
    if (withBytesPerPixel && c.dataType != kHostMono16Legacy)
        *bytesPerPixel = HostBytesPerPixel(c.dataType);
    return {};
}

} // namespace qxcm
