// The camera device library's contract: result codes, the records that cross the boundary and
// the prototypes of its operations. Shared by the library (which resolves the operations at run
// time) and by the simulated device library (which implements them). Every record begins with
// its own byte size; fields not named as outputs are zero on input.
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Result codes the device library and the sequence-file library return (negative = failure).
enum {
    VELA_OK = 1,
    VELA_ERR_BUSY = (int32_t)0x80000101,
    VELA_ERR_ABORT = (int32_t)0x80000102,
    VELA_ERR_NOTREADY = (int32_t)0x80000103,
    VELA_ERR_TIMEOUT = (int32_t)0x80000106,
    VELA_ERR_NOTBUSY = (int32_t)0x80000107,
    VELA_ERR_NORESOURCE = (int32_t)0x80000201,
    VELA_ERR_NOMEMORY = (int32_t)0x80000203,
    VELA_ERR_NOCAMERA = (int32_t)0x80000206,
    VELA_ERR_LOSTFRAME = (int32_t)0x80000301,
    VELA_ERR_INVALIDCAMERA = (int32_t)0x80000806,
    VELA_ERR_INVALIDHANDLE = (int32_t)0x80000807,
    VELA_ERR_INVALIDPARAM = (int32_t)0x80000808,
    VELA_ERR_INVALIDVALUE = (int32_t)0x80000821,
    VELA_ERR_OUTOFRANGE = (int32_t)0x80000822,
    VELA_ERR_NOTWRITABLE = (int32_t)0x80000823,
    VELA_ERR_NOTREADABLE = (int32_t)0x80000824,
    VELA_ERR_INVALIDPROPERTYID = (int32_t)0x80000825,
    VELA_ERR_INVALIDVIEW = (int32_t)0x8000082A,
    VELA_ERR_INVALIDSUBARRAY = (int32_t)0x8000082B,
    VELA_ERR_ACCESSDENY = (int32_t)0x8000082C,
    VELA_ERR_NOTIMPLEMENT = (int32_t)0x80000F02,
    VELA_ERR_NOTSUPPORT = (int32_t)0x80000F03,
    VELA_ERR_FAILEDOPENFILE = (int32_t)0x84001001,
    VELA_ERR_INVALIDRECHANDLE = (int32_t)0x84001002,
    VELA_ERR_FAILEDWRITEDATA = (int32_t)0x84001003,
    VELA_ERR_FAILEDREADDATA = (int32_t)0x84001004,
    VELA_ERR_NOWRECORDING = (int32_t)0x84001005,
    VELA_ERR_TOOLARGEUSERDATASIZE = (int32_t)0x84001008,
};

// Attribute bits of VelaAttrRecord.attributes.
enum {
    VELA_ATTR_TYPE_MASK = 0x0000000F, // value type: 0 mode-less, 1 list, 2 long, 3 real
    VELA_ATTR_TYPE_LIST = 0x00000001,
    VELA_ATTR_PER_VIEW = 0x00008000,
    VELA_ATTR_WRITABLE = 0x00020000,
    VELA_ATTR_READABLE = 0x00040000,
};

// Options of VelaGetNextPropertyId and VelaQueryValue.
enum {
    VELA_NEXT_ALL = 0,           // every property of the device in order
    VELA_NEXT_UPDATED = 1,       // properties changed by the latest write, each handed out once
    VELA_QUERY_NEXT = 0x01000000 // step a list value to the next one
};

enum {
    VELA_EVENT_FRAMEREADY = 0x0002,
    VELA_EVENT_CAPTUREEND = 0x0004,
    VELA_EVENT_REFERENCE = 0x0010
};

enum { VELA_STATUS_IDLE = 0, VELA_STATUS_BUSY = 1, VELA_STATUS_READY = 2 };

// Device data-type codes reported by VelaGetDataType.
enum {
    VELA_TYPE_MONO8 = 0x00000010,
    VELA_TYPE_MONO16 = 0x00000020,
    VELA_TYPE_EARLY_MONO8 = 0x00000001, // the same data as earlier devices named it
    VELA_TYPE_EARLY_MONO16 = 0x00000002,
    VELA_TYPE_MONO12P = 0x00000003, // two 12-bit pixels packed in three bytes
    VELA_TYPE_RGB24 = 0x00040000,
    VELA_TYPE_RGB48 = 0x00100000,
};

typedef struct VelaInitRecord {
    uint32_t size;       // 32
    int32_t cameraCount; // out
    uint32_t reserved0;
    uint32_t optionBytes; // 8
    const int32_t *options;
    uint64_t reserved1;
} VelaInitRecord;

