// The three record kinds of the older family: device properties, older features reached by
// request, and capability settings (trigger mode and polarity, scan mode, binning).
#include <cstdio>
#include <cstring>
#include <limits>

#include "common/saturating_cast.h"
#include "core/device.h"
#include "legacy/legacy_records.h"

#include "settings/properties.h"

namespace qxcm {
namespace {

struct CapabilityText {
    uint32_t bit;
    const char *text;
    double value;
};

constexpr CapabilityText kTriggerModeTexts[] = {{0x100, "EDGE", 2.0},
                                                {0x200, "LEVEL", 4.0},
                                                {0x1000, "SOFTWARE", 32.0},
                                                {0x40000, "START", 512.0},
                                                {0x800000, "SYNCREADOUT", 1024.0}};
constexpr CapabilityText kBinningTexts[] = {{0x02, "2x2", 2.0},
                                            {0x04, "4x4", 4.0},
                                            {0x08, "8x8", 8.0},
                                            {0x10, "16x16", 16.0},
                                            {0x20, "32x32", 32.0}};

void AddText(PropertyRecord &r, const char *text, double value)
{
    if (r.valueTextCount < 0 || r.valueTextCount >= kMaxValueTexts)
        return;
    snprintf(r.valueTexts[r.valueTextCount], sizeof r.valueTexts[0], "%.*s", kLegacyTextLength,
             text);
    r.textValues[r.valueTextCount] = value;
    ++r.valueTextCount;
}

// A list that starts with `first` (value 1) and offers one more text for each capability bit
// set, in order; the maximum is the value of the last text.
template <size_t N>
void FillCapabilityList(CameraContext &c, PropertyRecord &r, const char *first,
                        const CapabilityText (&texts)[N])
{
    uint32_t caps = 0;
    Device().VelaGetCapabilities(c.deviceHandle, &caps, 0);
    r.minValue = r.maxValue = r.stepValue = r.defaultValue = 1.0;
    r.valueType = kValueTypeList;
    r.valueTextCount = 0;
    AddText(r, first, 1.0);
    for (const CapabilityText &t : texts) {
        if (caps & t.bit) {
            AddText(r, t.text, t.value);
            r.maxValue = t.value;
        }
    }
}

bool ReadFeature(CameraContext &c, uint32_t feature, float *value)
{
    VelaFeatureRecord record{};
    record.size = sizeof record;
    record.id = VELA_REQ_ID_FEATURE;
    record.feature = feature;
    if (!DeviceAnswered(
            c, Device().VelaSendRequest(c.deviceHandle, VELA_REQ_INQUIRE, &record, sizeof record)))
        return false;
    *value = record.value;
    return true;
}

bool ScanModeRequest(CameraContext &c, uint32_t code, int32_t *mode)
{
    VelaScanModeRecord record{};
    record.size = sizeof record;
    record.id = VELA_REQ_ID_SCANMODE;
    record.mode = *mode;
    if (!DeviceAnswered(c, Device().VelaSendRequest(c.deviceHandle, code, &record, sizeof record)))
        return false;
    *mode = record.mode;
    return true;
}

bool RefreshDevice(CameraContext &c, PropertyRecord &r)
{
    VelaAttrRecord attr{};
    attr.size = sizeof attr;
    attr.id = r.propertyId;
    bool ok = DeviceAnswered(c, Device().VelaGetAttributes(c.deviceHandle, &attr));
    TakeDeviceAnswer(c, r, ok ? &attr : nullptr);
    return ok;
}

bool RefreshFeature(CameraContext &c, PropertyRecord &r)
{
    VelaFeatureInquiry inquiry{};
    inquiry.size = sizeof inquiry;
    inquiry.id = VELA_REQ_ID_FEATURE_INQUIRY;
    inquiry.feature = r.propertyId;
    if (!DeviceAnswered(c, Device().VelaSendRequest(c.deviceHandle, VELA_REQ_INQUIRE, &inquiry,
                                                    sizeof inquiry)))
        return false;
    r.attributes = inquiry.attributes;
    r.valueType = kValueTypeReal;
    r.minValue = inquiry.minValue;
    r.maxValue = inquiry.maxValue;
    r.stepValue = inquiry.stepValue;
    r.defaultValue = inquiry.defaultValue;
    float value = 0.0f;
    if (!ReadFeature(c, r.propertyId, &value))
        return false;
    r.cachedValue[0] = value;
    return true;
}

// The current value of a capability setting; false when the device does not answer.
bool ReadCapability(CameraContext &c, uint32_t setting, int32_t *value)
{
    switch (setting) {
    case kCapTriggerMode:
        return DeviceAnswered(c, Device().VelaGetTriggerMode(c.deviceHandle, value));
    case kCapTriggerPolarity:
        return DeviceAnswered(c, Device().VelaGetTriggerPolarity(c.deviceHandle, value));
    case kCapScanMode:
        return ScanModeRequest(c, VELA_REQ_INQUIRE, value);
    case kCapBinning:
        return DeviceAnswered(c, Device().VelaGetBinning(c.deviceHandle, value));
    default:
        return false;
    }
}

bool WriteCapability(CameraContext &c, uint32_t setting, int32_t value)
{
    switch (setting) {
    case kCapTriggerMode:
        return DeviceAnswered(c, Device().VelaSetTriggerMode(c.deviceHandle, value));
    case kCapTriggerPolarity:
        return DeviceAnswered(c, Device().VelaSetTriggerPolarity(c.deviceHandle, value));
    case kCapScanMode:
        return ScanModeRequest(c, VELA_REQ_WRITE, &value);
    case kCapBinning:
        return DeviceAnswered(c, Device().VelaSetBinning(c.deviceHandle, value));
    default:
        return false;
    }
}

bool RefreshCapability(CameraContext &c, PropertyRecord &r)
{
    switch (r.propertyId) {
    case kCapTriggerMode:
        FillCapabilityList(c, r, "INTERNAL", kTriggerModeTexts);
        break;
    case kCapTriggerPolarity:
        r.minValue = 0.0;
        r.maxValue = 1.0;
        r.stepValue = 1.0;
        r.defaultValue = 0.0;
        r.valueType = kValueTypeList;
        r.valueTextCount = 0;
        AddText(r, "NEGATIVE", 0.0);
        AddText(r, "POSITIVE", 1.0);
        break;
    case kCapScanMode: {
        VelaScanModeInquiry inquiry{};
        inquiry.size = sizeof inquiry;
        inquiry.id = VELA_REQ_ID_SCANMODE_INQUIRY;
        if (Device().VelaSendRequest(c.deviceHandle, VELA_REQ_INQUIRE, &inquiry, sizeof inquiry) !=
            0) {
            r.valueType = kValueTypeLong;
            r.minValue = r.stepValue = r.defaultValue = 1.0;
            r.maxValue = inquiry.modeCount;
        }
        break;
    }
    case kCapBinning:
        FillCapabilityList(c, r, "1x1", kBinningTexts);
        break;
    default:
        return false;
    }
    int32_t value = 0;
    if (!ReadCapability(c, r.propertyId, &value))
        return false;
    r.cachedValue[0] = value;
    return true;
}

bool ValidRecord(const CameraContext &c, int32_t record)
{
    return record >= 0 && record < c.propertyCount;
}

} // namespace

float ToSingle(double value)
{
    constexpr double kMax = std::numeric_limits<float>::max();
    if (value > kMax)
        return std::numeric_limits<float>::infinity();
    if (value < -kMax)
        return -std::numeric_limits<float>::infinity();
    return static_cast<float>(value);
}

bool RefreshLegacyRecord(CameraContext &c, int32_t record)
{
    if (!ValidRecord(c, record))
        return false;
    PropertyRecord &r = c.properties[record];
    switch (r.kind) {
    case kRecordDevice:
        return RefreshDevice(c, r);
    case kRecordFeature:
        return RefreshFeature(c, r);
    case kRecordCapability:
        return RefreshCapability(c, r);
    default:
        return false;
    }
}

bool GetLegacyRecordValue(CameraContext &c, int32_t record, uint32_t view, double *value)
{
    if (!ValidRecord(c, record) || view >= kMaxViews)
        return false;
    PropertyRecord &r = c.properties[record];
    if (r.kind == kRecordDevice) {
        bool perView = (r.attributes & VELA_ATTR_PER_VIEW) != 0;
        uint32_t slot = perView ? view : 0;
        double read = 0.0;
        if (!ReadValue(c, (slot << 24) + r.propertyId, &read))
            return false;
        *value = r.cachedValue[slot] = read;
        return true;
    }
    if (r.kind == kRecordFeature) {
        float read = 0.0f;
        if (!ReadFeature(c, r.propertyId, &read))
            return false;
        *value = r.cachedValue[0] = read;
        return true;
    }
    int32_t read = 0;
    if (r.kind != kRecordCapability || !ReadCapability(c, r.propertyId, &read))
        return false;
    *value = r.cachedValue[0] = read;
    return true;
}

bool SetLegacyRecordValue(CameraContext &c, int32_t record, double value, uint32_t view)
{
    if (!ValidRecord(c, record) || view >= kMaxViews)
        return false;
    PropertyRecord &r = c.properties[record];
    if (r.kind == kRecordDevice) {
        uint32_t slot = (r.attributes & VELA_ATTR_PER_VIEW) ? view : 0;
        if (r.cachedValue[slot] == value)
            return true;
        if (!WriteValue(c, (slot << 24) + r.propertyId, value))
            return false;
        r.cachedValue[slot] = value;
        return true;
    }
    if (r.cachedValue[0] == value)
        return true;
    if (r.kind == kRecordFeature) {
        VelaFeatureRecord write{};
        write.size = sizeof write;
        write.id = VELA_REQ_ID_FEATURE;
        write.feature = r.propertyId;
        write.value = ToSingle(value);
        if (!DeviceAnswered(c, Device().VelaSendRequest(c.deviceHandle, VELA_REQ_FEATURE_WRITE,
                                                        &write, sizeof write)))
            return false;
        r.cachedValue[0] = write.value; // the device hands back the value it kept
        return true;
    }
    if (r.kind != kRecordCapability || !WriteCapability(c, r.propertyId, SaturateToInt32(value)))
        return false;
    r.cachedValue[0] = value;
    return true;
}

bool CopyLegacyValueText(const PropertyRecord &r, double value, char *text, double *nextValue)
{
    int32_t count = r.valueTextCount < kMaxValueTexts ? r.valueTextCount : kMaxValueTexts;
    int32_t match = -1;
    for (int32_t k = 0; k < count; ++k)
        if (r.textValues[k] == value)
            match = k;
    if (match < 0)
        return false;
    // The record's texts may be longer than the host's buffer.
    size_t n = strnlen(r.valueTexts[match], kLegacyTextLength);
    memcpy(text, r.valueTexts[match], n);
    text[n] = '\0';
    *nextValue = match + 1 < count ? r.textValues[match + 1] : 0.0;
    return true;
}

} // namespace qxcm
