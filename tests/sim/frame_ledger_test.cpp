// Every frame a camera exposed is accounted for in a recording: seeded transport loss and a
// recorder without back-pressure behind a slow disk leave exactly the gaps they made. The file
// written before frames carried numbers is read back in the package's frame-ledger tests.
#include <gtest/gtest.h>

#include <math.h>
#include <stdio.h>

#include <set>
#include <string>
#include <vector>

#include "recording_file.h"

namespace {

using namespace recordertest;

class FrameLedger : public ::testing::Test {
  protected:
    void SetUp() override
    {
        InitSim(true);
        VelaSim_JournalEnable(0);
    }
    void TearDown() override
    {
        VelaSim_Reset();
        remove(path_.c_str());
    }

    // Camera 1 on a 16 x 8 area (`area`: set it; else the camera's whole sensor), capturing
    // into a buffered recording.
    uint64_t Recorded(const std::string &name, bool area = true)
    {
        const uint64_t d = OpenDevice(1);
        for (auto [id, value] :
             {std::pair{kSubMode, 2.0}, {kHsize, 16.0}, {kVsize, 8.0}, {kExposure, 0.001}})
            if (area) {
                EXPECT_EQ(VelaSetValue(d, id, value), 1) << std::hex << id;
            }
        EXPECT_EQ(VelaAllocBuffers(d, 8), 1);
        path_ = TempPath(name);
        recorder_ = OpenRecorder(d, path_, 1u << 20);
        EXPECT_NE(recorder_, 0u);
        EXPECT_EQ(VelaCaptureStart(d, -1), 1);
        return d;
    }

    // The numbers the file lacks, each with the reason the file gives, and what it holds.
    struct Ledger {
        std::vector<uint64_t> missing, dropped, kept;
    };
    static Ledger Read(Recording &file)
    {
        Ledger l;
        for (const vlseqfmt::Gap &g : file.reader.Gaps())
            for (uint64_t n = g.first; n < g.first + g.count; ++n)
                (n - g.first < g.dropped ? l.dropped : l.missing).push_back(n);
        for (const vlseqfmt::LedgerEntry &e : file.reader.Ledger())
            l.kept.push_back(e.number);
        return l;
    }

