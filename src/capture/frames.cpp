// Copies of a locked frame into host memory; each confirms the frame unchanged before it reports
// success.
#include "capture/frames.h"

#include <cstring>

#include "capture/buffers.h"
#include "common/saturating_cast.h"
#include "core/device_calls.h"
#include "qxcm/qxcm.h"
#include "settings/properties.h"

namespace qxcm {

int32_t CopyFrame(CameraContext &c, int32_t index, std::optional<int32_t> bundleMember,
                  uint32_t option, uint8_t *destination, double *stamp)
{
    if (!destination || !stamp)
        return QXERR_INVALIDPARAM;
    if (bundleMember && (*bundleMember < 0 || static_cast<uint32_t>(*bundleMember) >= c.bundleSize))
        return QXERR_INVALIDPARAM;
    bool member = bundleMember && *bundleMember >= 1;
    LockedFrame f{};
    if (int32_t code = LockCaptureFrame(c, f, index, option))
        return code;
    int64_t offset = 0;
    if (member) {
        double stride = 0.0;
        if (!ReadValue(c, kPropBundleStride, &stride))
            return c.lastResult;
        offset = SaturateToInt32(*bundleMember * stride);
    }
    int64_t bytes = FrameCopyBytes(c, f);
    if (!InsideFrame(f, offset, bytes))
        return QXERR_INVALIDPARAM;
    // The destination has the device's pitch too, so the rows are one block.
    memcpy(destination, f.address + offset, static_cast<size_t>(bytes));
    if (int32_t code = ConfirmFrameUnchanged(c, f))
        return code;
    *stamp = f.stamp;
    return 0;
}

int32_t CopySplitFrame(CameraContext &c, int32_t index, uint32_t option, uint8_t *view1,
                       uint8_t *view2, double *stamp, ViewPlacement placement)
{
    if (!view1 || !view2 || !stamp)
        return QXERR_INVALIDPARAM;
    LockedFrame f{};
    const uint8_t *from1 = nullptr, *from2 = nullptr;
    if (int32_t code = LockSplitFrame(c, f, &from1, &from2, index, option, placement))
        return code;
    int64_t bytes = FrameCopyBytes(c, f);
    memcpy(view1, from1, static_cast<size_t>(bytes));
    memcpy(view2, from2, static_cast<size_t>(bytes));
    if (int32_t code = ConfirmFrameUnchanged(c, f))
        return code;
    *stamp = f.stamp;
    return 0;
}

int32_t CopyPackedFrame(CameraContext &c, int32_t index, uint32_t option, uint16_t *destination,
                        double *stamp)
{
    if (!destination || !stamp)
        return QXERR_INVALIDPARAM;
    LockedFrame f{};
    if (int32_t code = LockCaptureFrame(c, f, index, option))
        return code;
    // The packed pixels are one unbroken stream; the device's pitch plays no part.
    int64_t groups = static_cast<int64_t>(c.frameHeight) * (c.frameWidth / 2);
    if (!InsideFrame(f, 0, groups * 3))
        return QXERR_INVALIDPARAM;
    UnpackTwelveBit(f.address, destination, static_cast<size_t>(groups));
    if (int32_t code = ConfirmFrameUnchanged(c, f))
        return code;
    *stamp = f.stamp;
    return 0;
}

int32_t CopyFrameOfBundle(CameraContext &c, int32_t index, int32_t bundleIndex, uint32_t option,
                          uint8_t *destination, double *stamp)
{
    std::optional<int32_t> member;
    if (c.bundleEnabled == 1)
        member = bundleIndex;
    return CopyFrame(c, index, member, option, destination, stamp);
}

} // namespace qxcm
