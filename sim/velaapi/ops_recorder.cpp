// Recorders: .vlseq files that a capture writes its frames into as they are produced. The file
// is created when the recorder is connected to a device, because only then is the frame
// geometry known; texts written before that are kept and written then.
#include <stdio.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "device_call.h"
#include "recorder_sink.h"
#include "sim_state.h"
#include "vela_api.h"
#include "vela_sim_internal.h"
#include "vlseq_writer.h"

using velasim::Camera;
using velasim::DeviceCall;
using velasim::Geometry;
using velasim::PixelType;
using velasim::Style;

namespace {

constexpr uint64_t kRecorderHandleBase = 0x0F000000;
constexpr uint32_t kMaxTextBytes = 1u << 20;

uint32_t Hex(uint64_t handle)
{
    return static_cast<uint32_t>(handle);
}

struct PendingText {
    uint32_t level;
    int32_t index;
    std::vector<uint8_t> bytes;
};

class Recorder final : public velasim::RecorderSink {
  public:
    std::mutex mutex;
    std::string path;
    uint32_t maxFrames = 0, fileTextCapacity = 0, frameTextCapacity = 0;
    bool buffered = false;
    bool probeCreated = false; // the file did not exist before VelaRecorderOpen
    vlseqfmt::Writer writer;
    bool everOpened = false;
    Geometry geometry;
    std::weak_ptr<Camera> camera;
    std::vector<PendingText> pending;
    std::vector<uint8_t> scratch;

    // Opens the file for frames of geometry g, or checks that the open file takes them.
    // Caller holds mutex.
    int32_t OpenFor(const Geometry &g, uint32_t deviceDataType)
    {
        if (writer.IsOpen()) {
            if (g == geometry)
                return VELA_OK;
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
        if (g.pixel == PixelType::Mono12Packed)
            scratch.assign(static_cast<size_t>(g.width) * 2 * g.height * g.views, 0);
        for (const PendingText &t : pending) {
            r = writer.WriteText(t.level, t.index, t.bytes.data(),
                                 static_cast<uint32_t>(t.bytes.size()));
            if (r < 0)
                return r;
        }
        pending.clear();
        return VELA_OK;
    }

    void Append(const uint8_t *frame, const Geometry &g, uint32_t seconds,
                int32_t microseconds) override
    {
        std::lock_guard lock(mutex);
        if (!writer.IsOpen() || !(g == geometry))
            return;
        const size_t imageBytes = g.ImageBytes();
        const size_t rows = static_cast<size_t>(g.height) * g.views;
        for (uint32_t k = 0; k < g.bundle; ++k) {
            const uint8_t *image = frame + k * imageBytes;
            if (g.pixel != PixelType::Mono12Packed) {
                writer.AppendFrame(image, g.rowBytes, seconds, microseconds);
                continue;
            }
            // Packed frames are kept unpacked, one 16-bit word per pixel.
            uint8_t *out = scratch.data();
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
            writer.AppendFrame(scratch.data(), static_cast<int64_t>(g.width) * 2, seconds,
                               microseconds);
        }
    }
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
    std::lock_guard lock(recorder->mutex);
    int32_t r = recorder->writer.Close();
    if (!recorder->everOpened && recorder->probeCreated)
        remove(recorder->path.c_str());
    return r;
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
        std::lock_guard lock(recorder->mutex);
        std::shared_ptr<Camera> other = recorder->camera.lock();
        if (other && other != camera)
            return VELA_ERR_BUSY; // one device per recorder
        r = recorder->OpenFor(g, code);
        if (r < 0)
            return r;
        recorder->camera = camera;
    }
    std::lock_guard lock(camera->mutex);
    if (!camera->open)
        return VELA_ERR_INVALIDHANDLE;
    camera->ConnectRecorder(recorder);
    return VELA_OK;
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
    std::lock_guard lock(r->mutex);
    const auto total = static_cast<int32_t>(r->writer.FrameCount());
    record->totalCount = total;
    record->currentIndex = total - 1;
    return call.Return(VELA_OK);
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
    std::lock_guard lock(r->mutex);
    if (!r->writer.IsOpen())
        return call.Return(VELA_ERR_NOTREADY);
    if (record->index < 0 || record->index >= r->writer.FrameCount())
        return call.Return(VELA_ERR_INVALIDPARAM);
    const void *address = nullptr;
    int64_t pitch = 0;
    uint32_t seconds = 0;
    int32_t micro = 0;
    int32_t result = r->writer.LockFrame(record->index, &address, &pitch, &seconds, &micro);
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
    std::lock_guard lock(r->mutex);
    if (r->writer.IsOpen())
        return call.Return(
            r->writer.WriteText(record->level, record->index, record->text, record->length));
    uint32_t capacity =
        record->level == VELA_TEXT_FRAME ? r->frameTextCapacity : r->fileTextCapacity;
    if (record->length > capacity)
        return call.Return(VELA_ERR_TOOLARGEUSERDATASIZE);
    const auto *bytes = static_cast<const uint8_t *>(record->text);
    r->pending.push_back(PendingText{record->level, record->index,
                                     std::vector<uint8_t>(bytes, bytes + record->length)});
    return call.Return(VELA_OK);
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
    int32_t result = DeviceFrames(camera, 0, g, code);
    if (result < 0)
        return call.Return(result);
    std::lock_guard lock(r->mutex);
    return call.Return(r->OpenFor(g, code));
}
