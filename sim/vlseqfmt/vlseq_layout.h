// Byte layout of .vlseq files: the header block, the A/B commit records, the chunk headers and
// the per-frame TIFF directory. Writer and reader share these encoders so they cannot drift.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vlseqfmt {

inline constexpr uint64_t kHeaderBlockBytes = 4096;
inline constexpr uint64_t kCommitOffsetA = 256; // holds odd sequence numbers
inline constexpr uint64_t kCommitOffsetB = 320; // holds even sequence numbers
inline constexpr size_t kCommitBytes = 64;
inline constexpr uint64_t kFirstIfdLinkOffset = 8;

inline constexpr uint64_t kChunkAlign = 64;
inline constexpr size_t kChunkCommonBytes = 32;
inline constexpr size_t kFrameHeaderBytes = 96;
inline constexpr size_t kTextHeaderBytes = 64;
inline constexpr size_t kIndexHeaderBytes = 64;
inline constexpr size_t kIfdBytes = 316;
inline constexpr size_t kIfdNextOffset = 308; // 4-byte aligned; never crosses a 64-byte line
inline constexpr uint64_t kFramePrefixBytes = kFrameHeaderBytes + kIfdBytes; // 412
inline constexpr size_t kIndexFrameEntryBytes = 16;
inline constexpr size_t kIndexTextEntryBytes = 24;

inline constexpr uint16_t kChunkFrame = 1;
inline constexpr uint16_t kChunkText = 2;
inline constexpr uint16_t kChunkIndex = 3;

// Field offsets inside chunks.
inline constexpr size_t kFrameIndexAt = 32, kFrameSecondsAt = 40, kFrameMicrosAt = 44,
                        kFrameDataOffsetAt = 48, kFrameDataBytesAt = 56, kFrameIfdOffsetAt = 64,
                        kFrameIfdBytesAt = 72, kFrameDataCrcAt = 76, kFrameNumberAt = 80,
                        kFrameGapAt = 88, kFrameDroppedAt = 92;
inline constexpr size_t kTextLevelAt = 32, kTextIndexAt = 36, kTextBytesAt = 40, kTextCrcAt = 44;
inline constexpr size_t kIndexFrameCountAt = 32, kIndexTextCountAt = 40, kIndexPayloadCrcAt = 48,
                        kIndexLedgerCrcAt = 52, kIndexTrailingGapAt = 56,
                        kIndexTrailingDroppedAt = 60;
inline constexpr size_t kIndexLedgerEntryBytes = 16;

inline constexpr uint32_t kCompatBuffered = 1u; // recorded with a commit per frame, no OS flush
inline constexpr uint32_t kCompatDataCrc = 2u;  // FRAME chunks carry a CRC of their pixels
inline constexpr uint32_t kCompatLedger = 4u;   // frames carry the device's numbers and gaps
inline constexpr uint16_t kVersionMinor = 1;    // the minor version this writer produces

inline constexpr uint32_t kLevelFrame = 0;
inline constexpr uint32_t kLevelFile = 0x01000000;
inline constexpr uint32_t kLevelGroup = 0x02000000;

inline constexpr uint64_t kMaxFrameBytes = 0x7FFFFFFF;
inline constexpr uint32_t kMaxFrames = 0x7FFFFFFF;
inline constexpr uint32_t kMaxTextCapacity = 1u << 20;
inline constexpr uint32_t kMaxDimension = 65535;
inline constexpr uint32_t kMinAlignLog2 = 6, kMaxAlignLog2 = 16;
inline constexpr uint16_t kStampTag = 65421;

inline constexpr uint64_t AlignUp(uint64_t v, uint64_t powerOfTwo)
{
    return (v + powerOfTwo - 1) & ~(powerOfTwo - 1);
}

inline bool IsTextLevel(uint32_t level)
{
    return level == kLevelFrame || level == kLevelFile || level == kLevelGroup;
}

// Where a frame stands among the frames the device exposed: its number, and the numbers missing
// right before it (the gap), of which the recorder dropped `dropped` for want of room; the rest
// never reached the recorder.
struct LedgerEntry {
    uint64_t number = 0;
    uint32_t gap = 0;
    uint32_t dropped = 0;
};