    std::string path_;
    uint64_t recorder_ = 0;
};

TEST_F(FrameLedger, SeededTransportLossLeavesExactlyTheInjectedGaps)
{
    // 10,000 frames a seed keep this to seconds under the sanitizers; the Python frame-ledger
    // test takes 100,000 through the stream, the file, qxcm-seq and the reader.
    const std::pair<uint64_t, int32_t> runs[] = {{1, 10000}, {77, 10000}, {4096, 10000}};
    for (const auto &[seed, kExposed] : runs) {
        SCOPED_TRACE(seed);
        SetUp();
        ASSERT_EQ(VelaSim_SetFrameLoss(1, 0.001, seed), 1);
        const uint64_t d = Recorded("loss.vlseq");
        ASSERT_EQ(VelaSim_DeliverFrames(1, kExposed), kExposed);
        VelaTransferRecord t{sizeof t, 0, 0, 0};
        ASSERT_EQ(VelaGetTransferInfo(d, &t), 1);
        ASSERT_EQ(VelaStopCapture(d), 1);
        ASSERT_EQ(VelaRecorderClose(recorder_), 1);

        std::vector<uint64_t> injected;
        for (int64_t n = 0; n < kExposed; ++n)
            if (VelaSim_FrameLost(1, n) == 1)
                injected.push_back(static_cast<uint64_t>(n));
        ASSERT_GT(injected.size(), size_t(kExposed / 2000));
        ASSERT_LT(injected.size(), size_t(kExposed / 500));
        EXPECT_EQ(t.frameCount, kExposed - static_cast<int32_t>(injected.size()))
            << "the device counts what it delivered";

        Recording file(path_);
        ASSERT_TRUE(file.ok);
        const Ledger l = Read(file);
        EXPECT_EQ(l.missing, injected);
        EXPECT_TRUE(l.dropped.empty());
        EXPECT_EQ(l.kept.size() + l.missing.size(), static_cast<size_t>(kExposed));
        for (int64_t k : {int64_t{0}, file.Frames() / 2, file.Frames() - 1})
            EXPECT_EQ(FrameNumber(file.Frame(k).data()), l.kept[static_cast<size_t>(k)]);
        TearDown();
    }
}

TEST_F(FrameLedger, WithoutBackPressureASlowDiskCostsFramesNotPaceAndTheFileSaysWhich)
{
    for (bool bySet : {false, true}) {
        SCOPED_TRACE(bySet ? "camera set" : "control call");
        SetUp();
        if (bySet) {
            ASSERT_EQ(
                VelaSim_LoadCameraSet("camera A\nsensor 16 8 mono16\n"
                                      "camera B\nsensor 16 8 mono16\nrecorder backpressure=off\n"),
                2);
            VelaInitRecord init{};
            init.size = sizeof init;
            ASSERT_EQ(VelaInit(&init), 1);
        } else {
            ASSERT_EQ(VelaSim_SetBackPressure(1, 0), 1);
        }
        ASSERT_EQ(VelaSim_SetRecorderDelay(2000), 1);
        const uint64_t d = Recorded("drops.vlseq", !bySet);
        constexpr int32_t kExposed = 400;
        // Under the manual clock each exposure advances the camera's time by one frame interval:
        // all of them happen in this call, however far the disk falls behind.
        ASSERT_EQ(VelaSim_DeliverFrames(1, kExposed), kExposed);
        ASSERT_EQ(VelaStopCapture(d), 1);
        ASSERT_EQ(VelaSim_SetRecorderDelay(0), 1);
        ASSERT_EQ(VelaRecorderClose(recorder_), 1);

        Recording file(path_);
        ASSERT_TRUE(file.ok);
        const Ledger l = Read(file);
        EXPECT_TRUE(l.missing.empty()) << "every gap is the recorder's";
        EXPECT_GT(l.dropped.size(), 0u) << "a 2 ms disk cannot take 400 frames at once";
        EXPECT_EQ(l.kept.size() + l.dropped.size(), size_t{kExposed});
        std::set<uint64_t> all(l.kept.begin(), l.kept.end());
        all.insert(l.dropped.begin(), l.dropped.end());
        EXPECT_EQ(all.size(), size_t{kExposed}) << "no number is both kept and missing";
        for (int64_t k = 0; k < file.Frames(); ++k)
            ASSERT_EQ(FrameNumber(file.Frame(k).data()), l.kept[static_cast<size_t>(k)]) << k;
        TearDown();
    }
}

TEST_F(FrameLedger, ALossPlanTheDeviceCannotHonourIsRefusedAndChangesNothing)
{
    const int64_t kept[] = {5};
    ASSERT_EQ(VelaSim_SetLostFrames(1, kept, 1), 1);
    const double badRates[] = {-0.1, 0.0, NAN, 1.5, INFINITY};
    for (double rate : badRates)
        EXPECT_EQ(VelaSim_SetFrameLoss(1, rate, 1), static_cast<int32_t>(VELA_ERR_INVALIDPARAM))
            << rate;
    const std::vector<std::vector<int64_t>> badLists = {
        {-1}, {7, 6}, {8, 8}, {int64_t{UINT32_MAX} + 1}, {1, INT64_MAX}};
    for (const std::vector<int64_t> &list : badLists)
        EXPECT_EQ(VelaSim_SetLostFrames(1, list.data(), static_cast<int32_t>(list.size())),
                  static_cast<int32_t>(VELA_ERR_INVALIDPARAM));
    EXPECT_EQ(VelaSim_SetLostFrames(1, nullptr, 1), static_cast<int32_t>(VELA_ERR_INVALIDPARAM));
    EXPECT_EQ(VelaSim_SetLostFrames(1, kept, -1), static_cast<int32_t>(VELA_ERR_INVALIDPARAM));
    EXPECT_EQ(VelaSim_SetRecorderDelay(-1), static_cast<int32_t>(VELA_ERR_INVALIDPARAM));
    EXPECT_EQ(VelaSim_FrameLost(1, 5), 1) << "the plan set before stays";
    EXPECT_EQ(VelaSim_FrameLost(1, 4), 0);
    EXPECT_EQ(VelaSim_SetFrameLoss(99, 0.5, 1), static_cast<int32_t>(VELA_ERR_INVALIDCAMERA));
    for (const char *line : {"recorder backpressure=maybe", "recorder backpressure=off extra",
                             "recorder pressure=off"})
        EXPECT_EQ(
            VelaSim_LoadCameraSet((std::string("camera A\nsensor 16 8 mono16\n") + line).c_str()),
            static_cast<int32_t>(VELA_ERR_INVALIDPARAM))
            << line;
}

} // namespace
