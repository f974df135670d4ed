// The recorder with frames queued ahead of its writer thread: order, counts, texts and frame
// layouts in the file; a device closed under a free-running capture; a disk that fills up. The
// endings of a capture with frames queued are the recording tests' (through the exports). The
// process exit is in recorder_exit_test.cpp.
#include <gtest/gtest.h>

#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#ifndef _WIN32
#include <sys/resource.h>
#endif

#include <string>
#include <vector>

#include "recording_file.h"

namespace {

using namespace recordertest;

class RecorderQueue : public ::testing::Test {
  protected:
    void SetUp() override { InitSim(true); }
    void TearDown() override
    {
        VelaSim_Reset();
        for (const std::string &path : files_)
            remove(path.c_str());
    }

    uint64_t Open(uint32_t index) { return OpenDevice(index, &wait_); }

    std::string File(const std::string &name)
    {
        files_.push_back(TempPath(name));
        remove(files_.back().c_str());
        return files_.back();
    }

    // Frames the recorder reports, or its error code.
    static int32_t Status(uint64_t recorder)
    {
        VelaRecorderStatusRecord status{};
        status.size = sizeof status;
        int32_t r = VelaRecorderStatus(recorder, &status);
        if (r == 1) {
            EXPECT_EQ(status.currentIndex, status.totalCount - 1);
        }
        return r == 1 ? status.totalCount : r;
    }

    static int32_t LockRecorded(uint64_t recorder, int32_t index, VelaFrameRecord &f)
    {
        f = VelaFrameRecord{};
        f.size = sizeof f;
        f.index = index;
        return VelaRecorderLockFrame(recorder, &f);
    }

    static int32_t WriteText(uint64_t recorder, uint32_t level, int32_t index,
                             const std::string &text)
    {
        const auto bytes = static_cast<uint32_t>(text.size());
        VelaTextRecord record{sizeof(VelaTextRecord), 1, level, index, text.data(), bytes, 0};
        return VelaRecorderWriteText(recorder, &record);
    }

    // The 16-bit image a buffer of the device holds, rows without padding.
    static Image DeviceImage(uint64_t device, int32_t buffer)
    {
        const VelaFrameRecord f = LockFrame(device, buffer);
        Image out;
        for (uint32_t y = 0; y < f.height; ++y) {
            const auto *row = static_cast<const uint8_t *>(f.address) + y * size_t(f.rowBytes);
            out.insert(out.end(), row, row + size_t{f.width} * 2);
        }
        return out;
    }

