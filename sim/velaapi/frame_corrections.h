// The corrections a simulated camera applies to its frames: background subtraction and shading
// correction against reference frames it captured (folded into the rendered scene, so they cost
// nothing per frame), and the recursive filter, a running average that works on every frame.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <memory>
#include <mutex>
#include <vector>

#include "frame_source.h"

namespace velasim {

// Reads the first image of a buffer frame as a reference: each pixel's grey value on the 16-bit
// scale (8-bit and colour samples times 256, packed 12-bit times 16; colour by its red sample).
std::shared_ptr<const ReferenceFrame> ReadReference(const uint8_t *frame, const Geometry &g);

// One sample of the scene at pixel index `pixel` (views stacked, rows without padding) after
// the background and shading references of `p`.
double CorrectSample(const Processing &p, size_t pixel, double value);

// The running average of the frames a capture produces: each frame leaves the camera as the
// previous output plus 1/n of its difference to it. The first frame after a reset passes as it
// is. Safe to call from the producer thread and a host thread delivering frames.
class RecursiveFilter {
  public:
    void Reset();
    // Filters every image of a buffer frame in place; `stamp`: writes the frame numbers again.
    void Apply(uint8_t *frame, const Geometry &g, uint32_t n, uint32_t firstNumber, bool stamp);

  private:
    std::mutex mutex_;
    Geometry geometry_;
    std::vector<float> average_; // one value per sample of an image
};

} // namespace velasim
