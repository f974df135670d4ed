#include "image_writers.h"

#include <cstdio>
#include <vector>

#ifdef QXCM_SEQ_PNG
#include <png.h>
#endif

bool WritePng(const std::string &path, const Image &image)
{
#ifdef QXCM_SEQ_PNG
    FILE *f = fopen(path.c_str(), "wb");
    if (!f)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        fclose(f);
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, image.width, image.height, static_cast<int>(8 * image.bytesPerSample),
                 image.samples == 3 ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    if (image.bytesPerSample == 2)
        png_set_swap(png); // our samples are little-endian, PNG's are big-endian
    size_t rowBytes = size_t(image.width) * image.samples * image.bytesPerSample;
    for (uint32_t y = 0; y < image.height; ++y)
        png_write_row(png, const_cast<png_bytep>(image.pixels + y * rowBytes));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return fclose(f) == 0;
#else
    (void)path, (void)image;
    return false;
#endif
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
