// Opening and closing cameras: the device and its wait object, the property records and the
// parameter map of a slot.
#pragma once

#include <cstdint>

#include "core/device.h"
#include "core/library_state.h"

namespace qxcm {

constexpr uint32_t kInfoModel = 0x04000104;
constexpr uint32_t kInfoSerial = 0x04000102;
constexpr uint32_t kInfoBus = 0x04000101;

// Calls visit(id) for each property the device lists, in its order.
template <typename Visit> void ForEachListedProperty(CameraContext &c, Visit &&visit)
{
    uint32_t id = 0;
    // The device ends the list with 0; the bound only protects against one that never does.
    for (int guard = 0; guard < 65536; ++guard) {
        if (Device().VelaGetNextPropertyId(c.deviceHandle, &id, VELA_NEXT_ALL) == 0 || id == 0)
            return;
        visit(id);
    }
}

// Appends a cleared record of `kind` for `id` (a device property gets its name from
// the device); null when the table is full.
PropertyRecord *AppendRecord(CameraContext &c, uint32_t kind, uint32_t id);

// Opens the device of slot `index` into its context with `open` (closing an earlier device of
// the slot once the new one is open), refreshes every record with `refresh` and marks the slot
// open. False when the device cannot be opened; the slot then keeps what it had.
bool OpenSlot(uint32_t index, bool (*open)(CameraContext &, uint32_t, bool),
              bool (*refresh)(CameraContext &, int32_t));

// Opens the device of slot `index` and its wait object into `c`, closing the slot's earlier
// device when `replacesOpenDevice`, and empties the records and the map. False when either
// cannot be opened; then the context keeps its earlier handles.
bool OpenDeviceHandles(CameraContext &c, uint32_t index, bool replacesOpenDevice);

// Opens the device of slot `index` into `c`: handles, records, map, capabilities and the
// calibration time-out. False when the device or its wait object cannot be opened; then the
// context keeps its earlier handles.
bool OpenCameraContext(CameraContext &c, uint32_t index, bool replacesOpenDevice);

// The time limit of a reference capture: the configured value when it is longer than the
// 5000 ms default.
uint32_t CalibrationTimeoutMs();

// Reads an information text of an open camera (64 characters, terminated when the read
// succeeds). Answers the device's code, also kept in lastResult.
int32_t ReadCameraString(CameraContext &c, uint32_t id, char *text);

// The texts an open line names a camera by. A read that fails keeps what the device wrote, cut
// at the last character so it is always terminated.
struct CameraIdentity {
    char model[64] = "", serial[64] = "", bus[64] = "";
};
CameraIdentity ReadCameraIdentity(CameraContext &c);

// Opens camera `index` (closing it first with `force`) and reads every record's value and
// limits. False when the device cannot be opened; the slot keeps what it had then.
bool OpenCamera(uint32_t index, bool force);
// Closes the device of an open camera and frees its slot.
void CloseCamera(uint32_t index);
// An information text (64 characters, terminated) of camera `index`: from the open device, or
// from the device's model table while the camera is closed. False with lastResult on failure.
bool GetCameraInfo(uint32_t index, uint32_t id, char *text);

} // namespace qxcm
