// Opening a camera for the older family: every property the device lists becomes a record, the
// parameter map binds 38 numbers, and settings the device reaches only through its capability
// bits or older features get substitute records.
#include <algorithm>
#include <cstdio>
#include <iterator>

#include "core/device.h"
#include "legacy/legacy_records.h"
#include "settings/camera_open.h"

namespace qxcm {
namespace {

// Parameter number i + 1 is bound to kLegacyParameterIds[i].
constexpr uint32_t kLegacyParameterIds[] = {
    0x00401110, 0x00420130, 0x004201D0, 0x00400310, 0x00400210, 0x00400110, 0x001F0110, 0x00300120,
    0x00300130, 0x00200110, 0x00200220, 0x00300220, 0x002002F0, 0x00300150, 0x00100110, 0x00100120,
    0x00100210, 0x00100220, 0x001F0300, 0x001F0310, 0x00100240, 0x001C0120, 0x001C0140, 0x001C0150,
    0x00200310, 0x00200330, 0x00200350, 0x00200410, 0x00804010, 0x00421010, 0x00421020, 0x00400250,
    0x00100230, 0x00420270, 0x001C0160, 0x00400130, 0x001C0030, 0x00403010};
static_assert(std::size(kLegacyParameterIds) == kParameterFrameOverhead);

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
     kLegacyCapability,
     kCapTriggerMode,
     kParameterTriggerMode,
     {0x00100110, 0x00100120, 0x00100210}},
    {"TRIGGER POLARITY",
     kLegacyCapability,
     kCapTriggerPolarity,
     kParameterTriggerPolarity,
     {0x00100220}},
    {"SCANMODE", kLegacyCapability, kCapScanMode, kParameterScanMode, {0x00400110}},
    {"BINNING", kLegacyCapability, kCapBinning, kParameterBinning, {0x00401110}},
    {"OFFSET", kLegacyFeature, 18, kParameterOffset, {0x00300130}},
    {"GAIN", kLegacyFeature, 2, kParameterGain, {0x00300120}},
    {"EXPOSURETIME", kLegacyFeature, 14, kParameterExposureTime, {0x001F0110}},
    {"TEMPERATURE", kLegacyFeature, 15, kParameterTemperature, {0x00200310}},
    {"LIGHTMODE", kLegacyFeature, 17, kParameterLightMode, {0x00200110}},
    {"WHITEBALANCE", kLegacyFeature, 7, kParameterWhiteBalance, {0x00300220}},
    {"SENSITIVITY", kLegacyFeature, 22, kParameterSensitivity, {0x00200220}},
    {"MECHANICALSHUTTER", kLegacyFeature, 16, kParameterMechanicalShutter, {0x00200410}},
    {"TEMPERATURETARGET", kLegacyFeature, 21, kParameterTemperatureTarget, {0x00200330}},
    {"TRIGGERTIMES", kLegacyFeature, 23, kParameterTriggerTimes, {0x00100240}},
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
        if (AppendRecord(c, kLegacyDevice, id) && parameter != 0)
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
    if (s.kind == kLegacyFeature)
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
