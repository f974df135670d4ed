// Frames lost between the sensor and the host: a seeded rate or an explicit list of frame
// numbers. A lost frame is exposed (its number is used up) but never delivered.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

namespace velasim {

class FrameLoss {
  public:
    // A rate in (0, 1] drawn from `seed`: whether a number is lost depends only on the seed and
    // the number, so a test can ask which numbers a capture lost. VELA_ERR_INVALIDPARAM for any
    // other rate (NaN included), and nothing changes.
    int32_t SetRate(double rate, uint64_t seed);
    // Strictly ascending numbers 0..UINT32_MAX (the device's frame counter); none clears every
    // loss. VELA_ERR_INVALIDPARAM otherwise, and nothing changes.
    int32_t SetList(const int64_t *numbers, int32_t count);
    // "RATE@SEED" or "N,N,...": the form of the VELASIM_FRAME_LOSS variable.
    int32_t SetFromText(const std::string &text);
    bool Lost(uint64_t number) const;
    bool Active() const { return rate_ > 0 || !list_.empty(); }

  private:
    double rate_ = 0;
    uint64_t seed_ = 0;
    std::vector<uint32_t> list_;
};

} // namespace velasim
