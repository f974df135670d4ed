// The simulated device on its own, where the library's tests cannot see it: the journal and its
// bound, fault injection and camera-set texts. Frame layouts,
// deliveries, references and the recorder are tested through the library's exports.
#include <gtest/gtest.h>

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
