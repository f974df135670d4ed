// Recorders: .vlseq files that a capture writes its frames into as they are produced. The file
// is created when the recorder is connected to a device, because only then is the frame
// geometry known; texts written before that are kept and written then. The producer only copies
// each image into a ring of slots allocated at the connection; a writer thread per connected
// recorder appends them to the file, and the producer waits while the ring is full, so frames
// are never dropped or reordered and the capture slows only when the disk cannot keep up. Texts
// join the same queue, so neither the host nor the capture waits for the disk to write them.
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "device_call.h"
#include "recorder_sink.h"
#include "sim_state.h"
#include "vela_api.h"
#include "vela_sim_internal.h"
#include "vlseq_layout.h"
#include "vlseq_writer.h"

using velasim::Camera;
using velasim::DeviceCall;
using velasim::Geometry;
using velasim::PixelType;
using velasim::Style;

namespace {

constexpr uint64_t kRecorderHandleBase = 0x0F000000;
constexpr uint32_t kMaxTextBytes = 1u << 20;
// The ring holds up to this many images and about this many bytes: enough to ride out a
// stall of the disk of a few frame times without holding up the camera.
constexpr size_t kRingImages = 16;
constexpr size_t kRingBytes = size_t{128} << 20;

uint32_t Hex(uint64_t handle)
{
    return static_cast<uint32_t>(handle);
}

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

// Three locks, taken in this order and never with a camera's lock held: `life` while the
// writer thread starts or ends or the file is replaced; `io` around every use of the writer,
// which the writer thread holds only while it writes; `mutex` around the queue. The producer
// and the texts need only `mutex`, so they never wait on the disk except for room in the ring.
class Recorder final : public velasim::RecorderSink {
  public:
    ~Recorder() override
    {
        std::lock_guard lock(life);
        StopWriter();
    }

    // Set by VelaRecorderOpen, constant afterwards.
    std::string path;
    uint32_t maxFrames = 0, fileTextCapacity = 0, frameTextCapacity = 0;
    int64_t frameLimit = 0; // the file's maximum: frames beyond it are not taken
    bool buffered = false;
    bool probeCreated = false; // the file did not exist before VelaRecorderOpen

    std::mutex life;

    std::mutex io;
    vlseqfmt::Writer writer;
    bool everOpened = false;
    Geometry geometry; // of the frames the file takes

    std::mutex mutex;
    std::condition_variable changed;
    std::weak_ptr<Camera> camera;

    // Opens the file for frames of geometry g, or checks that the open file takes them. The
    // writer thread is stopped first when the file is replaced. Caller holds life.
    int32_t OpenFor(const Geometry &g, uint32_t deviceDataType)
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

    // Closes the file once the writer thread is stopped. Caller holds life.
    int32_t CloseFile()
    {
        {
            std::lock_guard queue(mutex);
            fileOpen_ = false;
        }
        std::lock_guard lock(io);
        return writer.Close();
    }

    // Stores a text after every frame handed over before it: queued while the writer thread
    // runs or anything waits, written at once otherwise, kept for the file while there is none.
    // The refusals are the writer's, made here because a queued text is written later.
    int32_t Text(uint32_t level, int32_t index, const void *text, uint32_t length)
    {
        const auto *bytes = static_cast<const uint8_t *>(text);
        {
            std::lock_guard lock(mutex);
            if (error_ < 0)
                return error_;
            const uint32_t capacity =
                level == VELA_TEXT_FRAME ? frameTextCapacity : fileTextCapacity;
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
            if (thread_.joinable() || tail_ != head_ || !texts_.empty()) {
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

    // Allocates the ring for images of geometry g (the open file's) unless it has it, and
    // starts the writer thread unless it runs. Caller holds life.
    int32_t StartWriter(const Geometry &g)
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
            thread_ = std::thread([this] { WriterLoop(); });
        } catch (...) {
            return VELA_ERR_NORESOURCE;
        }
        accepting_ = true;
        return VELA_OK;
    }

    // Takes no more images, lets the writer thread write what is queued and joins it. Caller
    // holds life.
    void StopWriter()
    {
        std::thread thread;
        {
            std::lock_guard lock(mutex);
            accepting_ = false;
            stop_ = true;
            thread = std::move(thread_);
            changed.notify_all();
        }
        if (thread.joinable())
            thread.join();
        WriteLeftovers();
    }

    void ReleaseRing()
    {
        std::lock_guard lock(mutex);
        ring_.reset();
        images_.clear();
        slotCount_ = slotBytes_ = 0;
    }

    bool WriterRunning()
    {
        std::lock_guard lock(mutex);
        return thread_.joinable();
    }

    // The writer thread's failure once it had one, VELA_OK before.
    int32_t Error()
    {
        std::lock_guard lock(mutex);
        return error_ < 0 ? error_ : VELA_OK;
    }

    // Frames handed over so far, all of which the closed file will hold; after a write error,
    // the frames the file got.
    int64_t Accepted()
    {
        std::lock_guard lock(mutex);
        return error_ < 0 ? written_ : accepted_;
    }

    // Waits until the first `frames` frames are in the file. VELA_OK or the writer thread's
    // error.
    int32_t Drain(int64_t frames)
    {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return error_ < 0 || written_ >= frames || tail_ == head_; });
        return error_ < 0 ? error_ : VELA_OK;
    }