typedef struct VelaOpenRecord {
    uint32_t size; // 16
    uint32_t index;
    uint64_t device; // out
} VelaOpenRecord;

typedef struct VelaWaitOpenRecord {
    uint32_t size; // 24
    uint32_t reserved;
    uint64_t wait; // out
    uint64_t device;
} VelaWaitOpenRecord;

typedef struct VelaStringRecord {
    uint32_t size; // 24
    uint32_t id;
    char *text;
    int32_t capacity;
    uint32_t reserved;
} VelaStringRecord;

// VelaQueryCapability, first form: five words {20, 1, 0, 2, 0}; the device takes note.
typedef struct VelaCapabilityNote {
    uint32_t size; // 20
    uint32_t words[4];
} VelaCapabilityNote;

// VelaQueryCapability, second form: capability bits of the requested group.
typedef struct VelaCapabilityRecord {
    uint32_t size;  // 24
    uint32_t group; // 1
    uint32_t bits;  // out; 0x2 = multiple regions
    uint32_t kind;  // 1
    uint64_t reserved;
} VelaCapabilityRecord;

typedef struct VelaAttrRecord {
    uint32_t size; // 88
    uint32_t id;
    uint32_t option;
    uint32_t reserved0;
    uint32_t attributes; // out
    uint32_t reserved1;
    uint32_t unit; // out
    uint32_t reserved2;
    double minValue;     // out
    double maxValue;     // out
    double stepValue;    // out
    double defaultValue; // out
    int32_t maxViews;    // out
    uint32_t reserved3[2];
    uint32_t elementCountId; // out: property holding the element count of an array property
    uint32_t reserved4;
    uint32_t elementStep; // out: id step between the elements
} VelaAttrRecord;

typedef struct VelaValueTextRecord {
    uint32_t size; // the library sends 0 here
    uint32_t id;
    double value;
    char *text;
    int32_t capacity;
    uint32_t reserved;
} VelaValueTextRecord;

// VelaSetData: kind 1 region list (fields 0, 2), kind 2 lookup table (fields 1, 0).
typedef struct VelaDataRecord {
    uint32_t size; // 40
    uint32_t kind;
    uint64_t reserved0;
    uint32_t field0;
    uint32_t field1;
    const void *entries;
    uint32_t entryBytes;
    uint32_t reserved1;
} VelaDataRecord;

typedef struct VelaAttachRecord {
    uint32_t size; // 24
    uint32_t reserved0;
    void **buffers;
    uint32_t count;
    uint32_t reserved1;
} VelaAttachRecord;

typedef struct VelaTransferRecord {
    uint32_t size; // 16
    uint32_t reserved;
    int32_t newestIndex; // out
    int32_t frameCount;  // out: frames captured since the start
} VelaTransferRecord;

typedef struct VelaWaitRecord {
    uint32_t size;  // 16
    uint32_t event; // out
    uint32_t mask;
    uint32_t timeoutMs; // 0xFFFFFFFF = no limit
} VelaWaitRecord;

typedef struct VelaFrameRecord {
    uint32_t size; // 64
    uint32_t reserved0;
    uint32_t option;
    int32_t index;
    void *address;    // out
    int32_t rowBytes; // out
    uint32_t width;   // out: pixels per row of one image
    uint32_t height;  // out: rows the locked frame holds at rowBytes (all views and bundle members)
    uint32_t dataType;         // out
    uint32_t frameNumber;      // out: running number since the start
    uint32_t reserved1;        // out
    uint32_t stampSeconds;     // out
    int32_t stampMicroseconds; // out
    uint64_t reserved2;
} VelaFrameRecord;

enum { VELA_RECORDER_BUFFERED = 0x20000000 };

typedef struct VelaRecorderOpenRecord {
    uint32_t size; // 64
    uint32_t flags;
    uint64_t recorder; // out
    const char *path;
    uint64_t reserved0;
    uint32_t maxFrames;
    uint32_t reserved1[3];
    uint32_t fileTextCapacity; // 1024
    uint32_t reserved2;
    uint32_t frameTextCapacity; // 1024
    uint32_t reserved3;
} VelaRecorderOpenRecord;

typedef struct VelaRecorderStatusRecord {
    uint32_t size; // 32
    uint32_t reserved0[2];
    int32_t currentIndex; // out
    uint32_t reserved1[2];
    int32_t totalCount; // out
    uint32_t reserved2;
} VelaRecorderStatusRecord;

