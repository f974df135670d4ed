// Capture buffers: preparing and releasing them, frame geometry and frame bundling.
#pragma once

#include <cstdint>

#include "common/host_data_types.h"
#include "core/library_state.h"
#include "settings/properties.h"

namespace qxcm {

constexpr uint32_t kPropBundleMode = 0x00421010;
constexpr uint32_t kPropBundleFrames = 0x00421020;
constexpr uint32_t kPropBundleStride = 0x00421040;

// The host code of a device data-type code; false for a code the host has none for.
// `withNarrowCodes` also maps the device codes 1 and 2.
bool HostDataType(uint32_t deviceCode, bool withNarrowCodes, uint32_t *hostCode);

// The device's data type as the host's code, into the context and *dataType; neither changes
// when the device does not answer or the code has no host counterpart.
void ReportDataType(CameraContext &c, bool withNarrowCodes, uint32_t *dataType);
// Reads the frame-overhead parameter into frameOverheadSeconds (1000.0 when it cannot be read).
void ReadFrameOverhead(CameraContext &c);
// Drops the time origin, reads the frame overhead and allocates device buffers for `frames`
// (at least 5 in sequence mode 1, at least 1 otherwise).
bool PrepareBuffers(CameraContext &c, uint32_t mode, int32_t frames);
// The allocation and its bookkeeping alone, for callers that do the rest of PrepareBuffers
// themselves.
bool AllocateBuffers(CameraContext &c, uint32_t mode, int32_t frames);

// What a capture preparation does besides PrepareBuffers.
struct PrepareOptions {
    bool endBundling;     // switch bundling off, on the device and in the context, first
    bool narrowTypeCodes; // also report the device's data-type codes 1 and 2
};
// Prepares buffers, then reports the prepared width and height and the host data type, each
// written only when the device tells it.
bool PrepareCapture(CameraContext &c, uint32_t mode, int32_t frames, PrepareOptions options,
                    uint32_t *width, uint32_t *height, uint32_t *dataType);
// Prepares capture into the host's own buffers; *totalFrames gets the frames they hold.
bool AttachHostBuffers(CameraContext &c, uint32_t mode, void **buffers, uint32_t count,
                       int32_t *totalFrames);
// Replaces the per-frame electron values for n frames (null when the device has none).
void RenewElectronInfo(CameraContext &c, int32_t n);
bool ReleaseBuffers(CameraContext &c);
bool UpdateFrameGeometry(CameraContext &c);
// The two halves of UpdateFrameGeometry: the device's image size, then the frame geometry
// computed from it (views and bundling included).
bool ReadImageSize(CameraContext &c, double *width, double *height);
void StoreFrameGeometry(CameraContext &c, double width, double height);
// The width the host sees: samples per row for colour, pixels otherwise.
uint32_t HostWidth(const CameraContext &c);
// The prepared frame's height and host width.
void GetBufferSize(const CameraContext &c, uint32_t *height, uint32_t *width);
// Switches bundling; on success *bundleSize holds the frames per bundle (1 when off).
bool SetFrameBundle(CameraContext &c, int32_t enable, int32_t sizeMax, int32_t *bundleSize);

} // namespace qxcm
