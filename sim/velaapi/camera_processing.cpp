// What the frames of the next capture go through: test patterns, stored references, averaging,
// the lookup table and the readout regions.
#include <algorithm>

#include "property_ids.h"
#include "sim_camera.h"

namespace velasim {

int32_t Camera::SetRegions(const VelaRegionEntry *entries, uint32_t count)
{
    if ((model->queryCapabilities & 0x2u) == 0)
        return VELA_ERR_NOTSUPPORT;
    if (count > 256)
        return VELA_ERR_INVALIDPARAM;
    Geometry g = CurrentGeometry();
    std::vector<Region> regions;
    for (uint32_t k = 0; k < count; ++k) {
        const VelaRegionEntry &e = entries[k];
        if (e.left > e.right || e.top > e.bottom || e.right >= g.width || e.bottom >= g.height)
            return VELA_ERR_INVALIDSUBARRAY;
        regions.push_back(Region{e.left, e.top, e.right, e.bottom});
    }
    regions_ = std::move(regions);
    return VELA_OK;
}

int32_t Camera::SetLut(const int32_t *pairs, uint32_t count)
{
    if (!Has(kPropOutputLut))
        return VELA_ERR_NOTSUPPORT;
    if (count < 2 || count > 4096)
        return VELA_ERR_INVALIDPARAM;
    std::vector<std::pair<int32_t, int32_t>> lut;
    for (uint32_t k = 0; k < count; ++k) {
        int32_t in = pairs[2 * k], out = pairs[2 * k + 1];
        if (in < 0 || in > 65535 || out < 0 || out > 65535 || (k > 0 && in <= lut.back().first))
            return VELA_ERR_INVALIDVALUE;
        lut.emplace_back(in, out);
    }
    lut_ = std::move(lut);
    return VELA_OK;
}

Processing Camera::CurrentProcessing() const
{
    Processing p;
    if (Value(kPropTestPattern, kOff) == kOn) {
        p.testPattern = std::max(1u, ToU32(Value(kPropTestPatternKind, 2)));
        p.testOption = ToU32(Value(kPropTestPatternOption, 4096));
    }
    p.reference = captureReference_;
    Geometry g = bufferGeometry;
    g.bundle = 1;
    auto matches = [&g](const std::map<uint32_t, Reference> &stored, double slot) {
        auto it = stored.find(ToU32(slot));
        return it != stored.end() && it->second.geometry == g;
    };
    p.subtractBackground = Value(kPropBackgroundSubtract, kOff) == kOn &&
                           matches(backgroundSlots_, Value(kPropBackgroundSubtractSlot, 1));
    p.correctShading = Value(kPropShadingCorrection, kOff) == kOn &&
                       matches(shadingSlots_, Value(kPropShadingCorrectionSlot, 1));
    if (Value(kPropFrameAveraging, kOff) == kOn)
        p.averageFrames = std::max(1u, ToU32(Value(kPropFrameAveragingFrames, 1)));
    if (Value(kPropRecursiveFilter, kOff) == kOn)
        p.recursiveFrames = std::max(1u, ToU32(Value(kPropRecursiveFilterFrames, 1)));
    if (Value(kPropOutputLut, kOff) == kOn && Value(kPropOutputLutSelect, 0) == 1)
        p.lut = lut_;
    if (Value(kPropRegionReadout, kOff) == kOn)
        p.regions = regions_;
    return p;
}

} // namespace velasim
