// The slot table and the teardown at process exit.
#include "core/library_state.h"

#include <cstdlib>

#include "core/call_lock.h"
#include "core/device.h"

namespace qxcm {

LibraryState &State()
{
    // Never destroyed: the teardown at exit still needs it, whatever the order of destructors.
    static LibraryState *state = new LibraryState();
    return *state;
}

bool IsCameraOpen(uint32_t index)
{
    const LibraryState &s = State();
    if (index >= s.cameraCount || index >= s.openFlagBits)
        return false;
    return (s.openFlags[index / 32] >> (index % 32)) & 1u;
}

void SetCameraOpen(uint32_t index, bool open)
{
    LibraryState &s = State();
    if (index >= s.cameraCount || index >= s.openFlagBits)
        return;
    uint32_t bit = 1u << (index % 32);
    if (open)
        s.openFlags[index / 32] |= bit;
    else
        s.openFlags[index / 32] &= ~bit;
}

bool AnyCameraOpen()
{
    for (uint32_t i = 0; i < State().cameraCount; ++i)
        if (IsCameraOpen(i))
            return true;
    return false;
}

static void DestroyContexts(LibraryState &s)
{
    if (!s.contexts)
        return;
    for (uint32_t i = 0; i < s.cameraCount; ++i)
        free(s.contexts[i].frameElectronInfo);
    free(s.contexts);
    s.contexts = nullptr;
}

bool ResizeCameraSlots(uint32_t n)
{
    LibraryState &s = State();
    DestroyContexts(s);
    s.openFlags.clear();
    s.openFlagBits = 0;
    s.cameraCount = 0;
    if (n == 0)
        return true;
    // calloc both checks the size for overflow and gives the all-zero contexts the slots need.
    auto *contexts = static_cast<CameraContext *>(calloc(n, sizeof(CameraContext)));
    if (!contexts)
        return false;
    s.contexts = contexts;
    s.openFlags.assign((n + 31) / 32, 0u);
    s.openFlagBits = n;
    s.cameraCount = n;
    return true;
}

void CloseDevice(CameraContext &c)
{
    int32_t status = 0;
    if (Device().VelaGetCaptureStatus(c.deviceHandle, &status) >= 0) {
        if (status == VELA_STATUS_BUSY) {
            Device().VelaStopCapture(c.deviceHandle);
            Device().VelaReleaseBuffers(c.deviceHandle, 0);
        } else if (status == VELA_STATUS_READY) {
            Device().VelaReleaseBuffers(c.deviceHandle, 0);
        }
    }
    Device().VelaClose(c.deviceHandle);
    free(c.frameElectronInfo);
    c.frameElectronInfo = nullptr;
    c.bufferState = 0;
    c.bufferFrameCount = 0;
    c.framesTaken = 0;
    c.timeOriginSet = 0;
}

void StopAndCloseDevice(CameraContext &c)
{
    c.lastResult = Device().VelaStopCapture(c.deviceHandle);
    CloseDevice(c);
}

bool CloseEveryOpenCamera()
{
    LibraryState &s = State();
    bool closedAny = false;
    for (uint32_t i = 0; i < s.cameraCount; ++i) {
        if (!IsCameraOpen(i))
            continue;
        StopAndCloseDevice(s.contexts[i]);
        SetCameraOpen(i, false);
        closedAny = true;
    }
    return closedAny;
}

void ShutdownLibrary()
{
    // A wait of another thread that is still running finds its camera gone once it has the
    // lock back.
    bool locked = TryCallLockAtExit();
    LibraryState &s = State();
    bool closedAny = CloseEveryOpenCamera();
    DestroyContexts(s);
    s.cameraCount = 0;
    if (closedAny)
        Device().VelaUninit();
    for (SequenceFileSlot &slot : s.fileSlots)
        slot.stamps = {};
    s.openFlags = {};
    s.openFlagBits = 0;
    if (locked)
        ReleaseCallLockAtExit();
}

namespace {

// Load-time initialisation: the state starts empty and the teardown is registered for exit.
struct LoadTimeInit {
    LoadTimeInit()
    {
        State();
        std::atexit(ShutdownLibrary);
    }
} gLoadTimeInit;

} // namespace

} // namespace qxcm
