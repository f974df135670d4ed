// The sequence-file library's contract: the records that cross the boundary and the prototypes
// of its operations. Result codes are those of the device library (vela_api.h).
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

enum { VLSEQ_PARAM_FRAMECOUNT = 0, VLSEQ_PARAM_FILETEXTBYTES = 8 };
enum { VLSEQ_TEXT_FRAME = 0, VLSEQ_TEXT_FILE = 0x01000000, VLSEQ_TEXT_GROUP = 0x02000000 };

typedef struct VlseqInitRecord {
    uint32_t size; // 16
    uint32_t reserved[3];
} VlseqInitRecord;

typedef struct VlseqOpenRecord {
    uint32_t size; // 24
    uint32_t reserved;
    uint64_t file; // out
    const char *path;
} VlseqOpenRecord;

// One time stamp as the file keeps it.
typedef struct VlseqStamp {
    uint32_t seconds;
    int32_t microseconds;
} VlseqStamp;

typedef struct VlseqStampBlock {
    uint32_t size; // 48
    uint32_t kind; // 0x00010000
    uint64_t reserved0;
    VlseqStamp *stamps;
    uint32_t frameCount;
    uint32_t reserved1;
    uint32_t stampBytes; // 8
    uint32_t reserved2;
    uint32_t frameCount2; // the frame count once more
    uint32_t reserved3;
} VlseqStampBlock;

typedef struct VlseqFrameRecord {
    uint32_t size; // 80
    uint32_t reserved0;
    uint32_t option;
    int32_t index;
    const void *address; // out
    int32_t rowBytes;    // out
    uint32_t reserved1;
    uint32_t width;     // out
    int32_t rows;       // out
    uint32_t pixelType; // out: 1 mono8, 2 mono16, 3 RGB 3x8, 4 RGB 3x16
    uint32_t reserved2[9];
} VlseqFrameRecord;

typedef struct VlseqTextRecord {
    uint32_t size;  // 32
    uint32_t kind;  // 1 = text
    uint32_t level; // VLSEQ_TEXT_*
    int32_t index;
    void *buffer;
    uint32_t bufferBytes;
    uint32_t reserved;
} VlseqTextRecord;

#define VLSEQ_OP(ordinal, name, ret, params, args) ret name params;
#include "vlseq_ops.inc"
#undef VLSEQ_OP

#ifdef __cplusplus
}

static_assert(sizeof(VlseqInitRecord) == 16);
static_assert(sizeof(VlseqOpenRecord) == 24 && offsetof(VlseqOpenRecord, path) == 16);
static_assert(sizeof(VlseqStamp) == 8);
static_assert(sizeof(VlseqStampBlock) == 48 && offsetof(VlseqStampBlock, stamps) == 16 &&
              offsetof(VlseqStampBlock, frameCount) == 24 &&
              offsetof(VlseqStampBlock, stampBytes) == 32 &&
              offsetof(VlseqStampBlock, frameCount2) == 40);
static_assert(sizeof(VlseqFrameRecord) == 80 && offsetof(VlseqFrameRecord, address) == 16 &&
              offsetof(VlseqFrameRecord, rowBytes) == 24 &&
              offsetof(VlseqFrameRecord, width) == 32 && offsetof(VlseqFrameRecord, rows) == 36);
static_assert(sizeof(VlseqTextRecord) == 32 && offsetof(VlseqTextRecord, buffer) == 16 &&
              offsetof(VlseqTextRecord, bufferBytes) == 24);
#endif
