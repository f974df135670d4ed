// The VelaSim_* control surface: test hooks over the same state the device operations use.
// None of these calls is journaled or subject to fault injection.
#include "vela_sim.h"

#include <string.h>

#include <string>

#include "device_call.h"
#include "recorder.h"
#include "sim_state.h"
#include "vela_api.h"
#include "vela_sim_internal.h"

using velasim::State;

void VelaSim_Reset(void)
{
    velasim::CloseAllRecorders();
    velasim::SetRecorderWriteDelay(0);
    {
        auto &s = State();
        std::lock_guard lock(s.mutex);
        velasim::ShutDownLocked();
        s.set.clear();
        s.cameras.clear();
        s.setLoaded = false;
        s.manualClock = false;
        s.manualWaits = false;
    }
    velasim::ClearFaults();
    velasim::ClearFailures();
    velasim::JournalEnable(true);
    velasim::JournalClear();
}

int32_t VelaSim_LoadCameraSet(const char *text)
{
    if (text == nullptr)
        return VELA_ERR_INVALIDPARAM;
    auto &s = State();
    std::lock_guard lock(s.mutex);
    return velasim::LoadCameraSetLocked(text);
}

int32_t VelaSim_SetProperty(int32_t camera, uint32_t id, double value)
{
    std::shared_ptr<velasim::Camera> c = velasim::CameraAt(camera);
    if (!c)
        return VELA_ERR_INVALIDCAMERA;
    std::lock_guard lock(c->mutex);
    return c->SetValue(id, value, false);
}

int32_t VelaSim_GetProperty(int32_t camera, uint32_t id, double *value)
{
    if (value == nullptr)
        return VELA_ERR_INVALIDPARAM;
    std::shared_ptr<velasim::Camera> c = velasim::CameraAt(camera);
    if (!c)
        return VELA_ERR_INVALIDCAMERA;
    std::lock_guard lock(c->mutex);
    return c->GetValue(id, *value);
}

void VelaSim_FailCall(const char *op, uint32_t propertyId, int32_t nth, int32_t code,
                      int32_t sticky)
{
    velasim::ArmFault(op, propertyId, nth, code, sticky != 0);
}

void VelaSim_ClearFaults(void)
{
    velasim::ClearFaults();
}

void VelaSim_SetManualClock(int32_t on)
{
    auto &s = State();
    std::lock_guard lock(s.mutex);
    s.manualClock = on != 0;
    s.manualWaits = on == 2;
}

void VelaSim_DeliverAfter(const char *op, int32_t nth, int32_t camera, int32_t count)
{
    if (op != nullptr)
        velasim::ArmFramesAfter(op, nth, camera, count);
}

int32_t VelaSim_DeliverFrames(int32_t camera, int32_t count)
{
    std::shared_ptr<velasim::Camera> c = velasim::CameraAt(camera);
    if (!c)
        return VELA_ERR_INVALIDCAMERA;
    std::unique_lock lock(c->mutex);
    return c->Deliver(lock, count);
}

int32_t VelaSim_JournalCount(void)
{
    return velasim::JournalCount();
}

int32_t VelaSim_JournalLine(int32_t index, char *text, int32_t capacity)
{
    std::string line;
    if (!velasim::JournalLine(index, line))
        return -1;
    if (text != nullptr && capacity > 0) {
        size_t n = line.size() < static_cast<size_t>(capacity - 1)
                       ? line.size()
                       : static_cast<size_t>(capacity - 1);
        memcpy(text, line.data(), n);
        text[n] = '\0';
    }
    return static_cast<int32_t>(line.size());
}

void VelaSim_JournalClear(void)
{
    velasim::JournalClear();
}

void VelaSim_JournalEnable(int32_t on)
{
    velasim::JournalEnable(on != 0);
}

int32_t VelaSim_SetFrameLoss(int32_t camera, double rate, uint64_t seed)
{
    std::shared_ptr<velasim::Camera> c = velasim::CameraAt(camera);
    if (!c)
        return VELA_ERR_INVALIDCAMERA;
    std::lock_guard lock(c->mutex);
    return c->loss.SetRate(rate, seed);
}

int32_t VelaSim_SetLostFrames(int32_t camera, const int64_t *numbers, int32_t count)
{
    std::shared_ptr<velasim::Camera> c = velasim::CameraAt(camera);
    if (!c)
        return VELA_ERR_INVALIDCAMERA;
    std::lock_guard lock(c->mutex);
    return c->loss.SetList(numbers, count);
}

int32_t VelaSim_FrameLost(int32_t camera, int64_t number)
{
    std::shared_ptr<velasim::Camera> c = velasim::CameraAt(camera);
    if (!c)
        return VELA_ERR_INVALIDCAMERA;
    std::lock_guard lock(c->mutex);
    return number >= 0 && c->loss.Lost(static_cast<uint64_t>(number)) ? 1 : 0;
}

int32_t VelaSim_SetBackPressure(int32_t camera, int32_t on)
{
    std::shared_ptr<velasim::Camera> c = velasim::CameraAt(camera);
    if (!c)
        return VELA_ERR_INVALIDCAMERA;
    std::lock_guard lock(c->mutex);
    c->backPressure = on != 0;
    return VELA_OK;
}

int32_t VelaSim_SetRecorderDelay(int32_t microseconds)
{
    return velasim::SetRecorderWriteDelay(microseconds);
}