    uint64_t wait_ = 0;
    std::vector<std::string> files_;
};

TEST_F(RecorderQueue, FramesPastTheRingArriveInOrderWithTextsAfterTheirFramesUpToTheMaximum)
{
    uint64_t d = Open(1); // 512 x 512, rows padded by 64 bytes
    const std::string path = File("queue.vlseq");
    ASSERT_EQ(VelaAllocBuffers(d, 4), 1);
    uint64_t rec = OpenRecorder(d, path, 50);
    ASSERT_NE(rec, 0u);
    ASSERT_EQ(VelaCaptureStart(d, -1), 1);
    for (int32_t delivered = 10; delivered <= 40; delivered += 10) {
        ASSERT_EQ(VelaSim_DeliverFrames(1, 10), 10);
        EXPECT_EQ(
            WriteText(rec, VELA_TEXT_FRAME, delivered - 1, "after " + std::to_string(delivered)),
            1);
    }
    EXPECT_EQ(Status(rec), 40) << "every frame handed over counts, written or not";
    VelaFrameRecord f;
    ASSERT_EQ(LockRecorded(rec, 39, f), 1);
    EXPECT_EQ(FrameNumber(f.address), 39u);
    EXPECT_EQ(f.rowBytes, 512 * 2);
    EXPECT_EQ(LockRecorded(rec, 40, f), static_cast<int32_t>(VELA_ERR_INVALIDPARAM));
    std::vector<Image> last;
    for (int32_t frame = 36; frame < 40; ++frame)
        last.push_back(DeviceImage(d, frame % 4));

    EXPECT_EQ(VelaSim_DeliverFrames(1, 20), 20) << "the file's maximum does not hold up capture";
    EXPECT_EQ(Status(rec), 50);
    EXPECT_EQ(VelaRecorderClose(rec), 1);
    EXPECT_EQ(VelaRecorderClose(rec), static_cast<int32_t>(VELA_ERR_INVALIDRECHANDLE));

    Recording file(path);
    ASSERT_EQ(file.Frames(), 50);
    EXPECT_EQ(file.Numbers(), Count(0, 50));
    for (int32_t frame = 36; frame < 40; ++frame)
        EXPECT_EQ(file.Frame(frame), last[static_cast<size_t>(frame - 36)]) << frame;
    const std::vector<vlseqfmt::Stamp> &stamps = file.reader.Stamps();
    for (size_t k = 1; k < stamps.size(); ++k)
        EXPECT_GT(stamps[k].seconds * 1000000.0 + stamps[k].microseconds,
                  stamps[k - 1].seconds * 1000000.0 + stamps[k - 1].microseconds)
            << k;
    for (int32_t frame = 9; frame < 40; frame += 10) {
        auto text = file.reader.Texts().find({VELA_TEXT_FRAME, frame});
        ASSERT_NE(text, file.reader.Texts().end()) << frame;
        EXPECT_GT(text->second.offset, file.reader.DataOffset(frame))
            << "a text follows the frames handed over before it";
    }
}

TEST_F(RecorderQueue, BundlesAndPackedTwelveBitAreQueuedImageByImage)
{
    uint64_t d = Open(0);
    ASSERT_EQ(VelaSetValue(d, kBinning, 4), 1); // 512 x 512
    ASSERT_EQ(VelaSetValue(d, kPixelType, 3), 1);
    ASSERT_EQ(VelaSetValue(d, kBundleMode, 2), 1);
    ASSERT_EQ(VelaSetValue(d, kBundleNumber, 3), 1);
    const std::string path = File("bundles.vlseq");
    ASSERT_EQ(VelaAllocBuffers(d, 2), 1);
    uint64_t rec = OpenRecorder(d, path, 100);
    ASSERT_NE(rec, 0u);
    ASSERT_EQ(VelaCaptureStart(d, -1), 1);
    ASSERT_EQ(VelaSim_DeliverFrames(0, 5), 5);
    EXPECT_EQ(Status(rec), 15);
    // Buffer frames 3 and 4, unpacked here: images 9 to 14.
    std::vector<Image> expected;
    for (int32_t buffer : {1, 0}) {
        const VelaFrameRecord f = LockFrame(d, buffer);
        ASSERT_EQ(f.rowBytes, 512 * 3 / 2);
        for (uint32_t k = 0; k < 3; ++k) {
            Image image;
            for (uint32_t y = 0; y < 512; ++y) {
                const auto *g = static_cast<const uint8_t *>(f.address) +
                                (size_t{k} * 512 + y) * static_cast<size_t>(f.rowBytes);
                for (uint32_t x = 0; x < 512; x += 2, g += 3) {
                    const uint32_t first = (uint32_t{g[0]} << 4) | (g[1] & 0xFu);
                    const uint32_t second = (uint32_t{g[2]} << 4) | (g[1] >> 4);
                    for (uint32_t v : {first, second}) {
                        image.push_back(static_cast<uint8_t>(v));
                        image.push_back(static_cast<uint8_t>(v >> 8));
                    }
                }
            }
            expected.push_back(image);
        }
    }
    ASSERT_EQ(VelaRecorderClose(rec), 1);
    Recording file(path);
    ASSERT_EQ(file.Frames(), 15);
    EXPECT_EQ(file.reader.Header().rowPitch, 512u * 2);
    for (int64_t k = 9; k < 15; ++k)
        EXPECT_EQ(file.Frame(k), expected[static_cast<size_t>(k - 9)]) << "image " << k;
}

// Camera 0 at its fastest pace fills the ring faster than the disk empties it; the device is
// closed in the middle of the capture while the host asks the recorder and writes texts.
TEST_F(RecorderQueue, AFreeRunningCaptureFasterThanTheDiskClosesWithoutLosingAFrame)
{
    InitSim(false);
    uint64_t d = Open(0);
    ASSERT_EQ(VelaSetValue(d, kBinning, 2), 1); // 2 MiB frames, hundreds a second
    ASSERT_EQ(VelaSetValue(d, kExposure, 0.00001), 1);
    const std::string path = File("free_run.vlseq");
    ASSERT_EQ(VelaAllocBuffers(d, 8), 1);
    uint64_t rec = OpenRecorder(d, path, 100000);
    ASSERT_NE(rec, 0u);
    ASSERT_EQ(VelaCaptureStart(d, -1), 1);
    VelaWaitRecord w{sizeof w, 0, VELA_EVENT_FRAMEREADY, 5000};
    for (int k = 0; k < 30; ++k) {
        ASSERT_EQ(VelaWaitStart(wait_, &w), 1);
        EXPECT_GE(Status(rec), 0);
        if (k % 10 == 0) {
            EXPECT_EQ(WriteText(rec, VELA_TEXT_GROUP, k, "group"), 1);
        }
    }
    ASSERT_EQ(VelaClose(d), 1);
    const int32_t accepted = Status(rec);
    EXPECT_GE(accepted, 30);
    ASSERT_EQ(VelaRecorderClose(rec), 1);
    Recording file(path);
    EXPECT_EQ(file.Numbers(), Count(0, static_cast<uint32_t>(accepted)));
}

#ifndef _WIN32
// The process may write files up to `bytes`; a larger write fails as on a full disk.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &old_);
        signal_ = signal(SIGXFSZ, SIG_IGN);
        rlimit limit = old_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &old_);
        signal(SIGXFSZ, signal_);
    }

  private:
    rlimit old_{};
    void (*signal_)(int) = nullptr;
};
#endif

