// The library's one lock and the test a wait makes after it blocked without it.
#include "core/call_lock.h"

#include <chrono>
#include <functional>
#include <mutex>
#include <thread>

namespace qxcm {
namespace {

std::mutex &Mutex()
{
    // Never destroyed: exports still run while static objects are torn down at exit.
    static std::mutex *mutex = new std::mutex;
    return *mutex;
}

// How many CallLock holders this thread has open; the lock is held while it is above 0 and no
// pause is open.
thread_local int tHolders = 0;
thread_local bool tPaused = false;

} // namespace

CallLock::CallLock() : taken_(tHolders == 0)
{
    if (taken_)
        Mutex().lock();
    ++tHolders;
}

CallLock::~CallLock()
{
    --tHolders;
    if (taken_)
        Mutex().unlock();
}

CallLockPause::CallLockPause() : paused_(tHolders > 0 && !tPaused)
{
    if (paused_) {
        tPaused = true;
        Mutex().unlock();
    }
}

CallLockPause::~CallLockPause()
{
    if (paused_) {
        Mutex().lock();
        tPaused = false;
    }
}

bool TryCallLockAtExit()
{
    if (tHolders > 0)
        return false; // this thread holds it already (exit called from inside a call)
    // Tried in steps rather than with a timed lock, which not every sanitizer follows.
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (Mutex().try_lock())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

void ReleaseCallLockAtExit()
{
    Mutex().unlock();
}

bool CameraStillOpen(const CameraContext *c, uint64_t serial)
{
    const LibraryState &s = State();
    std::less_equal<const CameraContext *> notAfter;
    if (!s.contexts || s.cameraCount == 0 || !notAfter(s.contexts, c) ||
        !notAfter(c, s.contexts + (s.cameraCount - 1)))
        return false;
    auto index = static_cast<uint32_t>(c - s.contexts);
    return IsCameraOpen(index) && c->openSerial == serial;
}

} // namespace qxcm
