// Helpers of the settings tests: the device writes a call made, read from the journal, and
// frames captured under the manual clock and copied out through the exports.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/qx_test.h"

namespace qxtest {

// A copied frame of 16-bit pixels with its row pitch in pixels.
struct Image {
    uint32_t width = 0, height = 0, pitch = 0;
    std::vector<uint16_t> pixels;
    uint16_t At(uint32_t x, uint32_t y) const { return pixels[size_t(y) * pitch + x]; }
};

class SettingsTest : public LibraryTest {
  protected:
    void SetUp() override;
    // Prepares a sequence, delivers one frame (number 0), copies buffer 0 (both views of it with
    // `split`) and releases the buffers again.
    std::pair<Image, Image> Capture(uint32_t i, bool split = false);
    Image CaptureOne(uint32_t i) { return Capture(i).first; }
};

} // namespace qxtest
