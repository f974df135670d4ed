// Capture preparation, start, stop and frame waits against the simulated cameras, under the
// manual clock so every frame arrives when the test delivers it.
#include <cmath>
#include <limits>
#include <thread>

#include "capture/capture_control.h"
#include "core/device.h"
#include "legacy/legacy_capture.h"
#include "support/qx_test.h"
#include "velaapi/vela_sim.h"

using qxtest::LibraryTest;

namespace {

class Capture : public LibraryTest {
  protected:
    void SetUp() override
    {
        LibraryTest::SetUp();
        VelaSim_SetManualClock(1);
        InitWithLog();
    }
};

TEST_F(Capture, FrameCountsHaveAFloorPerMode)
{
    OpenCamera(0);
    struct {
        uint32_t mode;
        int32_t frames;
        int32_t allocated;
        int32_t startMode;
    } cases[] = {{1, 0, 5, -1}, {1, 3, 5, -1}, {1, -7, 5, -1}, {1, 9, 9, -1},
                 {0, 0, 1, 0},  {0, -7, 1, 0}, {2, 4, 4, 0}};
    for (auto k : cases) {
        Prepare(0, k.mode, k.frames);
        EXPECT_EQ(Context(0).bufferFrameCount, k.allocated) << k.mode << " " << k.frames;
        EXPECT_EQ(Context(0).captureStartMode, k.startMode);
        EXPECT_EQ(Context(0).bufferState, 1u);
        int32_t err = 0;
        ASSERT_EQ(QXCM_UNPREPARECAPTURE_40(0, &err), 1);
    }
    EXPECT_EQ(JournalOf("VelaAllocBuffers").size(), std::size(cases));
    EXPECT_EQ(JournalOf("VelaReleaseBuffers").size(), std::size(cases));
}

TEST_F(Capture, ReportsGeometryAndDataTypeForMonoAndColour)
{
    OpenCamera(0);
    OpenCamera(2);
    uint32_t w = 0, h = 0, t = 99;
    int32_t err = 0;
    ASSERT_EQ(QXCM_PREPARECAPTURE_40(0, 1, 8, &w, &h, &t, &err), 1);
    EXPECT_EQ(w, 2048u);
    EXPECT_EQ(h, 2048u);
    EXPECT_EQ(t, 7u);
    EXPECT_EQ(LogLines().back(),
              "0.000 QXCM_PREPARECAPTURE_40 OK width=2048 height=2048 datatype=7\n");
    ASSERT_EQ(QXCM_PREPARECAPTURE_40(2, 1, 8, &w, &h, &t, &err), 1);
    EXPECT_EQ(w, 1280u * 3) << "colour widths are samples per row";
    EXPECT_EQ(t, 4u);
    uint32_t bh = 0, bw = 0;
    ASSERT_EQ(QXCM_GETBUFFERSIZE_40(2, &bh, &bw, &err), 1);
    EXPECT_EQ(bw, 1280u * 3);
    EXPECT_EQ(bh, 1024u);

    // The extended call maps the codes a current device reports (the early codes 1 and 2 it
    // leaves alone: see the older family's data-type test).
    t = 55;
    uint32_t w41 = 0, h41 = 0;
    ASSERT_EQ(QXCM_UNPREPARECAPTURE_40(0, &err), 1);
    ASSERT_EQ(QXCM_PREPARECAPTURE_41(0, 1, 8, &w41, &h41, &t, 0, &err), 1);
    EXPECT_EQ(t, 7u);
    EXPECT_EQ(LogLines().back(),
              "0.000 QXCM_PREPARECAPTURE_40 OK width=2048 height=2048 datatype=7\n");

    // A data type it does not know leaves the host's variable and still succeeds.
    auto saved = qxcm::Device().VelaGetDataType;
    qxcm::Device().VelaGetDataType = [](uint64_t, uint32_t *code) { return *code = 3, 1; };
    ASSERT_EQ(QXCM_UNPREPARECAPTURE_40(0, &err), 1);
    t = 1234;
    int32_t ok = QXCM_PREPARECAPTURE_40(0, 1, 5, &w, &h, &t, &err);
    qxcm::Device().VelaGetDataType = saved;
    EXPECT_EQ(ok, 1);
    EXPECT_EQ(t, 1234u);
}

TEST_F(Capture, SnapHandsFramesOutInOrderAndTimesOutAfterTheLast)
{
    OpenCamera(0);
    Prepare(0, 0, 3);
    int32_t err = 0;
    StartWithFrames(0, 3);
    for (int32_t k = 0; k < 3; ++k) {
        int32_t index = -1, count = -1;
        ASSERT_EQ(QXCM_WAITNEXTFRAME_40(0, 100, &index, &count, &err), 1) << k;
        EXPECT_EQ(index, k);
        EXPECT_EQ(count, k + 1);
    }
    // A wait after the last frame may still consume the last frame's event; it then reports
    // (3, 3). The next one finds nothing and ends with the device's time-out.
    int32_t index = -1, count = -1;
    if (QXCM_WAITNEXTFRAME_40(0, 50, &index, &count, &err)) {
        EXPECT_EQ(index, 3);
        EXPECT_EQ(count, 3);
    }
    index = -1;
    EXPECT_EQ(QXCM_WAITNEXTFRAME_40(0, 50, &index, &count, &err), 0);
    EXPECT_EQ(err, QXERR_TIMEOUT);
    EXPECT_EQ(index, -1);
    EXPECT_EQ(LogLines().back(), "0.000 QXCM_WAITNEXTFRAME_40 NG ERR=-2147483386 \n");
}

TEST_F(Capture, StoppingEndsAWaitWithAbort)
{
    OpenCamera(0);
    Prepare(0, 1, 5);
    int32_t err = 0;
    ASSERT_EQ(QXCM_STARTCAPTURE_40(0, &err), 1);
    uint64_t device = Context(0).deviceHandle;
    std::thread stopper([device] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        qxcm::Device().VelaStopCapture(device);
    });
    int32_t index = 0, count = 0;
    int32_t ok = QXCM_WAITNEXTFRAME_40(0, 10000, &index, &count, &err);
    stopper.join();
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(err, QXERR_ABORT);
}

