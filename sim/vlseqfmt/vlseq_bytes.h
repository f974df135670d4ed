// Little-endian loads and stores and the CRC-32 of the .vlseq format. File bytes are never cast
// to structs: every field goes through these helpers, which are safe at any alignment.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vlseqfmt {

inline void Put16(uint8_t *p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void Put32(uint8_t *p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void Put64(uint8_t *p, uint64_t v)
{
    for (int i = 0; i < 8; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline uint16_t Get16(const uint8_t *p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t Get32(const uint8_t *p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint64_t Get64(const uint8_t *p)
{
    return static_cast<uint64_t>(Get32(p)) | (static_cast<uint64_t>(Get32(p + 4)) << 32);
}

// zlib's CRC-32 (reflected 0xEDB88320, init and final xor 0xFFFFFFFF), so scripts can check
// files with zlib.crc32. Crc32Update continues a running value: Crc32Update(Crc32(a), b) is the
// CRC of a followed by b.
uint32_t Crc32Update(uint32_t crc, const void *data, size_t length);
inline uint32_t Crc32(const void *data, size_t length)
{
    return Crc32Update(0, data, length);
}

} // namespace vlseqfmt
