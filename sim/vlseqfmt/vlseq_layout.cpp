// Encoders and decoders of the fixed structures. Decoding checks every rule the header carries,
// because everything the reader computes later is bounded by these values.
#include "vlseq_layout.h"

#include "velaapi/vela_api.h"
#include "vlseq_bytes.h"

#include <cstring>

namespace vlseqfmt {
namespace {

constexpr uint8_t kTiffPrefix[8] = {0x49, 0x49, 0x2B, 0x00, 0x08, 0x00, 0x00, 0x00};
constexpr uint8_t kMagic[8] = {0x56, 0x4C, 0x53, 0x51, 0x0D, 0x0A, 0x1A, 0x0A};
constexpr uint8_t kChunkMagic[4] = {0x56, 0x4C, 0x43, 0x4B};
constexpr size_t kSuperblockCrcAt = 252;
constexpr size_t kChunkCrcAt = 28;

void PutEntry(uint8_t *&p, uint16_t tag, uint16_t type, uint64_t count)
{
    Put16(p, tag);
    Put16(p + 2, type);
    Put64(p + 4, count);
    std::memset(p + 12, 0, 8);
    p += 20;
}

} // namespace

bool PixelLayout(uint32_t pixelType, uint32_t *samplesPerPixel, uint32_t *bytesPerSample)
{
    if (pixelType < 1 || pixelType > 4)
        return false;
    *samplesPerPixel = pixelType >= 3 ? 3u : 1u;
    *bytesPerSample = (pixelType == 2 || pixelType == 4) ? 2u : 1u;
    return true;
}

void EncodeFileHeader(const FileHeader &h, uint8_t *b)
{
    std::memset(b, 0, kHeaderBlockBytes);
    std::memcpy(b, kTiffPrefix, sizeof kTiffPrefix);
    std::memcpy(b + 16, kMagic, sizeof kMagic);
    Put16(b + 24, 1);
    Put16(b + 26, h.versionMinor);
    Put32(b + 28, static_cast<uint32_t>(kHeaderBlockBytes));
    Put32(b + 32, h.compatFlags);
    Put32(b + 36, 0);
    Put32(b + 40, h.pixelType);
    Put32(b + 44, h.width);
    Put32(b + 48, h.height);
    Put32(b + 52, h.samplesPerPixel);
    Put32(b + 56, h.bytesPerSample);
    Put32(b + 60, h.dataAlignLog2);
    Put64(b + 64, h.rowPitch);
    Put64(b + 72, h.frameBytes);
    Put32(b + 80, h.maxFrames);
    Put32(b + 84, h.deviceDataType);
    Put32(b + 88, h.fileTextCapacity);
    Put32(b + 92, h.frameTextCapacity);
    Put64(b + 96, kHeaderBlockBytes);
    Put64(b + 104, h.createdUnixTime);
    Put32(b + 112, h.fileId);
    Put32(b + kSuperblockCrcAt, Crc32(b + 16, kSuperblockCrcAt - 16));
}

int32_t DecodeFileHeader(const uint8_t *b, FileHeader *h)
{
    if (std::memcmp(b, kTiffPrefix, sizeof kTiffPrefix) != 0 ||
        std::memcmp(b + 16, kMagic, sizeof kMagic) != 0)
        return VELA_ERR_FAILEDREADDATA;
    // A later major version may move anything after the version field, the CRC included.
    if (Get16(b + 24) != 1)
        return VELA_ERR_NOTSUPPORT;
    if (Get32(b + kSuperblockCrcAt) != Crc32(b + 16, kSuperblockCrcAt - 16))
        return VELA_ERR_FAILEDREADDATA;
    if (Get32(b + 36) != 0)
        return VELA_ERR_NOTSUPPORT;
    FileHeader r;
    r.versionMinor = Get16(b + 26);
    r.compatFlags = Get32(b + 32);
    r.pixelType = Get32(b + 40);
    r.width = Get32(b + 44);
    r.height = Get32(b + 48);
    r.samplesPerPixel = Get32(b + 52);
    r.bytesPerSample = Get32(b + 56);
    r.dataAlignLog2 = Get32(b + 60);
    r.rowPitch = Get64(b + 64);
    r.frameBytes = Get64(b + 72);
    r.maxFrames = Get32(b + 80);
    r.deviceDataType = Get32(b + 84);
    r.fileTextCapacity = Get32(b + 88);
    r.frameTextCapacity = Get32(b + 92);
    r.createdUnixTime = Get64(b + 104);
    r.fileId = Get32(b + 112);

    uint32_t spp = 0, bps = 0;
    if (Get32(b + 28) != kHeaderBlockBytes || Get64(b + 96) != kHeaderBlockBytes || r.fileId == 0 ||
        !PixelLayout(r.pixelType, &spp, &bps) || spp != r.samplesPerPixel ||
        bps != r.bytesPerSample || r.width < 1 || r.width > kMaxDimension || r.height < 1 ||
        r.height > kMaxDimension || r.dataAlignLog2 < kMinAlignLog2 ||
        r.dataAlignLog2 > kMaxAlignLog2 || r.maxFrames < 1 || r.maxFrames > kMaxFrames ||
        r.fileTextCapacity > kMaxTextCapacity || r.frameTextCapacity > kMaxTextCapacity)
        return VELA_ERR_FAILEDREADDATA;
    // Both factors are below 2^19 and 2^16, so neither product can overflow.
    const uint64_t pitch = uint64_t{r.width} * spp * bps;
    if (r.rowPitch != pitch || r.frameBytes != pitch * r.height || r.frameBytes > kMaxFrameBytes)
        return VELA_ERR_FAILEDREADDATA;
    *h = r;
    return 1;
}

void EncodeCommit(const CommitRecord &c, uint8_t *out)
{
    std::memset(out, 0, kCommitBytes);
    Put64(out, c.seq);
    Put64(out + 8, c.frameCount);
    Put64(out + 16, c.textChunkCount);
    Put64(out + 24, c.streamEnd);
    Put64(out + 32, c.lastIfdOffset);
    Put64(out + 40, c.trailerOffset);
    Put32(out + 48, c.state);
    Put32(out + 60, Crc32(out, 60));
}

bool DecodeCommit(const uint8_t *in, CommitRecord *c)
{
    if (Get32(in + 60) != Crc32(in, 60))
        return false;
    c->seq = Get64(in);
    c->frameCount = Get64(in + 8);
    c->textChunkCount = Get64(in + 16);
    c->streamEnd = Get64(in + 24);
    c->lastIfdOffset = Get64(in + 32);
    c->trailerOffset = Get64(in + 40);
    c->state = Get32(in + 48);
    return true;
}

void EncodeChunkHeader(const ChunkHeader &c, uint8_t *out)
{
    std::memcpy(out, kChunkMagic, sizeof kChunkMagic);
    Put16(out + 4, c.type);
    Put16(out + 6, c.headerBytes);
    Put64(out + 8, c.chunkBytes);
    Put64(out + 16, c.chunkSeq);
    Put32(out + 24, c.fileId);
    Put32(out + kChunkCrcAt, 0);
}

void SealChunk(uint8_t *header, size_t headerBytes)
{
    Put32(header + kChunkCrcAt, 0);
    Put32(header + kChunkCrcAt, Crc32(header, headerBytes));
}

bool DecodeChunkHeader(const uint8_t *in, ChunkHeader *c)
{
    if (std::memcmp(in, kChunkMagic, sizeof kChunkMagic) != 0)
        return false;
    c->type = Get16(in + 4);
    c->headerBytes = Get16(in + 6);
    c->chunkBytes = Get64(in + 8);
    c->chunkSeq = Get64(in + 16);
    c->fileId = Get32(in + 24);
    return HeaderBytesOf(c->type) != 0 && c->headerBytes == HeaderBytesOf(c->type);
}

bool ChunkCrcHolds(const uint8_t *header, size_t headerBytes)
{
    const uint8_t zero[4] = {};
    uint32_t crc = Crc32(header, kChunkCrcAt);
    crc = Crc32Update(crc, zero, sizeof zero);
    crc = Crc32Update(crc, header + kChunkCrcAt + 4, headerBytes - kChunkCrcAt - 4);
    return crc == Get32(header + kChunkCrcAt);
}

void EncodeIfd(const FileHeader &h, uint64_t dataOffset, uint32_t seconds, int32_t microseconds,
               uint8_t *out)
{
    enum : uint16_t { kShort = 3, kLong = 4, kRational = 5, kLong8 = 16 };
    const bool rgb = h.samplesPerPixel == 3;
    const auto bits = static_cast<uint16_t>(8 * h.bytesPerSample);
    uint8_t *p = out;
    Put64(p, 15);
    p += 8;
    PutEntry(p, 256, kLong, 1);
    Put32(p - 8, h.width);
    PutEntry(p, 257, kLong, 1);
    Put32(p - 8, h.height);
    PutEntry(p, 258, kShort, h.samplesPerPixel);
    for (uint32_t s = 0; s < h.samplesPerPixel; ++s)
        Put16(p - 8 + 2 * s, bits);
    PutEntry(p, 259, kShort, 1);
    Put16(p - 8, 1);
    PutEntry(p, 262, kShort, 1);
    Put16(p - 8, rgb ? 2 : 1);
    PutEntry(p, 273, kLong8, 1);
    Put64(p - 8, dataOffset);
    PutEntry(p, 277, kShort, 1);
    Put16(p - 8, static_cast<uint16_t>(h.samplesPerPixel));
    PutEntry(p, 278, kLong, 1);
    Put32(p - 8, h.height);
    PutEntry(p, 279, kLong8, 1);
    Put64(p - 8, h.frameBytes);
    PutEntry(p, 282, kRational, 1);
    Put32(p - 8, 1);
    Put32(p - 4, 1);
    PutEntry(p, 283, kRational, 1);
    Put32(p - 8, 1);
    Put32(p - 4, 1);
    PutEntry(p, 284, kShort, 1);
    Put16(p - 8, 1);
    PutEntry(p, 296, kShort, 1);
    Put16(p - 8, 1);
    PutEntry(p, 339, kShort, h.samplesPerPixel);
    for (uint32_t s = 0; s < h.samplesPerPixel; ++s)
        Put16(p - 8 + 2 * s, 1);
    // TIFF has no signed LONG pair here: microseconds go in as their two's-complement bits.
    PutEntry(p, kStampTag, kLong, 2);
    Put32(p - 8, seconds);
    Put32(p - 4, static_cast<uint32_t>(microseconds));
    Put64(p, 0);
}

} // namespace vlseqfmt
