// Rendering of the simulated scene. Values are computed on a 16-bit scale and converted to the
// output pixel type at the end; the scene lives in sensor coordinates so that sub-arrays,
// binning and the two views show different parts of the same picture.
#include "frame_source.h"

#include <math.h>
#include <string.h>

#include <algorithm>

#include "common/saturating_cast.h"
#include "frame_corrections.h"
#include "replay_source.h"

namespace velasim {
namespace {

constexpr double kDarkOffset = 100.0;
constexpr double kSkyLevel = 600.0;
constexpr double kVignetting = 0.35;
constexpr int kSpotCount = 48;

uint32_t Hash(uint32_t x)
{
    x ^= x >> 16;
    x *= 0x7FEB352Du;
    x ^= x >> 15;
    x *= 0x846CA68Bu;
    x ^= x >> 16;
    return x;
}

// Roughly normal, mean 0, deviation 1: the sum of four uniform numbers.
float Noise(uint32_t seed)
{
    uint32_t h1 = Hash(seed), h2 = Hash(seed ^ 0x9E3779B9u);
    float sum = static_cast<float>(h1 & 0xFFFF) + static_cast<float>(h1 >> 16) +
                static_cast<float>(h2 & 0xFFFF) + static_cast<float>(h2 >> 16);
    return (sum / 65535.0f - 2.0f) * 1.7320508f;
}

struct Spot {
    double x, y, sigma, amplitude;
};

std::vector<Spot> Spots(const CameraModel &model)
{
    std::vector<Spot> spots;
    uint32_t state = 0xC0FFEEu ^ (model.sensorWidth * 131u + model.sensorHeight);
    auto next = [&state] {
        state = Hash(state + 0x632BE5ABu);
        return static_cast<double>(state) / 4294967295.0;
    };
    for (int k = 0; k < kSpotCount; ++k) {
        Spot s;
        s.x = next() * model.sensorWidth;
        s.y = next() * model.sensorHeight;
        s.sigma = 1.5 + next() * 6.0;
        s.amplitude = 1500.0 + next() * 28000.0;
        spots.push_back(s);
    }
    return spots;
}

double Vignetting(double position, double size)
{
    double u = 2.0 * position / size - 1.0;
    return 1.0 - kVignetting * u * u;
}

uint16_t Clamp16(double v)
{
    if (!(v > 0))
        return 0;
    if (v >= 65535.0)
        return 65535;
    return static_cast<uint16_t>(v + 0.5);
}

} // namespace

// The output lookup table as 65536 entries: between two points the straight line through
// them, rounded half up; below the first point its output, above the last point its output.
std::vector<uint16_t> LutTable(const std::vector<std::pair<int32_t, int32_t>> &lut)
{
    std::vector<uint16_t> table;
    if (lut.empty())
        return table;
    table.resize(65536);
    size_t k = 0;
    for (int64_t v = 0; v < 65536; ++v) {
        while (k < lut.size() && lut[k].first < v)
            ++k;
        int64_t out = 0;
        if (k == 0) {
            out = lut.front().second;
        } else if (k == lut.size()) {
            out = lut.back().second;
        } else {
            const int64_t x0 = lut[k - 1].first, x1 = lut[k].first;
            const int64_t y0 = lut[k - 1].second, y1 = lut[k].second;
            // y0 + (v - x0)(y1 - y0) / (x1 - x0), rounded half up in integers (x1 > x0).
            const int64_t n = 2 * (v - x0) * (y1 - y0) + (x1 - x0), d = 2 * (x1 - x0);
            out = y0 + (n >= 0 ? n / d : -((-n + d - 1) / d));
        }
        table[static_cast<size_t>(v)] = static_cast<uint16_t>(std::clamp<int64_t>(out, 0, 65535));
    }
    return table;
}

uint32_t PatternValue(uint32_t kind, uint32_t option, size_t x, size_t y, size_t width,
                      size_t height)
{
    switch (kind) {
    case 1:
        return std::min<uint32_t>(option, 65535);
    case 2:
        return width > 1 ? static_cast<uint32_t>(x * 65535 / (width - 1)) : 0;
    case 3:
        return height > 1 ? static_cast<uint32_t>(y * 65535 / (height - 1)) : 0;
    default:
        return (x / 32 + y / 32) % 2 == 0 ? std::min<uint32_t>(option, 65535) : 0;
    }
}

namespace {

// The picture before noise and output conversion, one float per pixel of every view.
struct Rendered {
    std::vector<float> signal; // noise-free value
    std::vector<float> sigma;  // noise deviation at that pixel
};

Rendered Render(const CameraModel &model, const Geometry &g, const Processing &p)
{
    const size_t w = g.width, h = g.height, pixels = w * h * g.views;
    Rendered r;
    r.signal.assign(pixels, 0.0f);
    r.sigma.assign(pixels, 0.0f);
    const double b = g.binning;
    const double half = b / 2.0;

    if (p.testPattern != 0) {
        for (uint32_t v = 0; v < g.views; ++v)
            for (size_t y = 0; y < h; ++y)
                for (size_t x = 0; x < w; ++x)
                    r.signal[(v * h + y) * w + x] =
                        static_cast<float>(PatternValue(p.testPattern, p.testOption, x, y, w, h));
        return r;
    }

    const std::vector<Spot> spots = Spots(model);
    const double readNoise = 3.0;
    // An averaged frame carries the noise of the mean of n independent frames.
    const double noiseScale = 1.0 / sqrt(static_cast<double>(std::max(1u, p.averageFrames)));

    for (uint32_t v = 0; v < g.views; ++v) {
        float *signal = r.signal.data() + static_cast<size_t>(v) * w * h;
        float *sigma = r.sigma.data() + static_cast<size_t>(v) * w * h;
        // Light reaching each pixel, before the dark offset: spots are drawn only near their
        // centres, so rendering costs about one pass over the image.
        std::vector<float> light(w * h, 0.0f);
        for (const Spot &s : spots) {
            double reach = 4.0 * s.sigma;
            double x0 = (s.x - reach - g.viewX[v]) / b, x1 = (s.x + reach - g.viewX[v]) / b;
            double y0 = (s.y - reach - g.viewY[v]) / b, y1 = (s.y + reach - g.viewY[v]) / b;
            if (x1 < 0 || y1 < 0 || x0 >= static_cast<double>(w) || y0 >= static_cast<double>(h))
                continue;
            size_t xa = qxcm::SaturatingCast<size_t>(floor(x0));
            size_t xb = std::min(w - 1, qxcm::SaturatingCast<size_t>(ceil(x1)));
            size_t ya = qxcm::SaturatingCast<size_t>(floor(y0));
            size_t yb = std::min(h - 1, qxcm::SaturatingCast<size_t>(ceil(y1)));
            for (size_t y = ya; y <= yb; ++y)
                for (size_t x = xa; x <= xb; ++x) {
                    double sx = g.viewX[v] + static_cast<double>(x) * b + half - s.x;
                    double sy = g.viewY[v] + static_cast<double>(y) * b + half - s.y;
                    double e = (sx * sx + sy * sy) / (2.0 * s.sigma * s.sigma);
                    if (e < 16.0)
                        light[y * w + x] += static_cast<float>(s.amplitude * exp(-e));
                }
        }
        std::vector<double> vx(w), vy(h);
        for (size_t x = 0; x < w; ++x)
            vx[x] = Vignetting(g.viewX[v] + static_cast<double>(x) * b + half, model.sensorWidth);
        for (size_t y = 0; y < h; ++y)
            vy[y] = Vignetting(g.viewY[v] + static_cast<double>(y) * b + half, model.sensorHeight);

        for (size_t y = 0; y < h; ++y) {
            for (size_t x = 0; x < w; ++x) {
                double vignetting = vx[x] * vy[y];
                double lit = (kSkyLevel + light[y * w + x]) * vignetting * b;
                double value = kDarkOffset + lit;
                double deviation = sqrt(readNoise * readNoise + lit * 0.25) * noiseScale;
                signal[y * w + x] = static_cast<float>(value);
                sigma[y * w + x] = static_cast<float>(deviation);
            }
        }
    }
    return r;
}

void Convert(const Rendered &r, const Geometry &g, const Processing &p, uint32_t variant,
             std::vector<uint8_t> &out)
{
    out.assign(g.ImageBytes(), 0);
    const size_t w = g.width, h = g.height;
    const bool corrected = p.background || p.shading;
    const std::vector<uint16_t> lut = LutTable(p.lut);
    const std::vector<uint8_t> mask = RegionMask(g, p.regions);
    std::vector<uint16_t> samples(w);
    for (uint32_t v = 0; v < g.views; ++v) {
        for (size_t y = 0; y < h; ++y) {
            uint8_t *row = out.data() + (static_cast<size_t>(v) * h + y) * g.rowBytes;
            size_t base = (static_cast<size_t>(v) * h + y) * w;
            // Noise follows the sensor position, so a sub-array shows exactly the pixels of
            // the full frame at that place.
            const uint32_t sensorY = g.viewY[v] + static_cast<uint32_t>(y) * g.binning;
            const uint32_t seedRow =
                sensorY * 0x9E3779B1u + g.binning * 0x85EBCA77u + variant * 0x51ED27u;
            for (size_t x = 0; x < w; ++x) {
                double s = r.signal[base + x];
                float d = r.sigma[base + x];
                if (d > 0) {
                    const uint32_t sensorX = g.viewX[v] + static_cast<uint32_t>(x) * g.binning;
                    s += d * Noise(seedRow + sensorX * 0xC2B2AE3Du);
                }
                if (corrected)
                    s = CorrectSample(p, base + x, s);
                uint16_t sample = Clamp16(s);
                if (!lut.empty())
                    sample = lut[sample];
                samples[x] = mask[y * w + x] ? sample : 0;
            }
            switch (g.pixel) {
            case PixelType::Mono16:
                for (size_t x = 0; x < w; ++x) {
                    row[2 * x] = static_cast<uint8_t>(samples[x] & 0xFF);
                    row[2 * x + 1] = static_cast<uint8_t>(samples[x] >> 8);
                }
                break;
            case PixelType::Mono8:
                for (size_t x = 0; x < w; ++x)
                    row[x] = static_cast<uint8_t>(samples[x] >> 8);
                break;
            case PixelType::Mono12Packed:
                // Two 12-bit pixels in three bytes: b0 = first >> 4, b1 = (second & 0xF) << 4 |
                // (first & 0xF), b2 = second >> 4.
                for (size_t x = 0; x + 1 < w; x += 2) {
                    uint32_t first = samples[x] >> 4u, second = samples[x + 1] >> 4u;
                    uint8_t *group = row + x / 2 * 3;
                    group[0] = static_cast<uint8_t>(first >> 4);
                    group[1] = static_cast<uint8_t>(((second & 0xFu) << 4) | (first & 0xFu));
                    group[2] = static_cast<uint8_t>(second >> 4);
                }
                break;
            case PixelType::Rgb24:
                for (size_t x = 0; x < w; ++x) {
                    uint32_t sample = samples[x];
                    row[3 * x] = static_cast<uint8_t>(sample >> 8);
                    row[3 * x + 1] = static_cast<uint8_t>((sample * 7u / 8u) >> 8);
                    row[3 * x + 2] = static_cast<uint8_t>((sample * 3u / 4u) >> 8);
                }
                break;
            }
        }
    }
}

} // namespace

// Which pixels of a view the region list lets through (all of them without a list).
std::vector<uint8_t> RegionMask(const Geometry &g, const std::vector<Region> &regions)
{
    const size_t w = g.width, h = g.height;
    std::vector<uint8_t> mask(w * h, regions.empty() ? 1 : 0);
    for (const Region &rg : regions)
        for (size_t y = rg.top; y <= rg.bottom && y < h; ++y)
            for (size_t x = rg.left; x <= rg.right && x < w; ++x)
                mask[y * w + x] = 1;
    return mask;
}

FrameSource::FrameSource(const CameraModel &model, const Geometry &g, const Processing &p)
    : geometry(g), processing(p)
{
    if (model.replay) {
        replay_ = std::make_unique<ReplayScene>(model.replay, g, p);
        return;
    }
    Rendered r = Render(model, g, p);
    for (uint32_t k = 0; k < 2; ++k)
        Convert(r, g, p, k, variants_[k]);
}

void StampImage(uint8_t *image, const Geometry &geometry, uint32_t number)
{
    const uint8_t bytes[4] = {static_cast<uint8_t>(number), static_cast<uint8_t>(number >> 8),
                              static_cast<uint8_t>(number >> 16),
                              static_cast<uint8_t>(number >> 24)};
    size_t n = std::min<size_t>(4, geometry.ViewBytes());
    for (uint32_t v = 0; v < geometry.views; ++v)
        memcpy(image + v * geometry.ViewBytes(), bytes, n);
}

FrameSource::~FrameSource() = default;

bool FrameSource::Write(uint8_t *frame, uint32_t firstNumber, int64_t firstRecorded) const
{
    const size_t imageBytes = geometry.ImageBytes();
    if (replay_) {
        const int64_t frames = replay_->Frames();
        for (uint32_t k = 0; k < geometry.bundle; ++k)
            if (!replay_->Write((firstRecorded + k) % frames, frame + k * imageBytes))
                return false;
        return true;
    }
    for (uint32_t k = 0; k < geometry.bundle; ++k) {
        uint32_t number = firstNumber + k;
        uint8_t *image = frame + k * imageBytes;
        memcpy(image, variants_[number & 1u].data(), imageBytes);
        // A test pattern is the pattern alone, so a host can check every pixel of it.
        if (processing.testPattern == 0)
            StampImage(image, geometry, number);
    }
    return true;
}

uint32_t SampleRange(const CameraModel &model, PixelType pixel)
{
    switch (pixel) {
    case PixelType::Mono8:
    case PixelType::Rgb24:
        return 255;
    case PixelType::Mono12Packed:
        return 4095;
    case PixelType::Mono16:
        break;
    }
    return model.pixel == PixelType::Mono16 ? model.range : 65535;
}

} // namespace velasim
