// Property walk, limits and direct property access of the older family.
#include "legacy/legacy_properties.h"

#include <cstring>

#include "core/device_calls.h"
#include "legacy/legacy_records.h"
#include "settings/properties.h"

namespace qxcm {

bool NextLegacyProperty(CameraContext &c, int32_t *number, char *name)
{
    // Unsigned arithmetic: any host number maps to some id, none overflows.
    uint32_t id = static_cast<uint32_t>(*number) - static_cast<uint32_t>(kFunctionIdOffset);
    if (!DeviceAnswered(c, Device().VelaGetNextPropertyId(c.deviceHandle, &id, VELA_NEXT_ALL)))
        return false;
    char text[64] = "";
    if (!DeviceAnswered(c, Device().VelaGetPropertyName(c.deviceHandle, id, text, sizeof text)))
        return false;
    text[sizeof text - 1] = '\0';
    memcpy(name, text, strlen(text) + 1);
    *number = static_cast<int32_t>(id + static_cast<uint32_t>(kFunctionIdOffset));
    return true;
}

bool ReadLegacyPropertyInfo(CameraContext &c, int32_t record, uint32_t *isList, double *maxValue,
                            double *minValue, double *step, double *defaultValue,
                            uint32_t *writable)
{
    if (!RefreshLegacyRecord(c, record))
        return false;
    const PropertyRecord &r = c.properties[record];
    *isList = r.valueType == kValueTypeList ? 1 : 0;
    *maxValue = r.maxValue;
    *minValue = r.minValue;
    *step = r.stepValue;
    *defaultValue = r.defaultValue;
    *writable = r.kind == kRecordDevice ? (r.attributes & VELA_ATTR_WRITABLE) : 1;
    return true;
}

bool WriteLegacyProperty(CameraContext &c, uint32_t id, float value)
{
    return WriteValue(c, id, value);
}

bool ReadLegacyProperty(CameraContext &c, uint32_t id, float *value)
{
    double read = 0.0;
    if (!ReadValue(c, id, &read))
        return false;
    *value = ToSingle(read);
    return true;
}

} // namespace qxcm
