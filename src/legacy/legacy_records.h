// The records of the older exported family: opening a camera into device-property records plus
// substitute records (capability settings and older features) for what the device lacks, and
// reading, writing and refreshing any of the three record kinds.
#pragma once

#include <cstdint>

#include "core/device_calls.h"
#include "core/library_state.h"
#include "settings/properties.h"

namespace qxcm {

// Capability settings of kind-0 records.
constexpr uint32_t kCapTriggerMode = 0;
constexpr uint32_t kCapTriggerPolarity = 1;
constexpr uint32_t kCapScanMode = 2;
constexpr uint32_t kCapBinning = 3;

// Texts of substitute records are cut to the length of a device value text.
constexpr int kLegacyTextLength = kValueTextCapacity - 1;

// Opens the device of slot `index` into `c` and builds its records and parameter map (not yet
// refreshed). False when the device or its wait object cannot be opened; then `c` keeps its
// earlier device. `replacesOpenDevice`: the slot holds an open device, which is closed once the
// new one is open.
bool OpenLegacyCamera(CameraContext &c, uint32_t index, bool replacesOpenDevice);

// Opens camera `index` into its slot (closing an earlier device of the slot once the new one is
// open), refreshes every record and marks the slot open. False for an index beyond the slots or
// when the device cannot be opened; the slot then keeps what it had.
bool OpenLegacySlot(uint32_t index);

// Fills a record's limits, value texts and cached value from the device. True when its
// attributes (device property), its inquiry and value (feature) or its value (capability) were
// read.
bool RefreshLegacyRecord(CameraContext &c, int32_t record);

// The value of a record for `view` (0 to kMaxViews - 1). Only device properties update
// lastResult.
bool GetLegacyRecordValue(CameraContext &c, int32_t record, uint32_t view, double *value);
// Writes a record; a value equal to the cached one makes no device call. The records of other
// properties the write changes are not refreshed.
bool SetLegacyRecordValue(CameraContext &c, int32_t record, double value, uint32_t view);

// A double as the single-precision value the older calls carry. Values beyond the single range
// become infinities (which the device refuses) instead of an undefined conversion.
float ToSingle(double value);

// Copies the value text of `value` in a record (the last matching text wins) into the host's
// 32-character `text`, cut and terminated, and the value of the text after it (0 after the
// last) into `nextValue`. False, nothing written, when no text carries the value.
bool CopyLegacyValueText(const PropertyRecord &r, double value, char *text, double *nextValue);

} // namespace qxcm