enum { VELA_TEXT_FRAME = 0, VELA_TEXT_FILE = 0x01000000, VELA_TEXT_GROUP = 0x02000000 };

typedef struct VelaTextRecord {
    uint32_t size;  // 32
    uint32_t kind;  // 1 = text
    uint32_t level; // VELA_TEXT_*
    int32_t index;
    const void *text;
    uint32_t length;
    uint32_t reserved;
} VelaTextRecord;

// Requests of VelaSendRequest: code 0x201 write, 0x202 inquire, 0x203 feature write.
enum { VELA_REQ_WRITE = 0x201, VELA_REQ_INQUIRE = 0x202, VELA_REQ_FEATURE_WRITE = 0x203 };

typedef struct VelaSubarrayRecord {
    uint32_t size; // 32
    uint32_t id;   // 0xC00001E2
    uint64_t reserved;
    int32_t hpos;  // out
    int32_t vpos;  // out
    int32_t hsize; // out
    int32_t vsize; // out
} VelaSubarrayRecord;

typedef struct VelaSubarrayInquiry {
    uint32_t size;        // 44
    uint32_t id;          // 0x800001A2
    uint32_t reserved[2]; // two words, not one 64-bit field: the record is 44 bytes long
    uint32_t binning;     // in
    int32_t fullWidth;    // out
    int32_t fullHeight;   // out
    int32_t hposUnit;     // out
    int32_t vposUnit;     // out
    int32_t hsizeUnit;    // out
    int32_t vsizeUnit;    // out
} VelaSubarrayInquiry;

// Request ids of VelaSendRequest (the word at +4 of each record).
#define VELA_REQ_ID_SUBARRAY 0xC00001E2u
#define VELA_REQ_ID_SUBARRAY_INQUIRY 0x800001A2u
#define VELA_REQ_ID_SCANMODE 0xC00001E4u
#define VELA_REQ_ID_SCANMODE_INQUIRY 0x800001A4u
#define VELA_REQ_ID_FEATURE 0xC00001E1u
#define VELA_REQ_ID_FEATURE_INQUIRY 0x800001A1u

// Scan-mode inquiry (code 0x202): how many scan modes the camera offers.
typedef struct VelaScanModeInquiry {
    uint32_t size; // 24
    uint32_t id;   // 0x800001A4
    uint32_t reserved0[2];
    int32_t modeCount; // out
    uint32_t reserved1;
} VelaScanModeInquiry;

// Scan-mode read (code 0x202, mode out) and write (code 0x201, mode in); modes count from 1.
typedef struct VelaScanModeRecord {
    uint32_t size; // 24
    uint32_t id;   // 0xC00001E4
    uint32_t reserved0[2];
    int32_t mode;
    uint32_t reserved1;
} VelaScanModeRecord;

// Feature inquiry (code 0x202) of an older feature number: its attribute bits (VELA_ATTR_*)
// and limits in single precision.
typedef struct VelaFeatureInquiry {
    uint32_t size; // 56
    uint32_t id;   // 0x800001A1
    uint32_t reserved0[2];
    uint32_t feature;    // in
    uint32_t attributes; // out
    float minValue;      // out
    float maxValue;      // out
    float stepValue;     // out
    float defaultValue;  // out
    uint32_t reserved1[4];
} VelaFeatureInquiry;

// Feature read (code 0x202, value out) and write (code 0x203, value in; out: the value the
// device kept, which may be rounded to its step).
typedef struct VelaFeatureRecord {
    uint32_t size; // 28
    uint32_t id;   // 0xC00001E1
    uint32_t reserved0[2];
    uint32_t feature; // in
    uint32_t reserved1;
    float value;
} VelaFeatureRecord;

// Point of a lookup table (VelaSetData kind 2): two values in the host's order, input first.
typedef struct VelaLutEntry {
    int32_t input, output;
} VelaLutEntry;

// Region entry of a region list (VelaSetData kind 1); right and bottom are inclusive.
typedef struct VelaRegionEntry {
    uint16_t left, top, right, bottom;
} VelaRegionEntry;

#define VELA_OP(ordinal, name, ret, params, args) ret name params;
#include "vela_ops.inc"
#undef VELA_OP

#ifdef __cplusplus
}

