// Opening and closing cameras: the device and its wait object, the property records and the
// parameter map of a slot.
#pragma once

#include <cstdint>

#include "core/library_state.h"

namespace qxcm {

constexpr uint32_t kInfoModel = 0x04000104;
constexpr uint32_t kInfoSerial = 0x04000102;
constexpr uint32_t kInfoBus = 0x04000101;

// Opens the device of slot `index` into `c`: handles, records, map, capabilities and the
// calibration time-out. False when the device or its wait object cannot be opened; then the
// context keeps its earlier handles.
bool OpenCameraContext(CameraContext &c, uint32_t index, bool replacesOpenDevice);

// The time limit of a reference capture: the configured value when it is longer than the
// 5000 ms default.
uint32_t CalibrationTimeoutMs();

// Reads an information text of an open camera (64 characters, always terminated).
int32_t ReadCameraString(CameraContext &c, uint32_t id, char *text);

} // namespace qxcm
