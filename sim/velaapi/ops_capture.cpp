// Capture operations: buffers (device-allocated or attached by the host), start and stop,
// triggers, progress, frame events, frame locks, references, and the older capture calls.
#include "device_call.h"
#include "frame_source.h"
#include "sim_state.h"
#include "vela_api.h"

using velasim::BufferKind;
using velasim::Camera;
using velasim::DeviceCall;
using velasim::State;
using velasim::Style;
using Lock = std::unique_lock<std::mutex>;

namespace {

uint32_t Hex(uint64_t handle)
{
    return static_cast<uint32_t>(handle);
}

// An operation that takes only the device handle.
template <typename Work> int32_t Plain(const char *name, Style style, uint64_t device, Work &&work)
{
    DeviceCall call(name, style, device);
    call.Args("device=0x%08X", Hex(device));
    if (call.Injected())
        return call.Return(0);
    return call.Return(velasim::WithDevice(device, work));
}

// An operation that answers one value through an out-parameter.
template <typename T, typename Work>
int32_t Query(const char *name, Style style, uint64_t device, T *out, Work &&work)
{
    DeviceCall call(name, style, device);
    call.Args("device=0x%08X", Hex(device));
    if (call.Injected())
        return call.Return(0);
    if (out == nullptr)
        return call.Return(VELA_ERR_INVALIDPARAM);
    return call.Return(velasim::WithDevice(device, [&](Camera &c, Lock &l) {
        T value{};
        int32_t r = work(c, l, value);
        if (r >= 0)
            *out = value;
        return r;
    }));
}

// The clock mode a capture starts with: manual, and whether its waits run on that clock.
std::pair<bool, bool> ManualClock()
{
    auto &s = State();
    std::lock_guard lock(s.mutex);
    return {s.manualClock, s.manualWaits};
}

} // namespace

int32_t VelaAllocBuffers(uint64_t device, int32_t frames)
{
    DeviceCall call("VelaAllocBuffers", Style::Code, device);
    call.Args("device=0x%08X, frames=%d", Hex(device), frames);
    if (call.Injected())
        return call.Return(0);
    return call.Return(velasim::WithDevice(device, [frames](Camera &c, Lock &l) {
        int32_t result = c.AllocBuffers(frames);
        if (result >= 0)
            c.PrepareScene(l);
        return result;
    }));
}

int32_t VelaReleaseBuffers(uint64_t device, uint32_t option)
{
    DeviceCall call("VelaReleaseBuffers", Style::Code, device);
    call.Args("device=0x%08X, option=%u", Hex(device), option);
    if (call.Injected())
        return call.Return(0);
    return call.Return(velasim::WithDevice(
        device, [](Camera &c, Lock &l) { return c.ReleaseBuffers(l, BufferKind::None); }));
}

int32_t VelaAttachBuffers(uint64_t device, VelaAttachRecord *record)
{
    DeviceCall call("VelaAttachBuffers", Style::Code, device);
    if (record == nullptr)
        call.Args("device=0x%08X, record=null", Hex(device));
    else
        call.Args("device=0x%08X, count=%u", Hex(device), record->count);
    if (call.Injected())
        return call.Return(0);
    if (record == nullptr || record->size != sizeof(VelaAttachRecord))
        return call.Return(VELA_ERR_INVALIDPARAM);
    return call.Return(velasim::WithDevice(device, [record](Camera &c, Lock &l) {
        int32_t result = c.AttachBuffers(record->buffers, record->count);
        if (result >= 0)
            c.PrepareScene(l);
        return result;
    }));
}

int32_t VelaPrecapture(uint64_t device, uint32_t mode)
{
    DeviceCall call("VelaPrecapture", Style::Bool, device);
    call.Args("device=0x%08X, mode=%u", Hex(device), mode);
    if (call.Injected())
        return call.Return(0);
    return call.Return(
        velasim::WithDevice(device, [mode](Camera &c, Lock &) { return c.Precapture(mode); }));
}

int32_t VelaCheckPrepared(uint64_t device, int32_t *prepared)
{
    return Query("VelaCheckPrepared", Style::Bool, device, prepared,
                 [](Camera &c, Lock &, int32_t &v) {
                     v = c.Precaptured() ? 1 : 0;
                     return c.capturing ? static_cast<int32_t>(VELA_ERR_BUSY)
                                        : static_cast<int32_t>(VELA_OK);
                 });
}

int32_t VelaGetFrameCount(uint64_t device, int32_t *frames)
{
    return Query("VelaGetFrameCount", Style::Bool, device, frames,
                 [](Camera &c, Lock &, int32_t &v) {
                     if (c.bufferKind == BufferKind::None)
                         return static_cast<int32_t>(VELA_ERR_NOTREADY);
                     v = static_cast<int32_t>(c.frames.size());
                     return static_cast<int32_t>(VELA_OK);
                 });
}

