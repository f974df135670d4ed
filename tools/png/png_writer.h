// PNG files of 8- or 16-bit grey or RGB images, written alike by the Linux and Windows builds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct PngImage {
    const uint8_t *pixels;   // samples little-endian
    uint32_t width, height;  // pixels
    uint32_t samples;        // 1 grey, 3 RGB
    uint32_t bytesPerSample; // 1 or 2
    size_t rowBytes;         // distance between rows, at least width x samples x bytesPerSample
};

// False for an image the format cannot hold (empty, a bad sample layout, more than the
// encoder's 2 GiB) and when the file cannot be written; no partial file is left behind.
bool WritePngFile(const std::string &path, const PngImage &image);
