// Frame content of a simulated camera: a deterministic scene (dark offset, vignetting, bright
// spots, noise) rendered once per geometry and processing setting into two noise variants, so
// that producing a frame costs one copy plus the frame-number stamp.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <memory>
#include <utility>
#include <vector>

#include "camera_set.h"

namespace velasim {

// Layout of one buffer frame: `bundle` images one after the other, each holding `views` view
// blocks of `height` rows of `rowBytes` (views stacked, view 1 first).
struct Geometry {
    PixelType pixel = PixelType::Mono16;
    uint32_t width = 0, height = 0, rowBytes = 0;
    uint32_t views = 1, bundle = 1, binning = 1;
    uint32_t viewX[2] = {0, 0}, viewY[2] = {0, 0}; // sensor position of each view's first pixel

    size_t ViewBytes() const { return static_cast<size_t>(rowBytes) * height; }
    size_t ImageBytes() const { return ViewBytes() * views; }
    size_t FrameBytes() const { return ImageBytes() * bundle; }
    bool operator==(const Geometry &) const = default;
};

struct Region {
    uint32_t left, top, right, bottom; // image pixels, inclusive
    bool operator==(const Region &) const = default;
};

// A frame the camera captured for a reference slot: one sample per pixel of every view, on the
// 16-bit scale (views stacked, rows without padding), and their mean.
struct ReferenceFrame {
    std::vector<float> samples;
    double mean = 0;
};

// What the device does to the scene before it leaves the camera.
struct Processing {
    uint32_t testPattern = 0; // 0 off, else the pattern kind
    uint32_t testOption = 0;
    std::shared_ptr<const ReferenceFrame> background; // subtracted when set
    std::shared_ptr<const ReferenceFrame> shading;    // divided out when set
    uint32_t averageFrames = 1;
    std::vector<std::pair<int32_t, int32_t>> lut; // empty: no lookup table
    std::vector<Region> regions;                  // empty: the whole image
    bool operator==(const Processing &) const = default;
};

class ReplayScene;

class FrameSource {
  public:
    FrameSource(const CameraModel &model, const Geometry &geometry, const Processing &processing);
    ~FrameSource();

    // Writes one buffer frame (FrameBytes bytes) whose first image carries `firstNumber`; the
    // images of a bundle carry consecutive numbers. A camera that replays a recording writes
    // recorded frames `firstRecorded` on instead (counted on past the end, as the file loops),
    // and answers false when the file can no longer be read.
    bool Write(uint8_t *frame, uint32_t firstNumber, int64_t firstRecorded = 0) const;

    const Geometry geometry;
    const Processing processing;

  private:
    std::vector<uint8_t> variants_[2];
    std::unique_ptr<const ReplayScene> replay_;
};

// The output lookup table as 65536 entries (empty without a table).
std::vector<uint16_t> LutTable(const std::vector<std::pair<int32_t, int32_t>> &lut);
// Which pixels of a view the region list lets through (all of them without a list).
std::vector<uint8_t> RegionMask(const Geometry &g, const std::vector<Region> &regions);

// The 16-bit value of a test pattern at image pixel (x, y) of a view of width x height:
// kind 1 flat at the option, 2 horizontal ramp x * 65535 / (width - 1), 3 vertical ramp
// y * 65535 / (height - 1) (integer division, 0 for a single pixel), 4 checker of 32-pixel
// squares, the option where x / 32 + y / 32 is even and 0 elsewhere. The option is capped at
// 65535.
uint32_t PatternValue(uint32_t kind, uint32_t option, size_t x, size_t y, size_t width,
                      size_t height);

// Writes the frame number into the first four bytes of every view block of one image.
void StampImage(uint8_t *image, const Geometry &geometry, uint32_t number);

// Largest sample value of a pixel type as VelaGetDataRange reports it.
uint32_t SampleRange(const CameraModel &model, PixelType pixel);

} // namespace velasim
