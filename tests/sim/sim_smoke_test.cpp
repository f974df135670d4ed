// The simulated device on its own: property dependencies, frame delivery and timing under the
// manual clock, waits, the journal and fault injection.
#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>

#include <chrono>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "vela_api.h"
#include "velaapi/vela_sim.h"

namespace {

constexpr uint32_t kBinning = 0x00401110;
constexpr uint32_t kExposure = 0x001F0110;
constexpr uint32_t kOverhead = 0x00403010;
constexpr uint32_t kWidth = 0x00420210;
constexpr uint32_t kHeight = 0x00420220;
constexpr uint32_t kRowBytes = 0x00420230;
constexpr uint32_t kHsize = 0x00402120;
constexpr uint32_t kHpos = 0x00402110;
constexpr uint32_t kSubarrayMode = 0x00402150;
constexpr uint32_t kSensorMode = 0x00400210;
constexpr uint32_t kViewOffset = 0x00420250;
constexpr uint32_t kPixelType = 0x00420270;

std::vector<std::string> Journal()
{
    std::vector<std::string> lines;
    char text[512];
    for (int32_t k = 0; k < VelaSim_JournalCount(); ++k) {
        VelaSim_JournalLine(k, text, sizeof text);
        lines.emplace_back(text);
    }
    return lines;
}

uint32_t FrameNumber(const void *frame)
{
    uint32_t n = 0;
    memcpy(&n, frame, sizeof n);
    return n;
}

class Sim : public ::testing::Test {
  protected:
    void SetUp() override
    {
        VelaSim_Reset();
        VelaSim_SetManualClock(1);
        VelaInitRecord init{};
        int32_t options[2] = {1, 0};
        init.size = sizeof init;
        init.optionBytes = sizeof options;
        init.options = options;
        ASSERT_EQ(VelaInit(&init), 1);
        ASSERT_EQ(init.cameraCount, 3);
    }
    void TearDown() override { VelaSim_Reset(); }

    uint64_t Open(uint32_t index)
    {
        VelaOpenRecord open{sizeof(VelaOpenRecord), index, 0};
        EXPECT_EQ(VelaOpen(&open), 1);
        VelaWaitOpenRecord wait{sizeof(VelaWaitOpenRecord), 0, 0, open.device};
        EXPECT_EQ(VelaOpenWait(&wait), 1);
        wait_ = wait.wait;
        return open.device;
    }

    double Get(uint64_t device, uint32_t id)
    {
        double v = -1;
        EXPECT_EQ(VelaGetValue(device, id, &v), 1) << std::hex << id;
        return v;
    }

    std::vector<uint32_t> Updated(uint64_t device)
    {
        std::vector<uint32_t> ids;
        uint32_t id = 0;
        while (VelaGetNextPropertyId(device, &id, VELA_NEXT_UPDATED) != 0)
            ids.push_back(id);
        return ids;
    }

    int32_t Wait(uint32_t mask, uint32_t timeoutMs, uint32_t *event = nullptr)
    {
        VelaWaitRecord w{sizeof(VelaWaitRecord), 0, mask, timeoutMs};
        int32_t r = VelaWaitStart(wait_, &w);
        if (event != nullptr)
            *event = w.event;
        return r;
    }

    VelaFrameRecord Lock(uint64_t device, int32_t index)
    {
        VelaFrameRecord f{};
        f.size = sizeof f;
        f.index = index;
        EXPECT_EQ(VelaLockFrame(device, &f), 1) << index;
        return f;
    }