    void AwaitRoom(uint32_t images) override
    {
        std::unique_lock lock(mutex);
        changed.wait(
            lock, [&] { return !Accepting() || Room() >= std::min<uint64_t>(images, slotCount_); });
    }

    void Append(const uint8_t *frame, const Geometry &g, uint32_t seconds,
                int32_t microseconds) override
    {
        for (uint32_t k = 0; k < g.bundle; ++k) {
            uint64_t slot = 0;
            uint8_t *to = nullptr;
            {
                std::unique_lock lock(mutex);
                changed.wait(lock, [&] { return !Accepting() || Room() > 0; });
                if (!Accepting() || !(g == acceptGeometry_))
                    return;
                slot = head_++ % slotCount_;
                ++accepted_;
                images_[slot] = QueuedImage{false, seconds, microseconds};
                to = ring_.get() + slot * slotBytes_;
            }
            CopyImage(frame + k * g.ImageBytes(), g, to);
            std::lock_guard lock(mutex);
            images_[slot].ready = true;
            changed.notify_all();
        }
    }

    void Detach() override
    {
        if (velasim::ProcessEnding()) {
            EndWithProcess();
            return;
        }
        std::lock_guard lock(life);
        StopWriter();
        ReleaseRing();
    }

  private:
    struct QueuedImage {
        bool ready = false; // copied in; the producer fills a slot without the lock
        uint32_t seconds = 0;
        int32_t microseconds = 0;
    };
    struct QueuedText {
        uint64_t before; // the queued image it goes before
        uint32_t level;
        int32_t index;
        std::vector<uint8_t> bytes;
    };

    bool Accepting() const { return accepting_ && error_ == 0 && accepted_ < frameLimit; }
    uint64_t Room() const { return slotCount_ - (head_ - tail_); }
    bool NextReady() const { return tail_ < head_ && images_[tail_ % slotCount_].ready; }
    bool TextDue() const { return !texts_.empty() && texts_.front().before <= tail_; }

    // Writes the next queued text. Caller holds mutex through `lock`, and io when ioHeld.
    void WriteNextText(std::unique_lock<std::mutex> &lock, bool ioHeld)
    {
        QueuedText text = std::move(texts_.front());
        texts_.pop_front();
        if (error_ < 0)
            return;
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
        if (r == VELA_ERR_FAILEDWRITEDATA && error_ == 0)
            error_ = r;
    }

