// Property records: finding the record of a host parameter number, reading and writing the
// device property behind it with per-view caching, and refreshing its limits and value texts.
#pragma once

#include <cstdint>

#include "core/library_state.h"
#include "velaapi/vela_api.h"

namespace qxcm {

constexpr int32_t kFunctionIdOffset = 0x4390; // function id = property id + this
constexpr int32_t kNoParameter = -1;          // the parameter number names nothing
constexpr int32_t kNoRecord = -2;             // a function id with no record behind it

// Device property ids the library names.
constexpr uint32_t kPropBinning = 0x00401110;
constexpr uint32_t kPropSensorMode = 0x00400210;
constexpr uint32_t kPropExposureTime = 0x001F0110;
constexpr uint32_t kPropTriggerSource = 0x00100110;
constexpr uint32_t kPropTriggerActive = 0x00100120;
constexpr uint32_t kPropTriggerMode = 0x00100210;
constexpr uint32_t kPropTriggerPolarity = 0x00100220;
constexpr uint32_t kPropFrameOverhead = 0x00403010;
constexpr uint32_t kPropNumberOfViews = 0x004201C0;
constexpr uint32_t kPropImageWidth = 0x00420210;
constexpr uint32_t kPropImageHeight = 0x00420220;
constexpr uint32_t kPropElectronGain = 0x00FFE010;
constexpr uint32_t kPropElectronOffset = 0x00FFE020;
constexpr uint32_t kPropEmProtectLevel = 0x00200270; // written as the level, read as the status
constexpr uint32_t kPropEmProtectAlarm = 0x00200280;
constexpr uint32_t kPropEmProtectMode = 0x00200290;
constexpr uint32_t kPropEmProtectFrames = 0x002002A0;

// A record index, kNoParameter or kNoRecord.
int32_t FindParameterRecord(const CameraContext &c, int32_t parameter);

// True when `view` can address the record: any view for a common property, 0 to 3 for a
// property that holds one value per view.
bool ViewIsAddressable(const PropertyRecord &r, int32_t view);

// Value texts are asked for with this capacity, terminator included.
constexpr int kValueTextCapacity = 32;

// Takes a device property's attribute answer (null when the read failed) into its record: the
// limits and kind, and the value texts of a list; then reads its current value into the cache.
void TakeDeviceAnswer(CameraContext &c, PropertyRecord &r, const VelaAttrRecord *attr);

bool SetPropertyValue(CameraContext &c, int32_t record, double value, int32_t view);
bool ReadPropertyValue(CameraContext &c, int32_t record, double *value, int32_t view);
bool RefreshPropertyRecord(CameraContext &c, int32_t record);

// Whether parameter `p` has a record through the map (entries 0 to 99 only).
bool HasParameter(const CameraContext &c, int32_t p);
// The record of a mapped parameter; only valid when HasParameter holds.
PropertyRecord &ParameterRecord(CameraContext &c, int32_t p);
const PropertyRecord &ParameterRecord(const CameraContext &c, int32_t p);

} // namespace qxcm
