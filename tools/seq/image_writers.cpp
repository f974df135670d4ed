#include "image_writers.h"

#include <cstdio>
#include <vector>

#include "png_writer.h"

bool WritePng(const std::string &path, const Image &image)
{
    size_t rowBytes = size_t(image.width) * image.samples * image.bytesPerSample;
    return WritePngFile(path, {image.pixels, image.width, image.height, image.samples,
                               image.bytesPerSample, rowBytes});
}

namespace {

void Put16(std::vector<uint8_t> &b, uint16_t v)
{
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}

void Put32(std::vector<uint8_t> &b, uint32_t v)
{
    Put16(b, uint16_t(v));
    Put16(b, uint16_t(v >> 16));
}

void Entry(std::vector<uint8_t> &b, uint16_t tag, uint16_t type, uint32_t count, uint32_t value)
{
    Put16(b, tag);
    Put16(b, type);
    Put32(b, count);
    if (type == 3 && count == 1) {
        Put16(b, uint16_t(value));
        Put16(b, 0);
    } else {
        Put32(b, value);
    }
}

} // namespace

bool WriteTiff(const std::string &path, const Image &image)
{
    const uint32_t bytes = image.width * image.height * image.samples * image.bytesPerSample;
    const uint16_t entries = 10;
    const uint32_t ifd = 8;
    const uint32_t bitsAt = ifd + 2 + entries * 12 + 4; // per-sample bits, when they are three
    const uint32_t dataAt = bitsAt + 8;
    std::vector<uint8_t> b = {'I', 'I', 42, 0};
    Put32(b, ifd);
    Put16(b, entries);
    const uint16_t bits = uint16_t(8 * image.bytesPerSample);
    Entry(b, 256, 4, 1, image.width);
    Entry(b, 257, 4, 1, image.height);
    Entry(b, 258, 3, image.samples, image.samples == 3 ? bitsAt : bits);
    Entry(b, 259, 3, 1, 1);                            // no compression
    Entry(b, 262, 3, 1, image.samples == 3 ? 2u : 1u); // RGB or black is zero
    Entry(b, 273, 4, 1, dataAt);
    Entry(b, 277, 3, 1, image.samples);
    Entry(b, 278, 4, 1, image.height);
    Entry(b, 279, 4, 1, bytes);
    Entry(b, 284, 3, 1, 1); // chunky
    Put32(b, 0);
    for (int k = 0; k < 3; ++k)
        Put16(b, bits);
    Put16(b, 0);
    FILE *f = fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok =
        fwrite(b.data(), 1, b.size(), f) == b.size() && fwrite(image.pixels, 1, bytes, f) == bytes;
    return fclose(f) == 0 && ok;
}