    void WriterLoop()
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
            if (!NextReady())
                return;
            const uint64_t slot = tail_ % slotCount_;
            const QueuedImage image = images_[slot];
            const uint8_t *pixels = ring_.get() + slot * slotBytes_;
            const int64_t pitch = rowBytes_;
            const bool write = error_ == 0; // after a failure the queue is only emptied
            lock.unlock();
            int32_t r = VELA_OK;
            if (write) {
                std::lock_guard file(io);
                r = writer.AppendFrame(pixels, pitch, image.seconds, image.microseconds);
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

    // The process is ending on Windows: the writer thread is gone, perhaps in the middle of a
    // frame or holding a lock. What it left is written when nothing stands in the way; nothing
    // is waited for.
    void EndWithProcess()
    {
        {
            std::unique_lock lock(mutex, std::try_to_lock);
            if (!lock.owns_lock())
                return;
            accepting_ = false;
            stop_ = true;
            if (thread_.joinable())
                thread_.detach();
        }
        WriteLeftovers();
    }

    // After the join the queue is normally empty. It is not when the thread was ended from
    // outside: on Windows the threads are gone before the exit handlers close the devices. The
    // queue is then written here, unless the thread died inside the writer: the writer (and its
    // stream) may be half-way through a frame, so the queued frames are given up instead.
    void WriteLeftovers()
    {
        std::unique_lock lock(mutex);
        if (tail_ == head_ && texts_.empty())
            return;
        std::unique_lock file(io, std::try_to_lock);
        while (file.owns_lock() && error_ == 0 && (TextDue() || NextReady())) {
            if (TextDue()) {
                WriteNextText(lock, true);
                continue;
            }
            const uint64_t slot = tail_ % slotCount_;
            const QueuedImage &image = images_[slot];
            if (writer.AppendFrame(ring_.get() + slot * slotBytes_, rowBytes_, image.seconds,
                                   image.microseconds) < 0)
                error_ = VELA_ERR_FAILEDWRITEDATA;
            else
                ++written_;
            images_[slot].ready = false;
            ++tail_;
        }
        accepted_ -= static_cast<int64_t>(head_ - tail_);
        head_ = tail_;
        texts_.clear();
        changed.notify_all();
    }

    // The queue: images head_ - tail_ wait in slots tail_ % slotCount_ onwards.
    std::unique_ptr<uint8_t[]> ring_;
    std::vector<QueuedImage> images_;
    uint64_t slotCount_ = 0, slotBytes_ = 0;
    uint64_t head_ = 0, tail_ = 0;
    int64_t rowBytes_ = 0;
    Geometry acceptGeometry_;
    bool accepting_ = false;
    bool stop_ = false;
    std::thread thread_;
    std::deque<QueuedText> texts_;    // in the order written, each before its image
    std::vector<QueuedText> pending_; // written before the file existed
    bool fileOpen_ = false;
    int64_t accepted_ = 0, written_ = 0; // frames of the open file
    int32_t error_ = 0;                  // the writer thread's failure; it stops every append
};

struct Registry {
    std::mutex mutex;
    std::map<uint64_t, std::shared_ptr<Recorder>> recorders;
    uint64_t next = 1;
};

Registry &Recorders()
{
    static Registry *registry = new Registry;
    return *registry;
}

std::shared_ptr<Recorder> Find(uint64_t handle)
{
    Registry &r = Recorders();
    std::lock_guard lock(r.mutex);
    auto it = r.recorders.find(handle);
    return it == r.recorders.end() ? nullptr : it->second;
}

// Geometry and data type of the frames the device would hand the recorder now.
// `device` 0: the camera's current open, whatever its handle.
int32_t DeviceFrames(const std::shared_ptr<Camera> &camera, uint64_t device, Geometry &g,
                     uint32_t &code)
{
    std::lock_guard lock(camera->mutex);
    if (!camera->open ||
        (device != 0 && velasim::MakeHandle(velasim::kDeviceHandleBase, camera->generation,
                                            camera->index) != device))
        return VELA_ERR_INVALIDHANDLE;
    g = camera->bufferKind != velasim::BufferKind::None ? camera->bufferGeometry
                                                        : camera->CurrentGeometry();
    code = camera->DataTypeCode();
    return VELA_OK;
}

// Every queued frame reaches the file before it is closed.
int32_t Close(const std::shared_ptr<Recorder> &recorder)
{
    std::shared_ptr<Camera> camera;
    {
        std::lock_guard lock(recorder->mutex);
        camera = recorder->camera.lock();
        recorder->camera.reset();
    }
    if (camera) {
        std::lock_guard lock(camera->mutex);
        camera->DisconnectRecorder(recorder.get());
    }
    std::lock_guard life(recorder->life);
    recorder->StopWriter();
    recorder->ReleaseRing();
    int32_t r = recorder->CloseFile();
    if (!recorder->everOpened && recorder->probeCreated)
        remove(recorder->path.c_str());
    const int32_t error = recorder->Error();
    return error < 0 ? error : r;
}

int32_t Open(VelaRecorderOpenRecord *record)
{
    if (record == nullptr || record->size != sizeof(VelaRecorderOpenRecord) ||
        record->path == nullptr || record->path[0] == '\0' || record->maxFrames == 0 ||
        (record->flags & ~static_cast<uint32_t>(VELA_RECORDER_BUFFERED)) != 0)
        return VELA_ERR_INVALIDPARAM;
    auto recorder = std::make_shared<Recorder>();
    recorder->path = record->path;
    if (recorder->path.size() > 4096)
        return VELA_ERR_INVALIDPARAM;
    recorder->maxFrames = record->maxFrames;
    recorder->fileTextCapacity = record->fileTextCapacity;
    recorder->frameTextCapacity = record->frameTextCapacity;
    recorder->frameLimit = std::min(record->maxFrames, vlseqfmt::kMaxFrames);
    recorder->buffered = (record->flags & VELA_RECORDER_BUFFERED) != 0;
    // Refuse a path that cannot be written now rather than at the first frame.
    FILE *existing = fopen(record->path, "rb");
    if (existing != nullptr)
        fclose(existing);
    FILE *probe = fopen(record->path, "ab");
    if (probe == nullptr)
        return VELA_ERR_FAILEDOPENFILE;
    fclose(probe);
    recorder->probeCreated = existing == nullptr;
    Registry &r = Recorders();
    std::lock_guard lock(r.mutex);
    uint64_t handle = kRecorderHandleBase + r.next++;
    r.recorders[handle] = recorder;
    record->recorder = handle;
    return VELA_OK;
}

int32_t Connect(uint64_t device, uint64_t handle)
{
    std::shared_ptr<Recorder> recorder = Find(handle);
    if (!recorder)
        return VELA_ERR_INVALIDRECHANDLE;
    int32_t error = 0;
    std::shared_ptr<Camera> camera = velasim::CameraOfDevice(device, error);
    if (!camera)
        return error;
    Geometry g;
    uint32_t code = 0;
    int32_t r = DeviceFrames(camera, device, g, code);
    if (r < 0)
        return r;
    {
        std::lock_guard life(recorder->life);
        {
            std::lock_guard lock(recorder->mutex);
            std::shared_ptr<Camera> other = recorder->camera.lock();
            if (other && other != camera)
                return VELA_ERR_BUSY; // one device per recorder
        }
        if ((r = recorder->Error()) < 0 || (r = recorder->OpenFor(g, code)) < 0 ||
            (r = recorder->StartWriter(g)) < 0)
            return r;
        std::lock_guard lock(recorder->mutex);
        recorder->camera = camera;
    }
    std::shared_ptr<velasim::RecorderSink> replaced;
    {
        std::lock_guard lock(camera->mutex);
        if (camera->open)
            replaced = camera->ConnectRecorder(recorder);
        else
            replaced = recorder; // the device closed meanwhile: its writer thread must end
    }
    if (replaced)
        replaced->Detach();
    return replaced == recorder ? VELA_ERR_INVALIDHANDLE : VELA_OK;
}

} // namespace

