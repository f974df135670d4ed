// Capture calls of the older family: the one-step start, the order in which snap and sequence
// captures hand frames out, triggers, data-type reports, and a host that uses the older calls
// alone.
#include <algorithm>
#include <cstring>
#include <vector>

#include "legacy_capture/legacy_capture_test.h"
#include "velaapi/vela_api.h"

using legacytest::LegacyFrames;
using qxtest::FrameNumber;
using qxtest::LibraryTest;

namespace {

TEST_F(LegacyFrames, SnapHandsOutFramesInOrderThenTheLastOneAgain)
{
    OpenCamera(1);
    Start(1, 0, 4);
    ASSERT_EQ(VelaSim_DeliverFrames(1, 4), 4);
    for (uint32_t expected : {0u, 1u, 2u, 3u, 3u})
        EXPECT_EQ(NextFrameNumber(1), expected);
    EXPECT_TRUE(JournalOf("VelaWaitEvent").empty()) << "every frame had arrived";

    // Restarted with two frames in: the third call catches up, waits and takes the newest.
    int32_t err = 0;
    ASSERT_EQ(QXCM_STOPCAPTURE(1, &err), 1);
    ASSERT_EQ(QXCM_STARTCAPTURE_B(1, &err), 1);
    ASSERT_EQ(VelaSim_DeliverFrames(1, 2), 2);
    ClearJournal();
    for (uint32_t expected : {0u, 1u, 1u})
        EXPECT_EQ(NextFrameNumber(1), expected);
    EXPECT_EQ(JournalOf("VelaWaitEvent").size(), 1u);
}

TEST_F(LegacyFrames, OneStepStartAllocatesThreeForASequenceAndTheHostsCountForASnap)
{
    OpenCamera(1);
    const struct {
        uint32_t mode, frames;
        const char *alloc, *start;
    } cases[] = {{1, 10, "frames=3)", "mode=-1)"},
                 {0, 10, "frames=10)", "mode=0)"},
                 {0, 1, "frames=1)", "mode=0)"}};
    int32_t err = 0;
    for (const auto &c : cases) {
        ClearJournal();
        Start(1, c.mode, c.frames);
        EXPECT_NE(JournalOf("VelaAllocBuffers").at(0).find(c.alloc), std::string::npos);
        EXPECT_NE(JournalOf("VelaCaptureStart").at(0).find(c.start), std::string::npos);
        EXPECT_EQ(type, 7u);
        EXPECT_EQ(width, 512u);
        // Unpreparing releases what the one-step start allocated, so the camera can be
        // prepared or started again without closing it.
        ASSERT_EQ(QXCM_STOPCAPTURE(1, &err), 1);
        ASSERT_EQ(QXCM_UNPREPARECAPTURE(1, &err), 1) << err;
    }
    uint32_t w = 0, h = 0, t = 0;
    ASSERT_EQ(QXCM_PREPARECAPTURE(1, 1, 5, &w, &h, &t, &err), 1) << err;
    EXPECT_EQ(h, 512u);
}

TEST_F(LegacyFrames, SoftwareTriggersAndTheUnlimitedWaitTheyNeed)
{
    ASSERT_EQ(VelaSim_SetProperty(1, 0x00100110, 3.0), 1); // SOFTWARE
    OpenCamera(1);
    int32_t err = 0;
    EXPECT_EQ(QXCM_FIRETRIGGER(1, &err), 0);
    EXPECT_EQ(err, static_cast<int32_t>(VELA_ERR_NOTREADY)) << "not capturing";
    Start(1, 1, 3);
    err = 12345;
    ASSERT_EQ(QXCM_FIRETRIGGER(1, &err), 1);
    EXPECT_EQ(err, 12345);
    ASSERT_EQ(VelaSim_DeliverFrames(1, 1), 1);
    std::vector<uint8_t> frame(size_t(width) * height * 2);
    ASSERT_EQ(QXCM_GETNEXTFRAME(1, frame.data(), &err), 1) << err;
    EXPECT_NE(JournalOf("VelaWaitEvent").back().find("timeout=4294967295"), std::string::npos);

    // The event wait hands back what came.
    uint32_t event = VELA_EVENT_FRAMEREADY;
    ASSERT_EQ(VelaSim_DeliverFrames(1, 1), 1);
    ASSERT_EQ(QXCM_WAITFOREVENT(1, 0, &event, &err), 1) << err;
    EXPECT_EQ(event, uint32_t(VELA_EVENT_FRAMEREADY));
    int32_t index = -5, count = -5;
    ASSERT_EQ(QXCM_GETCAPTUREINFO(1, &index, &count, &err), 1);
    EXPECT_EQ(index, 1);
    EXPECT_EQ(count, 2);
}

// Earlier devices report mono data as 1 and 2, which the older table does not know: the
// host's variable and the camera's data type stay as they were; the current call maps them.
TEST_F(LegacyFrames, EarlyTypeCodesLeaveTheDataTypeAlone)
{
    ASSERT_EQ(VelaSim_LoadCameraSet("camera T-EARLY\nsensor 64 32 mono16 typecodes=early\n"
                                    "camera T-EARLY8\nsensor 64 32 mono8 typecodes=early\n"),
              2);
    uint32_t count = 0;
    ASSERT_EQ(QXCM_INITIALIZE_40(&count, nullptr, nullptr, 0, 0, nullptr), 1);
    for (uint32_t i : {0u, 1u}) {
        OpenCamera(i);
        Context(i).dataType = 77;
        uint32_t w = 0, h = 0, t = 55;
        int32_t err = 0;
        ASSERT_EQ(QXCM_PREPARECAPTURE(i, 0, 1, &w, &h, &t, &err), 1) << err;
        EXPECT_EQ(t, 55u);
        EXPECT_EQ(Context(i).dataType, 77u);
        ASSERT_EQ(QXCM_UNPREPARECAPTURE(i, &err), 1);
        ASSERT_EQ(QXCM_STARTCAPTURE(i, 0, 1, &t, &err), 1) << err;
        EXPECT_EQ(t, 55u);
        ASSERT_EQ(QXCM_STOPCAPTURE(i, &err), 1);
        ASSERT_EQ(QXCM_UNPREPARECAPTURE(i, &err), 1);
        ASSERT_EQ(QXCM_PREPARECAPTURE_40(i, 0, 1, &w, &h, &t, &err), 1) << err;
        EXPECT_EQ(t, i == 0 ? 7u : 0u);
    }
}

// A wait or lock the device fails without naming a code (its last error answers 0) is still a
// failure: the call fails with that 0 and the host's buffer stays as it was.
TEST_F(LegacyFrames, ADeviceFailureWithoutACodeIsNoSuccess)
{
    for (const char *op : {"VelaWaitEvent", "VelaLockData"}) {
        Start(1, 1, 3, 1);
        VelaSim_FailCall(op, 0, 1, qxtest::kInjected, 0);
        VelaSim_FailCall("VelaGetLastError", 0, 1, 0, 0);
        std::vector<uint8_t> frame(size_t(width) * height * 2, 0xEE);
        int32_t err = -1;
        EXPECT_EQ(QXCM_GETNEXTFRAME_A(1, frame.data(), 100, &err), 0) << op;
        EXPECT_EQ(err, 0) << op;
        EXPECT_EQ(std::count(frame.begin(), frame.end(), 0xEE), long(frame.size())) << op;
        VelaSim_ClearFaults();
        ASSERT_EQ(QXCM_STOPCAPTURE(1, &err), 1);
        ASSERT_EQ(QXCM_UNPREPARECAPTURE(1, &err), 1);
    }
}

// A host that uses the older calls alone, on the colour camera whose missing settings the older
// open stands in for.
TEST(LegacyOnly, InitialiseOpenCaptureAndCloseThroughTheOlderCalls)
{
    VelaSim_Reset();
    VelaSim_SetManualClock(1);
    uint32_t count = 0;
    int32_t err = 0;
    ASSERT_EQ(QXCM_INITIALIZE(&count, &err), 1) << err;
    ASSERT_EQ(QXCM_OPENCAMERA_A(2, 0, &err), 1) << err;
    ASSERT_EQ(QXCM_SETPARAMETER(2, 7, 0.02, 0, &err), 1) << "the exposure, a substitute here";
    uint32_t type = 0, width = 0, height = 0, bytes = 0;
    ASSERT_EQ(QXCM_STARTCAPTURE_A(2, 0, 2, &type, &width, &height, &err), 1) << err;
    ASSERT_EQ(QXCM_GETFRAMESIZE_A(2, &width, &height, &bytes, &err), 1) << err;
    EXPECT_EQ(type, 4u);
    EXPECT_EQ((std::vector<uint32_t>{width, height, bytes}), (std::vector<uint32_t>{3840, 1024, 3}))
        << "samples per row, rows, bytes per pixel";
    ASSERT_EQ(VelaSim_DeliverFrames(2, 2), 2);
    std::vector<uint8_t> frame(size_t(width) * height);
    for (uint32_t expected : {0u, 1u, 1u}) {
        ASSERT_EQ(QXCM_GETNEXTFRAME(2, frame.data(), &err), 1) << err;
        EXPECT_EQ(FrameNumber(frame.data()), expected);
    }
    EXPECT_EQ(QXCM_STOPCAPTURE(2, &err), 1);
    EXPECT_EQ(QXCM_UNPREPARECAPTURE(2, &err), 1);
    EXPECT_EQ(QXCM_CLOSECAMERA(2, &err), 1);
    EXPECT_EQ(QXCM_DEINITIALIZE(), 1);
    VelaSim_Reset();
}

} // namespace
