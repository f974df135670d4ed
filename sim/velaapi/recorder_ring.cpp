// The recorder's ring of image slots and its writer thread: the producer copies each image into
// a slot and the writer thread appends the slots to the file in order; texts join the queue
// between the images they follow.
#include <string.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <new>
#include <thread>

#include "recorder.h"
#include "sim_state.h"
#include "vela_api.h"
#include "vlseq_layout.h"

namespace velasim {
namespace {

constexpr uint32_t kMaxTextBytes = 1u << 20;
// The ring holds up to this many images and about this many bytes: enough to ride out a
// stall of the disk of a few frame times without holding up the camera.
constexpr size_t kRingImages = 16;
constexpr size_t kRingBytes = size_t{128} << 20;

// A recorded row: no padding, packed 12-bit widened to one 16-bit word per pixel.
size_t RecordedRowBytes(const Geometry &g)
{
    const size_t bytesPerPixel = g.pixel == PixelType::Mono8   ? 1
                                 : g.pixel == PixelType::Rgb24 ? 3
                                                               : 2;
    return static_cast<size_t>(g.width) * bytesPerPixel;
}

size_t RecordedImageBytes(const Geometry &g)
{
    return RecordedRowBytes(g) * g.height * g.views;
}

// One image from the device's layout into the file's layout.
void CopyImage(const uint8_t *image, const Geometry &g, uint8_t *out)
{
    const size_t rows = static_cast<size_t>(g.height) * g.views;
    const size_t rowBytes = RecordedRowBytes(g);
    if (g.pixel != PixelType::Mono12Packed) {
        if (rowBytes == g.rowBytes) {
            memcpy(out, image, rowBytes * rows);
            return;
        }
        for (size_t r = 0; r < rows; ++r)
            memcpy(out + r * rowBytes, image + r * g.rowBytes, rowBytes);
        return;
    }
    for (size_t r = 0; r < rows; ++r) {
        const uint8_t *in = image + r * g.rowBytes;
        for (size_t x = 0; x + 1 < g.width; x += 2, in += 3) {
            uint32_t first = (uint32_t{in[0]} << 4) | (in[1] & 0xFu);
            uint32_t second = (uint32_t{in[2]} << 4) | (in[1] >> 4);
            *out++ = static_cast<uint8_t>(first);
            *out++ = static_cast<uint8_t>(first >> 8);
            *out++ = static_cast<uint8_t>(second);
            *out++ = static_cast<uint8_t>(second >> 8);
        }
    }
}
std::atomic<int32_t> gWriteDelayUs{0};

} // namespace

int32_t SetRecorderWriteDelay(int32_t microseconds)
{
    if (microseconds < 0 || microseconds > 1000000)
        return VELA_ERR_INVALIDPARAM;
    gWriteDelayUs = microseconds;
    return VELA_OK;
}

Recorder::~Recorder()
{
    std::lock_guard lock(life);
    StopWriter();
}

int32_t Recorder::OpenFor(const Geometry &g, uint32_t deviceDataType)
{
    {
        std::lock_guard lock(io);
        if (writer.IsOpen() && g == geometry)
            return VELA_OK;
    }
    StopWriter();
    ReleaseRing();
    std::lock_guard lock(io);
    if (writer.IsOpen()) {
        if (writer.FrameCount() > 0)
            return VELA_ERR_INVALIDPARAM; // frames of another size are already in the file
        writer.Close();
    }
    vlseqfmt::Geometry fg{};
    fg.pixelType = g.pixel == PixelType::Mono8 ? 1u : g.pixel == PixelType::Rgb24 ? 3u : 2u;
    fg.width = g.width;
    fg.height = g.height * g.views;
    fg.deviceDataType = deviceDataType;
    int32_t r =
        writer.Open(path.c_str(), fg, maxFrames, fileTextCapacity, frameTextCapacity, buffered);
    if (r < 0)
        return r;
    everOpened = true;
    geometry = g;
    std::vector<QueuedText> pending;
    {
        std::lock_guard queue(mutex);
        accepted_ = written_ = 0;
        pendingDropped_ = pendingLost_ = droppedTotal_ = lostTotal_ = 0;
        kept_ = false;
        fileOpen_ = true;
        pending.swap(pending_);
    }
    for (const QueuedText &t : pending) {
        r = writer.WriteText(t.level, t.index, t.bytes.data(),
                             static_cast<uint32_t>(t.bytes.size()));
        if (r < 0)
            return r;
    }
    return VELA_OK;
}

int32_t Recorder::CloseFile()
{
    {
        std::lock_guard queue(mutex);
        fileOpen_ = false;
    }
    std::lock_guard lock(io);
    NoteTrailingGap();
    return writer.Close();
}

void Recorder::NoteTrailingGap()
{
    uint64_t gap = 0, dropped = 0;
    {
        std::lock_guard lock(mutex);
        gap = pendingDropped_ + pendingLost_;
        dropped = pendingDropped_;
    }
    const auto u32 = [](uint64_t v) {
        return static_cast<uint32_t>(std::min<uint64_t>(v, UINT32_MAX));
    };
    if (writer.IsOpen() && writer.FrameCount() > 0)
        writer.SetTrailingGap(u32(gap), u32(dropped));
}

vlseqfmt::LedgerEntry Recorder::Keep(uint64_t number)
{
    // Between two kept images the gap is exactly the numbers between them; before the first
    // (or when a new capture numbers from 0 again) it is what the recorder saw go missing.
    const uint64_t missing = pendingDropped_ + pendingLost_;
    const uint64_t gap =
        kept_ && number > lastKept_ ? number - lastKept_ - 1 : std::min(number, missing);
    vlseqfmt::LedgerEntry e;
    e.number = number;
    e.gap = gap > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(gap);
    e.dropped = static_cast<uint32_t>(std::min<uint64_t>(pendingDropped_, e.gap));
    pendingDropped_ = pendingLost_ = 0;
    kept_ = true;
    lastKept_ = number;
    return e;
}

void Recorder::Lost(uint32_t images)
{
    std::lock_guard lock(mutex);
    if (!Accepting())
        return;
    pendingLost_ += images;
    lostTotal_ += images;
}

void Recorder::LedgerCounts(uint64_t &dropped, uint64_t &lost)
{
    std::lock_guard lock(mutex);
    dropped = droppedTotal_;
    lost = lostTotal_;
}

int32_t Recorder::Text(uint32_t level, int32_t index, const void *text, uint32_t length)
{
    const auto *bytes = static_cast<const uint8_t *>(text);
    {
        std::lock_guard lock(mutex);
        if (error_ < 0)
            return error_;
        const uint32_t capacity = level == VELA_TEXT_FRAME ? frameTextCapacity : fileTextCapacity;
        if (length > capacity)
            return VELA_ERR_TOOLARGEUSERDATASIZE;
        if (!fileOpen_) {
            pending_.push_back(
                QueuedText{0, level, index, std::vector<uint8_t>(bytes, bytes + length)});
            return VELA_OK;
        }
        if (level == VELA_TEXT_FILE)
            index = 0; // one file text; the index means nothing at this level
        if (index < 0 || (level == VELA_TEXT_FRAME && index >= frameLimit))
            return VELA_ERR_INVALIDPARAM;
        // With nothing queued or being written, the text goes to the file before the call
        // returns: a host that exits right after it must not leave the text to a writer thread
        // that the process end may stop half-way.
        if (tail_ != head_ || !texts_.empty() || textInFlight_) {
            texts_.push_back(
                QueuedText{head_, level, index, std::vector<uint8_t>(bytes, bytes + length)});
            changed.notify_all();
            return VELA_OK;
        }
    }
    int32_t r = VELA_OK;
    {
        std::lock_guard file(io);
        r = writer.WriteText(level, index, text, length);
    }
    if (r == VELA_ERR_FAILEDWRITEDATA) {
        std::lock_guard lock(mutex);
        error_ = r;
    }
    return r;
}

int32_t Recorder::StartWriter(const Geometry &g)
{
    std::lock_guard lock(mutex);
    if (error_ < 0)
        return error_;
    if (thread_.joinable())
        return VELA_OK;
    const size_t imageBytes = RecordedImageBytes(g);
    if (imageBytes == 0)
        return VELA_ERR_INVALIDPARAM;
    if (!ring_ || slotBytes_ != imageBytes) {
        // At least two slots, so one is filled while another is written, and a whole bundle
        // when it fits; fewer when memory is short.
        size_t slots = std::clamp<size_t>(kRingBytes / imageBytes, 2, kRingImages);
        slots = std::max<size_t>(slots, g.bundle);
        ring_.reset();
        for (; slots > 0; slots /= 2) {
            if (slots <= SIZE_MAX / imageBytes)
                ring_.reset(new (std::nothrow) uint8_t[slots * imageBytes]);
            if (ring_)
                break;
        }
        if (!ring_)
            return VELA_ERR_NOMEMORY;
        slotCount_ = slots;
        slotBytes_ = imageBytes;
        images_.assign(slots, QueuedImage{});
    }
    head_ = tail_ = 0;
    rowBytes_ = static_cast<int64_t>(RecordedRowBytes(g));
    acceptGeometry_ = g;
    stop_ = false;
    try {
        writerEnded_ = false;
        thread_ = std::thread([this] { WriterLoop(); });
    } catch (...) {
        writerEnded_ = true;
        return VELA_ERR_NORESOURCE;
    }
    accepting_ = true;
    return VELA_OK;
}

void Recorder::StopWriter()
{
    std::thread thread;
    {
        std::unique_lock lock(mutex);
        accepting_ = false;
        stop_ = true;
        thread = std::move(thread_);
        changed.notify_all();
        // The end of the loop, not of the thread: a thread ends only with the loader lock on
        // Windows, which a host library being unloaded holds while it closes the devices.
        if (thread.joinable() && !ProcessEnding())
            changed.wait(lock, [this] { return writerEnded_; });
    }
    if (thread.joinable())
        LetThreadGo(thread); // it touches nothing of the recorder any more
    WriteLeftovers();
}

void Recorder::ReleaseRing()
{
    std::lock_guard lock(mutex);
    ring_.reset();
    images_.clear();
    slotCount_ = slotBytes_ = 0;
}

bool Recorder::WriterRunning()
{
    std::lock_guard lock(mutex);
    return thread_.joinable();
}

int32_t Recorder::Error()
{
    std::lock_guard lock(mutex);
    return error_ < 0 ? error_ : VELA_OK;
}

int64_t Recorder::Accepted()
{
    std::lock_guard lock(mutex);
    return error_ < 0 ? written_ : accepted_;
}

int32_t Recorder::Drain(int64_t frames)
{
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return error_ < 0 || written_ >= frames || tail_ == head_; });
    return error_ < 0 ? error_ : VELA_OK;
}

