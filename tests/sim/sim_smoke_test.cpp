// The simulated device on its own, where the library's tests cannot see it: the journal and its
// bound, fault injection, and the refusals of its control surface. Camera-set texts that load
// are the behaviour tests' (through the exports).
#include <gtest/gtest.h>

#include <math.h>

#include <string>
#include <vector>

#include "recording_file.h"

namespace {

using namespace recordertest;

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
    uint64_t Open(uint32_t index) { return OpenDevice(index, &wait_); }
    uint64_t wait_ = 0;
};

TEST_F(Sim, JournalHasOneLinePerCallAndFaultsTakeTheNthMatchingCall)
{
    VelaSim_JournalClear();
    uint64_t d = Open(0);
    VelaSim_FailCall("VelaSetValue", kExposure, 2, VELA_ERR_OUTOFRANGE, 0);
    EXPECT_EQ(VelaSetValue(d, kBinning, 2), 1) << "another property does not count";
    EXPECT_EQ(VelaSetValue(d, kExposure, 0.5), 1);
    EXPECT_EQ(VelaSetValue(d, kExposure, 0.25), VELA_ERR_OUTOFRANGE);
    EXPECT_EQ(Get(d, kExposure), 0.5) << "a failing call does no work";
    EXPECT_EQ(VelaSetValue(d, kExposure, 0.25), 1) << "not sticky: only the 2nd";
    int32_t binning = 0;
    VelaSim_FailCall("*", 0, 1, VELA_ERR_NOCAMERA, 1);
    EXPECT_EQ(VelaGetBinning(d, &binning), 0);
    EXPECT_EQ(binning, 0);
    EXPECT_EQ(VelaGetValue(d, kExposure, nullptr), VELA_ERR_NOCAMERA);
    VelaSim_ClearFaults();
    EXPECT_EQ(VelaGetLastError(d, nullptr, 0), VELA_ERR_NOCAMERA);
    EXPECT_EQ(VelaGetValue(d, kExposure, nullptr), VELA_ERR_INVALIDPARAM);

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

// A loss plan, a disk delay or a camera-set text the device cannot honour changes nothing.
TEST_F(Sim, ALossPlanTheDeviceCannotHonourIsRefusedAndChangesNothing)
{
    const int64_t kept[] = {5};
    ASSERT_EQ(VelaSim_SetLostFrames(1, kept, 1), 1);
    const int32_t invalid = VELA_ERR_INVALIDPARAM;
    for (double rate : {-0.1, 0.0, double{NAN}, 1.5, double{INFINITY}})
        EXPECT_EQ(VelaSim_SetFrameLoss(1, rate, 1), invalid) << rate;
    const std::vector<std::vector<int64_t>> badLists = {
        {-1}, {7, 6}, {8, 8}, {int64_t{UINT32_MAX} + 1}, {1, INT64_MAX}};
    for (const std::vector<int64_t> &list : badLists)
        EXPECT_EQ(VelaSim_SetLostFrames(1, list.data(), static_cast<int32_t>(list.size())),
                  invalid);
    EXPECT_EQ(VelaSim_SetLostFrames(1, nullptr, 1), invalid);
    EXPECT_EQ(VelaSim_SetLostFrames(1, kept, -1), invalid);
    EXPECT_EQ(VelaSim_SetRecorderDelay(-1), invalid);
    EXPECT_EQ(VelaSim_FrameLost(1, 5), 1) << "the plan set before stays";
    EXPECT_EQ(VelaSim_FrameLost(1, 4), 0);
    EXPECT_EQ(VelaSim_SetFrameLoss(99, 0.5, 1), VELA_ERR_INVALIDCAMERA);
    const std::string camera = "camera A\nsensor 16 8 mono16\n";
    for (const char *line : {"recorder backpressure=maybe", "recorder backpressure=off extra",
                             "recorder pressure=off"})
        EXPECT_EQ(VelaSim_LoadCameraSet((camera + line).c_str()), invalid) << line;
    EXPECT_LT(VelaSim_LoadCameraSet("camera TWO\nprop 1 x real rw\n"), 0);
    EXPECT_LT(VelaSim_LoadCameraSet("sensor 8 8 mono8\n"), 0);
}

} // namespace
