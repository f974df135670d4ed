// Frame buffers of a simulated camera: allocated or attached by the host, released, and the
// lock that describes one buffer frame.
#include <stdint.h>

#include <new>

#ifdef __linux__
#include <sys/mman.h>
#endif

#include "sim_camera.h"

namespace velasim {
namespace {

// Larger requests are refused as if the device had run out of memory.
constexpr size_t kMaxBufferBytes = size_t{2} << 30;

// Allocated buffers start on a 2 MiB boundary, as a driver's page-locked buffers do. The
// kernel's copy of a file read into a buffer runs at less than half speed into an address off
// a cache line, and on Linux a block of whole huge pages can be backed by them, which spares a
// copy of a large frame most of its address translations and its first fill most of its page
// faults.
constexpr size_t kBlockAlignBytes = size_t{2} << 20;
constexpr std::align_val_t kBlockAlign{kBlockAlignBytes};

uint8_t *NewBlock(size_t bytes)
{
    auto *p = static_cast<uint8_t *>(::operator new(bytes, kBlockAlign, std::nothrow));
#ifdef __linux__
    if (p && bytes >= kBlockAlignBytes)
        madvise(p, bytes / kBlockAlignBytes * kBlockAlignBytes, MADV_HUGEPAGE); // a hint only
#endif
    return p;
}

} // namespace

void Camera::BlockFree::operator()(uint8_t *p) const
{
    ::operator delete(p, kBlockAlign);
}

int32_t Camera::Status() const
{
    if (capturing)
        return VELA_STATUS_BUSY;
    return bufferKind != BufferKind::None ? VELA_STATUS_READY : VELA_STATUS_IDLE;
}

int32_t Camera::AllocBuffers(int32_t count)
{
    if (capturing || bufferKind != BufferKind::None)
        return VELA_ERR_BUSY;
    if (count < 1)
        return VELA_ERR_INVALIDPARAM;
    Geometry g = CurrentGeometry();
    const size_t frameBytes = g.FrameBytes();
    if (frameBytes == 0 || static_cast<size_t>(count) > kMaxBufferBytes / frameBytes)
        return VELA_ERR_NOMEMORY;
    block_.reset(NewBlock(frameBytes * static_cast<size_t>(count)));
    if (!block_)
        return VELA_ERR_NOMEMORY;
    frames.clear();
    for (int32_t k = 0; k < count; ++k)
        frames.push_back(block_.get() + static_cast<size_t>(k) * frameBytes);
    slots.assign(frames.size(), FrameSlot{});
    bufferGeometry = g;
    bufferKind = BufferKind::Allocated;
    precaptured_ = false;
    framesCaptured = framesExposed = 0;
    newestIndex = -1;
    return VELA_OK;
}

int32_t Camera::Precapture(uint32_t)
{
    if (capturing || bufferKind != BufferKind::None)
        return VELA_ERR_BUSY;
    precaptured_ = true;
    return VELA_OK;
}

int32_t Camera::AttachBuffers(void **buffers, uint32_t count)
{
    if (capturing || bufferKind != BufferKind::None)
        return VELA_ERR_BUSY;
    if (!precaptured_)
        return VELA_ERR_NOTREADY;
    if (buffers == nullptr || count == 0 || count > 65536)
        return VELA_ERR_INVALIDPARAM;
    for (uint32_t k = 0; k < count; ++k)
        if (buffers[k] == nullptr)
            return VELA_ERR_INVALIDPARAM;
    frames.assign(reinterpret_cast<uint8_t **>(buffers),
                  reinterpret_cast<uint8_t **>(buffers) + count);
    slots.assign(frames.size(), FrameSlot{});
    bufferGeometry = CurrentGeometry();
    bufferKind = BufferKind::Attached;
    precaptured_ = false;
    framesCaptured = framesExposed = 0;
    newestIndex = -1;
    return VELA_OK;
}

void Camera::DropBuffers()
{
    block_.reset();
    frames.clear();
    slots.clear();
    bufferKind = BufferKind::None;
    framesCaptured = framesExposed = 0;
    newestIndex = -1;
    source_.reset();
}

int32_t Camera::ReleaseBuffers(std::unique_lock<std::mutex> &lock, BufferKind only)
{
    if (capturing)
        return VELA_ERR_BUSY;
    if (bufferKind == BufferKind::None)
        return VELA_ERR_NOTREADY;
    if (only != BufferKind::None && bufferKind != only)
        return VELA_ERR_INVALIDPARAM;
    JoinProducer(lock);
    changed.wait(lock, [this] { return writers_ == 0; });
    if (capturing || producer_.joinable()) // a start came while the lock was let go
        return VELA_ERR_BUSY;
    DropBuffers();
    ++abortGeneration_;
    changed.notify_all();
    return VELA_OK;
}

int32_t Camera::Lock(int32_t frame, VelaFrameRecord &record) const
{
    if (bufferKind == BufferKind::None)
        return VELA_ERR_NOTREADY;
    if (frame < 0 || static_cast<size_t>(frame) >= frames.size())
        return VELA_ERR_INVALIDPARAM;
    const FrameSlot &slot = slots[static_cast<size_t>(frame)];
    if (!slot.filled)
        return VELA_ERR_NOTREADY;
    const Geometry &g = bufferGeometry;
    record.address = frames[static_cast<size_t>(frame)];
    record.rowBytes = static_cast<int32_t>(g.rowBytes);
    record.width = g.width;
    record.height = static_cast<uint32_t>(g.FrameBytes() / g.rowBytes); // every row the frame holds
    record.dataType = TypeCodeOf(g.pixel);
    record.frameNumber = slot.frameNumber;
    record.stampSeconds = slot.stampSeconds;
    record.stampMicroseconds = slot.stampMicroseconds;
    return VELA_OK;
}

} // namespace velasim
