// Corrections through the exports: the property writes and their refusals, reference captures
// (time-outs, the refusal under a host capture) and a store after the camera is opened again.
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>

#include "support/qx_test.h"
#include "velaapi/vela_api.h"
#include "velaapi/vela_sim.h"

using qxtest::LibraryTest;

namespace {

constexpr uint32_t kBinning = 0x00401110;
constexpr uint32_t kReferenceMode = 0x00380410;

using Call = std::function<int32_t(int32_t *error)>;

class Corrections : public LibraryTest {
  protected:
    void SetUp() override
    {
        LibraryTest::SetUp();
        InitWithLog();
    }

    // Opens camera i; camera 0 at 4x4 binning, so frames stay small but cover the whole sensor.
    void Open(uint32_t i)
    {
        if (i == 0)
            VelaSim_SetProperty(0, kBinning, 4);
        OpenCamera(i);
    }

    // The reference of a store comes from the free-running camera.
    void Store(const Call &store)
    {
        VelaSim_SetManualClock(0);
        int32_t err = 0;
        ASSERT_EQ(store(&err), 1) << err;
    }
};

struct WriteRow {
    const char *name;
    Call call;
    std::vector<std::string> writes; // the device writes, in order (Writes)
    int32_t error;                   // 0 for success
    bool settles;                    // waits one second first
    const char *logName;             // null for the older family
};

TEST_F(Corrections, SwitchesWriteTheDeviceAndReportItsRefusals)
{
    constexpr int32_t kOutOfRange = VELA_ERR_OUTOFRANGE;
    // clang-format off
    const WriteRow rows[] = {
        {"filter on", [](int32_t *e) { return QXCM_SETRECURSIVEFILTER_40(0, 4, e); },
         {"0x00380110=2", "0x00380120=4"}, 0, true, "QXCM_SETRECURSIVEFILTER_40"},
        {"filter off", [](int32_t *e) { return QXCM_SETRECURSIVEFILTER(0, 1, e); },
         {"0x00380110=1"}, 0, true, nullptr},
        {"averaging of 0", [](int32_t *e) { return QXCM_SETFRAMEAVERAGING_40(0, 0, e); },
         {"0x003803A0=2", "0x003803B0=0"}, kOutOfRange, true, "QXCM_SETFRAMEAVERAGING_40"},
        {"averaging of INT32_MAX", [](int32_t *e) { return QXCM_SETFRAMEAVERAGING(0, INT32_MAX, e); },
         {"0x003803A0=2", "0x003803B0=2.14748e+09"}, kOutOfRange, true, nullptr},
        {"subtraction off", [](int32_t *e) { return QXCM_BACKGROUNDSUBTRACT_40(0, 0, 99, e); },
         {"0x00380210=1"}, 0, false, "QXCM_SETBACKGROUNDSUBTRACT_40"},
        {"subtraction on", [](int32_t *e) { return QXCM_SETBACKGROUNDFRAME(0, -1, 4, e); },
         {"0x00380210=2", "0x00380220=4"}, 0, false, nullptr},
        {"shading slot INT32_MIN", [](int32_t *e) { return QXCM_SHADINGCORRECT_40(0, 1, INT32_MIN, e); },
         {"0x00380310=2", "0x00380320=-2.14748e+09"}, kOutOfRange, false, "QXCM_SETSHADINGFRAME_40"},
        {"shading on a camera without it", [](int32_t *e) { return QXCM_SETSHADINGFRAME(1, 1, 1, e); },
         {"0x00380310=2"}, VELA_ERR_INVALIDPROPERTYID, false, nullptr},
    };
    // clang-format on
    Open(0);
    Open(1);
    for (const WriteRow &row : rows) {
        ClearJournal();
        qxtest::sleepsMs.clear();
        int32_t err = 12345;
        EXPECT_EQ(row.call(&err), row.error == 0 ? 1 : 0) << row.name;
        EXPECT_EQ(err, row.error == 0 ? 12345 : row.error) << row.name;
        std::vector<std::string> writes = Writes();
        EXPECT_EQ(writes, row.writes) << row.name;
        EXPECT_EQ(Journal().size(), writes.size()) << row.name << ": only property writes";
        EXPECT_EQ(qxtest::sleepsMs,
                  row.settles ? std::vector<uint32_t>{1000} : std::vector<uint32_t>{})
            << row.name;
        if (row.logName) {
            std::string result =
                row.error ? " NG ERR=" + std::to_string(row.error) + " \n" : " OK \n";
            EXPECT_EQ(LogLines().back(), "0.000 " + std::string(row.logName) + result);
        }
    }
}

struct StoreRow {
    const char *name;
    Call call;
    uint32_t timeoutMs; // the limit the reference wait gets
    double mode;        // the reference capture mode the time-out leaves behind
};

// Under the manual clock nothing delivers the reference frame: the wait runs out on the
// camera's clock with the limit the export chose, not on the test's time.
TEST_F(Corrections, AStoreThatGetsNoFrameTimesOutAndReleasesTheBuffers)
{
    // clang-format off
    const StoreRow rows[] = {
        {"background _40", [](int32_t *e) { return QXCM_STOREBACKGROUNDFRAME_40(0, 1, e); }, 5000, 2},
        {"background _41", [](int32_t *e) { return QXCM_STOREBACKGROUNDFRAME_41(0, 2, 100, e); }, 100, 2},
        {"background _41 INT32_MAX", [](int32_t *e) { return QXCM_STOREBACKGROUNDFRAME_41(0, 2, INT32_MAX, e); },
         2147483647u, 2},
        {"background _41 no limit", [](int32_t *e) { return QXCM_STOREBACKGROUNDFRAME_41(0, 2, -1, e); },
         4294967295u, 2},
        {"background legacy", [](int32_t *e) { return QXCM_STOREBACKGROUNDFRAME(0, 1, e); }, 5000, 2},
        {"shading _40", [](int32_t *e) { return QXCM_STORESHADINGFRAME_40(0, 1, e); }, 5000, 3},
        {"shading _41 shorter", [](int32_t *e) { return QXCM_STORESHADINGFRAME_41(0, 1, 100, e); }, 5000, 3},
        {"shading _41 longer", [](int32_t *e) { return QXCM_STORESHADINGFRAME_41(0, 1, 7000, e); }, 7000, 3},
        {"shading _41 negative", [](int32_t *e) { return QXCM_STORESHADINGFRAME_41(0, 1, -1, e); }, 5000, 3},
        {"shading legacy", [](int32_t *e) { return QXCM_STORESHADINGFRAME(0, 1, e); }, 5000, 3},
    };
    // clang-format on
    VelaSim_SetManualClock(2);
    Open(0);
    for (const StoreRow &row : rows) {
        ClearJournal();
        int32_t err = 0;
        EXPECT_EQ(row.call(&err), 0) << row.name;
        EXPECT_EQ(err, QXERR_TIMEOUT) << row.name;
        std::vector<std::string> waits = JournalOf("VelaWaitStart");
        ASSERT_EQ(waits.size(), 1u) << row.name;
        EXPECT_NE(waits[0].find("mask=0x00000010, timeout=" + std::to_string(row.timeoutMs) + ")"),
                  std::string::npos)
            << waits[0];
        std::vector<std::string> journal = Journal();
        ASSERT_GE(journal.size(), 2u);
        EXPECT_EQ(journal[journal.size() - 2].rfind("VelaStopCapture(", 0), 0u) << row.name;
        EXPECT_EQ(journal.back().rfind("VelaReleaseBuffers(", 0), 0u) << row.name;
        EXPECT_TRUE(JournalOf("VelaCommitReference").empty()) << row.name;
        double mode = 0;
        VelaSim_GetProperty(0, kReferenceMode, &mode);
        EXPECT_EQ(mode, row.mode) << row.name << ": left in reference capture";
    }
    EXPECT_EQ(Context(0).bufferState, 0u);
}

TEST_F(Corrections, AStoreIsRefusedWhileTheHostHasACaptureAndTheCaptureGoesOn)
{
    // clang-format off
    const std::pair<const char *, Call> stores[] = {
        {"QXCM_STOREBACKGROUNDFRAME_40", [](int32_t *e) { return QXCM_STOREBACKGROUNDFRAME_40(0, 1, e); }},
        {"QXCM_STOREBACKGROUNDFRAME_41", [](int32_t *e) { return QXCM_STOREBACKGROUNDFRAME_41(0, 1, 10, e); }},
        {"QXCM_STORESHADINGFRAME_40", [](int32_t *e) { return QXCM_STORESHADINGFRAME_40(0, 1, e); }},
        {"QXCM_STORESHADINGFRAME_41", [](int32_t *e) { return QXCM_STORESHADINGFRAME_41(0, 1, 10, e); }},
        {nullptr, [](int32_t *e) { return QXCM_STOREBACKGROUNDFRAME(0, 1, e); }},
        {nullptr, [](int32_t *e) { return QXCM_STORESHADINGFRAME(0, 1, e); }},
    };
    // clang-format on
    VelaSim_SetManualClock(1);
    Open(0);
    auto refuseAll = [&](const char *state) {
        ClearJournal();
        for (const auto &[logName, store] : stores) {
            int32_t err = 0;
            EXPECT_EQ(store(&err), 0) << state;
            EXPECT_EQ(err, QXERR_BUSY) << state;
            if (logName) {
                EXPECT_EQ(LogLines().back(),
                          std::string("0.000 ") + logName + " NG ERR=-2147483391 \n");
            }
        }
        EXPECT_EQ(Journal(), std::vector<std::string>{}) << state << ": no device call";
    };
    Prepare(0, 1, 5);
    refuseAll("prepared");
    StartWithFrames(0, 2);
    refuseAll("capturing");
    ASSERT_EQ(VelaSim_DeliverFrames(0, 1), 1);
    int32_t err = 0, index = -1, count = 0;
    ASSERT_EQ(QXCM_WAITNEXTFRAME_40(0, 100, &index, &count, &err), 1) << err;
    EXPECT_EQ(count, 3);
    std::vector<uint8_t> frame(512 * 512 * 2);
    double stamp = 0;
    ASSERT_EQ(QXCM_GETFRAME_40(0, uint32_t(index), frame.data(), &stamp, 0, &err), 1) << err;
    EXPECT_EQ(frame[0], 2) << "the host's third frame, in the host's buffers";
    ASSERT_EQ(QXCM_STOPCAPTURE_40(0, &err), 1);
    refuseAll("stopped, buffers kept");
    ASSERT_EQ(QXCM_UNPREPARECAPTURE_40(0, &err), 1);
    // A connected recorder would take the reference frame into the host's file.
    const std::string path = qxtest::TempPath("qxtest_corrections_recording.vlseq");
    ASSERT_EQ(QXCM_STARTRECORDER_40(0, path.c_str(), 10, &err), 1) << err;
    refuseAll("recording");
    ASSERT_EQ(QXCM_STOPRECORDER_40(0, &err), 1) << err;
    std::remove(path.c_str());
    Store([](int32_t *e) { return QXCM_STOREBACKGROUNDFRAME_41(0, 1, 5000, e); });
}

} // namespace

