// Process-wide state of the simulated device library: the camera set, one Camera per camera of
// the set, whether the library is initialised, and the clock mode. Handles are fixed per camera
// index so that journal lines are the same from run to run.
#pragma once

#include <stdint.h>

#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "camera_set.h"
#include "sim_camera.h"

namespace velasim {

// Handles: base | (open generation & 0xFFFF) << 8 | camera index, so a handle of an earlier
// open of the same camera is refused instead of reaching the new one.
constexpr uint64_t kDeviceHandleBase = 0x0D000000;
constexpr uint64_t kWaitHandleBase = 0x0E000000;

inline uint64_t MakeHandle(uint64_t base, uint32_t generation, int32_t index)
{
    return base | (uint64_t{generation & 0xFFFFu} << 8) | static_cast<uint64_t>(index & 0xFF);
}

struct SimState {
    std::mutex mutex;       // taken before any camera's mutex, never after
    bool setLoaded = false; // false until first use: VELASIM_CAMERAS is read then
    CameraSet set;
    std::vector<std::shared_ptr<Camera>> cameras;
    bool initialised = false;
    bool manualClock = false;
    bool manualWaits = false; // waits of a manual-clock capture run out at once
};

// Never destroyed: the host library's process-exit teardown still calls into the device.
SimState &State();

// Loads the camera set if nothing has loaded one since the last reset (the file that
// VELASIM_CAMERAS names, else the compiled-in set). Caller holds State().mutex.
int32_t EnsureCameraSetLocked();

// Replaces the set (cameras start from their defaults), with `first` before the cameras of
// the text when given; closes every open device first. Caller holds State().mutex.
int32_t LoadCameraSetLocked(const std::string &text,
                            std::shared_ptr<const CameraModel> first = nullptr);

// Closes every open device and forgets the initialisation. Caller holds State().mutex.
void ShutDownLocked();

// The camera a device or wait handle names, or null with the code to report. The caller checks
// under the camera's lock that the handle belongs to its current open.
std::shared_ptr<Camera> CameraOfDevice(uint64_t device, int32_t &error);
std::shared_ptr<Camera> CameraOfWait(uint64_t wait, int32_t &error);

// The camera at an index of the current set (loading the set first), or null.
std::shared_ptr<Camera> CameraAt(int32_t index);

// True once the process is ending on Windows: its other threads are already gone, possibly in
// the middle of holding a camera's lock, when the host library's exit handlers close the device.
bool ProcessEnding();

// Lets a thread whose loop has ended finish on its own, without waiting for it: the caller may
// hold the loader lock (a host library being unloaded) that a thread's end on Windows needs.
void LetThreadGo(std::thread &thread);

// Runs work(camera, lock) on the open device behind `device` with its lock held. While the
// process ends, a lock that a vanished thread still holds is not waited for: nothing is done.
template <typename Work> int32_t WithDevice(uint64_t device, Work &&work)
{
    int32_t error = 0;
    std::shared_ptr<Camera> camera = CameraOfDevice(device, error);
    if (!camera)
        return error;
    std::unique_lock lock(camera->mutex, std::defer_lock);
    if (!ProcessEnding())
        lock.lock();
    else if (!lock.try_lock())
        return 1;
    if (!camera->open || MakeHandle(kDeviceHandleBase, camera->generation, camera->index) != device)
        return VELA_ERR_INVALIDHANDLE;
    return work(*camera, lock);
}

} // namespace velasim
