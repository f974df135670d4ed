// Frame corrections of the simulated camera. Samples are handled in their own pixel type so the
// filter works on what the camera delivers, padding and frame-number stamp aside.
#include "frame_corrections.h"

#include <string.h>

#include <algorithm>

#include "common/saturating_cast.h"

namespace velasim {
namespace {

// Samples per row: colour rows hold three per pixel.
size_t RowSamples(const Geometry &g)
{
    return g.pixel == PixelType::Rgb24 ? size_t{g.width} * 3 : g.width;
}

void DecodeRow(const uint8_t *row, const Geometry &g, uint16_t *out)
{
    switch (g.pixel) {
    case PixelType::Mono16:
        for (size_t x = 0; x < g.width; ++x)
            out[x] = static_cast<uint16_t>(row[2 * x] | (row[2 * x + 1] << 8));
        break;
    case PixelType::Mono8:
    case PixelType::Rgb24:
        for (size_t x = 0; x < RowSamples(g); ++x)
            out[x] = row[x];
        break;
    case PixelType::Mono12Packed:
        for (size_t x = 0; x + 1 < g.width; x += 2) {
            const uint8_t *group = row + x / 2 * 3;
            out[x] = static_cast<uint16_t>((group[0] << 4) | (group[1] & 0xF));
            out[x + 1] = static_cast<uint16_t>((group[2] << 4) | (group[1] >> 4));
        }
        break;
    }
}

void EncodeRow(const uint16_t *in, const Geometry &g, uint8_t *row)
{
    switch (g.pixel) {
    case PixelType::Mono16:
        for (size_t x = 0; x < g.width; ++x) {
            row[2 * x] = static_cast<uint8_t>(in[x] & 0xFF);
            row[2 * x + 1] = static_cast<uint8_t>(in[x] >> 8);
        }
        break;
    case PixelType::Mono8:
    case PixelType::Rgb24:
        for (size_t x = 0; x < RowSamples(g); ++x)
            row[x] = static_cast<uint8_t>(in[x]);
        break;
    case PixelType::Mono12Packed:
        for (size_t x = 0; x + 1 < g.width; x += 2) {
            uint8_t *group = row + x / 2 * 3;
            group[0] = static_cast<uint8_t>(in[x] >> 4);
            group[1] = static_cast<uint8_t>(((in[x + 1] & 0xFu) << 4) | (in[x] & 0xFu));
            group[2] = static_cast<uint8_t>(in[x + 1] >> 4);
        }
        break;
    }
}

size_t ImageRows(const Geometry &g)
{
    return size_t{g.views} * g.height;
}

} // namespace

std::shared_ptr<const ReferenceFrame> ReadReference(const uint8_t *frame, const Geometry &g)
{
    auto reference = std::make_shared<ReferenceFrame>();
    const size_t w = g.width;
    reference->samples.resize(ImageRows(g) * w);
    std::vector<uint16_t> row(RowSamples(g));
    double sum = 0;
    for (size_t y = 0; y < ImageRows(g); ++y) {
        DecodeRow(frame + y * g.rowBytes, g, row.data());
        for (size_t x = 0; x < w; ++x) {
            double v = 0;
            switch (g.pixel) {
            case PixelType::Mono16:
                v = row[x];
                break;
            case PixelType::Mono8:
                v = row[x] * 256.0;
                break;
            case PixelType::Rgb24:
                v = row[3 * x] * 256.0;
                break;
            case PixelType::Mono12Packed:
                v = row[x] * 16.0;
                break;
            }
            reference->samples[y * w + x] = static_cast<float>(v);
            sum += v;
        }
    }
    if (!reference->samples.empty())
        reference->mean = sum / static_cast<double>(reference->samples.size());
    return reference;
}

double CorrectSample(const Processing &p, size_t pixel, double value)
{
    if (p.background)
        value = std::max(0.0, value - p.background->samples[pixel]);
    if (p.shading) // a dead reference pixel passes its scene value through unscaled
        value = value * p.shading->mean / std::max(1.0f, p.shading->samples[pixel]);
    return value;
}

void RecursiveFilter::Reset()
{
    std::lock_guard lock(mutex_);
    average_.clear();
}

void RecursiveFilter::Apply(uint8_t *frame, const Geometry &g, uint32_t n, uint32_t firstNumber,
                            bool stamp)
{
    std::lock_guard lock(mutex_);
    Geometry image = g;
    image.bundle = 1;
    const size_t samples = RowSamples(g);
    if (!(geometry_ == image) || average_.size() != ImageRows(g) * samples) {
        geometry_ = image;
        average_.clear();
    }
    const float weight = 1.0f / static_cast<float>(std::max(1u, n));
    std::vector<uint16_t> row(samples);
    for (uint32_t k = 0; k < g.bundle; ++k) {
        uint8_t *pixels = frame + k * g.ImageBytes();
        const bool first = average_.empty();
        if (first)
            average_.resize(ImageRows(g) * samples);
        for (size_t y = 0; y < ImageRows(g); ++y) {
            uint8_t *bytes = pixels + y * g.rowBytes;
            DecodeRow(bytes, g, row.data());
            float *average = average_.data() + y * samples;
            for (size_t x = 0; x < samples; ++x) {
                float in = row[x];
                average[x] = first ? in : average[x] + (in - average[x]) * weight;
                row[x] = qxcm::SaturatingCast<uint16_t>(average[x] + 0.5);
            }
            EncodeRow(row.data(), g, bytes);
        }
        if (stamp)
            StampImage(pixels, g, firstNumber + k);
    }
}

} // namespace velasim
