// Older-family settings that write device properties directly, in a fixed order, stopping at
// the first refusal and keeping the writes before it.
#include "legacy/legacy_settings.h"

#include "core/device.h"

namespace qxcm {
namespace {

constexpr uint32_t kPropMasterPulseMode = 0x001E0020;
constexpr uint32_t kPropMasterPulseSource = 0x001E0030;
constexpr uint32_t kPropMasterPulseInterval = 0x001E0040;

struct Write {
    uint32_t id;
    double value;
};

template <size_t N> bool WriteInOrder(CameraContext &c, const Write (&writes)[N])
{
    for (const Write &w : writes) {
        c.lastResult = Device().VelaSetValue(c.deviceHandle, w.id, w.value);
        if (c.lastResult < 0)
            return false;
    }
    return true;
}

} // namespace

bool ApplyLegacyMasterPulse(CameraContext &c, int32_t mode, int32_t source, double interval)
{
    const Write writes[] = {{kPropMasterPulseMode, static_cast<double>(mode)},
                            {kPropMasterPulseSource, static_cast<double>(source)},
                            {kPropMasterPulseInterval, interval}};
    return WriteInOrder(c, writes);
}

} // namespace qxcm
