#include "png_writer.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <vector>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#define STBI_WRITE_NO_STDIO
#include "stb_image_write.h"

namespace {

uint32_t Crc32(const uint8_t *bytes, size_t n, uint32_t crc = 0)
{
    crc = ~crc;
    for (size_t k = 0; k < n; ++k) {
        crc ^= bytes[k];
        for (int b = 0; b < 8; ++b)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void PutBig32(std::vector<uint8_t> &out, uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(v >> shift));
}

void Chunk(std::vector<uint8_t> &out, const char *type, const uint8_t *data, size_t n)
{
    PutBig32(out, static_cast<uint32_t>(n));
    size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data, data + n);
    PutBig32(out, Crc32(out.data() + start, n + 4));
}

// The encoder writes 8-bit samples only; 16-bit ones go through its deflate into chunks of
// our own, rows unfiltered and samples big-endian as the format wants them.
bool Encode16(const PngImage &image, std::vector<uint8_t> &png)
{
    const size_t rowOut = 1 + size_t(image.width) * image.samples * 2;
    std::vector<uint8_t> raw(rowOut * image.height);
    for (uint32_t y = 0; y < image.height; ++y) {
        const uint8_t *row = image.pixels + y * image.rowBytes;
        uint8_t *out = raw.data() + y * rowOut;
        out[0] = 0;
        for (size_t k = 0; k + 1 < rowOut; k += 2) {
            out[1 + k] = row[k + 1];
            out[2 + k] = row[k];
        }
    }
    int zlen = 0;
    unsigned char *z = stbi_zlib_compress(raw.data(), static_cast<int>(raw.size()), &zlen,
                                          stbi_write_png_compression_level);
    if (!z)
        return false;
    static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    png.assign(signature, signature + 8);
    std::vector<uint8_t> header;
    PutBig32(header, image.width);
    PutBig32(header, image.height);
    header.insert(header.end(), {16, static_cast<uint8_t>(image.samples == 3 ? 2 : 0), 0, 0, 0});
    Chunk(png, "IHDR", header.data(), header.size());
    Chunk(png, "IDAT", z, static_cast<size_t>(zlen));
    Chunk(png, "IEND", nullptr, 0);
    STBIW_FREE(z);
    return true;
}

} // namespace

bool WritePngFile(const std::string &path, const PngImage &image)
{
    const uint64_t packedRow = uint64_t(image.width) * image.samples * image.bytesPerSample;
    // The encoder counts in int, including a filter byte per row.
    if (!image.pixels || image.width == 0 || image.height == 0 ||
        (image.samples != 1 && image.samples != 3) ||
        (image.bytesPerSample != 1 && image.bytesPerSample != 2) || image.rowBytes < packedRow ||
        image.rowBytes > size_t(INT_MAX) || (packedRow + 1) * image.height > uint64_t(INT_MAX) / 2)
        return false;
    std::vector<uint8_t> png;
    if (image.bytesPerSample == 2) {
        if (!Encode16(image, png))
            return false;
    } else {
        int len = 0;
        unsigned char *mem = stbi_write_png_to_mem(
            image.pixels, static_cast<int>(image.rowBytes), static_cast<int>(image.width),
            static_cast<int>(image.height), static_cast<int>(image.samples), &len);
        if (!mem)
            return false;
        png.assign(mem, mem + len);
        STBIW_FREE(mem);
    }
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = std::fwrite(png.data(), 1, png.size(), f) == png.size();
    ok = std::fclose(f) == 0 && ok;
    if (!ok)
        std::remove(path.c_str());
    return ok;
}