// Both families' automatic frame time limit: a second plus a frame's exposure and overhead
// (times the bundle in the current family), none under a trigger, saturating at both ends. The
// current family asks for it with 0xFFFFFFFF, the older one with 0. kNone: no record.
TEST(FrameTimeLimit, BothFamiliesFollowTheSettingsAndSaturate)
{
    constexpr double kNone = -999.0, nan = std::numeric_limits<double>::quiet_NaN();
    constexpr uint32_t kMax = 0xFFFFFFFF;
    const struct {
        bool older;
        uint32_t host;
        double source, exposure, overhead, bundling, bundle;
        uint32_t limit;
    } rows[] = {
        {false, 0, 1, 0.01, 0.02, kNone, kNone, 0},
        {false, 250, 1, 0.01, 0.02, kNone, kNone, 250},
        {true, 250, 1, 0.01, 0.02, kNone, kNone, 250},
        {false, kMax, 1, 0.01, 0.02, kNone, kNone, 1030},
        {true, 0, 1, 0.01, 0.002, kNone, kNone, 1012},
        {false, kMax, 1, 0.01, 0.02, 2, 8, 1240},
        {false, kMax, 1, 0.01, 0.02, 2, kNone, 1030},
        {false, kMax, 1, 0.01, 1000, 1, 8, 1001010},
        {false, kMax, 3, 0.01, 0.02, kNone, kNone, kMax},
        {false, kMax, 2, 0.01, 0.02, kNone, kNone, kMax},
        {true, 0, 3, 0.01, 0.002, kNone, kNone, kMax},
        {true, 0, 2, 0.01, 0.002, kNone, kNone, kMax},
        {false, kMax, 1, 3e6, 0, 2, 1, 3000001000u},
        {false, kMax, 1, 1e300, 0, 2, 1, kMax},
        {false, kMax, 1, nan, 0, 2, 1, 1000},
        {false, kMax, 1, -1e300, 0, 2, 1, 0},
        {false, kMax, 1, INFINITY, 0, 2, 1, kMax},
        {false, kMax, 1, -INFINITY, 0, 2, 1, 0},
        {false, kMax, 1, 2147483.648, 0, 2, 1, 2147484648u},
        {false, kMax, 1, -0.5, 0, 2, 1, 500},
        {true, 0, 1, 4294966.0, 0, kNone, kNone, 4294967000u},
        {true, 0, 1, 4294967.0, 0, kNone, kNone, kMax},
        {true, 0, 1, 1e300, 1e300, kNone, kNone, kMax},
        {true, 0, 1, 0.01, 1e300, kNone, kNone, kMax},
        {true, 0, 1, -1e300, 0, kNone, kNone, 0},
        {true, 0, 1, nan, 0, kNone, kNone, 1000},
        {true, 0, 1, 0, nan, kNone, kNone, 1000},
        {false, kMax, 1, kNone, 0.02, kNone, kNone, 5000},
        {false, kMax, kNone, 0.01, 0.02, kNone, kNone, 5000},
        {true, 0, 1, kNone, 0.002, kNone, kNone, 5000},
        {true, 0, kNone, 0.01, 0.002, kNone, kNone, 1000},
        {false, kMax, 2, kNone, 0.02, kNone, kNone, 5000},
        {true, 0, 2, kNone, 0.002, kNone, kNone, kMax},
    };
    static qxcm::CameraContext c{};
    c.propertyCount = 4;
    for (int32_t &entry : c.parameterMap)
        entry = -1;
    auto set = [](int32_t parameter, int32_t record, double value) {
        c.parameterMap[parameter] = value == kNone ? -1 : record;
        c.properties[record].cachedValue[0] = value;
    };
    for (const auto &r : rows) {
        set(7, 0, r.exposure);
        set(15, 1, r.source);
        set(30, 2, r.bundling);
        set(31, 3, r.bundle);
        c.frameOverheadSeconds = r.overhead;
        EXPECT_EQ(r.older ? qxcm::LegacyTimeLimit(c, r.host) : qxcm::FrameTimeLimit(c, r.host),
                  r.limit)
            << (r.older ? "older " : "") << r.host << " source " << r.source << " exposure "
            << r.exposure << " + " << r.overhead << " bundle " << r.bundling << "/" << r.bundle;
    }
}