static_assert(sizeof(VelaInitRecord) == 32 && offsetof(VelaInitRecord, options) == 16);
static_assert(sizeof(VelaOpenRecord) == 16 && offsetof(VelaOpenRecord, device) == 8);
static_assert(sizeof(VelaWaitOpenRecord) == 24 && offsetof(VelaWaitOpenRecord, device) == 16);
static_assert(sizeof(VelaStringRecord) == 24 && offsetof(VelaStringRecord, capacity) == 16);
static_assert(sizeof(VelaCapabilityNote) == 20);
static_assert(sizeof(VelaCapabilityRecord) == 24 && offsetof(VelaCapabilityRecord, bits) == 8);
static_assert(sizeof(VelaAttrRecord) == 88 && offsetof(VelaAttrRecord, attributes) == 16 &&
              offsetof(VelaAttrRecord, minValue) == 32 &&
              offsetof(VelaAttrRecord, maxValue) == 40 &&
              offsetof(VelaAttrRecord, stepValue) == 48 &&
              offsetof(VelaAttrRecord, defaultValue) == 56 &&
              offsetof(VelaAttrRecord, elementCountId) == 76 &&
              offsetof(VelaAttrRecord, elementStep) == 84);
static_assert(sizeof(VelaValueTextRecord) == 32 && offsetof(VelaValueTextRecord, text) == 16);
static_assert(sizeof(VelaDataRecord) == 40 && offsetof(VelaDataRecord, entries) == 24 &&
              offsetof(VelaDataRecord, entryBytes) == 32);
static_assert(sizeof(VelaAttachRecord) == 24 && offsetof(VelaAttachRecord, count) == 16);
static_assert(sizeof(VelaTransferRecord) == 16 && offsetof(VelaTransferRecord, newestIndex) == 8);
static_assert(sizeof(VelaWaitRecord) == 16 && offsetof(VelaWaitRecord, timeoutMs) == 12);
static_assert(sizeof(VelaFrameRecord) == 64 && offsetof(VelaFrameRecord, index) == 12 &&
              offsetof(VelaFrameRecord, address) == 16 &&
              offsetof(VelaFrameRecord, rowBytes) == 24 &&
              offsetof(VelaFrameRecord, stampSeconds) == 48 &&
              offsetof(VelaFrameRecord, stampMicroseconds) == 52);
static_assert(sizeof(VelaRecorderOpenRecord) == 64 &&
              offsetof(VelaRecorderOpenRecord, path) == 16 &&
              offsetof(VelaRecorderOpenRecord, maxFrames) == 32 &&
              offsetof(VelaRecorderOpenRecord, fileTextCapacity) == 48 &&
              offsetof(VelaRecorderOpenRecord, frameTextCapacity) == 56);
static_assert(sizeof(VelaRecorderStatusRecord) == 32 &&
              offsetof(VelaRecorderStatusRecord, currentIndex) == 12 &&
              offsetof(VelaRecorderStatusRecord, totalCount) == 24);
static_assert(sizeof(VelaTextRecord) == 32 && offsetof(VelaTextRecord, text) == 16 &&
              offsetof(VelaTextRecord, length) == 24);
static_assert(sizeof(VelaSubarrayRecord) == 32 && offsetof(VelaSubarrayRecord, hpos) == 16);
static_assert(sizeof(VelaSubarrayInquiry) == 44 && offsetof(VelaSubarrayInquiry, fullWidth) == 20);
static_assert(sizeof(VelaRegionEntry) == 8);
static_assert(sizeof(VelaScanModeInquiry) == 24 && offsetof(VelaScanModeInquiry, modeCount) == 16);
static_assert(sizeof(VelaScanModeRecord) == 24 && offsetof(VelaScanModeRecord, mode) == 16);
static_assert(sizeof(VelaFeatureInquiry) == 56 && offsetof(VelaFeatureInquiry, feature) == 16 &&
              offsetof(VelaFeatureInquiry, attributes) == 20 &&
              offsetof(VelaFeatureInquiry, minValue) == 24 &&
              offsetof(VelaFeatureInquiry, maxValue) == 28 &&
              offsetof(VelaFeatureInquiry, stepValue) == 32 &&
              offsetof(VelaFeatureInquiry, defaultValue) == 36);
static_assert(sizeof(VelaFeatureRecord) == 28 && offsetof(VelaFeatureRecord, feature) == 16 &&
              offsetof(VelaFeatureRecord, value) == 24);
static_assert(sizeof(VelaLutEntry) == 8 && offsetof(VelaLutEntry, output) == 4);
static_assert(offsetof(VelaSubarrayInquiry, binning) == 16 &&
              offsetof(VelaSubarrayInquiry, vsizeUnit) == 40);
#endif
