// Initialisation, opening and closing of devices and their wait objects, information texts,
// capabilities and the latest-error query.
#include <stdio.h>
#include <string.h>

#include "device_call.h"
#include "sim_state.h"
#include "text_copy.h"
#include "vela_api.h"

using velasim::Camera;
using velasim::DeviceCall;
using velasim::State;
using velasim::Style;

namespace {

uint32_t Hex(uint64_t handle)
{
    return static_cast<uint32_t>(handle);
}

int32_t Init(VelaInitRecord *record)
{
    if (record == nullptr || record->size != sizeof(VelaInitRecord))
        return VELA_ERR_INVALIDPARAM;
    if (record->optionBytes % 4 != 0 || (record->optionBytes != 0 && record->options == nullptr))
        return VELA_ERR_INVALIDPARAM;
    auto &s = State();
    std::lock_guard lock(s.mutex);
    int32_t r = velasim::EnsureCameraSetLocked();
    if (r < 0)
        return r;
    // A second initialisation starts over: devices left open by the earlier one are closed.
    velasim::ShutDownLocked();
    s.initialised = true;
    record->cameraCount = static_cast<int32_t>(s.cameras.size());
    return VELA_OK;
}

int32_t Open(VelaOpenRecord *record)
{
    if (record == nullptr || record->size != sizeof(VelaOpenRecord))
        return VELA_ERR_INVALIDPARAM;
    std::shared_ptr<Camera> camera;
    {
        auto &s = State();
        std::lock_guard lock(s.mutex);
        if (!s.initialised)
            return VELA_ERR_NOTREADY;
        if (record->index >= s.cameras.size())
            return VELA_ERR_INVALIDCAMERA;
        camera = s.cameras[record->index];
    }
    std::lock_guard lock(camera->mutex);
    if (camera->open)
        return VELA_ERR_BUSY; // one host per camera
    camera->open = true;
    ++camera->generation;
    record->device =
        velasim::MakeHandle(velasim::kDeviceHandleBase, camera->generation, camera->index);
    return VELA_OK;
}

// Text of an information id; the model's own texts first, then a few the device always knows.
int32_t InfoText(const Camera &camera, uint32_t id, std::string &text)
{
    for (const auto &[infoId, value] : camera.model->infos) {
        if (infoId == id) {
            text = value;
            return VELA_OK;
        }
    }
    if (id == 0x04000103) { // camera id
        text = "SIM-" + std::to_string(camera.index);
        return VELA_OK;
    }
    return VELA_ERR_INVALIDPARAM;
}

} // namespace

int32_t VelaInit(VelaInitRecord *record)
{
    DeviceCall call("VelaInit", Style::Code, 0);
    if (record == nullptr)
        call.Args("record=null");
    else
        call.Args("size=%u, optionBytes=%u", record->size, record->optionBytes);
    return call.Return(call.Injected() ? 0 : Init(record));
}

int32_t VelaUninit(void)
{
    DeviceCall call("VelaUninit", Style::Code, 0);
    // A process that is ending has nothing left to release, and its vanished threads may still
    // hold the cameras' locks.
    if (!call.Injected() && !velasim::ProcessEnding()) {
        auto &s = State();
        std::lock_guard lock(s.mutex);
        velasim::ShutDownLocked();
    }
    return call.Return(VELA_OK);
}

int32_t VelaOpen(VelaOpenRecord *record)
{
    DeviceCall call("VelaOpen", Style::Code, 0);
    if (record == nullptr)
        call.Args("record=null");
    else
        call.Args("size=%u, index=%u", record->size, record->index);
    return call.Return(call.Injected() ? 0 : Open(record));
}

int32_t VelaClose(uint64_t device)
{
    DeviceCall call("VelaClose", Style::Code, device);
    call.Args("device=0x%08X", Hex(device));
    if (call.Injected())
        return call.Return(0);
    return call.Return(velasim::WithDevice(device, [](Camera &c, std::unique_lock<std::mutex> &l) {
        c.Shut(l);
        return VELA_OK;
    }));
}