void Recorder::AwaitRoom(uint32_t images)
{
    std::unique_lock lock(mutex);
    changed.wait(lock,
                 [&] { return !Accepting() || Room() >= std::min<uint64_t>(images, slotCount_); });
}

void Recorder::Append(const uint8_t *frame, const Geometry &g, uint32_t seconds,
                      int32_t microseconds, uint64_t firstImage, bool mayWait)
{
    for (uint32_t k = 0; k < g.bundle; ++k) {
        uint64_t slot = 0;
        uint8_t *to = nullptr;
        {
            std::unique_lock lock(mutex);
            if (mayWait)
                changed.wait(lock, [&] { return !Accepting() || Room() > 0; });
            if (!Accepting() || !(g == acceptGeometry_))
                return;
            if (Room() == 0) {
                ++pendingDropped_;
                ++droppedTotal_;
                continue;
            }
            slot = head_++ % slotCount_;
            ++accepted_;
            images_[slot] = QueuedImage{false, seconds, microseconds, Keep(firstImage + k)};
            to = ring_.get() + slot * slotBytes_;
        }
        CopyImage(frame + k * g.ImageBytes(), g, to);
        std::lock_guard lock(mutex);
        images_[slot].ready = true;
        changed.notify_all();
    }
}

void Recorder::WriteNextText(std::unique_lock<std::mutex> &lock, bool ioHeld)
{
    QueuedText text = std::move(texts_.front());
    texts_.pop_front();
    if (error_ < 0)
        return;
    textInFlight_ = true;
    int32_t r = VELA_OK;
    if (ioHeld) {
        r = writer.WriteText(text.level, text.index, text.bytes.data(),
                             static_cast<uint32_t>(text.bytes.size()));
    } else {
        lock.unlock();
        {
            std::lock_guard held(io);
            r = writer.WriteText(text.level, text.index, text.bytes.data(),
                                 static_cast<uint32_t>(text.bytes.size()));
        }
        lock.lock();
    }
    textInFlight_ = false;
    if (r == VELA_ERR_FAILEDWRITEDATA && error_ == 0)
        error_ = r;
}

