// Trigger and pulse writes.
#include "settings/triggers.h"

#include <cmath>

#include "common/saturating_cast.h"
#include "core/device_calls.h"
#include "settings/properties.h"

namespace qxcm {
namespace {

constexpr uint32_t kPulseMode = 0x001E0020;
constexpr uint32_t kPulseSource = 0x001E0030;
constexpr uint32_t kPulseInterval = 0x001E0040;
constexpr uint32_t kPulseBurst = 0x001E0050;

// Channel c's id; the channel is not range-checked, the device refuses what it lacks.
uint32_t ChannelId(uint32_t base, uint32_t channel)
{
    return (channel << 8) + base;
}

} // namespace

// clang-format off
const TriggerModeRow kInputTriggerModes[] = {
    {1,    false, 1, 1, 1, false, false},
    {2,    false, 2, 1, 1, true,  false},
    {4,    false, 2, 2, 1, false, false},
    {8,    true,  0, 0, 0, true,  true},
    {16,   true,  0, 0, 0, true,  true},
    {32,   false, 3, 1, 1, false, false},
    {64,   false, 2, 1, 3, false, false},
    {128,  true,  0, 0, 0, true,  false},
    {256,  false, 1, 1, 3, false, false},
    {512,  false, 2, 1, 6, false, false},
    {1024, false, 2, 3, 1, false, false},
    {2000, false, 4, 1, 1, true,  false},
};
// clang-format on
const size_t kInputTriggerModeCount = sizeof kInputTriggerModes / sizeof kInputTriggerModes[0];

const TriggerModeRow *FindTriggerMode(const TriggerModeRow *table, size_t count, int32_t hostMode)
{
    for (size_t k = 0; k < count; ++k)
        if (table[k].hostMode == hostMode)
            return &table[k];
    return nullptr;
}

bool ApplyInputTrigger(CameraContext &c, int32_t mode, int32_t polarity, double delay)
{
    const TriggerModeRow *row = FindTriggerMode(kInputTriggerModes, kInputTriggerModeCount, mode);
    if (!row)
        return false;
    DeviceApi &d = Device();
    if (row->olderCall) {
        if (!DeviceAnswered(c, d.VelaSetTriggerMode(c.deviceHandle, mode)))
            return false;
    } else if (!WriteValue(c, kPropTriggerSource, row->source) ||
               !WriteValue(c, kPropTriggerActive, row->active) ||
               !WriteValue(c, kPropTriggerMode, row->mode)) {
        return false; // with the refused write's own code, not an older one
    }
    if (row->writesDelay)
        d.VelaSetValue(c.deviceHandle, kPropTriggerDelay, delay);
    int32_t result = d.VelaSetValue(c.deviceHandle, kPropTriggerPolarity, polarity);
    if (row->polarityCounts) {
        c.lastResult = result;
        return result >= 0;
    }
    return true;
}

bool ApplyTriggerSource(CameraContext &c, int32_t source, int32_t polarity, double delay)
{
    if (!WriteValue(c, kPropTriggerSource, source))
        return false;
    if (source == 2) {
        Device().VelaSetValue(c.deviceHandle, kPropTriggerPolarity, polarity);
        Device().VelaSetValue(c.deviceHandle, kPropTriggerDelay, delay);
    }
    return true;
}

bool ApplyTriggerActive(CameraContext &c, int32_t active, int32_t times)
{
    if (!WriteValue(c, kPropTriggerActive, active))
        return false;
    if (active == 3)
        Device().VelaSetValue(c.deviceHandle, kPropTriggerTimes, times);
    return true;
}

bool ApplyTriggerAdvance(CameraContext &c, int32_t option)
{
    return WriteValue(c, kPropTriggerMode, option);
}

bool WholeMicroseconds(double seconds, double *out)
{
    const double micro = seconds * 1000000.0;
    if (!(micro >= 0.0 && micro < 2147483648.0)) // NaN fails here too
        return false;
    const double nearest = std::nearbyint(micro);
    const double whole = std::fabs(micro - nearest) < 1e-6 ? nearest : std::trunc(micro);
    *out = static_cast<double>(SaturateToInt32(whole)) / 1000000.0;
    return true;
}

bool OutputTriggerTimesFit(int32_t kind, double period, double delay)
{
    double unused = 0.0;
    return kind != 3 || (WholeMicroseconds(period, &unused) && WholeMicroseconds(delay, &unused));
}

bool ApplyOutputTrigger(CameraContext &c, uint32_t channel, int32_t kind, int32_t polarity,
                        double period, double delay, const uint32_t *source)
{
    double periodWhole = 0.0, delayWhole = 0.0;
    if (kind == 3 &&
        (!WholeMicroseconds(period, &periodWhole) || !WholeMicroseconds(delay, &delayWhole)))
        return false;
    if (!WriteValue(c, ChannelId(kOutputKind, channel), kind))
        return false;
    switch (kind) {
    case 1:
    case 5:
        return true;
    case 2:
    case 4:
        return WriteValue(c, ChannelId(kOutputPolarity, channel), polarity);
    case 3:
        return WriteValue(c, ChannelId(kOutputPolarity, channel), polarity) &&
               (!source || WriteValue(c, ChannelId(kOutputSource, channel), *source)) &&
               WriteValue(c, ChannelId(kOutputPeriod, channel), periodWhole) &&
               WriteValue(c, ChannelId(kOutputDelay, channel), delayWhole);
    default:
        return false; // lastResult holds the kind write's own result
    }
}

bool ApplyMasterPulse(CameraContext &c, int32_t mode, int32_t source, double interval,
                      const int32_t *burstCount)
{
    return WriteValue(c, kPulseMode, mode) && WriteValue(c, kPulseSource, source) &&
           WriteValue(c, kPulseInterval, interval) &&
           (mode != 3 || !burstCount || WriteValue(c, kPulseBurst, *burstCount));
}

} // namespace qxcm