// Whether `e` may follow `previous` (nullptr for the first frame): the gap fills exactly the
// numbers between the two frames, or, when the numbers start again (a new capture), lies within
// the numbers before `e`; the dropped ones are part of the gap.
inline bool LedgerFollows(const LedgerEntry *previous, const LedgerEntry &e)
{
    if (e.dropped > e.gap || e.gap > e.number)
        return false;
    if (previous == nullptr || e.number <= previous->number)
        return true;
    return e.number - previous->number - 1 == e.gap;
}

// Samples per pixel and bytes per sample of pixel types 1..4; false for any other type.
bool PixelLayout(uint32_t pixelType, uint32_t *samplesPerPixel, uint32_t *bytesPerSample);

struct FileHeader {
    uint16_t versionMinor = 0;
    uint32_t compatFlags = 0;
    uint32_t pixelType = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t samplesPerPixel = 0;
    uint32_t bytesPerSample = 0;
    uint32_t dataAlignLog2 = 12;
    uint64_t rowPitch = 0;
    uint64_t frameBytes = 0;
    uint32_t maxFrames = 0;
    uint32_t deviceDataType = 0;
    uint32_t fileTextCapacity = 0;
    uint32_t frameTextCapacity = 0;
    uint64_t createdUnixTime = 0;
    uint32_t fileId = 0;
};

// Fills the whole 4096-byte block: TIFF prefix (no first directory yet), superblock, both commit
// records zero (the caller encodes record A).
void EncodeFileHeader(const FileHeader &h, uint8_t *block);
// Checks every header rule; 1, VELA_ERR_NOTSUPPORT for another major version or unknown
// incompatible features, else VELA_ERR_FAILEDREADDATA.
int32_t DecodeFileHeader(const uint8_t *block, FileHeader *h);
// The capacity that bounds texts of a level (file and group texts share one).
inline uint32_t TextCapacity(const FileHeader &h, uint32_t level)
{
    return level == kLevelFrame ? h.frameTextCapacity : h.fileTextCapacity;
}

struct CommitRecord {
    uint64_t seq = 0;
    uint64_t frameCount = 0;
    uint64_t textChunkCount = 0;
    uint64_t streamEnd = 0;
    uint64_t lastIfdOffset = 0;
    uint64_t trailerOffset = 0;
    uint32_t state = 0; // 0 recording, 1 closed
};
inline uint64_t CommitSlot(uint64_t seq)
{
    return (seq & 1u) ? kCommitOffsetA : kCommitOffsetB;
}
void EncodeCommit(const CommitRecord &c, uint8_t *out);
bool DecodeCommit(const uint8_t *in, CommitRecord *c); // false when the CRC does not hold

struct ChunkHeader {
    uint16_t type = 0;
    uint16_t headerBytes = 0;
    uint64_t chunkBytes = 0;
    uint64_t chunkSeq = 0;
    uint32_t fileId = 0;
};
inline size_t HeaderBytesOf(uint16_t type)
{
    return type == kChunkFrame ? kFrameHeaderBytes
                               : (type == kChunkText || type == kChunkIndex ? kTextHeaderBytes : 0);
}
// Writes the common 32 bytes with a zero CRC field; SealChunk stores the CRC once every field
// of the type-specific part is in place.
void EncodeChunkHeader(const ChunkHeader &c, uint8_t *out);
void SealChunk(uint8_t *header, size_t headerBytes);
// Reads the common 32 bytes; false unless the magic is there and the type is known with its
// header size. Sizes and CRC are for the caller to check.
bool DecodeChunkHeader(const uint8_t *in, ChunkHeader *c);
bool ChunkCrcHolds(const uint8_t *header, size_t headerBytes);

// The 316-byte directory of one frame, next-directory field 0.
void EncodeIfd(const FileHeader &h, uint64_t dataOffset, uint32_t seconds, int32_t microseconds,
               uint8_t *out);

} // namespace vlseqfmt