    uint64_t wait_ = 0;
};

TEST_F(Sim, BinningAndSubarrayChangeTheImageAndAreHandedOutOnceAsUpdated)
{
    uint64_t d = Open(0);
    EXPECT_EQ(Get(d, kWidth), 2048);
    ASSERT_EQ(VelaSetValue(d, kBinning, 2), 1);
    EXPECT_EQ(Get(d, kWidth), 1024);
    EXPECT_EQ(Get(d, kHeight), 1024);
    EXPECT_EQ(Get(d, kRowBytes), 2048);
    std::vector<uint32_t> updated = Updated(d);
    for (uint32_t id : {kWidth, kHeight, kRowBytes, kHsize})
        EXPECT_NE(std::find(updated.begin(), updated.end(), id), updated.end()) << std::hex << id;
    EXPECT_EQ(std::find(updated.begin(), updated.end(), kBinning), updated.end());
    EXPECT_TRUE(Updated(d).empty()) << "each update is handed out once";

    // A 1000-pixel sub-array leaves 1048 pixels of room for the offset; its rows are padded.
    ASSERT_EQ(VelaSetValue(d, kBinning, 1), 1);
    ASSERT_EQ(VelaSetValue(d, kSubarrayMode, 2), 1);
    ASSERT_EQ(VelaSetValue(d, kHsize, 1000), 1);
    VelaAttrRecord attr{};
    attr.size = sizeof attr;
    attr.id = kHpos;
    ASSERT_EQ(VelaGetPropertyAttr(d, &attr), 1);
    EXPECT_EQ(attr.maxValue, 1048);
    EXPECT_EQ(Get(d, kRowBytes), 2048) << "2000 bytes rounded up to 64";
    EXPECT_EQ(VelaSetValue(d, kHpos, 1052), static_cast<int32_t>(VELA_ERR_OUTOFRANGE));
    EXPECT_EQ(VelaSetValue(d, kHsize, 1002), static_cast<int32_t>(VELA_ERR_INVALIDVALUE));
    EXPECT_EQ(VelaSetValue(d, kWidth, 8), static_cast<int32_t>(VELA_ERR_NOTWRITABLE));

    // Geometry stays put while buffers exist.
    ASSERT_EQ(VelaAllocBuffers(d, 2), 1);
    EXPECT_EQ(VelaSetValue(d, kBinning, 2), static_cast<int32_t>(VELA_ERR_BUSY));
    EXPECT_EQ(VelaSetValue(d, kExposure, 0.05), 1);
}

TEST_F(Sim, SnapFillsTheBuffersInOrderAtExposurePlusReadoutAndEnds)
{
    uint64_t d = Open(1);
    ASSERT_EQ(VelaSetValue(d, kExposure, 0.01), 1);
    const double interval = 0.01 + Get(d, kOverhead);
    ASSERT_EQ(VelaAllocBuffers(d, 3), 1);
    ASSERT_EQ(VelaCaptureStart(d, 0), 1);
    EXPECT_EQ(Wait(VELA_EVENT_FRAMEREADY, 0), static_cast<int32_t>(VELA_ERR_TIMEOUT))
        << "no frame before one is delivered";
    EXPECT_EQ(VelaSim_DeliverFrames(1, 5), 3) << "snap stops when the buffers are full";
    VelaTransferRecord t{sizeof t, 0, 0, 0};
    ASSERT_EQ(VelaGetTransferInfo(d, &t), 1);
    EXPECT_EQ(t.newestIndex, 2);
    EXPECT_EQ(t.frameCount, 3);
    int32_t status = -1;
    ASSERT_EQ(VelaGetCaptureStatus(d, &status), 1);
    EXPECT_EQ(status, VELA_STATUS_READY);
    uint32_t event = 0;
    EXPECT_EQ(Wait(VELA_EVENT_FRAMEREADY, 0, &event), 1);
    EXPECT_EQ(event, static_cast<uint32_t>(VELA_EVENT_FRAMEREADY));
    double previous = 0;
    for (int32_t k = 0; k < 3; ++k) {
        VelaFrameRecord f = Lock(d, k);
        EXPECT_EQ(FrameNumber(f.address), static_cast<uint32_t>(k));
        EXPECT_EQ(f.rowBytes, 512 * 2 + 64);
        double stamp = f.stampSeconds + f.stampMicroseconds * 1e-6;
        if (k > 0) {
            EXPECT_NEAR(stamp - previous, interval, 2e-6);
        }
        previous = stamp;
    }
    EXPECT_EQ(Wait(VELA_EVENT_FRAMEREADY | VELA_EVENT_CAPTUREEND, 0, &event), 1);
    EXPECT_EQ(event, static_cast<uint32_t>(VELA_EVENT_CAPTUREEND));
    VelaFrameRecord f{};
    f.size = sizeof f;
    f.index = 3;
    EXPECT_EQ(VelaLockFrame(d, &f), static_cast<int32_t>(VELA_ERR_INVALIDPARAM));
    f.index = -1;
    EXPECT_EQ(VelaLockFrame(d, &f), static_cast<int32_t>(VELA_ERR_INVALIDPARAM));
}

TEST_F(Sim, SequenceWrapsTheRingAndWaitsEndByTimeoutOrAbort)
{
    uint64_t d = Open(1);
    ASSERT_EQ(VelaAllocBuffers(d, 4), 1);
    ASSERT_EQ(VelaCaptureStart(d, -1), 1);
    EXPECT_EQ(VelaSim_DeliverFrames(1, 6), 6);
    VelaTransferRecord t{sizeof t, 0, 0, 0};
    ASSERT_EQ(VelaGetTransferInfo(d, &t), 1);
    EXPECT_EQ(t.newestIndex, 1);
    EXPECT_EQ(t.frameCount, 6);
    EXPECT_EQ(FrameNumber(Lock(d, 1).address), 5u);
    EXPECT_EQ(FrameNumber(Lock(d, 2).address), 2u);
    EXPECT_EQ(Wait(VELA_EVENT_FRAMEREADY, 0), 1);
    EXPECT_EQ(Wait(VELA_EVENT_FRAMEREADY, 0), static_cast<int32_t>(VELA_ERR_TIMEOUT))
        << "one wait takes every frame that came before it";

    auto begin = std::chrono::steady_clock::now();
    EXPECT_EQ(Wait(VELA_EVENT_FRAMEREADY, 60), static_cast<int32_t>(VELA_ERR_TIMEOUT));
    EXPECT_GE(std::chrono::steady_clock::now() - begin, std::chrono::milliseconds(55));

    int32_t waited = 0;
    std::thread waiter([&] { waited = Wait(VELA_EVENT_FRAMEREADY, 0xFFFFFFFFu); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(VelaStopCapture(d), 1);
    waiter.join();
    EXPECT_EQ(waited, static_cast<int32_t>(VELA_ERR_ABORT));
    EXPECT_EQ(VelaReleaseBuffers(d, 0), 1);
    EXPECT_EQ(Wait(VELA_EVENT_FRAMEREADY, 0), static_cast<int32_t>(VELA_ERR_NOTREADY));
}

TEST_F(Sim, FreeRunningProducerPacesFramesBySteadyClock)
{
    VelaSim_SetManualClock(0);
    uint64_t d = Open(1);
    ASSERT_EQ(VelaSetValue(d, kExposure, 0.02), 1);
    const double interval = 0.02 + Get(d, kOverhead);
    ASSERT_EQ(VelaAllocBuffers(d, 8), 1);
    ASSERT_EQ(VelaCaptureStart(d, -1), 1);
    ASSERT_EQ(Wait(VELA_EVENT_FRAMEREADY, 2000), 1);
    ASSERT_EQ(Wait(VELA_EVENT_FRAMEREADY, 2000), 1);
    ASSERT_EQ(VelaStopCapture(d), 1);
    VelaFrameRecord a = Lock(d, 0), b = Lock(d, 1);
    double step =
        (b.stampSeconds - a.stampSeconds) + (b.stampMicroseconds - a.stampMicroseconds) * 1e-6;
    // Never faster than its cadence. Slower happens whenever the machine is busy (a late frame
    // restarts the cadence), which a test cannot bound.
    EXPECT_GE(step, 0.9 * interval);
}

TEST_F(Sim, PackedTwelveBitAndTwoViewLayoutsShapeTheFrame)
{
    uint64_t d = Open(0);
    ASSERT_EQ(VelaSetValue(d, kBinning, 4), 1);
    auto grab = [&](int32_t frames) {
        const auto bytes = static_cast<size_t>(Get(d, 0x00420240) * 8);
        EXPECT_EQ(VelaAllocBuffers(d, frames), 1);
        EXPECT_EQ(VelaCaptureStart(d, 0), 1);
        EXPECT_EQ(VelaSim_DeliverFrames(0, frames), frames);
        VelaFrameRecord f = Lock(d, frames - 1);
        const auto *p = static_cast<const uint8_t *>(f.address);
        std::vector<uint8_t> copy(p, p + bytes);
        EXPECT_EQ(VelaReleaseBuffers(d, 0), 1);
        return copy;
    };
    std::vector<uint8_t> plain = grab(2);
    ASSERT_EQ(VelaSetValue(d, kPixelType, 3), 1);
    uint32_t code = 0;
    ASSERT_EQ(VelaGetDataType(d, &code), 1);
    EXPECT_EQ(code, static_cast<uint32_t>(VELA_TYPE_MONO12P));
    EXPECT_EQ(Get(d, kRowBytes), 512 * 3 / 2);
    std::vector<uint8_t> packed = grab(2);
    // Frame 1 of both captures shows the same scene; pixels past the frame number agree.
    for (size_t x = 4; x < 512; x += 2) {
        const uint8_t *g = &packed[x / 2 * 3];
        uint32_t first = (uint32_t{g[0]} << 4) | (g[1] & 0xFu);
        uint32_t second = (uint32_t{g[2]} << 4) | (g[1] >> 4);
        EXPECT_EQ(first, (plain[2 * x] | plain[2 * x + 1] << 8) >> 4u) << x;
        EXPECT_EQ(second, (plain[2 * x + 2] | plain[2 * x + 3] << 8) >> 4u) << x;
    }

    ASSERT_EQ(VelaSetValue(d, kPixelType, 2), 1);
    ASSERT_EQ(VelaSetValue(d, kSensorMode, 14), 1);
    EXPECT_EQ(Get(d, 0x004201C0), 2);
    const double viewBytes = Get(d, kHeight) * Get(d, kRowBytes);
    EXPECT_EQ(Get(d, 0x01000000 | kViewOffset), 0);
    EXPECT_EQ(Get(d, 0x02000000 | kViewOffset), viewBytes);
    EXPECT_EQ(Get(d, 0x00420240) * 8, 2 * viewBytes) << "frame size in 8-byte units";
    std::vector<uint8_t> split = grab(1);
    ASSERT_EQ(split.size(), static_cast<size_t>(2 * viewBytes));
    EXPECT_EQ(FrameNumber(split.data() + static_cast<size_t>(viewBytes)), 0u);
}

TEST_F(Sim, JournalHasOneLinePerCallAndFaultsTakeTheNthMatchingCall)
{
    VelaSim_JournalClear();
    uint64_t d = Open(0);
    VelaSim_FailCall("VelaSetValue", kExposure, 2, VELA_ERR_OUTOFRANGE, 0);
    EXPECT_EQ(VelaSetValue(d, kBinning, 2), 1) << "another property does not count";
    EXPECT_EQ(VelaSetValue(d, kExposure, 0.5), 1);
    EXPECT_EQ(VelaSetValue(d, kExposure, 0.25), static_cast<int32_t>(VELA_ERR_OUTOFRANGE));
    EXPECT_EQ(Get(d, kExposure), 0.5) << "a failing call does no work";
    EXPECT_EQ(VelaSetValue(d, kExposure, 0.25), 1) << "not sticky: only the 2nd";
    int32_t binning = 0;
    VelaSim_FailCall("*", 0, 1, VELA_ERR_NOCAMERA, 1);
    EXPECT_EQ(VelaGetBinning(d, &binning), 0);
    EXPECT_EQ(binning, 0);
    EXPECT_EQ(VelaGetValue(d, kExposure, nullptr), static_cast<int32_t>(VELA_ERR_NOCAMERA));
    VelaSim_ClearFaults();
    EXPECT_EQ(VelaGetLastError(d, nullptr, 0), static_cast<int32_t>(VELA_ERR_NOCAMERA));
    EXPECT_EQ(VelaGetValue(d, kExposure, nullptr), static_cast<int32_t>(VELA_ERR_INVALIDPARAM));

    const std::vector<std::string> expected = {
        "VelaOpen(size=16, index=0) -> 1",
        "VelaOpenWait(size=24, device=0x0D000100) -> 1",
        "VelaSetValue(device=0x0D000100, id=0x00401110, value=2) -> 1",
        "VelaSetValue(device=0x0D000100, id=0x001F0110, value=0.5) -> 1",
        "VelaSetValue(device=0x0D000100, id=0x001F0110, value=0.25) -> 0x80000822",
        "VelaGetValue(device=0x0D000100, id=0x001F0110) -> 1",
        "VelaSetValue(device=0x0D000100, id=0x001F0110, value=0.25) -> 1",
        "VelaGetBinning(device=0x0D000100) -> 0 err=0x80000206",
        "VelaGetValue(device=0x0D000100, id=0x001F0110) -> 0x80000206",
        "VelaGetLastError(device=0x0D000100) -> 0x80000206",
        "VelaGetValue(device=0x0D000100, id=0x001F0110) -> 0x80000808",
    };
    EXPECT_EQ(Journal(), expected);
}

// A camera polled for hours must not grow the journal without end: only the newest lines stay.
TEST_F(Sim, JournalKeepsOnlyTheNewestLines)
{
    uint64_t d = Open(0);
    const int32_t bound = 1 << 16;
    for (int32_t k = 0; k < bound + 10; ++k)
        VelaGetValue(d, kExposure, nullptr);
    VelaGetValue(d, kBinning, nullptr);
    ASSERT_EQ(VelaSim_JournalCount(), bound);
    char text[128];
    VelaSim_JournalLine(bound - 1, text, sizeof text);
    EXPECT_EQ(std::string(text), "VelaGetValue(device=0x0D000100, id=0x00401110) -> 0x80000808");
}

TEST_F(Sim, BackgroundReferenceIsTheFrameCapturedAtTheStore)
{
    uint64_t d = Open(1);
    auto mean = [&] {
        EXPECT_EQ(VelaAllocBuffers(d, 1), 1);
        EXPECT_EQ(VelaCaptureStart(d, 0), 1);
        EXPECT_EQ(VelaSim_DeliverFrames(1, 1), 1);
        VelaFrameRecord f = Lock(d, 0);
        double sum = 0;
        const auto *row = static_cast<const uint8_t *>(f.address) + f.rowBytes;
        for (uint32_t x = 0; x < f.width; ++x)
            sum += row[2 * x] | row[2 * x + 1] << 8;
        EXPECT_EQ(VelaStopCapture(d), 1);
        EXPECT_EQ(VelaReleaseBuffers(d, 0), 1);
        return sum / f.width;
    };
    const double raw = mean();
    ASSERT_EQ(VelaSetValue(d, 0x00380410, 2), 1); // capture a background reference
    ASSERT_EQ(VelaAllocBuffers(d, 1), 1);
    ASSERT_EQ(VelaCaptureStart(d, 0), 1);
    EXPECT_EQ(VelaCommitReference(d), static_cast<int32_t>(VELA_ERR_NOTREADY));
    ASSERT_EQ(VelaSim_DeliverFrames(1, 1), 1);
    uint32_t event = 0;
    ASSERT_EQ(Wait(VELA_EVENT_REFERENCE, 0, &event), 1);
    EXPECT_EQ(event, static_cast<uint32_t>(VELA_EVENT_REFERENCE));
    ASSERT_EQ(VelaSetValue(d, 0x00380230, 2), 1);
    ASSERT_EQ(VelaCommitReference(d), 1);
    ASSERT_EQ(VelaFinishReference(d), 1);
    ASSERT_EQ(VelaSetValue(d, 0x00380410, 1), 1);
    ASSERT_EQ(VelaStopCapture(d), 1);
    ASSERT_EQ(VelaReleaseBuffers(d, 0), 1);

    ASSERT_EQ(VelaSetValue(d, 0x00380210, 2), 1);
    ASSERT_EQ(VelaSetValue(d, 0x00380220, 2), 1);
    EXPECT_LT(mean(), 0.05 * raw) << "the same scene minus its reference";
}

TEST_F(Sim, RecorderTakesFramesAsTheyAreProduced)
{
    uint64_t d = Open(1);
    const std::string path = ::testing::TempDir() + "sim_smoke_recording.vlseq";
    VelaRecorderOpenRecord open{};
    open.size = sizeof open;
    open.flags = VELA_RECORDER_BUFFERED;
    open.path = path.c_str();
    open.maxFrames = 10;
    open.fileTextCapacity = open.frameTextCapacity = 1024;
    ASSERT_EQ(VelaRecorderOpen(&open), 1);
    VelaTextRecord text{sizeof(VelaTextRecord), 1, VELA_TEXT_FILE, 0, "run", 3, 0};
    EXPECT_EQ(VelaRecorderWriteText(open.recorder, &text), 1) << "kept until the file exists";
    ASSERT_EQ(VelaAllocBuffers(d, 4), 1);
    ASSERT_EQ(VelaCaptureRecord(d, open.recorder), 1);
    ASSERT_EQ(VelaCaptureStart(d, -1), 1);
    ASSERT_EQ(VelaSim_DeliverFrames(1, 3), 3);
    VelaRecorderStatusRecord status{};
    status.size = sizeof status;
    ASSERT_EQ(VelaRecorderStatus(open.recorder, &status), 1);
    EXPECT_EQ(status.totalCount, 3);
    EXPECT_EQ(status.currentIndex, 2);
    VelaFrameRecord f{};
    f.size = sizeof f;
    f.index = 2;
    ASSERT_EQ(VelaRecorderLockFrame(open.recorder, &f), 1);
    EXPECT_EQ(FrameNumber(f.address), 2u);
    EXPECT_EQ(f.rowBytes, 512 * 2) << "recorded rows are not padded";
    f.index = 3;
    EXPECT_EQ(VelaRecorderLockFrame(open.recorder, &f),
              static_cast<int32_t>(VELA_ERR_INVALIDPARAM));
    EXPECT_EQ(VelaRecorderClose(open.recorder), 1);
    EXPECT_EQ(VelaRecorderStatus(open.recorder, &status),
              static_cast<int32_t>(VELA_ERR_INVALIDRECHANDLE));
    remove(path.c_str());
}

TEST_F(Sim, CameraSetTextReplacesTheCamerasAndBadTextIsRefused)
{
    const char *set = "camera ONE\nsensor 64 32 mono8\nprop 0x001F0110 \"EXPOSURE TIME\" real rw "
                      "min=0.001 max=1 step=0.001 default=0.1\n";
    ASSERT_EQ(VelaSim_LoadCameraSet(set), 1);
    VelaInitRecord init{};
    init.size = sizeof init;
    ASSERT_EQ(VelaInit(&init), 1);
    EXPECT_EQ(init.cameraCount, 1);
    uint64_t d = Open(0);
    double width = 0;
    EXPECT_EQ(VelaGetValue(d, kWidth, &width), static_cast<int32_t>(VELA_ERR_INVALIDPROPERTYID))
        << "a model without the image properties";
    uint32_t id = 0;
    EXPECT_EQ(VelaGetNextPropertyId(d, &id, VELA_NEXT_ALL), 1);
    EXPECT_EQ(id, kExposure);
    EXPECT_EQ(VelaGetNextPropertyId(d, &id, VELA_NEXT_ALL), 0);
    EXPECT_LT(VelaSim_LoadCameraSet("camera TWO\nprop 1 x real rw\n"), 0);
    EXPECT_LT(VelaSim_LoadCameraSet("sensor 8 8 mono8\n"), 0);
}

} // namespace
