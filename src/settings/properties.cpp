// Property records and their device values.
#include "settings/properties.h"

#include "core/device_calls.h"

namespace qxcm {

static_assert(kValueTypeList == VELA_ATTR_TYPE_LIST && kValueTypeReal == 3 &&
              VELA_ATTR_TYPE_MASK == 0xF);

int32_t FindParameterRecord(const CameraContext &c, int32_t parameter)
{
    if (parameter < 0)
        return kNoParameter;
    if (parameter < kParameterMapSize && c.parameterMap[parameter] == -1)
        return kNoParameter;
    if (parameter < kMappedParameterLimit) {
        int32_t entry = c.parameterMap[parameter];
        // The open fills the map with indexes of its records; the bound keeps an entry from
        // reading past them should the table end up shorter.
        return entry < c.propertyCount ? entry : kNoRecord;
    }
    uint32_t id = static_cast<uint32_t>(parameter - kFunctionIdOffset);
    for (int32_t r = 0; r < c.propertyCount; ++r)
        if (c.properties[r].propertyId == id)
            return r;
    return kNoRecord;
}

bool HasParameter(const CameraContext &c, int32_t p)
{
    int32_t entry = c.parameterMap[p];
    return entry >= 0 && entry < c.propertyCount;
}

PropertyRecord &ParameterRecord(CameraContext &c, int32_t p)
{
    return c.properties[c.parameterMap[p]];
}

const PropertyRecord &ParameterRecord(const CameraContext &c, int32_t p)
{
    return c.properties[c.parameterMap[p]];
}

bool ViewIsAddressable(const PropertyRecord &r, int32_t view)
{
    return !(r.attributes & VELA_ATTR_PER_VIEW) || (view >= 0 && view < kMaxViews);
}

// The cache slot and device id of a value: per-view properties address view v as
// (v << 24) + id, every other property ignores the view.
static int32_t CacheSlot(const PropertyRecord &r, int32_t view)
{
    return (r.attributes & VELA_ATTR_PER_VIEW) ? view : 0;
}

static uint32_t DeviceId(const PropertyRecord &r, int32_t view)
{
    return (static_cast<uint32_t>(CacheSlot(r, view)) << 24) + r.propertyId;
}

// Refreshes every record the device reports as changed by the latest write.
static void SweepUpdatedProperties(CameraContext &c)
{
    uint32_t id = 0;
    // Each id comes once; the bound only protects against a device that never ends the list.
    for (int guard = 0; guard < 65536; ++guard) {
        if (Device().VelaGetNextPropertyId(c.deviceHandle, &id, VELA_NEXT_UPDATED) == 0)
            return;
        for (int32_t r = 0; r < c.propertyCount; ++r) {
            if (c.properties[r].propertyId == id) {
                RefreshPropertyRecord(c, r);
                break;
            }
        }
    }
}

bool SetPropertyValue(CameraContext &c, int32_t record, double value, int32_t view)
{
    if (record < 0 || record >= c.propertyCount)
        return false;
    PropertyRecord &r = c.properties[record];
    if (!ViewIsAddressable(r, view))
        return false;
    int32_t slot = CacheSlot(r, view);
    if (!(r.cachedValue[slot] == value)) {
        if (!WriteValue(c, DeviceId(r, view), value))
            return false;
        r.cachedValue[slot] = value;
    }
    SweepUpdatedProperties(c);
    return true;
}

bool ReadPropertyValue(CameraContext &c, int32_t record, double *value, int32_t view)
{
    if (record < 0 || record >= c.propertyCount)
        return false;
    PropertyRecord &r = c.properties[record];
    if (!ViewIsAddressable(r, view))
        return false;
    if (!ReadValue(c, DeviceId(r, view), value))
        return false;
    r.cachedValue[CacheSlot(r, view)] = *value;
    return true;
}

// Rebuilds the texts of a list property: one device text per value, stepping through the list
// with the device. A list that does not move forward, or more texts than the record holds, ends it.
static void RebuildValueTexts(CameraContext &c, PropertyRecord &r)
{
    r.valueTextCount = 0;
    if (!(r.maxValue >= r.minValue))
        return;
    double v = r.minValue;
    while (r.valueTextCount < kMaxValueTexts) {
        char *text = r.valueTexts[r.valueTextCount];
        VelaValueTextRecord record{};
        record.id = r.propertyId;
        record.value = v;
        record.text = text;
        record.capacity = kValueTextCapacity;
        if (Device().VelaGetValueText(c.deviceHandle, &record) != 0) {
            text[kValueTextCapacity - 1] = '\0'; // a device that fills it all still ends there
            r.textValues[r.valueTextCount] = v;
            ++r.valueTextCount;
        }
        double previous = v;
        if (Device().VelaQueryValue(c.deviceHandle, r.propertyId, &v, VELA_QUERY_NEXT) == 0 ||
            !(v > previous) || !(v <= r.maxValue))
            return;
    }
}

void TakeDeviceAnswer(CameraContext &c, PropertyRecord &r, const VelaAttrRecord *attr)
{
    if (attr) {
        r.attributes = attr->attributes;
        r.valueType = attr->attributes & VELA_ATTR_TYPE_MASK;
        r.minValue = attr->minValue;
        r.maxValue = attr->maxValue;
        r.stepValue = attr->stepValue;
        r.defaultValue = attr->defaultValue;
        if (r.valueType == kValueTypeList)
            RebuildValueTexts(c, r);
    }
    Device().VelaReadValue(c.deviceHandle, r.propertyId, &r.cachedValue[0]);
}

bool RefreshPropertyRecord(CameraContext &c, int32_t record)
{
    if (record < 0 || record >= c.propertyCount)
        return false;
    PropertyRecord &r = c.properties[record];
    VelaAttrRecord attr{};
    attr.size = sizeof attr;
    attr.id = r.propertyId;
    c.lastResult = Device().VelaGetPropertyAttr(c.deviceHandle, &attr);
    bool ok = c.lastResult >= 0;
    TakeDeviceAnswer(c, r, ok ? &attr : nullptr);
    return ok;
}

} // namespace qxcm