void Recorder::WriterLoop()
{
    std::unique_lock lock(mutex);
    for (;;) {
        changed.wait(lock, [this] {
            return TextDue() || NextReady() || (stop_ && tail_ == head_ && texts_.empty());
        });
        if (TextDue()) {
            WriteNextText(lock, false);
            changed.notify_all();
            continue;
        }
        if (!NextReady()) {
            writerEnded_ = true;
            changed.notify_all();
            return;
        }
        const uint64_t slot = tail_ % slotCount_;
        const QueuedImage image = images_[slot];
        const uint8_t *pixels = ring_.get() + slot * slotBytes_;
        const int64_t pitch = rowBytes_;
        const bool write = error_ == 0; // after a failure the queue is only emptied
        lock.unlock();
        int32_t r = VELA_OK;
        if (const int32_t delay = gWriteDelayUs.load(); delay > 0 && write)
            std::this_thread::sleep_for(std::chrono::microseconds(delay));
        if (write) {
            std::lock_guard file(io);
            r = writer.AppendFrame(pixels, pitch, image.seconds, image.microseconds, &image.ledger);
        }
        lock.lock();
        if (r < 0 && error_ == 0)
            error_ = VELA_ERR_FAILEDWRITEDATA;
        else if (write)
            ++written_;
        images_[slot].ready = false;
        ++tail_;
        changed.notify_all();
    }
}

} // namespace velasim
