// EM gain protection through its device properties, each result kept in lastResult.
#include "legacy/legacy_features.h"

#include "core/device.h"
#include "core/saturating_cast.h"
#include "qxcm/qxcm.h"

namespace qxcm {

Failure SetEmProtection(CameraContext &c, int32_t mode, int32_t alarm, int32_t level,
                        int32_t frames)
{
    const struct {
        uint32_t id;
        int32_t value;
    } writes[] = {{kPropEmProtectLevel, level},
                  {kPropEmProtectAlarm, alarm},
                  {kPropEmProtectMode, mode},
                  {kPropEmProtectFrames, frames}};
    for (const auto &w : writes) {
        c.lastResult = Device().VelaSetValue(c.deviceHandle, w.id, static_cast<double>(w.value));
        if (c.lastResult < 0)
            return c.lastResult;
    }
    return {};
}

Failure ReadEmProtectStatus(CameraContext &c, int32_t *status)
{
    if (!status)
        return QXERR_INVALIDPARAM;
    double value = 0.0;
    c.lastResult = Device().VelaGetValue(c.deviceHandle, kPropEmProtectLevel, &value);
    if (c.lastResult < 0)
        return c.lastResult;
    *status = SaturateToInt32(value);
    return {};
}

} // namespace qxcm