namespace velasim {

void CloseAllRecorders()
{
    std::map<uint64_t, std::shared_ptr<Recorder>> all;
    {
        Registry &r = Recorders();
        std::lock_guard lock(r.mutex);
        all.swap(r.recorders);
        r.next = 1;
    }
    for (auto &[handle, recorder] : all)
        Close(recorder);
}

} // namespace velasim

int32_t VelaRecorderOpen(VelaRecorderOpenRecord *record)
{
    DeviceCall call("VelaRecorderOpen", Style::Code, 0);
    if (record == nullptr)
        call.Args("record=null");
    else
        call.Args("size=%u, flags=0x%08X, path=%s, maxFrames=%u", record->size, record->flags,
                  record->path ? record->path : "null", record->maxFrames);
    return call.Return(call.Injected() ? 0 : Open(record));
}

int32_t VelaCaptureRecord(uint64_t device, uint64_t recorder)
{
    DeviceCall call("VelaCaptureRecord", Style::Code, device);
    call.Args("device=0x%08X, recorder=0x%08X", Hex(device), Hex(recorder));
    return call.Return(call.Injected() ? 0 : Connect(device, recorder));
}

int32_t VelaRecorderClose(uint64_t recorder)
{
    DeviceCall call("VelaRecorderClose", Style::Code, 0);
    call.Args("recorder=0x%08X", Hex(recorder));
    if (call.Injected())
        return call.Return(0);
    std::shared_ptr<Recorder> r;
    {
        Registry &registry = Recorders();
        std::lock_guard lock(registry.mutex);
        auto it = registry.recorders.find(recorder);
        if (it == registry.recorders.end())
            return call.Return(VELA_ERR_INVALIDRECHANDLE);
        r = it->second;
        registry.recorders.erase(it);
    }
    return call.Return(Close(r));
}

int32_t VelaRecorderStatus(uint64_t recorder, VelaRecorderStatusRecord *record)
{
    DeviceCall call("VelaRecorderStatus", Style::Code, 0);
    call.Args("recorder=0x%08X", Hex(recorder));
    if (call.Injected())
        return call.Return(0);
    if (record == nullptr || record->size != sizeof(VelaRecorderStatusRecord))
        return call.Return(VELA_ERR_INVALIDPARAM);
    std::shared_ptr<Recorder> r = Find(recorder);
    if (!r)
        return call.Return(VELA_ERR_INVALIDRECHANDLE);
    const auto total = static_cast<int32_t>(r->Accepted());
    record->totalCount = total;
    record->currentIndex = total - 1;
    return call.Return(r->Error());
}

