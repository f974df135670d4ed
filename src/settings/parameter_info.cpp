// Parameter values, limits, list texts and the enumeration of the records.
#include "settings/parameter_info.h"

#include <cstring>

#include "common/saturating_cast.h"
#include "core/device.h"
#include "settings/properties.h"

namespace qxcm {
namespace {

// The matching entry of the record's value texts, or -1.
int32_t FindValueText(const PropertyRecord &r, double value)
{
    int32_t match = -1;
    for (int32_t k = 0; k < r.valueTextCount && k < kMaxValueTexts; ++k)
        if (r.textValues[k] == value)
            match = k;
    return match;
}

void CopyText(char *to, const char *from, size_t capacity)
{
    size_t n = strnlen(from, capacity - 1);
    memcpy(to, from, n);
    to[n] = '\0';
}

} // namespace

bool GetParameterValue(CameraContext &c, int32_t record, int32_t view, double *value)
{
    double read = 0.0; // the device may write its variable on a failure too
    if (!ReadPropertyValue(c, record, &read, view))
        return false;
    *value = read;
    return true;
}

bool NextParameter(const CameraContext &c, int32_t passed, char *name, int32_t *functionNumber,
                   int32_t *functionId)
{
    // In 64 bits, so the number after INT32_MAX is past the records rather than INT32_MIN.
    const int64_t next = int64_t{passed} + 1;
    if (next < 0 || next >= c.propertyCount)
        return false;
    const PropertyRecord &r = c.properties[next];
    CopyText(name, r.name, 64);
    *functionNumber = static_cast<int32_t>(next);
    *functionId = static_cast<int32_t>(r.propertyId) + kFunctionIdOffset;
    return true;
}

bool GetParameterLimits(CameraContext &c, int32_t record, int32_t *isList, double *maxValue,
                        double *minValue, double *step, double *defaultValue, int32_t *writable,
                        int32_t *views)
{
    if (!RefreshPropertyRecord(c, record))
        return false;
    const PropertyRecord &p = c.properties[record];
    *maxValue = p.maxValue;
    *minValue = p.minValue;
    *step = p.stepValue;
    *defaultValue = p.defaultValue;
    *isList = p.valueType == kValueTypeList ? 1 : 0;
    *writable =
        p.kind == kRecordDevice ? static_cast<int32_t>(p.attributes & VELA_ATTR_WRITABLE) : 1;
    if (!views)
        return true;
    *views = 1;
    if (p.attributes & VELA_ATTR_PER_VIEW) {
        double n = 0.0;
        Device().VelaGetValue(c.deviceHandle, kPropNumberOfViews, &n);
        *views = SaturateToInt32(n);
    }
    return true;
}

bool ParameterListText(const CameraContext &c, int32_t record, double value, char *text,
                       double *nextValue)
{
    const PropertyRecord &p = c.properties[record];
    int32_t k = FindValueText(p, value);
    if (k < 0 || !text || !nextValue)
        return false;
    CopyText(text, p.valueTexts[k], 32);
    *nextValue = k < p.valueTextCount - 1 ? p.textValues[k + 1] : 0.0;
    return true;
}

bool ValueListText(const CameraContext &c, int32_t record, double value, char *text)
{
    const PropertyRecord &p = c.properties[record];
    int32_t k = FindValueText(p, value);
    if (k < 0 || !text)
        return false;
    CopyText(text, p.valueTexts[k], 32);
    return true;
}

} // namespace qxcm
