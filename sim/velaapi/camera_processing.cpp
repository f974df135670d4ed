// What the frames of the next capture go through: test patterns, stored references, averaging,
// the recursive filter, the lookup table and the readout regions.
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
    Geometry g = bufferGeometry;
    g.bundle = 1;
    // A slot holding a reference of another geometry has no effect; a reference capture sees
    // the scene uncorrected.
    auto stored = [&](const std::map<uint32_t, Reference> &kept, uint32_t onId, uint32_t slotId) {
        if (captureReference_ != 0 || Value(onId, kOff) != kOn)
            return std::shared_ptr<const ReferenceFrame>();
        auto it = kept.find(ToU32(Value(slotId, 1)));
        if (it == kept.end() || !(it->second.geometry == g))
            return std::shared_ptr<const ReferenceFrame>();
        return it->second.frame;
    };
    p.background = stored(backgroundSlots_, kPropBackgroundSubtract, kPropBackgroundSubtractSlot);
    p.shading = stored(shadingSlots_, kPropShadingCorrection, kPropShadingCorrectionSlot);
    p.averageFrames = AveragedFrames();
    if (Value(kPropOutputLut, kOff) == kOn && Value(kPropOutputLutSelect, 0) == 1)
        p.lut = lut_;
    if (Value(kPropRegionReadout, kOff) == kOn)
        p.regions = regions_;
    return p;
}

uint32_t Camera::AveragedFrames() const
{
    if (Value(kPropFrameAveraging, kOff) != kOn)
        return 1;
    return std::max(1u, ToU32(Value(kPropFrameAveragingFrames, 1)));
}

uint32_t Camera::RecursiveFrames() const
{
    if (captureReference_ != 0 || Value(kPropRecursiveFilter, kOff) != kOn)
        return 1;
    return std::max(1u, ToU32(Value(kPropRecursiveFilterFrames, 1)));
}

// Stores the frame this reference capture delivered last into the slot the store property
// names; the slot keeps it until another store replaces it or the camera set is reloaded.
int32_t Camera::CommitReference()
{
    if (captureReference_ == 0 || !referenceCaptured_ || newestIndex < 0 ||
        static_cast<size_t>(newestIndex) >= frames.size())
        return VELA_ERR_NOTREADY;
    Reference r;
    r.kind = captureReference_;
    r.geometry = bufferGeometry;
    r.geometry.bundle = 1;
    r.frame = ReadReference(frames[static_cast<size_t>(newestIndex)], r.geometry);
    if (captureReference_ == 2)
        backgroundSlots_[ToU32(Value(kPropBackgroundStoreSlot, 1))] = r;
    else
        shadingSlots_[ToU32(Value(kPropShadingStoreSlot, 1))] = r;
    return VELA_OK;
}

int32_t Camera::FinishReference()
{
    referenceCaptured_ = false;
    return VELA_OK;
}

} // namespace velasim