int32_t VelaRecorderLockFrame(uint64_t recorder, VelaFrameRecord *record)
{
    DeviceCall call("VelaRecorderLockFrame", Style::Code, 0);
    if (record == nullptr)
        call.Args("recorder=0x%08X, record=null", Hex(recorder));
    else
        call.Args("recorder=0x%08X, index=%d", Hex(recorder), record->index);
    if (call.Injected())
        return call.Return(0);
    if (record == nullptr || record->size != sizeof(VelaFrameRecord))
        return call.Return(VELA_ERR_INVALIDPARAM);
    std::shared_ptr<Recorder> r = Find(recorder);
    if (!r)
        return call.Return(VELA_ERR_INVALIDRECHANDLE);
    int32_t result = r->Error();
    if (result < 0)
        return call.Return(result);
    {
        std::lock_guard lock(r->io);
        if (!r->writer.IsOpen())
            return call.Return(VELA_ERR_NOTREADY);
    }
    if (record->index < 0)
        return call.Return(VELA_ERR_INVALIDPARAM);
    // Drain before judging the index: a write that failed meanwhile must be reported as such,
    // not as a frame that does not exist.
    if ((result = r->Drain(std::min<int64_t>(int64_t{record->index} + 1, r->Accepted()))) < 0 ||
        (result = r->Error()) < 0)
        return call.Return(result);
    if (record->index >= r->Accepted())
        return call.Return(VELA_ERR_INVALIDPARAM);
    std::lock_guard lock(r->io);
    const void *address = nullptr;
    int64_t pitch = 0;
    uint32_t seconds = 0;
    int32_t micro = 0;
    result = r->writer.LockFrame(record->index, &address, &pitch, &seconds, &micro);
    if (result < 0)
        return call.Return(result);
    const Geometry &g = r->geometry;
    record->address = const_cast<void *>(address); // the record is shared with frame locks
    record->rowBytes = static_cast<int32_t>(pitch);
    record->width = g.width;
    record->height = g.height * g.views;
    record->dataType = g.pixel == PixelType::Mono8   ? VELA_TYPE_MONO8
                       : g.pixel == PixelType::Rgb24 ? VELA_TYPE_RGB24
                                                     : VELA_TYPE_MONO16;
    record->frameNumber = static_cast<uint32_t>(record->index);
    record->stampSeconds = seconds;
    record->stampMicroseconds = micro;
    return call.Return(VELA_OK);
}

int32_t VelaRecorderWriteText(uint64_t recorder, VelaTextRecord *record)
{
    DeviceCall call("VelaRecorderWriteText", Style::Code, 0);
    if (record == nullptr)
        call.Args("recorder=0x%08X, record=null", Hex(recorder));
    else
        call.Args("recorder=0x%08X, level=0x%08X, index=%d, length=%u", Hex(recorder),
                  record->level, record->index, record->length);
    if (call.Injected())
        return call.Return(0);
    if (record == nullptr || record->size != sizeof(VelaTextRecord) || record->kind != 1 ||
        (record->length != 0 && record->text == nullptr) || record->length > kMaxTextBytes ||
        (record->level != VELA_TEXT_FRAME && record->level != VELA_TEXT_FILE &&
         record->level != VELA_TEXT_GROUP))
        return call.Return(VELA_ERR_INVALIDPARAM);
    std::shared_ptr<Recorder> r = Find(recorder);
    if (!r)
        return call.Return(VELA_ERR_INVALIDRECHANDLE);
    return call.Return(r->Text(record->level, record->index, record->text, record->length));
}

int32_t VelaRefreshRecorder(uint64_t recorder)
{
    DeviceCall call("VelaRefreshRecorder", Style::Code, 0);
    call.Args("recorder=0x%08X", Hex(recorder));
    if (call.Injected())
        return call.Return(0);
    std::shared_ptr<Recorder> r = Find(recorder);
    if (!r)
        return call.Return(VELA_ERR_INVALIDRECHANDLE);
    int32_t result = r->Error();
    if (result < 0)
        return call.Return(result);
    std::shared_ptr<Camera> camera;
    {
        std::lock_guard lock(r->mutex);
        camera = r->camera.lock();
    }
    if (!camera)
        return call.Return(VELA_OK);
    // The device's buffers may have been replaced since the connection: follow their geometry.
    Geometry g;
    uint32_t code = 0;
    result = DeviceFrames(camera, 0, g, code);
    if (result < 0)
        return call.Return(result);
    std::lock_guard life(r->life);
    const bool running = r->WriterRunning();
    if ((result = r->OpenFor(g, code)) < 0)
        return call.Return(result);
    return call.Return(running ? r->StartWriter(g) : VELA_OK);
}
