// Input triggers, output triggers and the master pulse. The mode tables are data so that both
// exported families read the same rows; each operation answers true or false with the cause of
// a failure in the camera's lastResult.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/library_state.h"

namespace qxcm {

constexpr uint32_t kPropTriggerTimes = 0x00100240;
constexpr uint32_t kPropTriggerDelay = 0x00100260;
// Output trigger properties of channel 0; channel n adds n << 8.
constexpr uint32_t kOutputSource = 0x001C0110;
constexpr uint32_t kOutputPolarity = 0x001C0120;
constexpr uint32_t kOutputDelay = 0x001C0140;
constexpr uint32_t kOutputPeriod = 0x001C0150;
constexpr uint32_t kOutputKind = 0x001C0160;

// What one host trigger mode writes to the input trigger properties.
struct TriggerModeRow {
    int32_t hostMode;
    bool olderCall; // VelaSetTriggerMode(hostMode) replaces the three writes below
    double source;  // trigger source, active and mode properties, written in this order
    double active;
    double mode;
    bool writesDelay;    // the delay follows (its result is never examined)
    bool polarityCounts; // the polarity's result goes to lastResult and a negative one fails
};

// The modes of QXCM_SETINPUTTRIGGER_40.
extern const TriggerModeRow kInputTriggerModes[];
extern const size_t kInputTriggerModeCount;

// The row of a host mode in a table, or null.
const TriggerModeRow *FindTriggerMode(const TriggerModeRow *table, size_t count, int32_t hostMode);

// Writes the input trigger of a host mode of kInputTriggerModes; an unknown mode fails without
// a device call and with lastResult as it was. A refused setting or older call fails with its
// own code.
bool ApplyInputTrigger(CameraContext &c, int32_t mode, int32_t polarity, double delay);

// Single input trigger settings; results of the writes that follow the first are not examined.
bool ApplyTriggerSource(CameraContext &c, int32_t source, int32_t polarity, double delay);
bool ApplyTriggerActive(CameraContext &c, int32_t active, int32_t times);
bool ApplyTriggerAdvance(CameraContext &c, int32_t option);

// Seconds cut to whole microseconds; false for a value that has no signed 32-bit count of
// microseconds (NaN, infinite, negative, 2147.483648 s and above). A product that lies within
// rounding noise of a whole count counts as that count, so 0.000003 s stays 3 us.
bool WholeMicroseconds(double seconds, double *out);

// Whether the period and delay of an output trigger of this kind can be written: only kind 3
// writes them, and then both must pass WholeMicroseconds.
bool OutputTriggerTimesFit(int32_t kind, double period, double delay);

// The output trigger of one channel: its kind, then by kind the polarity (kinds 2, 3, 4) and
// for kind 3 the source (when given), period and delay in whole microseconds. Times that do
// not fit fail without a device call. A kind other than 1 to 5 fails after its write.
bool ApplyOutputTrigger(CameraContext &c, uint32_t channel, int32_t kind, int32_t polarity,
                        double period, double delay, const uint32_t *source);

// The master pulse: mode, source, interval, and the burst count for mode 3 when given.
bool ApplyMasterPulse(CameraContext &c, int32_t mode, int32_t source, double interval,
                      const int32_t *burstCount);

} // namespace qxcm
