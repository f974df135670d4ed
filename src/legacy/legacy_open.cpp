// Opening a camera for the older family: every property the device lists becomes a record, the
// parameter map binds 38 numbers, and settings the device reaches only through its capability
// bits or older features get substitute records.
#include <algorithm>
#include <cstdio>
#include <iterator>

#include "capture/buffers.h"
#include "core/device.h"
#include "legacy/legacy_records.h"
#include "settings/camera_open.h"
#include "settings/properties.h"
#include "settings/triggers.h"

namespace qxcm {
namespace {

// Parameter number i + 1 is bound to kLegacyParameterIds[i].
constexpr uint32_t kLegacyParameterIds[] = {
    kPropBinning,       0x00420130,        0x004201D0,           0x00400310,    kPropSensorMode,
    0x00400110,         kPropExposureTime, 0x00300120,           0x00300130,    0x00200110,
    0x00200220,         0x00300220,        0x002002F0,           0x00300150,    kPropTriggerSource,
    kPropTriggerActive, kPropTriggerMode,  kPropTriggerPolarity, 0x001F0300,    0x001F0310,
    kPropTriggerTimes,  kOutputPolarity,   kOutputDelay,         kOutputPeriod, 0x00200310,
    0x00200330,         0x00200350,        0x00200410,           0x00804010,    kPropBundleMode,
    kPropBundleFrames,  0x00400250,        0x00100230,           0x00420270,    kOutputKind,
    0x00400130,         0x001C0030,        kPropFrameOverhead};
static_assert(std::size(kLegacyParameterIds) == kParameterFrameOverhead);

// The device property parameter `p` is bound to.
constexpr uint32_t BoundId(int32_t p)
{
    return kLegacyParameterIds[p - 1];
}

// The substitute records in the order they are appended.
enum Substitute {
    kSubTriggerMode,
    kSubTriggerPolarity,
    kSubScanMode,
    kSubBinning,
    kSubOffset,
    kSubGain,
    kSubExposureTime,
    kSubTemperature,
    kSubLightMode,
    kSubWhiteBalance,
    kSubSensitivity,
    kSubMechanicalShutter,
    kSubTemperatureTarget,
    kSubTriggerTimes,
    kSubstituteCount
};

struct SubstituteRecord {
    const char *name;
    uint32_t kind;
    uint32_t id; // capability setting or feature number
    int32_t parameter;
    uint32_t answeredBy[3]; // device properties whose presence makes the substitute unneeded
};

constexpr SubstituteRecord kSubstitutes[kSubstituteCount] = {
    {"TRIGGER MODE",
     kRecordCapability,
     kCapTriggerMode,
     kParameterTriggerMode,
     {kPropTriggerSource, kPropTriggerActive, kPropTriggerMode}},
    {"TRIGGER POLARITY",
     kRecordCapability,
     kCapTriggerPolarity,
     kParameterTriggerPolarity,
     {kPropTriggerPolarity}},
    {"SCANMODE",
     kRecordCapability,
     kCapScanMode,
     kParameterScanMode,
     {BoundId(kParameterScanMode)}},
    {"BINNING", kRecordCapability, kCapBinning, kParameterBinning, {kPropBinning}},
    {"OFFSET", kRecordFeature, 18, kParameterOffset, {BoundId(kParameterOffset)}},
    {"GAIN", kRecordFeature, 2, kParameterGain, {BoundId(kParameterGain)}},
    {"EXPOSURETIME", kRecordFeature, 14, kParameterExposureTime, {kPropExposureTime}},
    {"TEMPERATURE", kRecordFeature, 15, kParameterTemperature, {BoundId(kParameterTemperature)}},
    {"LIGHTMODE", kRecordFeature, 17, kParameterLightMode, {BoundId(kParameterLightMode)}},
    {"WHITEBALANCE", kRecordFeature, 7, kParameterWhiteBalance, {BoundId(kParameterWhiteBalance)}},
    {"SENSITIVITY", kRecordFeature, 22, kParameterSensitivity, {BoundId(kParameterSensitivity)}},
    {"MECHANICALSHUTTER",
     kRecordFeature,
     16,
     kParameterMechanicalShutter,
     {BoundId(kParameterMechanicalShutter)}},
    {"TEMPERATURETARGET",
     kRecordFeature,
     21,
     kParameterTemperatureTarget,
     {BoundId(kParameterTemperatureTarget)}},
    {"TRIGGERTIMES", kRecordFeature, 23, kParameterTriggerTimes, {kPropTriggerTimes}},
};

constexpr uint32_t kCapsTriggerModes = 0x841300;
constexpr uint32_t kCapsBothPolarities = 0x30000;
constexpr uint32_t kCapsBinnings = 0x3E;

// The parameter a listed id binds, or 0.
int32_t LegacyParameterOf(uint32_t id)
{
    for (size_t k = 0; k < std::size(kLegacyParameterIds); ++k)
        if (kLegacyParameterIds[k] == id)
            return static_cast<int32_t>(k + 1);
    return 0;
}

void EnumerateLegacyProperties(CameraContext &c, bool (&needed)[kSubstituteCount])
{
    ForEachListedProperty(c, [&](uint32_t id) {
        int32_t parameter = LegacyParameterOf(id);
        for (int s = 0; s < kSubstituteCount; ++s)
            for (uint32_t answer : kSubstitutes[s].answeredBy)
                if (answer == id)
                    needed[s] = false;
        // Any property outside the map marks a camera the binning capability does not describe.
        if (parameter == 0)
            needed[kSubBinning] = false;
        int32_t own = c.propertyCount;
        // Beyond the table a property is not kept, and the map never points past it.
        if (AppendRecord(c, kRecordDevice, id) && parameter != 0)
            c.parameterMap[parameter] = own;
    });
}

bool ScanModesOffered(CameraContext &c)
{
    VelaScanModeInquiry inquiry{};
    inquiry.size = sizeof inquiry;
    inquiry.id = VELA_REQ_ID_SCANMODE_INQUIRY;
    return Device().VelaSendRequest(c.deviceHandle, VELA_REQ_INQUIRE, &inquiry, sizeof inquiry) !=
               0 &&
           inquiry.modeCount >= 2;
}

bool FeatureOffered(CameraContext &c, uint32_t feature)
{
    VelaFeatureInquiry inquiry{};
    inquiry.size = sizeof inquiry;
    inquiry.id = VELA_REQ_ID_FEATURE_INQUIRY;
    inquiry.feature = feature;
    return Device().VelaSendRequest(c.deviceHandle, VELA_REQ_INQUIRE, &inquiry, sizeof inquiry) !=
           0;
}

bool SubstituteApplies(CameraContext &c, const SubstituteRecord &s, uint32_t caps)
{
    if (s.kind == kRecordFeature)
        return FeatureOffered(c, s.id);
    switch (s.id) {
    case kCapTriggerMode:
        return (caps & kCapsTriggerModes) != 0;
    case kCapTriggerPolarity:
        return (caps & kCapsBothPolarities) == kCapsBothPolarities;
    case kCapScanMode:
        return ScanModesOffered(c);
    default:
        return (caps & kCapsBinnings) != 0;
    }
}

void AppendSubstitutes(CameraContext &c, const bool (&needed)[kSubstituteCount])
{
    uint32_t caps = 0;
    Device().VelaGetCapabilities(c.deviceHandle, &caps, 0);
    for (int k = 0; k < kSubstituteCount; ++k) {
        const SubstituteRecord &s = kSubstitutes[k];
        if (!needed[k] || !SubstituteApplies(c, s, caps))
            continue;
        int32_t own = c.propertyCount;
        PropertyRecord *r = AppendRecord(c, s.kind, s.id);
        if (!r)
            return;
        snprintf(r->name, sizeof r->name, "%.*s", kLegacyTextLength, s.name);
        c.parameterMap[s.parameter] = own;
    }
}

} // namespace

bool OpenLegacyCamera(CameraContext &c, uint32_t index, bool replacesOpenDevice)
{
    if (!OpenDeviceHandles(c, index, replacesOpenDevice))
        return false;
    bool needed[kSubstituteCount];
    std::fill(std::begin(needed), std::end(needed), true);
    EnumerateLegacyProperties(c, needed);
    AppendSubstitutes(c, needed);
    return true;
}

bool OpenLegacySlot(uint32_t index)
{
    return index < State().cameraCount && OpenSlot(index, OpenLegacyCamera, RefreshLegacyRecord);
}

} // namespace qxcm
