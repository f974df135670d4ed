// CRC-32 by slicing eight bytes per step: the header and index checks run on every open and the
// optional pixel check runs on every frame, so the plain byte-wise loop would be the bottleneck.
#include "vlseq_bytes.h"

#include <array>

namespace vlseqfmt {
namespace {

using Tables = std::array<std::array<uint32_t, 256>, 8>;

constexpr Tables MakeTables()
{
    Tables t{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k)
            c = (c & 1u) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        t[0][i] = c;
    }
    for (size_t s = 1; s < 8; ++s)
        for (size_t i = 0; i < 256; ++i)
            t[s][i] = (t[s - 1][i] >> 8) ^ t[0][t[s - 1][i] & 0xFFu];
    return t;
}

constexpr Tables kTables = MakeTables();

} // namespace

uint32_t Crc32Update(uint32_t crc, const void *data, size_t length)
{
    const auto *p = static_cast<const uint8_t *>(data);
    uint32_t c = ~crc;
    while (length >= 8) {
        const uint32_t lo = c ^ Get32(p);
        const uint32_t hi = Get32(p + 4);
        c = kTables[7][lo & 0xFFu] ^ kTables[6][(lo >> 8) & 0xFFu] ^
            kTables[5][(lo >> 16) & 0xFFu] ^ kTables[4][lo >> 24] ^ kTables[3][hi & 0xFFu] ^
            kTables[2][(hi >> 8) & 0xFFu] ^ kTables[1][(hi >> 16) & 0xFFu] ^ kTables[0][hi >> 24];
        p += 8;
        length -= 8;
    }
    while (length-- > 0)
        c = (c >> 8) ^ kTables[0][(c ^ *p++) & 0xFFu];
    return ~c;
}

} // namespace vlseqfmt
