// The one lock of the library. Every export that reaches the slot table or a camera holds it
// for its whole run; a wait lets go of it only while it blocks in the device, so that a stop,
// close, unprepare or de-initialisation from another thread can end the wait. After such a
// pause the camera may be gone: CameraStillOpen says so before anything of it is touched.
#pragma once

#include <cstdint>
#include <utility>

#include "core/library_state.h"

namespace qxcm {

// Holds the lock for its scope; nested holders on the same thread share the first one's hold.
class CallLock {
  public:
    CallLock();
    ~CallLock();
    CallLock(const CallLock &) = delete;
    CallLock &operator=(const CallLock &) = delete;

  private:
    bool taken_;
};

// Lets go of the lock for its scope when this thread holds it, and takes it back at the end.
class CallLockPause {
  public:
    CallLockPause();
    ~CallLockPause();
    CallLockPause(const CallLockPause &) = delete;
    CallLockPause &operator=(const CallLockPause &) = delete;

  private:
    bool paused_;
};

// At process exit the lock is taken when it can be within a short while: a thread that ended
// while holding it (Windows ends the other threads first) must not hang the exit.
bool TryCallLockAtExit();
void ReleaseCallLockAtExit();

// True while `c` is still the context of the camera opened as `serial`: its slot table was not
// rebuilt, its slot is open and was not opened again. Only the address is compared until the
// slot is known to exist.
bool CameraStillOpen(const CameraContext *c, uint64_t serial);

// Runs `blocking` (a device call that may wait long) without the lock. Its result lands in
// `result`; the answer is false when the camera was closed or the library de-initialised
// meanwhile, and `c` must then not be touched.
template <typename Blocking>
bool WithoutCallLock(const CameraContext &c, int32_t &result, Blocking &&blocking)
{
    const CameraContext *before = &c;
    const uint64_t serial = c.openSerial;
    {
        CallLockPause pause;
        result = std::forward<Blocking>(blocking)();
    }
    return CameraStillOpen(before, serial);
}

} // namespace qxcm
