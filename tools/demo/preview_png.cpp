#include "preview_png.h"

#include <algorithm>
#include <filesystem>
#include <vector>

#include "png_writer.h"

bool WritePreviewPng(const std::string &path, const void *frame, uint32_t width, uint32_t height,
                     uint32_t samples, uint32_t bytesPerSample, uint32_t rowBytes)
{
    const auto *bytes = static_cast<const uint8_t *>(frame);
    auto sample = [&](uint32_t y, size_t k) -> uint32_t {
        const uint8_t *row = bytes + static_cast<size_t>(y) * rowBytes;
        return bytesPerSample == 2 ? static_cast<uint32_t>(row[2 * k] | (row[2 * k + 1] << 8))
                                   : row[k];
    };
    size_t rowSamples = static_cast<size_t>(width) * samples;
    // Stretch between the 0.5th and the 99.9th percentile: a few bright spots would otherwise
    // leave the scene itself black.
    std::vector<size_t> histogram(bytesPerSample == 2 ? 65536 : 256, 0);
    for (uint32_t y = 0; y < height; ++y)
        for (size_t k = 0; k < rowSamples; ++k)
            ++histogram[sample(y, k)];
    size_t total = rowSamples * height, seen = 0;
    uint32_t lo = 0, hi = 0;
    for (uint32_t v = 0; v < histogram.size(); ++v) {
        seen += histogram[v];
        if (seen * 1000 <= total * 5)
            lo = v;
        if (seen * 1000 <= total * 999)
            hi = v;
    }
    double scale = hi > lo ? 255.0 / static_cast<double>(hi - lo) : 0.0;
    std::vector<uint8_t> out(rowSamples * height);
    for (uint32_t y = 0; y < height; ++y)
        for (size_t k = 0; k < rowSamples; ++k) {
            double v = (static_cast<double>(sample(y, k)) - lo) * scale;
            out[y * rowSamples + k] = static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
        }
    return WritePngFile(path, {out.data(), width, height, samples, 1, rowSamples});
}

std::string AbsolutePath(const std::string &path)
{
    std::error_code error;
    std::filesystem::path absolute = std::filesystem::absolute(path, error);
    return error ? path : absolute.lexically_normal().string();
}
