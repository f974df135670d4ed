// The older interface's settings: for a camera that lacks the matching property the state is
// kept here, otherwise it reads and writes that property.
#include <math.h>

#include <algorithm>

#include "property_ids.h"
#include "sim_camera.h"

namespace velasim {
namespace {

// The older interface's trigger-mode codes, the capability bit that offers each, and the trigger
// source, active and mode property values that stand for it.
struct LegacyTrigger {
    int32_t mode;
    uint32_t bit;
    double source, active, kind;
};
constexpr LegacyTrigger kLegacyTriggers[] = {
    {1, 0, 1, 1, 1},         {2, 0x100, 2, 1, 1},       {4, 0x200, 2, 2, 1},
    {8, 0x400, 1, 1, 1},     {16, 0x800, 1, 1, 1},      {32, 0x1000, 3, 1, 1},
    {64, 0x2000, 2, 1, 3},   {128, 0x4000, 1, 1, 1},    {256, 0x8000, 1, 1, 1},
    {512, 0x40000, 2, 1, 6}, {1024, 0x800000, 2, 3, 1},
};

const LegacyTrigger *FindLegacyTrigger(int32_t mode)
{
    for (const LegacyTrigger &t : kLegacyTriggers)
        if (t.mode == mode)
            return &t;
    return nullptr;
}

uint32_t BinningBit(int32_t binning)
{
    switch (binning) {
    case 2:
        return 0x2;
    case 4:
        return 0x4;
    case 8:
        return 0x8;
    case 16:
        return 0x10;
    case 32:
        return 0x20;
    default:
        return 0;
    }
}

} // namespace

int32_t Camera::LegacyBinning(int32_t &value) const
{
    value = static_cast<int32_t>(Binning());
    return VELA_OK;
}

int32_t Camera::SetLegacyBinning(int32_t value)
{
    if (value != 1 && (model->legacyCapabilities & BinningBit(value)) == 0)
        return VELA_ERR_NOTSUPPORT;
    if (Has(kPropBinning))
        return SetValue(kPropBinning, value, true);
    if (bufferKind != BufferKind::None)
        return VELA_ERR_BUSY;
    Snapshot before = Take();
    hiddenBinning_ = static_cast<uint32_t>(value);
    Normalize();
    NoteUpdates(before, 0);
    return VELA_OK;
}

int32_t Camera::LegacyTriggerMode(int32_t &value) const
{
    value = legacyTriggerMode_;
    return VELA_OK;
}

int32_t Camera::SetLegacyTriggerMode(int32_t value)
{
    const LegacyTrigger *t = FindLegacyTrigger(value);
    if (t == nullptr)
        return VELA_ERR_INVALIDVALUE;
    if (t->bit != 0 && (model->legacyCapabilities & t->bit) == 0)
        return VELA_ERR_NOTSUPPORT;
    const struct {
        uint32_t id;
        double value;
    } writes[] = {{kPropTriggerSource, t->source},
                  {kPropTriggerActive, t->active},
                  {kPropTriggerMode, t->kind}};
    for (const auto &w : writes) {
        if (!Has(w.id))
            continue;
        int32_t r = SetValue(w.id, w.value, true);
        if (r < 0)
            return r == VELA_ERR_INVALIDVALUE ? VELA_ERR_NOTSUPPORT : r;
    }
    legacyTriggerMode_ = value;
    return VELA_OK;
}

// The older interface's trigger mode is the one whose property values are set now, or
// internal when none matches.
void Camera::FollowTriggerProperties()
{
    double s = Value(kPropTriggerSource, 1), a = Value(kPropTriggerActive, 1),
           k = Value(kPropTriggerMode, 1);
    legacyTriggerMode_ = 1;
    for (const LegacyTrigger &t : kLegacyTriggers) {
        if (t.source == s && t.active == a && t.kind == k) {
            legacyTriggerMode_ = t.mode;
            break;
        }
    }
}

int32_t Camera::LegacyTriggerPolarity(int32_t &value) const
{
    value = Has(kPropTriggerPolarity) ? qxcm::SaturateToInt32(Value(kPropTriggerPolarity, 1) - 1)
                                      : hiddenPolarity_;
    return VELA_OK;
}

int32_t Camera::SetLegacyTriggerPolarity(int32_t value)
{
    if ((model->legacyCapabilities & 0x30000u) != 0x30000u)
        return VELA_ERR_NOTSUPPORT;
    if (value != 0 && value != 1)
        return VELA_ERR_INVALIDVALUE;
    if (Has(kPropTriggerPolarity))
        return SetValue(kPropTriggerPolarity, value + 1.0, true);
    hiddenPolarity_ = value;
    return VELA_OK;
}

int32_t Camera::ScanModeCount(int32_t &count) const
{
    if (model->scanModes == 0)
        return VELA_ERR_NOTSUPPORT;
    count = static_cast<int32_t>(model->scanModes);
    return VELA_OK;
}

int32_t Camera::ScanMode(int32_t &mode) const
{
    if (model->scanModes == 0)
        return VELA_ERR_NOTSUPPORT;
    mode = Has(kPropReadoutSpeed) ? qxcm::SaturateToInt32(Value(kPropReadoutSpeed, 1))
                                  : hiddenScanMode_;
    return VELA_OK;
}

int32_t Camera::SetScanMode(int32_t mode)
{
    if (model->scanModes == 0)
        return VELA_ERR_NOTSUPPORT;
    if (mode < 1 || static_cast<uint32_t>(mode) > model->scanModes)
        return VELA_ERR_OUTOFRANGE;
    if (Has(kPropReadoutSpeed))
        return SetValue(kPropReadoutSpeed, mode, true);
    Snapshot before = Take();
    hiddenScanMode_ = mode;
    NoteUpdates(before, 0);
    return VELA_OK;
}

int32_t Camera::FeatureValue(uint32_t number, float &value) const
{
    if (model->Feature(number) == nullptr)
        return VELA_ERR_NOTSUPPORT;
    value = features_.at(number);
    return VELA_OK;
}

int32_t Camera::SetFeatureValue(uint32_t number, float &value)
{
    const FeatureModel *f = model->Feature(number);
    if (f == nullptr)
        return VELA_ERR_NOTSUPPORT;
    if (!f->writable)
        return VELA_ERR_NOTWRITABLE;
    if (!isfinite(value))
        return VELA_ERR_INVALIDVALUE;
    if (value < f->minValue || value > f->maxValue)
        return VELA_ERR_OUTOFRANGE;
    // The device keeps whole steps; the caller reads back what it kept.
    if (f->stepValue > 0)
        value = f->minValue + roundf((value - f->minValue) / f->stepValue) * f->stepValue;
    value = std::clamp(value, f->minValue, f->maxValue);
    features_[number] = value;
    return VELA_OK;
}

} // namespace velasim
