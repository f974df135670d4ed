// Capture buffers. A failed preparation leaves the earlier bookkeeping as it was; what the
// device library already did is not undone.
#include "capture/buffers.h"

#include <cstdlib>

#include "common/host_data_types.h"
#include "common/saturating_cast.h"
#include "core/device_calls.h"
#include "settings/properties.h"

namespace qxcm {

bool HostDataType(uint32_t deviceCode, bool withNarrowCodes, uint32_t *hostCode)
{
    switch (deviceCode) {
    case 1:
    case 2:
        if (!withNarrowCodes)
            return false;
        *hostCode = deviceCode == 1 ? kHostMono8 : kHostMono16;
        return true;
    case 0:
    case 0x10:
        *hostCode = kHostMono8;
        return true;
    case 0x20:
        *hostCode = kHostMono16;
        return true;
    case 0x00040000:
        *hostCode = kHostColour24;
        return true;
    case 0x00100000:
        *hostCode = kHostColour48;
        return true;
    default:
        return false;
    }
}

void ReadFrameOverhead(CameraContext &c)
{
    double overhead = 0.0;
    int32_t r = FindParameterRecord(c, kParameterFrameOverhead);
    if (r >= 0 && ReadPropertyValue(c, r, &overhead, 0))
        c.frameOverheadSeconds = overhead;
    else
        c.frameOverheadSeconds = 1000.0;
}

void RenewElectronInfo(CameraContext &c, int32_t n)
{
    free(c.frameElectronInfo);
    c.frameElectronInfo = nullptr;
    double gain = 0.0, offset = 0.0;
    if (Device().VelaGetValue(c.deviceHandle, kPropElectronGain, &gain) < 0 ||
        Device().VelaGetValue(c.deviceHandle, kPropElectronOffset, &offset) < 0 || n <= 0)
        return;
    // Zero-filled, so a frame whose values were never read holds 0.0 rather than garbage.
    c.frameElectronInfo = static_cast<double *>(calloc(static_cast<size_t>(n) * 2, sizeof(double)));
}

bool AllocateBuffers(CameraContext &c, uint32_t mode, int32_t frames)
{
    int32_t smallest = mode == 1 ? 5 : 1;
    int32_t n = frames < smallest ? smallest : frames;
    c.lastResult = Device().VelaAllocBuffers(c.deviceHandle, n);
    if (c.lastResult < 0)
        return false;
    c.captureStartMode = mode == 1 ? -1 : 0;
    c.bufferFrameCount = n;
    c.framesTaken = 0;
    RenewElectronInfo(c, n);
    c.bufferState = 1;
    return true;
}

bool PrepareBuffers(CameraContext &c, uint32_t mode, int32_t frames)
{
    c.timeOriginSet = 0;
    ReadFrameOverhead(c);
    return AllocateBuffers(c, mode, frames);
}

void ReportDataType(CameraContext &c, bool withNarrowCodes, uint32_t *dataType)
{
    uint32_t code = 0, host = 0;
    if (Device().VelaGetDataType(c.deviceHandle, &code) != 0 &&
        HostDataType(code, withNarrowCodes, &host)) {
        c.dataType = host;
        *dataType = host;
    }
}

// Reports the prepared geometry and data type to the host after a successful allocation.
static void ReportPreparedFrames(CameraContext &c, bool narrowTypeCodes, uint32_t *width,
                                 uint32_t *height, uint32_t *dataType)
{
    ReportDataType(c, narrowTypeCodes, dataType);
    if (UpdateFrameGeometry(c)) {
        *width = HostWidth(c);
        *height = c.frameHeight;
    }
}

// The bundle the buffers were made with, from the device itself: bundling may have been
// switched through a parameter write as well as through the bundle call.
static void ReadImagesPerFrame(CameraContext &c)
{
    double mode = 0.0, images = 1.0;
    c.imagesPerFrame = 1;
    if (Device().VelaGetValue(c.deviceHandle, kPropBundleMode, &mode) >= 0 && mode == 2.0 &&
        Device().VelaGetValue(c.deviceHandle, kPropBundleFrames, &images) >= 0 && images >= 1.0)
        c.imagesPerFrame = static_cast<uint32_t>(SaturateToInt32(images));
}

bool PrepareCapture(CameraContext &c, uint32_t mode, int32_t frames, PrepareOptions options,
                    uint32_t *width, uint32_t *height, uint32_t *dataType)
{
    c.timeOriginSet = 0;
    ReadFrameOverhead(c);
    if (options.endBundling) {
        int32_t bundleMode = FindParameterRecord(c, kParameterBundleMode);
        if (bundleMode >= 0)
            SetPropertyValue(c, bundleMode, kBundleModeOff, 0);
        c.bundleEnabled = 0;
        c.bundleSize = 1;
    }
    if (!AllocateBuffers(c, mode, frames))
        return false;
    ReadImagesPerFrame(c);
    ReportPreparedFrames(c, options.narrowTypeCodes, width, height, dataType);
    return true;
}

bool AttachHostBuffers(CameraContext &c, uint32_t mode, void **buffers, uint32_t count,
                       int32_t *totalFrames)
{
    c.timeOriginSet = 0;
    ReadFrameOverhead(c);
    int32_t scratch = 0;
    if (Device().VelaPrecapture(c.deviceHandle, mode) == 0 ||
        Device().VelaCheckPrepared(c.deviceHandle, &scratch) == 0) {
        c.lastResult = Device().VelaGetLastError(c.deviceHandle, nullptr, 0);
        return false;
    }
    VelaAttachRecord attach{};
    attach.size = sizeof attach;
    attach.buffers = buffers;
    attach.count = count;
    c.lastResult = Device().VelaAttachBuffers(c.deviceHandle, &attach);
    if (c.lastResult < 0)
        return false;
    int32_t frames = 0;
    if (!DeviceAnswered(c, Device().VelaGetFrameCount(c.deviceHandle, &frames)))
        return false;
    *totalFrames = frames;
    c.bufferFrameCount = frames;
    ReadImagesPerFrame(c);
    c.captureStartMode = mode == 1 ? -1 : 0;
    c.framesTaken = 0;
    RenewElectronInfo(c, frames);
    c.bufferState = 2;
    UpdateFrameGeometry(c);
    return true;
}

bool ReleaseBuffers(CameraContext &c)
{
    free(c.frameElectronInfo);
    c.frameElectronInfo = nullptr;
    if (c.bufferState == 1) {
        c.lastResult = Device().VelaReleaseBuffers(c.deviceHandle, 0);
        if (c.lastResult < 0)
            return false;
    } else if (c.bufferState == 2) {
        if (!DeviceAnswered(c, Device().VelaReleaseAttached(c.deviceHandle)))
            return false;
    }
    c.bufferState = 0;
    return true;
}

bool UpdateFrameGeometry(CameraContext &c)
{
    double width = 0.0, height = 0.0;
    if (!ReadImageSize(c, &width, &height))
        return false;
    StoreFrameGeometry(c, width, height);
    return true;
}

bool ReadImageSize(CameraContext &c, double *width, double *height)
{
    return Device().VelaGetValue(c.deviceHandle, kPropImageWidth, width) >= 0 &&
           Device().VelaGetValue(c.deviceHandle, kPropImageHeight, height) >= 0;
}

void StoreFrameGeometry(CameraContext &c, double width, double height)
{
    int32_t f = 1;
    if (HasParameter(c, kParameterBundleMode) && HasParameter(c, kParameterBundleFrames) &&
        ParameterRecord(c, kParameterBundleMode).cachedValue[0] == kBundleModeOn)
        f = SaturateToInt32(ParameterRecord(c, kParameterBundleFrames).cachedValue[0]);
    // The product is formed in double so that no factor a device reports can overflow it.
    double rows = static_cast<double>(f) * SaturateToInt32(height);
    if (HasParameter(c, kParameterHeightFactor) &&
        ParameterRecord(c, kParameterHeightFactor).cachedValue[0] == 0.0)
        rows *= SaturateToInt32(ParameterRecord(c, kParameterHeightFactor).maxValue);
    c.frameHeight = static_cast<uint32_t>(SaturateToInt32(rows));
    c.frameWidth = static_cast<uint32_t>(SaturateToInt32(width));
}

uint32_t HostWidth(const CameraContext &c)
{
    return HostIsColour(c.dataType) ? c.frameWidth * 3 : c.frameWidth;
}

void GetBufferSize(const CameraContext &c, uint32_t *height, uint32_t *width)
{
    *height = c.frameHeight;
    *width = HostWidth(c);
}

bool SetFrameBundle(CameraContext &c, int32_t enable, int32_t sizeMax, int32_t *bundleSize)
{
    *bundleSize = 1;
    VelaAttrRecord attr{};
    attr.size = sizeof attr;
    attr.id = kPropBundleFrames;
    c.lastResult = Device().VelaGetPropertyAttr(c.deviceHandle, &attr);
    if (c.lastResult < 0)
        return false;
    if (!WriteValue(c, kPropBundleMode, enable ? kBundleModeOn : kBundleModeOff))
        return false;
    if (!enable) {
        c.bundleEnabled = 0;
        c.bundleSize = 0;
        return true;
    }
    double size = attr.maxValue;
    if (sizeMax != -1 && static_cast<double>(sizeMax) < size)
        size = static_cast<double>(sizeMax);
    if (!WriteValue(c, kPropBundleFrames, size))
        return false;
    c.bundleEnabled = 1;
    c.bundleSize = static_cast<uint32_t>(SaturateToInt32(size));
    *bundleSize = SaturateToInt32(size);
    return true;
}

} // namespace qxcm