TEST_F(RecorderQueue, AFullDiskFailsTheNextRecorderCallAndStopsTheAppends)
{
#ifdef _WIN32
    GTEST_SKIP() << "the disk fills up through a POSIX file size limit";
#else
    uint64_t d = Open(1);
    const std::string path = File("full.vlseq");
    ASSERT_EQ(VelaAllocBuffers(d, 4), 1);
    uint64_t rec = OpenRecorder(d, path, 100);
    ASSERT_NE(rec, 0u);
    ASSERT_EQ(VelaCaptureStart(d, -1), 1);
    int32_t inFile = 0;
    {
        FileSizeLimit limit(3 << 20); // room for five 512 KiB frames
        ASSERT_EQ(VelaSim_DeliverFrames(1, 20), 20);
        VelaFrameRecord f;
        EXPECT_EQ(LockRecorded(rec, 19, f), static_cast<int32_t>(VELA_ERR_FAILEDWRITEDATA));
        VelaRecorderStatusRecord status{};
        status.size = sizeof status;
        EXPECT_EQ(VelaRecorderStatus(rec, &status), static_cast<int32_t>(VELA_ERR_FAILEDWRITEDATA));
        inFile = status.totalCount;
        EXPECT_EQ(WriteText(rec, VELA_TEXT_FILE, 0, "late"),
                  static_cast<int32_t>(VELA_ERR_FAILEDWRITEDATA));
        EXPECT_EQ(VelaSim_DeliverFrames(1, 40), 40) << "a failed recorder never holds up capture";
        EXPECT_EQ(VelaRecorderClose(rec), static_cast<int32_t>(VELA_ERR_FAILEDWRITEDATA));
    }
    EXPECT_GT(inFile, 0);
    EXPECT_LT(inFile, 6);
    Recording file(path);
    EXPECT_EQ(file.Numbers(), Count(0, static_cast<uint32_t>(inFile)))
        << "the status counts the frames the file kept";
#endif
}

} // namespace
