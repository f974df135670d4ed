// Sequence-file slots. Every frame's time stamp is read once at open, so stamps need no file
// access later; frame indices are checked against the file before anything is read.
#include "capture/sequence_files.h"

#include <cstdio>
#include <cstring>

#include "core/sequence_library.h"
#include "qxcm/qxcm.h"

namespace qxcm {
namespace {

double StampSeconds(const VlseqStamp &stamp)
{
    return static_cast<double>(stamp.seconds) + static_cast<double>(stamp.microseconds) / 1000000.0;
}

bool FileExists(const char *path)
{
    FILE *f = fopen(path, "rb");
    if (!f)
        return false;
    fclose(f);
    return true;
}

bool OpenSequenceFile(SequenceFileSlot &s, const char *path, int32_t *count)
{
    SequenceFileApi &api = SequenceFiles();
    if (s.libraryPending) {
        VlseqInitRecord init{};
        init.size = sizeof init;
        s.slotResult = api.VlseqInit(&init);
        if (s.slotResult < 0)
            return false;
        s.libraryPending = 0;
    }
    VlseqOpenRecord open{};
    open.size = sizeof open;
    open.path = path;
    s.slotResult = api.VlseqOpen(&open);
    if (s.slotResult < 0)
        return false;
    int32_t frames = 0;
    s.slotResult = api.VlseqGetParam(open.file, VLSEQ_PARAM_FRAMECOUNT, &frames);
    // A file with no frame has no stamp 0 to count from; it is refused like an unreadable one.
    if (s.slotResult >= 0 && frames <= 0)
        s.slotResult = QXERR_FAILEDREADDATA;
    if (s.slotResult < 0) {
        api.VlseqClose(open.file);
        return false;
    }
    s.stamps.assign(static_cast<size_t>(frames), VlseqStamp{});
    VlseqStampBlock block{};
    block.size = sizeof block;
    block.kind = 0x00010000;
    block.stamps = s.stamps.data();
    block.frameCount = static_cast<uint32_t>(frames);
    block.stampBytes = sizeof(VlseqStamp);
    block.frameCount2 = static_cast<uint32_t>(frames);
    memcpy(s.stampBlock, &block, sizeof block);
    s.slotResult = api.VlseqCopyStamps(open.file, &block);
    if (s.slotResult < 0) {
        api.VlseqClose(open.file);
        return false;
    }
    *count = frames;
    s.inUse = 1;
    s.fileHandle = open.file;
    s.frameCount = frames;
    s.fileTimeOrigin = StampSeconds(s.stamps[0]);
    snprintf(s.path, sizeof s.path, "%s", path);
    return true;
}

} // namespace

int32_t OpenSequenceFileSlot(const char *path, uint32_t *slot, int32_t *frameCount)
{
    // A path that does not fit the slot could never be found again; refused before any call.
    if (!path || strnlen(path, kPathCapacity) >= kPathCapacity)
        return QXERR_INVALIDPARAM;
    if (!FileExists(path))
        return QXERR_FAILEDTOOPENVLSEQ;
    SequenceFileSlot *slots = State().fileSlots;
    for (uint32_t k = 0; k < kFileSlotCount; ++k) {
        if (slots[k].inUse && strcmp(slots[k].path, path) == 0) {
            *slot = k;
            *frameCount = slots[k].frameCount;
            return 0;
        }
    }
    if (!BindSequenceFiles())
        return QXERR_FAILEDREADDATA;
    for (uint32_t k = 0; k < kFileSlotCount; ++k) {
        int32_t count = 0;
        if (!slots[k].inUse && OpenSequenceFile(slots[k], path, &count)) {
            *slot = k;
            *frameCount = count;
            return 0;
        }
    }
    return QXERR_FAILEDREADDATA;
}

void ReadFileText(SequenceFileSlot &s, void *buffer)
{
    int32_t length = 0;
    s.slotResult = SequenceFiles().VlseqGetParam(s.fileHandle, VLSEQ_PARAM_FILETEXTBYTES, &length);
    if (s.slotResult < 0 || length <= 0)
        return;
    VlseqTextRecord text{};
    text.size = sizeof text;
    text.kind = 1;
    text.level = VLSEQ_TEXT_FILE;
    text.buffer = buffer;
    text.bufferBytes = static_cast<uint32_t>(length);
    s.slotResult = SequenceFiles().VlseqReadText(s.fileHandle, &text);
}

SequenceFileSlot *OpenSlot(uint32_t slot, int32_t *code, bool freeSlotGivesSlotResult)
{
    if (slot >= kFileSlotCount) {
        *code = QXERR_INVALIDHANDLE;
        return nullptr;
    }
    SequenceFileSlot &s = State().fileSlots[slot];
    if (!s.inUse) {
        *code = freeSlotGivesSlotResult ? s.slotResult : QXERR_INVALIDHANDLE;
        return nullptr;
    }
    return &s;
}

int32_t CloseSequenceFile(SequenceFileSlot &s)
{
    s.slotResult = SequenceFiles().VlseqClose(s.fileHandle);
    if (s.slotResult < 0)
        return s.slotResult;
    s.inUse = 0;
    s.frameCount = 0;
    std::vector<VlseqStamp>().swap(s.stamps); // a file of millions of frames held megabytes
    return 0;
}

int32_t LockFileFrame(SequenceFileSlot &s, int32_t index, uint32_t option, VlseqFrameRecord &r)
{
    if (index < 0 || index >= s.frameCount)
        return QXERR_INVALIDPARAM;
    r = VlseqFrameRecord{};
    r.size = sizeof r;
    r.option = option;
    r.index = index;
    s.slotResult = SequenceFiles().VlseqLockFrame(s.fileHandle, &r);
    if (s.slotResult < 0)
        return s.slotResult;
    if (!r.address || r.rowBytes <= 0 || r.rows < 0)
        return QXERR_FAILEDREADDATA;
    return 0;
}

bool FileFrameStamp(const SequenceFileSlot &s, int32_t index, double *stamp)
{
    if (index < 0 || index >= s.frameCount || static_cast<size_t>(index) >= s.stamps.size())
        return false;
    *stamp = StampSeconds(s.stamps[static_cast<size_t>(index)]) - s.fileTimeOrigin;
    return true;
}

bool ReadSequenceText(SequenceFileSlot &s, int32_t level, uint32_t index, void *buffer,
                      uint32_t size)
{
    VlseqTextRecord text{};
    text.size = sizeof text;
    text.kind = 1;
    text.level = level == 0 ? VLSEQ_TEXT_FILE : level == 1 ? VLSEQ_TEXT_GROUP : VLSEQ_TEXT_FRAME;
    text.index = static_cast<int32_t>(index);
    text.buffer = buffer;
    text.bufferBytes = size;
    s.slotResult = SequenceFiles().VlseqReadText(s.fileHandle, &text);
    return s.slotResult >= 0;
}

int32_t CopyFileFrame(SequenceFileSlot &s, int32_t index, uint32_t option, void *destination,
                      double *stamp)
{
    double seconds = 0.0;
    if (!FileFrameStamp(s, index, &seconds))
        return QXERR_INVALIDPARAM;
    VlseqFrameRecord r;
    if (int32_t code = LockFileFrame(s, index, option, r))
        return code;
    if (stamp)
        *stamp = seconds;
    memcpy(destination, r.address, static_cast<size_t>(r.rows) * static_cast<size_t>(r.rowBytes));
    return 0;
}

int32_t FileFrameSize(SequenceFileSlot &s, int32_t index, uint32_t *width, uint32_t *height)
{
    VlseqFrameRecord r;
    if (int32_t code = LockFileFrame(s, index, 0, r))
        return code;
    *width = r.width;
    *height = static_cast<uint32_t>(r.rows);
    return 0;
}

} // namespace qxcm
