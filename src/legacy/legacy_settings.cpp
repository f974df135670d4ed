// The older family's trigger tables. They differ from the current family's input modes (modes
// 8, 16, 128 and 256, and where the delay is written), so they are kept here as their own data.
#include "legacy/legacy_settings.h"

#include <iterator>

#include "common/saturating_cast.h"
#include "core/device_calls.h"
#include "legacy/legacy_records.h"
#include "settings/properties.h"
#include "settings/triggers.h"

namespace qxcm {
namespace {

// The trigger source, active and mode values of each host mode, for QXCM_SETTRIGGER.
struct LegacyTriggerRow {
    int32_t mode;
    double source, active, kind;
};

constexpr LegacyTriggerRow kLegacyTriggerModes[] = {
    {1, 1, 1, 1},  {2, 2, 1, 1},   {4, 2, 2, 1},   {8, 1, 1, 1},   {16, 1, 1, 1},   {32, 3, 1, 1},
    {64, 2, 1, 3}, {128, 1, 1, 1}, {256, 1, 1, 1}, {512, 2, 1, 6}, {1024, 2, 3, 1},
};

constexpr int32_t kTriggerParameters[] = {kParameterTriggerSource, kParameterTriggerActive,
                                          kParameterTriggerMode, kParameterTriggerPolarity};

enum class Delay {
    None,
    BeforePolarity,
    AfterPolarity,
    WholeMicrosecondsBeforePolarity,
};

// The writes of one host mode for QXCM_SETINPUTTRIGGER.
struct LegacyInputRow {
    int32_t mode;
    bool olderCall; // VelaSetTriggerMode(mode) instead of the three writes
    double source, active, kind;
    Delay delay;
    bool polarityCounts;
};

constexpr LegacyInputRow kLegacyInputModes[] = {
    {1, false, 1, 1, 1, Delay::None, true},
    {2, false, 2, 1, 1, Delay::AfterPolarity, true},
    {4, false, 2, 2, 1, Delay::None, true},
    {8, true, 0, 0, 0, Delay::BeforePolarity, true},
    {16, true, 0, 0, 0, Delay::BeforePolarity, true},
    {32, false, 3, 1, 1, Delay::None, true},
    {64, false, 2, 1, 3, Delay::None, true},
    {128, true, 0, 0, 0, Delay::BeforePolarity, false},
    {256, true, 0, 0, 0, Delay::WholeMicrosecondsBeforePolarity, false},
    {512, false, 2, 1, 6, Delay::None, true},
    {1024, false, 2, 3, 1, Delay::None, true},
    {2000, false, 4, 1, 1, Delay::AfterPolarity, true},
};

const LegacyTriggerRow *FindLegacyTrigger(int32_t mode)
{
    for (const LegacyTriggerRow &row : kLegacyTriggerModes)
        if (row.mode == mode)
            return &row;
    return nullptr;
}

void WriteUnexamined(CameraContext &c, uint32_t id, double value)
{
    Device().VelaSetValue(c.deviceHandle, id, value);
}

} // namespace

bool HasLegacyTriggerRecords(const CameraContext &c)
{
    for (int32_t p : kTriggerParameters)
        if (c.parameterMap[p] != -1)
            return true;
    return false;
}

bool IsLegacyTriggerMode(int32_t mode)
{
    return FindLegacyTrigger(mode) != nullptr;
}

bool ApplyLegacyTrigger(CameraContext &c, int32_t mode, int32_t polarity)
{
    const LegacyTriggerRow *row = FindLegacyTrigger(mode);
    if (!row)
        return false;
    const double values[] = {row->source, row->active, row->kind, static_cast<double>(polarity)};
    for (size_t k = 0; k < std::size(kTriggerParameters); ++k)
        if (!SetLegacyRecordValue(c, c.parameterMap[kTriggerParameters[k]], values[k], 0))
            return false;
    return true;
}

bool ApplyLegacyInputTrigger(CameraContext &c, int32_t mode, int32_t polarity, double delay)
{
    const LegacyInputRow *row = nullptr;
    for (const LegacyInputRow &r : kLegacyInputModes)
        if (r.mode == mode)
            row = &r;
    if (!row)
        return false;
    if (row->olderCall) {
        if (!DeviceAnswered(c, Device().VelaSetTriggerMode(c.deviceHandle, mode)))
            return false;
    } else if (!WriteValue(c, kPropTriggerSource, row->source) ||
               !WriteValue(c, kPropTriggerActive, row->active) ||
               !WriteValue(c, kPropTriggerMode, row->kind)) {
        return false; // with the refused write's own code, not an older one
    }
    if (row->delay == Delay::BeforePolarity)
        WriteUnexamined(c, kPropTriggerDelay, delay);
    if (row->delay == Delay::WholeMicrosecondsBeforePolarity)
        WriteUnexamined(c, kPropTriggerDelay, SaturateToInt32(delay * 1000000.0) / 1000000.0);
    if (!row->polarityCounts)
        WriteUnexamined(c, kPropTriggerPolarity, polarity);
    else if (!WriteValue(c, kPropTriggerPolarity, polarity))
        return false;
    if (row->delay == Delay::AfterPolarity)
        WriteUnexamined(c, kPropTriggerDelay, delay);
    return true;
}

} // namespace qxcm
