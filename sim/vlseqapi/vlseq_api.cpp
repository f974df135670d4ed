// The sequence-file library's operations over the .vlseq reader. Handles are opaque, never
// reused, and checked on every call; one global mutex guards the handle table and one mutex per
// file serialises the calls on that file.
#include "vlseqapi/vlseq_api.h"

#include "velaapi/vela_api.h"
#include "vlseq_reader.h"

#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <unordered_map>

namespace {

struct OpenFile {
    std::mutex mutex;
    vlseqfmt::Reader reader;
};

struct HandleTable {
    std::mutex mutex;
    std::unordered_map<uint64_t, std::shared_ptr<OpenFile>> files;
    uint64_t issued = 0;
};

HandleTable &Table()
{
    static HandleTable table;
    return table;
}

// Multiplying a counter by an odd constant is a bijection on 64-bit values: handles are unique
// and nonzero, and look nothing like small integers a caller might pass by mistake.
uint64_t NextHandle(HandleTable &t)
{
    return ++t.issued * 0x9E3779B97F4A7C15ull;
}

std::shared_ptr<OpenFile> Find(uint64_t handle)
{
    HandleTable &t = Table();
    std::lock_guard lock(t.mutex);
    const auto it = t.files.find(handle);
    return it == t.files.end() ? nullptr : it->second;
}

// Colour widths are reported in samples per row, as the capture geometry reports them, so a
// host sizes its buffers for recorded frames the same way as for live ones.
uint32_t ReportedWidth(const vlseqfmt::FileHeader &h)
{
    return h.width * h.samplesPerPixel;
}

} // namespace

extern "C" {

int32_t VlseqInit(VlseqInitRecord *record)
{
    if (!record || record->size != sizeof(VlseqInitRecord))
        return VELA_ERR_INVALIDPARAM;
    return 1;
}

int32_t VlseqOpen(VlseqOpenRecord *record)
{
    if (!record || record->size != sizeof(VlseqOpenRecord))
        return VELA_ERR_INVALIDPARAM;
    record->file = 0;
    if (!record->path)
        return VELA_ERR_INVALIDPARAM;
    try {
        auto source = vlseqfmt::OpenFileSource(record->path);
        if (!source)
            return VELA_ERR_FAILEDOPENFILE;
        auto file = std::make_shared<OpenFile>();
        const int32_t r = file->reader.Open(std::move(source));
        if (r != 1)
            return r;
        HandleTable &t = Table();
        std::lock_guard lock(t.mutex);
        const uint64_t handle = NextHandle(t);
        t.files.emplace(handle, std::move(file));
        record->file = handle;
        return 1;
    } catch (const std::bad_alloc &) {
        return VELA_ERR_NOMEMORY;
    }
}

int32_t VlseqGetParam(uint64_t file, int32_t which, int32_t *value)
{
    const auto f = Find(file);
    if (!f)
        return VELA_ERR_INVALIDRECHANDLE;
    if (!value)
        return VELA_ERR_INVALIDPARAM;
    std::lock_guard lock(f->mutex);
    switch (which) {
    case VLSEQ_PARAM_FRAMECOUNT:
        *value = static_cast<int32_t>(f->reader.FrameCount()); // at most 2^31 - 1
        return 1;
    case VLSEQ_PARAM_FILETEXTBYTES:
        *value = static_cast<int32_t>(f->reader.TextBytes(VLSEQ_TEXT_FILE, 0)); // at most 1 MiB
        return 1;
    default:
        return VELA_ERR_INVALIDPARAM;
    }
}

int32_t VlseqCopyStamps(uint64_t file, VlseqStampBlock *block)
{
    const auto f = Find(file);
    if (!f)
        return VELA_ERR_INVALIDRECHANDLE;
    if (!block || block->size != sizeof(VlseqStampBlock) ||
        block->stampBytes != sizeof(VlseqStamp) || !block->stamps)
        return VELA_ERR_INVALIDPARAM;
    std::lock_guard lock(f->mutex);
    const auto &stamps = f->reader.Stamps();
    // The array is the caller's and sized by the caller: both counts must name exactly ours.
    if (block->frameCount != stamps.size() || block->frameCount2 != stamps.size())
        return VELA_ERR_INVALIDPARAM;
    for (size_t i = 0; i < stamps.size(); ++i)
        block->stamps[i] = {stamps[i].seconds, stamps[i].microseconds};
    return 1;
}

int32_t VlseqLockFrame(uint64_t file, VlseqFrameRecord *record)
{
    const auto f = Find(file);
    if (!f)
        return VELA_ERR_INVALIDRECHANDLE;
    if (!record || record->size != sizeof(VlseqFrameRecord))
        return VELA_ERR_INVALIDPARAM;
    std::lock_guard lock(f->mutex);
    const void *address = nullptr;
    const int32_t r = f->reader.LockFrame(record->index, &address);
    if (r != 1)
        return r;
    const vlseqfmt::FileHeader &h = f->reader.Header();
    record->address = address;
    record->rowBytes = static_cast<int32_t>(h.rowPitch); // at most 65535 * 6
    record->width = ReportedWidth(h);
    record->rows = static_cast<int32_t>(h.height);
    record->pixelType = h.pixelType;
    return 1;
}

int32_t VlseqReadText(uint64_t file, VlseqTextRecord *record)
{
    const auto f = Find(file);
    if (!f)
        return VELA_ERR_INVALIDRECHANDLE;
    if (!record || record->size != sizeof(VlseqTextRecord) || record->kind != 1)
        return VELA_ERR_INVALIDPARAM;
    std::lock_guard lock(f->mutex);
    return f->reader.ReadText(record->level, record->index, record->buffer, record->bufferBytes);
}

int32_t VlseqClose(uint64_t file)
{
    std::shared_ptr<OpenFile> f;
    {
        HandleTable &t = Table();
        std::lock_guard lock(t.mutex);
        const auto it = t.files.find(file);
        if (it == t.files.end())
            return VELA_ERR_INVALIDRECHANDLE;
        f = std::move(it->second);
        t.files.erase(it);
    }
    // A call still running on this file keeps it alive until it returns.
    std::lock_guard lock(f->mutex);
    return 1;
}

} // extern "C"
