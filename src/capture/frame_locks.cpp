// Frame locks. The time origin is buffer frame 0's stamp at the first lock after a preparation
// or start, so stamps count from the capture, not from the device.
#include "capture/frame_locks.h"

#include <cmath>

#include "common/saturating_cast.h"
#include "core/device_calls.h"
#include "qxcm/qxcm.h"
#include "settings/properties.h"

namespace qxcm {
namespace {

constexpr uint32_t kPropSecondViewBytes = 0x00420240;
constexpr double kTwoViewLayout = 14.0;

} // namespace

int32_t LockDeviceFrame(CameraContext &c, int32_t index, uint32_t option, VelaFrameRecord &r)
{
    r = VelaFrameRecord{};
    r.size = sizeof r;
    r.option = option;
    r.index = index;
    c.lastResult = Device().VelaLockFrame(c.deviceHandle, &r);
    return c.lastResult < 0 ? c.lastResult : 0;
}

int32_t TakeTimeOrigin(CameraContext &c)
{
    if (c.timeOriginSet)
        return 0;
    VelaFrameRecord r;
    if (int32_t code = LockDeviceFrame(c, 0, 0, r))
        return code;
    c.timeOrigin = FrameStampSeconds(r);
    c.timeOriginSet = 1;
    return 0;
}

namespace {

int32_t LockInto(CameraContext &c, LockedFrame &frame, int32_t index, uint32_t option)
{
    if (int32_t code = TakeTimeOrigin(c))
        return code;
    VelaFrameRecord r;
    if (int32_t code = LockDeviceFrame(c, index, option, r))
        return code;
    c.rowBytes = r.rowBytes;
    frame = DescribeFrame(r, index, option);
    frame.stamp = FrameStampSeconds(r) - c.timeOrigin;
    if (!frame.address || r.rowBytes <= 0)
        return QXERR_INVALIDPARAM;
    return 0;
}

} // namespace

LockedFrame DescribeFrame(const VelaFrameRecord &r, int32_t index, uint32_t option)
{
    LockedFrame frame{};
    frame.address = static_cast<const uint8_t *>(r.address);
    frame.rowBytes = r.rowBytes;
    frame.bytes = static_cast<int64_t>(r.height) * r.rowBytes;
    frame.index = index;
    frame.option = option;
    frame.frameNumber = r.frameNumber;
    frame.stampSeconds = r.stampSeconds;
    frame.stampMicroseconds = r.stampMicroseconds;
    return frame;
}

int32_t ConfirmFrameUnchanged(CameraContext &c, const LockedFrame &frame)
{
    VelaFrameRecord r;
    if (LockDeviceFrame(c, frame.index, frame.option, r) != 0)
        return QXERR_LOSTFRAME; // a buffer being rewritten is not ready
    if (r.frameNumber != frame.frameNumber || r.stampSeconds != frame.stampSeconds ||
        r.stampMicroseconds != frame.stampMicroseconds ||
        static_cast<const uint8_t *>(r.address) != frame.address)
        return QXERR_LOSTFRAME;
    return 0;
}

double FrameStampSeconds(const VelaFrameRecord &r)
{
    return static_cast<double>(r.stampSeconds) +
           static_cast<double>(r.stampMicroseconds) * 0.000001;
}

int64_t FrameCopyBytes(const CameraContext &c, const LockedFrame &frame)
{
    return static_cast<int64_t>(c.frameHeight) * frame.rowBytes;
}

bool InsideFrame(const LockedFrame &frame, int64_t offset, int64_t bytes)
{
    return offset >= 0 && bytes >= 0 && offset <= frame.bytes && bytes <= frame.bytes - offset;
}

int32_t LockCaptureFrame(CameraContext &c, LockedFrame &frame, int32_t index, uint32_t option)
{
    return LockInto(c, frame, index, option);
}

int32_t LockSplitFrame(CameraContext &c, LockedFrame &frame, const uint8_t **view1,
                       const uint8_t **view2, int32_t index, uint32_t option,
                       ViewPlacement placement)
{
    const bool byOffsets = placement == ViewPlacement::ByViewOffsets;
    const uint32_t view1Offset = (1u << 24) + kPropViewOffset;
    const uint32_t view2Offset = (2u << 24) + kPropViewOffset;
    double v1 = 0.0, v2 = 0.0, mode = kTwoViewLayout;
    if (byOffsets && (TakeTimeOrigin(c) != 0 || !ReadValue(c, view1Offset, &v1)))
        return c.lastResult;
    if (int32_t code = LockInto(c, frame, index, option))
        return code;
    if (!byOffsets && !ReadValue(c, kPropSensorMode, &mode))
        return c.lastResult;
    int64_t offset1 = 0, offset2 = 0;
    if (mode == kTwoViewLayout) {
        if (!ReadValue(c, view1Offset, &v1) || !ReadValue(c, view2Offset, &v2))
            return c.lastResult;
        offset1 = SaturateToInt64(v1);
        offset2 = SaturateToInt64(v2);
    } else {
        double v = 0.0;
        if (!ReadValue(c, kPropSecondViewBytes, &v))
            return c.lastResult;
        offset2 = SaturateToInt64(-std::trunc(v * -0.5) * 8.0);
    }
    int64_t bytes = FrameCopyBytes(c, frame);
    if (!InsideFrame(frame, offset1, bytes) || !InsideFrame(frame, offset2, bytes))
        return QXERR_INVALIDPARAM;
    *view1 = frame.address + offset1;
    *view2 = frame.address + offset2;
    return 0;
}

} // namespace qxcm
