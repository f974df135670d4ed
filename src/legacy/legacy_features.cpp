// The two-view area and the EM gain protection over the settings layer's operations; each device
// result is kept in lastResult.
#include "legacy/legacy_features.h"

#include "common/saturating_cast.h"
#include "qxcm/qxcm.h"
#include "settings/area.h"
#include "settings/features.h"
#include "settings/properties.h"

namespace qxcm {

Failure SetEmProtection(CameraContext &c, int32_t mode, int32_t alarm, int32_t level,
                        int32_t frames)
{
    if (!ApplyEmProtection(c, mode, alarm, level, frames))
        return c.lastResult;
    return {};
}

Failure ReadEmProtectStatus(CameraContext &c, int32_t *status)
{
    if (!status)
        return QXERR_INVALIDPARAM;
    if (!ReadEmProtectionStatus(c, status))
        return c.lastResult;
    return {};
}

Failure SetLegacyPairedArea(CameraContext &c, int32_t hpos1, int32_t vpos1, int32_t hpos2,
                            int32_t vpos2, int32_t hsize, int32_t vsize)
{
    if (!ApplyPairedArea(c, PairedArea{hpos1, vpos1, hpos2, vpos2, hsize, vsize}))
        return c.lastResult;
    return {};
}

Failure ReadLegacyPairedArea(CameraContext &c, int32_t *const (&outputs)[18])
{
    for (int k = 0; k < 18; ++k)
        if (!outputs[k])
            return QXERR_INVALIDPARAM;
    uint32_t binning = 1;
    if (HasParameter(c, kParameterBinning))
        binning = SaturatingCast<uint32_t>(ParameterRecord(c, kParameterBinning).cachedValue[0]);
    if (!ReportPairedArea(c, outputs, binning))
        return c.lastResult;
    return {};
}

} // namespace qxcm