int32_t VelaOpenWait(VelaWaitOpenRecord *record)
{
    DeviceCall call("VelaOpenWait", Style::Code, record ? record->device : 0);
    if (record == nullptr)
        call.Args("record=null");
    else
        call.Args("size=%u, device=0x%08X", record->size, Hex(record->device));
    if (call.Injected())
        return call.Return(0);
    if (record == nullptr || record->size != sizeof(VelaWaitOpenRecord))
        return call.Return(VELA_ERR_INVALIDPARAM);
    return call.Return(
        velasim::WithDevice(record->device, [record](Camera &c, std::unique_lock<std::mutex> &) {
            c.waitOpen = true;
            record->wait = velasim::MakeHandle(velasim::kWaitHandleBase, c.generation, c.index);
            return VELA_OK;
        }));
}

int32_t VelaGetString(uint64_t device, VelaStringRecord *record)
{
    DeviceCall call("VelaGetString", Style::Code, device, record ? record->id : 0);
    if (record == nullptr)
        call.Args("device=0x%08X, record=null", Hex(device));
    else
        call.Args("device=0x%08X, id=0x%08X, capacity=%d", Hex(device), record->id,
                  record->capacity);
    if (call.Injected())
        return call.Return(0);
    if (record == nullptr || record->size != sizeof(VelaStringRecord) || record->text == nullptr ||
        record->capacity <= 0)
        return call.Return(VELA_ERR_INVALIDPARAM);
    return call.Return(
        velasim::WithDevice(device, [record](Camera &c, std::unique_lock<std::mutex> &) {
            std::string text;
            int32_t r = InfoText(c, record->id, text);
            if (r >= 0)
                velasim::CopyText(text, record->text, record->capacity);
            return r;
        }));
}

int32_t VelaQueryCapability(uint64_t device, void *record)
{
    DeviceCall call("VelaQueryCapability", Style::Code, device);
    uint32_t size = 0;
    if (record != nullptr)
        memcpy(&size, record, sizeof size);
    call.Args("device=0x%08X, size=%u", Hex(device), size);
    if (call.Injected())
        return call.Return(0);
    if (record == nullptr ||
        (size != sizeof(VelaCapabilityNote) && size != sizeof(VelaCapabilityRecord)))
        return call.Return(VELA_ERR_INVALIDPARAM);
    return call.Return(
        velasim::WithDevice(device, [record, size](Camera &c, std::unique_lock<std::mutex> &) {
            if (size == sizeof(VelaCapabilityNote))
                return static_cast<int32_t>(VELA_OK); // the device only takes note
            auto *caps = static_cast<VelaCapabilityRecord *>(record);
            if (caps->group != 1)
                return static_cast<int32_t>(VELA_ERR_NOTSUPPORT);
            caps->bits = c.model->queryCapabilities;
            return static_cast<int32_t>(VELA_OK);
        }));
}

int32_t VelaGetModelInfo(int32_t index, uint32_t id, char *text, int32_t capacity)
{
    DeviceCall call("VelaGetModelInfo", Style::Bool, 0, id);
    call.Args("index=%d, id=0x%08X, capacity=%d", index, id, capacity);
    if (call.Injected())
        return call.Return(0);
    if (text == nullptr || capacity <= 0)
        return call.Return(VELA_ERR_INVALIDPARAM);
    std::shared_ptr<Camera> camera;
    {
        auto &s = State();
        std::lock_guard lock(s.mutex);
        if (!s.initialised)
            return call.Return(VELA_ERR_NOTREADY);
        if (index < 0 || static_cast<size_t>(index) >= s.cameras.size())
            return call.Return(VELA_ERR_INVALIDCAMERA);
        camera = s.cameras[static_cast<size_t>(index)];
    }
    std::lock_guard lock(camera->mutex);
    std::string value;
    int32_t r = InfoText(*camera, id, value);
    if (r >= 0)
        velasim::CopyText(value, text, capacity);
    return call.Return(r);
}

int32_t VelaGetLastError(uint64_t device, char *text, int32_t capacity)
{
    DeviceCall call("VelaGetLastError", Style::Code, device);
    call.Args("device=0x%08X", Hex(device));
    if (call.Injected())
        return call.Return(0);
    int32_t code = velasim::LatestFailure(device);
    if (text != nullptr && capacity > 0) {
        char buffer[32];
        snprintf(buffer, sizeof buffer, "0x%08X", static_cast<uint32_t>(code));
        velasim::CopyText(buffer, text, capacity);
    }
    return call.Return(code);
}