int32_t VelaReleaseAttached(uint64_t device)
{
    return Plain("VelaReleaseAttached", Style::Bool, device,
                 [](Camera &c, Lock &l) { return c.ReleaseBuffers(l, BufferKind::Attached); });
}

int32_t VelaGetDataType(uint64_t device, uint32_t *code)
{
    return Query("VelaGetDataType", Style::Bool, device, code, [](Camera &c, Lock &, uint32_t &v) {
        v = c.DataTypeCode();
        return static_cast<int32_t>(VELA_OK);
    });
}

int32_t VelaGetDataSize(uint64_t device, int32_t *widthHeight)
{
    DeviceCall call("VelaGetDataSize", Style::Bool, device);
    call.Args("device=0x%08X", Hex(device));
    if (call.Injected())
        return call.Return(0);
    if (widthHeight == nullptr)
        return call.Return(VELA_ERR_INVALIDPARAM);
    return call.Return(velasim::WithDevice(device, [widthHeight](Camera &c, Lock &) {
        velasim::Geometry g = c.CurrentGeometry();
        widthHeight[0] = static_cast<int32_t>(g.width);
        widthHeight[1] = static_cast<int32_t>(g.height);
        return static_cast<int32_t>(VELA_OK);
    }));
}

int32_t VelaGetDataRange(uint64_t device, int32_t *value, void *reserved)
{
    (void)reserved;
    return Query("VelaGetDataRange", Style::Bool, device, value, [](Camera &c, Lock &, int32_t &v) {
        v = static_cast<int32_t>(velasim::SampleRange(*c.model, c.CurrentGeometry().pixel));
        return static_cast<int32_t>(VELA_OK);
    });
}

int32_t VelaCaptureStart(uint64_t device, int32_t mode)
{
    DeviceCall call("VelaCaptureStart", Style::Code, device);
    call.Args("device=0x%08X, mode=%d", Hex(device), mode);
    if (call.Injected())
        return call.Return(0);
    const auto [manual, manualWaits] = ManualClock();
    return call.Return(velasim::WithDevice(device, [mode, manual, manualWaits](Camera &c, Lock &l) {
        return c.Start(l, mode, manual, manualWaits);
    }));
}

int32_t VelaStopCapture(uint64_t device)
{
    return Plain("VelaStopCapture", Style::Code, device,
                 [](Camera &c, Lock &l) { return c.Stop(l); });
}

int32_t VelaFireTrigger(uint64_t device, uint32_t option)
{
    DeviceCall call("VelaFireTrigger", Style::Code, device);
    call.Args("device=0x%08X, option=%u", Hex(device), option);
    if (call.Injected())
        return call.Return(0);
    return call.Return(
        velasim::WithDevice(device, [option](Camera &c, Lock &) { return c.FireTrigger(option); }));
}

int32_t VelaGetCaptureStatus(uint64_t device, int32_t *status)
{
    return Query("VelaGetCaptureStatus", Style::Code, device, status,
                 [](Camera &c, Lock &, int32_t &v) {
                     v = c.Status();
                     return static_cast<int32_t>(VELA_OK);
                 });
}

int32_t VelaGetTransferInfo(uint64_t device, VelaTransferRecord *record)
{
    DeviceCall call("VelaGetTransferInfo", Style::Code, device);
    call.Args("device=0x%08X", Hex(device));
    if (call.Injected())
        return call.Return(0);
    if (record == nullptr || record->size != sizeof(VelaTransferRecord))
        return call.Return(VELA_ERR_INVALIDPARAM);
    return call.Return(velasim::WithDevice(device, [record](Camera &c, Lock &) {
        if (c.bufferKind == BufferKind::None)
            return static_cast<int32_t>(VELA_ERR_NOTREADY);
        record->newestIndex = c.newestIndex;
        record->frameCount = static_cast<int32_t>(c.framesCaptured);
        return static_cast<int32_t>(VELA_OK);
    }));
}

int32_t VelaReadTransferInfo(uint64_t device, int32_t *newest, int32_t *count)
{
    DeviceCall call("VelaReadTransferInfo", Style::Bool, device);
    call.Args("device=0x%08X", Hex(device));
    if (call.Injected())
        return call.Return(0);
    if (newest == nullptr || count == nullptr)
        return call.Return(VELA_ERR_INVALIDPARAM);
    return call.Return(velasim::WithDevice(device, [newest, count](Camera &c, Lock &) {
        if (c.bufferKind == BufferKind::None)
            return static_cast<int32_t>(VELA_ERR_NOTREADY);
        *newest = c.newestIndex;
        *count = static_cast<int32_t>(c.framesCaptured);
        return static_cast<int32_t>(VELA_OK);
    }));
}

