// Frame calls of the older family. Every copy confirms afterwards that the device did not
// replace the frame while it was copied.
#include "legacy/legacy_frames.h"

#include <algorithm>

#include "capture/buffers.h"
#include "capture/frames.h"
#include "common/host_data_types.h"
#include "core/device.h"
#include "legacy/legacy_convert.h"
#include "legacy/legacy_records.h"
#include "qxcm/qxcm.h"

namespace qxcm {
namespace {

// The older lock answers an address and a pitch only. The buffer frame it locked is locked
// again by index for its size and identity. For the newest (index -1) that index is the buffer
// at the locked address: the device may have moved on since the lock, which replaces nothing,
// so the ring is searched back from its newest frame rather than taking the newest as it is.
Failure DescribeLegacyFrame(CameraContext &c, const uint8_t *address, int32_t index,
                            LockedFrame &frame)
{
    VelaFrameRecord r;
    if (index >= 0) {
        if (int32_t code = LockDeviceFrame(c, index, 0, r))
            return code;
        if (static_cast<const uint8_t *>(r.address) != address)
            return QXERR_LOSTFRAME;
    } else {
        VelaTransferRecord transfer{};
        transfer.size = sizeof transfer;
        c.lastResult = Device().VelaGetTransferInfo(c.deviceHandle, &transfer);
        if (c.lastResult < 0)
            return c.lastResult;
        const int32_t ring = c.bufferFrameCount > 0 ? c.bufferFrameCount : 1;
        // Every buffer from the locked one to the newest holds a frame, so the search meets no
        // empty one; a lock that fails ends it with the device's code.
        bool found = false;
        for (int32_t back = 0; back < ring && !found; ++back) {
            index = ((transfer.newestIndex - back) % ring + ring) % ring;
            if (int32_t code = LockDeviceFrame(c, index, 0, r))
                return code;
            found = static_cast<const uint8_t *>(r.address) == address;
        }
        if (!found) // the locked buffer is no longer a filled frame of the ring
            return QXERR_LOSTFRAME;
    }
    frame = DescribeFrame(r, index, 0);
    if (!address || r.rowBytes <= 0 || r.rowBytes != c.rowBytes)
        return QXERR_INVALIDPARAM;
    return {};
}

// True when `rows` rows of `rowBytes` bytes at the frame's pitch from `offset` on lie inside it.
bool RowsInside(const LockedFrame &frame, int64_t offset, int64_t rowBytes, int64_t rows)
{
    if (rows <= 0 || rowBytes <= 0)
        return InsideFrame(frame, offset, 0);
    return InsideFrame(frame, offset, (rows - 1) * frame.rowBytes + rowBytes);
}

// The legacy row copy: rows of width x bytes per pixel, never more than a device row holds.
Failure LegacyRowCopy(CameraContext &c, const LockedFrame &frame, uint8_t *destination)
{
    uint32_t pixelBytes = HostBytesPerPixel(c.dataType);
    if (pixelBytes == 0)
        return c.lastResult;
    int64_t stride = int64_t{pixelBytes} * c.frameWidth;
    int64_t row = std::min<int64_t>(stride, frame.rowBytes);
    if (!RowsInside(frame, 0, row, c.frameHeight))
        return QXERR_INVALIDPARAM;
    CopyRows(frame.address, static_cast<size_t>(frame.rowBytes), destination,
             static_cast<size_t>(stride), static_cast<size_t>(row), c.frameHeight);
    if (int32_t code = ConfirmFrameUnchanged(c, frame))
        return code;
    return {};
}

Failure EightBitCopy(CameraContext &c, const LockedFrame &frame, int32_t range,
                     uint8_t *destination)
{
    int64_t row = int64_t{c.frameWidth} * 2;
    if (!RowsInside(frame, 0, row, c.frameHeight))
        return QXERR_INVALIDPARAM;
    uint32_t shift = EightBitShift(range);
    for (uint32_t r = 0; r < c.frameHeight; ++r)
        ConvertToEightBit(frame.address + int64_t{r} * frame.rowBytes,
                          destination + size_t{r} * c.frameWidth, c.frameWidth, shift);
    if (int32_t code = ConfirmFrameUnchanged(c, frame))
        return code;
    return {};
}

} // namespace

Failure CopyLegacyFrame(CameraContext &c, uint32_t index, uint8_t *destination)
{
    if (!destination)
        return QXERR_INVALIDPARAM;
    VelaFrameRecord r;
    if (int32_t code = LockDeviceFrame(c, static_cast<int32_t>(index), 0, r))
        return code;
    c.rowBytes = r.rowBytes;
    LockedFrame frame = DescribeFrame(r, static_cast<int32_t>(index), 0);
    if (!frame.address || frame.rowBytes <= 0 ||
        !RowsInside(frame, 0, frame.rowBytes, c.frameHeight))
        return QXERR_INVALIDPARAM;
    CopyRows(frame.address, static_cast<size_t>(frame.rowBytes), destination,
             static_cast<size_t>(frame.rowBytes), static_cast<size_t>(frame.rowBytes),
             c.frameHeight);
    if (int32_t code = ConfirmFrameUnchanged(c, frame))
        return code;
    return {};
}

Failure CopyLegacyFrameStamped(CameraContext &c, uint32_t index, uint8_t *destination,
                               double *stamp)
{
    if (int32_t code =
            CopyFrame(c, static_cast<int32_t>(index), std::nullopt, 0, destination, stamp))
        return code;
    return {};
}

Failure RepackLegacyFrame(CameraContext &c, const uint8_t *source, uint8_t *destination)
{
    if (!source || !destination)
        return QXERR_INVALIDPARAM;
    uint32_t sampleBytes = HostIsColour(c.dataType) ? 0 : HostBytesPerSample(c.dataType);
    if (sampleBytes == 0)
        return QXERR_INVALIDPARAM;
    int64_t stride = int64_t{c.frameWidth} * sampleBytes;
    if (c.rowBytes <= 0)
        return QXERR_INVALIDPARAM;
    CopyRows(source, static_cast<size_t>(c.rowBytes), destination, static_cast<size_t>(stride),
             static_cast<size_t>(std::min<int64_t>(stride, c.rowBytes)), c.frameHeight);
    return {};
}

Failure CopyNextLegacyFrame(CameraContext &c, uint32_t timeLimit, uint8_t *destination)
{
    if (!destination)
        return QXERR_INVALIDPARAM;
    const uint8_t *address = nullptr;
    int32_t index = -1;
    if (int32_t code = WaitAndLockLegacyFrame(c, timeLimit, &address, &index))
        return code;
    LockedFrame frame{};
    if (Failure f = DescribeLegacyFrame(c, address, index, frame))
        return f;
    return LegacyRowCopy(c, frame, destination);
}

Failure LockNextLegacyFrame(CameraContext &c, uint32_t timeLimit)
{
    const uint8_t *address = nullptr;
    int32_t index = -1;
    if (int32_t code = WaitAndLockLegacyFrame(c, timeLimit, &address, &index))
        return code;
    return {};
}

Failure CopyNextEightBitFrame(CameraContext &c, uint32_t timeLimit, uint8_t *destination)
{
    if (!destination)
        return QXERR_INVALIDPARAM;
    const uint8_t *address = nullptr;
    int32_t index = -1, range = 0;
    if (int32_t code = WaitAndLockLegacyFrame(c, timeLimit, &address, &index))
        return code;
    if (!DeviceAnswered(c, Device().VelaGetDataRange(c.deviceHandle, &range, nullptr)))
        return c.lastResult;
    uint32_t sampleBytes = HostIsColour(c.dataType) ? 0 : HostBytesPerSample(c.dataType);
    if (sampleBytes == 0)
        return c.lastResult;
    bool sixteenBit = sampleBytes == 2;
    LockedFrame frame{};
    if (Failure f = DescribeLegacyFrame(c, address, index, frame))
        return f;
    if (!sixteenBit)
        return LegacyRowCopy(c, frame, destination);
    return EightBitCopy(c, frame, range, destination);
}

Failure CopyPairedFrame(CameraContext &c, uint32_t index, uint8_t *view1, uint8_t *view2,
                        double *stamp)
{
    if (int32_t code = CopySplitFrame(c, static_cast<int32_t>(index), 0, view1, view2, stamp,
                                      ViewPlacement::ByViewOffsets))
        return code;
    return {};
}

Failure ReadElectronInfo(CameraContext &c, int32_t index, float *factor, float *offset)
{
    if (!factor || !offset || index < 0 || index >= c.bufferFrameCount)
        return QXERR_INVALIDPARAM;
    if (!c.frameElectronInfo) {
        *factor = *offset = -1.0f;
        return {};
    }
    *factor = ToSingle(c.frameElectronInfo[2 * index]);
    *offset = ToSingle(c.frameElectronInfo[2 * index + 1]);
    return {};
}

} // namespace qxcm