TEST_F(Corrections, ClosingForgetsTheCaptureSoAStoreWorksAfterTheCameraIsOpenedAgain)
{
    uint32_t w = 0, h = 0, t = 0;
    // clang-format off
    const std::pair<const char *, std::function<void(int32_t *)>> left[] = {
        {"prepared", [&](int32_t *e) { EXPECT_EQ(QXCM_PREPARECAPTURE_40(0, 1, 5, &w, &h, &t, e), 1) << *e; }},
        {"older start and stop", [&](int32_t *e) {
             EXPECT_EQ(QXCM_STARTCAPTURE(0, 1, 3, &t, e), 1) << *e;
             EXPECT_EQ(QXCM_STOPCAPTURE(0, e), 1) << *e;
         }},
    };
    // clang-format on
    Open(0);
    for (const auto &[state, leave] : left) {
        int32_t err = 0;
        leave(&err);
        ASSERT_EQ(QXCM_CLOSECAMERA_40(0, &err), 1) << state;
        OpenCamera(0);
        EXPECT_EQ(QXCM_UNPREPARECAPTURE_40(0, &err), 1) << state << ": nothing is left to release";
        Store([](int32_t *e) { return QXCM_STOREBACKGROUNDFRAME_41(0, 1, 5000, e); });
    }
}
