// The recorder operations and the registry of open recorders, and what an ending process still
// writes of a recorder's queue. The ring and the writer thread are in recorder_ring.cpp.
#include <stdio.h>

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>

#include "device_call.h"
#include "recorder.h"
#include "sim_state.h"
#include "vela_api.h"
#include "vela_sim_internal.h"
#include "vlseq_layout.h"

using velasim::Camera;
using velasim::DeviceCall;
using velasim::Geometry;
using velasim::PixelType;
using velasim::Recorder;
using velasim::Style;

namespace velasim {

// The recording ends here whatever ends it (a close, an uninit, another recorder, the process):
// the file is left complete, with every frame the status counted, even though the host never
// closes the recorder.
void Recorder::Detach()
{
    if (velasim::ProcessEnding()) {
        EndWithProcess();
        return;
    }
    std::lock_guard lock(life);
    StopWriter();
    ReleaseRing();
    std::lock_guard file(io);
    NoteTrailingGap();
    writer.Checkpoint();
}

void Recorder::EndWithProcess()
{
    {
        std::unique_lock lock(mutex, std::try_to_lock);
        if (!lock.owns_lock())
            return;
        accepting_ = false;
        stop_ = true;
        if (thread_.joinable())
            velasim::LetThreadGo(thread_);
    }
    WriteLeftovers();
    std::unique_lock file(io, std::try_to_lock);
    if (file.owns_lock())
        writer.Checkpoint();
}

void Recorder::WriteLeftovers()
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
                               image.microseconds, &image.ledger) < 0)
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

} // namespace velasim

namespace {

constexpr uint64_t kRecorderHandleBase = 0x0F000000;
constexpr uint32_t kMaxTextBytes = 1u << 20;

uint32_t Hex(uint64_t handle)
{
    return static_cast<uint32_t>(handle);
}

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
