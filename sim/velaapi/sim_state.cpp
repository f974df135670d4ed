// Camera-set loading and the process-wide state; the environment variable is read only when a
// set is first needed, so a test can set it before the first VelaInit.
#include "sim_state.h"

#include <stdio.h>
#include <stdlib.h>

#include <fstream>
#include <sstream>

#include "replay_source.h"
#include "vela_api.h"

#ifdef _WIN32
#include <pthread.h>
#include <windows.h>

#include <array>
#include <mutex>
#endif

namespace velasim {

SimState &State()
{
    static SimState *state = new SimState;
    return *state;
}

int32_t LoadCameraSetLocked(const std::string &text, std::shared_ptr<const CameraModel> first)
{
    CameraSet parsed;
    std::string error;
    int32_t r = ParseCameraSet(text, parsed, error);
    if (r < 0) {
        fprintf(stderr, "velasim: camera set refused: %s\n", error.c_str());
        return r;
    }
    if (first)
        parsed.insert(parsed.begin(), std::move(first));
    SimState &s = State();
    ShutDownLocked();
    s.set = std::move(parsed);
    s.cameras.clear();
    FrameLoss loss;
    if (const char *plan = getenv("VELASIM_FRAME_LOSS");
        plan != nullptr && *plan != '\0' && loss.SetFromText(plan) < 0)
        fprintf(stderr, "velasim: VELASIM_FRAME_LOSS refused: %s\n", plan);
    for (size_t k = 0; k < s.set.size(); ++k) {
        s.cameras.push_back(std::make_shared<Camera>(static_cast<int32_t>(k), s.set[k]));
        s.cameras.back()->loss = loss;
        s.cameras.back()->backPressure = s.set[k]->backPressure;
    }
    s.setLoaded = true;
    return static_cast<int32_t>(s.set.size());
}

int32_t EnsureCameraSetLocked()
{
    SimState &s = State();
    if (s.setLoaded)
        return VELA_OK;
    // A recording to replay becomes camera 0, before the cameras of the set.
    std::shared_ptr<const CameraModel> replay;
    const char *replayPath = getenv("VELASIM_REPLAY");
    if (replayPath != nullptr && *replayPath != '\0') {
        std::shared_ptr<const ReplayFile> file;
        std::string why;
        if (int32_t r = ReplayFile::Open(replayPath, 1, file, why); r < 0) {
            fprintf(stderr, "velasim: VELASIM_REPLAY file %s: %s\n", replayPath, why.c_str());
            return r;
        }
        replay = ReplayCameraModel(std::move(file));
        if (!replay)
            return VELA_ERR_INVALIDPARAM;
    }
    const char *path = getenv("VELASIM_CAMERAS");
    if (path == nullptr || *path == '\0')
        return LoadCameraSetLocked(DefaultCameraSetText(), replay) < 0 ? VELA_ERR_INVALIDPARAM
                                                                       : VELA_OK;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        fprintf(stderr, "velasim: cannot read the VELASIM_CAMERAS file %s\n", path);
        return VELA_ERR_FAILEDOPENFILE;
    }
    std::ostringstream text;
    text << in.rdbuf();
    int32_t r = LoadCameraSetLocked(text.str(), replay);
    return r < 0 ? r : VELA_OK;
}

void ShutDownLocked()
{
    SimState &s = State();
    for (const std::shared_ptr<Camera> &camera : s.cameras) {
        std::unique_lock lock(camera->mutex);
        camera->Shut(lock);
    }
    s.initialised = false;
}

namespace {

std::shared_ptr<Camera> CameraOfHandle(uint64_t handle, uint64_t base, int32_t &error)
{
    SimState &s = State();
    std::lock_guard lock(s.mutex);
    error = VELA_ERR_INVALIDHANDLE;
    const uint64_t index = handle & 0xFF;
    if (!s.initialised || (handle & ~uint64_t{0x00FFFFFF}) != base || index >= s.cameras.size())
        return nullptr;
    return s.cameras[static_cast<size_t>(index)];
}

} // namespace

std::shared_ptr<Camera> CameraOfDevice(uint64_t device, int32_t &error)
{
    return CameraOfHandle(device, kDeviceHandleBase, error);
}

std::shared_ptr<Camera> CameraOfWait(uint64_t wait, int32_t &error)
{
    return CameraOfHandle(wait, kWaitHandleBase, error);
}

std::shared_ptr<Camera> CameraAt(int32_t index)
{
    SimState &s = State();
    std::lock_guard lock(s.mutex);
    if (EnsureCameraSetLocked() < 0 || index < 0 || static_cast<size_t>(index) >= s.cameras.size())
        return nullptr;
    return s.cameras[static_cast<size_t>(index)];
}

} // namespace velasim

namespace velasim {
namespace {
bool gProcessEnding = false;
} // namespace

bool ProcessEnding()
{
    return gProcessEnding;
}

#ifdef _WIN32
namespace {

// Threads let go that may still be on their way out, until they are gone and joined. Never
// destroyed: a joinable thread object destroyed at process end would end the process. Far more
// room than a process has device threads ending at once.
struct ParkedThreads {
    std::mutex mutex;
    std::array<std::thread, 64> threads;
};

ParkedThreads &Parked()
{
    static ParkedThreads *parked = new ParkedThreads;
    return *parked;
}

// Gone for good, past its thread-detach callbacks, so that a join waits for nothing.
bool Gone(std::thread &thread)
{
    HANDLE handle = pthread_gethandle(thread.native_handle());
    return handle != nullptr && WaitForSingleObject(handle, 0) == WAIT_OBJECT_0;
}

} // namespace

// The threads library's detach hands a thread's record back for reuse as soon as the thread has
// run its function, yet the thread's own end (its thread-detach callback) still writes to that
// record: a thread started meanwhile is given the same record and starts with it overwritten,
// or crashes. A thread let go is kept here instead and joined once gone; that join waits for
// nothing, so it never waits for the loader lock that an unloading host holds. While the process
// ends nothing is joined: the other threads are gone, perhaps holding that library's own lock.
void LetThreadGo(std::thread &thread)
{
    if (!thread.joinable())
        return;
    ParkedThreads &parked = Parked();
    std::lock_guard lock(parked.mutex);
    const bool joinGone = !ProcessEnding();
    std::thread *room = nullptr;
    for (std::thread &t : parked.threads) {
        if (joinGone && t.joinable() && Gone(t))
            t.join();
        if (!t.joinable() && room == nullptr)
            room = &t;
    }
    if (room == nullptr) { // never seen: the first is waited for rather than lost
        room = &parked.threads[0];
        room->join();
    }
    *room = std::move(thread);
}
#else
void LetThreadGo(std::thread &thread)
{
    if (thread.joinable())
        thread.detach();
}
#endif
} // namespace velasim

#ifdef _WIN32
// Windows ends every other thread of a process before it lets its libraries go, and lets this
// library go before the host library that loaded it; that one's exit handlers then still close
// the devices here.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_DETACH && reserved != nullptr)
        velasim::gProcessEnding = true;
    return TRUE;
}
#endif
