// A second thread that stops, unprepares, closes or de-initialises at a random moment while the
// first waits for frames and copies them, in both families: the first thread always comes out,
// with a failure code of its own wait or copy, and nothing it touches is freed under it (the
// sanitizer builds run these).
#include <algorithm>
#include <atomic>
#include <chrono>
#include <random>
#include <thread>
#include <vector>

#include "support/qx_test.h"
#include "velaapi/vela_sim.h"

using qxtest::LibraryTest;

namespace {

constexpr uint32_t kWaitMs = 50;
constexpr int kTrials = 12;

class Threads : public LibraryTest {};

enum class Family { Current, Older };

struct Case {
    const char *name;
    Family family;
    void (*teardown)(uint32_t camera);
    std::vector<int32_t> codes; // what the first thread's last call may fail with
};

// Starts a free-running sequence capture of a small area at a short exposure.
void StartCapture(Family family, uint32_t i)
{
    int32_t e = 0;
    ASSERT_EQ(QXCM_OPENCAMERA_40(i, 1, &e), 1) << e;
    ASSERT_EQ(QXCM_SETAREA_40(i, 0, 0, 64, 64, &e), 1) << e;
    ASSERT_EQ(QXCM_SETPARAMETER_40(i, 7, 0.0001, 0, &e), 1) << e;
    uint32_t w = 0, h = 0, type = 0;
    if (family == Family::Current) {
        ASSERT_EQ(QXCM_PREPARECAPTURE_40(i, 1, 5, &w, &h, &type, &e), 1) << e;
        ASSERT_EQ(QXCM_STARTCAPTURE_40(i, &e), 1) << e;
    } else {
        ASSERT_EQ(QXCM_STARTCAPTURE(i, 1, 3, &type, &e), 1) << e;
    }
}

// Waits and copies until a call fails for another reason than a replaced frame, or than a time
// limit before the teardown; answers that failure's code.
int32_t WaitAndCopy(Family family, uint32_t i, const std::atomic<bool> &tornDown)
{
    std::vector<uint8_t> frame(1 << 20);
    for (;;) {
        int32_t e = 0, index = 0, count = 0;
        double stamp = 0.0;
        bool ok = family == Family::Current
                      ? QXCM_WAITNEXTFRAME_40(i, kWaitMs, &index, &count, &e) == 1 &&
                            QXCM_GETFRAME_40(i, static_cast<uint32_t>(index), frame.data(), &stamp,
                                             0, &e) == 1
                      : QXCM_GETNEXTFRAME_A(i, frame.data(), kWaitMs, &e) == 1;
        if (ok || e == QXERR_LOSTFRAME || (e == QXERR_TIMEOUT && !tornDown))
            continue;
        return e;
    }
}

TEST_F(Threads, ASecondThreadEndsWaitsAndCopiesAtAnyMoment)
{
    // A copy that runs right after the stop may find its buffer frame no longer ready: the
    // device's answer, not a fault of the library.
    const int32_t notReady = static_cast<int32_t>(0x80000103);
    // clang-format off
    const Case cases[] = {
        {"stop", Family::Current, [](uint32_t i) { QXCM_STOPCAPTURE_40(i, nullptr); }, {QXERR_ABORT, QXERR_TIMEOUT, notReady}},
        {"stop, unprepare", Family::Current,
         [](uint32_t i) { QXCM_STOPCAPTURE_40(i, nullptr); QXCM_UNPREPARECAPTURE_40(i, nullptr); },
         {QXERR_ABORT, QXERR_TIMEOUT, notReady}},
        {"close", Family::Current, [](uint32_t i) { QXCM_CLOSECAMERA_40(i, nullptr); }, {QXERR_ABORT, QXERR_INVALIDHANDLE}},
        {"de-initialise", Family::Current, [](uint32_t) { QXCM_DEINITIALIZE_40(1); }, {QXERR_ABORT, QXERR_INVALIDHANDLE}},
        {"older stop", Family::Older, [](uint32_t i) { QXCM_STOPCAPTURE(i, nullptr); }, {QXERR_ABORT, QXERR_TIMEOUT, notReady}},
        {"older close", Family::Older, [](uint32_t i) { QXCM_CLOSECAMERA(i, nullptr); }, {QXERR_ABORT, QXERR_INVALIDHANDLE}},
        {"older de-initialise", Family::Older, [](uint32_t) { QXCM_DEINITIALIZE(); }, {QXERR_ABORT, QXERR_INVALIDHANDLE}},
    };
    // clang-format on
    std::mt19937 random(18);
    std::uniform_int_distribution<int> delayUs(0, 3000);
    for (const Case &k : cases) {
        for (uint32_t camera : {0u, 1u}) { // camera 1 keeps electron values per frame
            for (int trial = 0; trial < kTrials; ++trial) {
                uint32_t count = 0;
                int32_t e = 0;
                ASSERT_EQ(QXCM_INITIALIZE_40(&count, nullptr, nullptr, 0, 0, &e), 1);
                StartCapture(k.family, camera);
                if (HasFatalFailure())
                    return;
                std::atomic<bool> tornDown{false};
                int32_t code = 0;
                std::thread first([&] { code = WaitAndCopy(k.family, camera, tornDown); });
                std::this_thread::sleep_for(std::chrono::microseconds(delayUs(random)));
                k.teardown(camera);
                tornDown = true;
                first.join();
                EXPECT_NE(std::find(k.codes.begin(), k.codes.end(), code), k.codes.end())
                    << k.name << ", camera " << camera << ", trial " << trial << ": 0x" << std::hex
                    << code;
                QXCM_DEINITIALIZE_40(1);
            }
        }
    }
}

} // namespace
