// Writing one frame as an image file: PNG (8 or 16 bits, grey or RGB) and uncompressed TIFF.
#pragma once

#include <cstdint>
#include <string>

struct Image {
    const uint8_t *pixels; // rows packed, samples little-endian
    uint32_t width, height;
    uint32_t samples;        // 1 grey, 3 RGB
    uint32_t bytesPerSample; // 1 or 2
};

bool WritePng(const std::string &path, const Image &image);
bool WriteTiff(const std::string &path, const Image &image);