int32_t VelaWaitStart(uint64_t wait, VelaWaitRecord *record)
{
    // Failures count as the device's own, for VelaGetLastError on its handle.
    const uint64_t device = (wait & ~uint64_t{0x00FFFFFF}) == velasim::kWaitHandleBase
                                ? (wait & 0x00FFFFFF) | velasim::kDeviceHandleBase
                                : 0;
    DeviceCall call("VelaWaitStart", Style::Code, device);
    if (record == nullptr)
        call.Args("wait=0x%08X, record=null", Hex(wait));
    else
        call.Args("wait=0x%08X, mask=0x%08X, timeout=%u", Hex(wait), record->mask,
                  record->timeoutMs);
    if (call.Injected())
        return call.Return(0);
    if (record == nullptr || record->size != sizeof(VelaWaitRecord))
        return call.Return(VELA_ERR_INVALIDPARAM);
    int32_t error = 0;
    std::shared_ptr<Camera> camera = velasim::CameraOfWait(wait, error);
    if (!camera)
        return call.Return(error);
    std::unique_lock lock(camera->mutex);
    if (!camera->open || !camera->waitOpen ||
        velasim::MakeHandle(velasim::kWaitHandleBase, camera->generation, camera->index) != wait)
        return call.Return(VELA_ERR_INVALIDHANDLE);
    uint32_t event = 0;
    int32_t r = camera->Wait(lock, record->mask, record->timeoutMs, event);
    if (r >= 0)
        record->event = event;
    return call.Return(r);
}

int32_t VelaWaitEvent(uint64_t device, uint32_t *event, uint32_t timeoutMs, void *reserved)
{
    (void)reserved;
    DeviceCall call("VelaWaitEvent", Style::Bool, device);
    call.Args("device=0x%08X, mask=0x%08X, timeout=%u", Hex(device), event ? *event : 0u,
              timeoutMs);
    if (call.Injected())
        return call.Return(0);
    if (event == nullptr)
        return call.Return(VELA_ERR_INVALIDPARAM);
    return call.Return(velasim::WithDevice(device, [event, timeoutMs](Camera &c, Lock &l) {
        // The older call passes 0 for "a frame".
        uint32_t mask = *event == 0 ? static_cast<uint32_t>(VELA_EVENT_FRAMEREADY) : *event;
        uint32_t happened = 0;
        int32_t r = c.Wait(l, mask, timeoutMs, happened);
        if (r >= 0)
            *event = happened;
        return r;
    }));
}

int32_t VelaLockFrame(uint64_t device, VelaFrameRecord *record)
{
    DeviceCall call("VelaLockFrame", Style::Code, device);
    if (record == nullptr)
        call.Args("device=0x%08X, record=null", Hex(device));
    else
        call.Args("device=0x%08X, index=%d, option=%u", Hex(device), record->index, record->option);
    if (call.Injected())
        return call.Return(0);
    if (record == nullptr || record->size != sizeof(VelaFrameRecord))
        return call.Return(VELA_ERR_INVALIDPARAM);
    return call.Return(velasim::WithDevice(device, [record](Camera &c, Lock &) {
        VelaFrameRecord answer = *record;
        int32_t r = c.Lock(record->index, answer);
        if (r >= 0)
            *record = answer;
        return r;
    }));
}

int32_t VelaLockData(uint64_t device, void **address, int32_t *rowBytes, int32_t frame)
{
    DeviceCall call("VelaLockData", Style::Bool, device);
    call.Args("device=0x%08X, frame=%d", Hex(device), frame);
    if (call.Injected())
        return call.Return(0);
    if (address == nullptr || rowBytes == nullptr)
        return call.Return(VELA_ERR_INVALIDPARAM);
    return call.Return(velasim::WithDevice(device, [=](Camera &c, Lock &) {
        // -1 asks for the newest frame.
        int32_t index = frame == -1 ? c.newestIndex : frame;
        if (frame == -1 && index < 0)
            return static_cast<int32_t>(VELA_ERR_NOTREADY);
        VelaFrameRecord record{};
        int32_t r = c.Lock(index, record);
        if (r >= 0) {
            *address = record.address;
            *rowBytes = record.rowBytes;
        }
        return r;
    }));
}

int32_t VelaCommitReference(uint64_t device)
{
    return Plain("VelaCommitReference", Style::Code, device,
                 [](Camera &c, Lock &) { return c.CommitReference(); });
}

int32_t VelaFinishReference(uint64_t device)
{
    return Plain("VelaFinishReference", Style::Code, device,
                 [](Camera &c, Lock &) { return c.FinishReference(); });
}