TEST_F(Capture, BundlingTakesTheSmallerOfHostAndDeviceMaximum)
{
    OpenCamera(0);
    int32_t size = 0, err = 0;
    ASSERT_EQ(QXCM_FRAMEBUNDLE_40(0, 1, 4, &size, &err), 1);
    EXPECT_EQ(size, 4);
    EXPECT_EQ(Context(0).bundleSize, 4u);
    ASSERT_EQ(QXCM_FRAMEBUNDLE_40(0, 1, -1, &size, &err), 1);
    EXPECT_EQ(size, 16);
    ASSERT_EQ(QXCM_FRAMEBUNDLE_40(0, 0, 4, &size, &err), 1);
    EXPECT_EQ(size, 1);
    EXPECT_EQ(Context(0).bundleSize, 0u);
    EXPECT_EQ(Context(0).bundleEnabled, 0);
    EXPECT_EQ(LogLines().back(), "0.000 QXCM_FRAMEBUNDLE_40 OK setbundlesize=1\n");
}

TEST_F(Capture, AttachedHostBuffersAreFilledAndReleased)
{
    OpenCamera(1);
    uint32_t w = 0, h = 0, t = 0;
    int32_t err = 0;
    ASSERT_EQ(QXCM_PREPARECAPTURE_40(1, 1, 5, &w, &h, &t, &err), 1);
    ASSERT_EQ(QXCM_UNPREPARECAPTURE_40(1, &err), 1);
    std::vector<std::vector<uint8_t>> frames(3, std::vector<uint8_t>(size_t(1) << 20));
    void *buffers[3] = {frames[0].data(), frames[1].data(), frames[2].data()};
    int32_t total = 0;
    ASSERT_EQ(QXCM_PREPARE_ATTACH_40(1, 1, buffers, 3, &total, &err), 1) << err;
    EXPECT_EQ(total, 3);
    EXPECT_EQ(Context(1).bufferState, 2u);
    StartWithFrames(1, 2);
    int32_t index = 0, count = 0;
    ASSERT_EQ(QXCM_WAITNEXTFRAME_40(1, 100, &index, &count, &err), 1);
    uint32_t number = 0;
    memcpy(&number, frames[1].data(), sizeof number);
    EXPECT_EQ(number, 1u) << "the second frame (numbered from 0) landed in the second buffer";
    ASSERT_EQ(QXCM_STOPCAPTURE_40(1, &err), 1);
    ClearJournal();
    ASSERT_EQ(QXCM_UNPREPARECAPTURE_40(1, &err), 1);
    EXPECT_EQ(JournalOf("VelaReleaseAttached").size(), 1u);
    ClearJournal();
    ASSERT_EQ(QXCM_UNPREPARECAPTURE_40(1, &err), 1) << "nothing prepared";
    EXPECT_TRUE(Journal().empty());
}

} // namespace

// Exposures no range check would let through reach the device's own cadence and stamps; a
// free-running capture over each starts, runs briefly and stops without undefined behaviour.
TEST_F(Capture, AnExposureOutsideEveryRangeStillStartsAndStops)
{
    OpenCamera(0);
    VelaSim_SetManualClock(0);
    for (double exposure : {3e6, 1e300, -1.0}) {
        ASSERT_GE(VelaSim_SetProperty(0, 0x001F0110, exposure), 0) << exposure;
        Prepare(0, 1, 4);
        int32_t err = 0, index = 0, count = 0;
        ASSERT_EQ(QXCM_STARTCAPTURE_40(0, &err), 1) << err;
        QXCM_WAITNEXTFRAME_40(0, 5, &index, &count, &err);
        ASSERT_EQ(QXCM_STOPCAPTURE_40(0, &err), 1) << err;
        ASSERT_EQ(QXCM_UNPREPARECAPTURE_40(0, &err), 1) << err;
    }
}
