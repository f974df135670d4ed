// Feature writes and reads.
#include "settings/features.h"

#include "common/saturating_cast.h"
#include "core/device_calls.h"
#include "settings/properties.h"

namespace qxcm {
namespace {

constexpr uint32_t kLutSelect = 0x00380520;
constexpr uint32_t kLutSwitch = 0x00380510;
constexpr uint32_t kCooler = 0x00200320;
constexpr uint32_t kTestPattern = 0x00400410;
constexpr uint32_t kTestPatternKind = 0x00400510;
constexpr uint32_t kTestPatternOption = 0x00400520;

} // namespace

bool LutSizeFits(int32_t points)
{
    return points < 0 || static_cast<uint64_t>(points) * sizeof(VelaLutEntry) <= UINT32_MAX;
}

bool ApplyLut(CameraContext &c, const int32_t *points, int32_t count)
{
    if (!points || count < 2)
        return false;
    // The host's pairs already have the entry layout (two 32-bit values per point), so the
    // request points at them instead of at a copy.
    VelaDataRecord data{};
    data.size = sizeof data;
    data.kind = 2;
    data.field0 = 1;
    data.field1 = 0;
    data.entries = points;
    data.entryBytes = static_cast<uint32_t>(static_cast<uint64_t>(count) * sizeof(VelaLutEntry));
    c.lastResult = Device().VelaSetData(c.deviceHandle, &data);
    return c.lastResult >= 0 && WriteValue(c, kLutSelect, 1.0) && WriteValue(c, kLutSwitch, 2.0);
}

bool ApplyEmProtection(CameraContext &c, int32_t mode, int32_t alarm, int32_t level, int32_t frames)
{
    return WriteValue(c, kPropEmProtectLevel, level) && WriteValue(c, kPropEmProtectAlarm, alarm) &&
           WriteValue(c, kPropEmProtectMode, mode) && WriteValue(c, kPropEmProtectFrames, frames);
}

bool ReadEmProtectionStatus(CameraContext &c, int32_t *status)
{
    double value = 0.0;
    if (!ReadValue(c, kPropEmProtectLevel, &value))
        return false;
    *status = SaturateToInt32(value);
    return true;
}

bool ReadElectronInfo(CameraContext &c, float *conversion, float *offset)
{
    double first = 0.0, second = 0.0;
    if (!ReadValue(c, kPropElectronGain, &first) || !ReadValue(c, kPropElectronOffset, &second))
        return false;
    *conversion = static_cast<float>(first);
    *offset = static_cast<float>(second);
    return true;
}

bool ApplySensorCooler(CameraContext &c, int32_t enable)
{
    for (int32_t r = 0; r < c.propertyCount; ++r)
        if (c.properties[r].propertyId == kCooler)
            return SetPropertyValue(c, r, enable, 0);
    return false;
}

bool ApplyTestPattern(CameraContext &c, int32_t enable, const int32_t *parameters)
{
    if (!WriteValue(c, kTestPattern, enable != 0 ? 2.0 : 1.0))
        return false;
    return enable != 2 || !parameters ||
           (WriteValue(c, kTestPatternKind, parameters[0]) &&
            WriteValue(c, kTestPatternOption, parameters[1]));
}

} // namespace qxcm
