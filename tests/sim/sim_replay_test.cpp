// A camera that plays a recording: frames bit for bit with their stamps, the settings acting on
// the replayed scene, and files that cannot be played. The host-paced replay is the Python
// export tests'.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "recording_file.h"
#include "vlseq_fuzz_support.h"
#include "vlseq_writer.h"

namespace {

using namespace recordertest;

constexpr uint32_t kLut = 0x00380510, kLutSelect = 0x00380520, kSensorMode = 0x00400210;
constexpr uint32_t kEnd = 0x00FF0120;

struct Shape {
    uint32_t pixelType, width, height, bytesPerPixel;
};

// A recording of `frames` frames whose bytes all differ from frame to frame, with uneven stamps
// that cross a second and carry an unnormalised microsecond count; with `numbers`, the device
// numbers of the frames (gaps where they jump) and `trailing` numbers missing at the end.
std::vector<std::vector<uint8_t>> WriteRecording(const std::string &path, Shape s, uint32_t frames,
                                                 const std::vector<uint64_t> &numbers = {},
                                                 uint32_t trailing = 0)
{
    vlseqfmt::Writer w;
    EXPECT_EQ(w.Open(path.c_str(), {s.pixelType, s.width, s.height, 0}, 1000, 64, 64, true), 1);
    std::vector<std::vector<uint8_t>> images;
    const size_t bytes = size_t{s.width} * s.height * s.bytesPerPixel;
    for (uint32_t k = 0; k < frames; ++k) {
        std::vector<uint8_t> image(bytes);
        for (size_t i = 0; i < bytes; ++i)
            image[i] = static_cast<uint8_t>(i * 7 + k * 31 + (i >> 8));
        vlseqfmt::LedgerEntry e;
        if (!numbers.empty()) {
            e.number = numbers[k];
            e.gap = static_cast<uint32_t>(k == 0 ? numbers[0] : numbers[k] - numbers[k - 1] - 1);
        }
        EXPECT_EQ(w.AppendFrame(image.data(), static_cast<int64_t>(s.width * s.bytesPerPixel),
                                100 + k / 3, k == 1 ? -5 : static_cast<int32_t>(330000 * (k % 3)),
                                numbers.empty() ? nullptr : &e),
                  1);
        images.push_back(std::move(image));
    }
    EXPECT_EQ(trailing > 0 ? w.SetTrailingGap(trailing, 0) : 1, 1);
    EXPECT_EQ(w.Close(), 1);
    return images;
}

class Replay : public ::testing::Test {
  protected:
    void TearDown() override
    {
        VelaSim_Reset();
        std::filesystem::remove(path_);
    }

    int32_t Load(const std::string &options) const
    {
        VelaSim_Reset();
        VelaSim_SetManualClock(1);
        return VelaSim_LoadCameraSet(("replay \"" + path_ + "\" " + options).c_str());
    }
    // Loads a set whose camera 0 plays the file and opens it.
    void Play(const std::string &options)
    {
        ASSERT_EQ(Load(options), 1);
        ASSERT_EQ(InitCameras(), 1);
        device_ = OpenDevice(0);
        delivered_ = 0;
    }
    void Start()
    {
        ASSERT_EQ(VelaAllocBuffers(device_, buffers_), 1);
        ASSERT_EQ(VelaCaptureStart(device_, -1), 1);
    }
    VelaFrameRecord Deliver()
    {
        EXPECT_EQ(VelaSim_DeliverFrames(0, 1), 1);
        return LockFrame(device_, static_cast<int32_t>(delivered_++ % uint32_t(buffers_)));
    }
    void ExpectCaptureEnded()
    {
        int32_t status = -1;
        EXPECT_EQ(VelaGetCaptureStatus(device_, &status), 1);
        EXPECT_EQ(status, VELA_STATUS_READY);
    }

    std::string path_ = TempPath("replay.vlseq");
    uint64_t device_ = 0;
    const int32_t buffers_ = 4;
    uint32_t delivered_ = 0;
};

TEST_F(Replay, DeliversTheRecordedFramesBitForBitWithTheirStampsAndNumbersAcrossALoop)
{
    // The numbers of the second case jump (1 missing before frame 0, 3 before frame 2 and 2
    // after frame 4): a pass later they count on by 8 + 1 + 2.
    const std::vector<uint64_t> gapped = {1, 2, 6, 7, 8};
    struct Case {
        Shape shape;
        const char *options;
        uint32_t views;
        std::vector<uint64_t> numbers;
    } cases[] = {{{2, 20, 6, 2}, "", 1, {}},         // mono16, a width no sensor line accepts
                 {{1, 13, 8, 1}, "", 1, gapped},     // mono8, odd width, gaps
                 {{3, 8, 5, 3}, "", 1, {}},          // RGB
                 {{2, 12, 8, 2}, "views=2", 2, {}}}; // two views stacked, played in split view
    for (const Case &c : cases) {
        SCOPED_TRACE(c.options + std::to_string(c.shape.pixelType));
        const auto images = WriteRecording(path_, c.shape, 5, c.numbers, c.numbers.empty() ? 0 : 2);
        recordertest::Recording file(path_);
        Play(c.options);
        EXPECT_EQ(Get(device_, kWidth), c.shape.width);
        EXPECT_EQ(Get(device_, kHeight), c.shape.height / c.views);
        Start();
        for (uint32_t k = 0; k < 7; ++k) { // past the end: the file loops
            VelaFrameRecord f = Deliver();
            const auto &want = images[k % 5];
            ASSERT_EQ(size_t(f.rowBytes) * f.height, want.size());
            EXPECT_EQ(0, memcmp(f.address, want.data(), want.size())) << "frame " << k;
            const uint64_t pass = c.numbers.empty() ? 5 : 8 + 1 + 2;
            EXPECT_EQ(f.frameNumber, (c.numbers.empty() ? k % 5 : c.numbers[k % 5]) + k / 5 * pass)
                << k;
            const auto &stamps = file.reader.Stamps();
            auto seconds = [](vlseqfmt::Stamp s) { return s.seconds + s.microseconds / 1e6; };
            if (k < 5) {
                EXPECT_EQ(f.stampSeconds, stamps[k].seconds);
                EXPECT_EQ(f.stampMicroseconds, stamps[k].microseconds);
            } else { // a pass later by the span and one mean interval
                const double span = seconds(stamps[4]) - seconds(stamps[0]);
                EXPECT_NEAR(f.stampSeconds + f.stampMicroseconds / 1e6,
                            seconds(stamps[k - 5]) + span * 5 / 4, 2e-6);
            }
        }
        VelaSim_Reset();
    }
}

// What each setting makes of the replayed scene, pixel by pixel against the recorded frame.
TEST_F(Replay, SettingsActOnTheReplayedSceneOrAreRefused)
{
    const Shape shape{2, 16, 8, 2};
    const auto images = WriteRecording(path_, shape, 3);
    auto recorded = [&](uint32_t x, uint32_t y) {
        const uint8_t *p = images[0].data() + (y * shape.width + x) * 2;
        return static_cast<uint32_t>(p[0] | p[1] << 8);
    };
    const VelaLutEntry lut[] = {{0, 65535}, {65535, 0}};
    VelaDataRecord lutData{sizeof lutData, 2, 0, 1, 0, lut, sizeof lut, 0};
    const struct {
        const char *name;
        std::vector<std::pair<uint32_t, double>> values;
        VelaDataRecord *data;
        uint32_t width, height;
        std::function<uint32_t(uint32_t, uint32_t)> expected;
    } cases[] = {
        {"sub-array",
         {{kSubMode, 2}, {kHsize, 8}, {kVsize, 4}, {kHpos, 4}, {kVpos, 4}},
         nullptr,
         8,
         4,
         [&](uint32_t x, uint32_t y) { return recorded(x + 4, y + 4); }},
        {"lookup table",
         {{kLut, 2}, {kLutSelect, 1}},
         &lutData,
         16,
         8,
         [&](uint32_t x, uint32_t y) { return 65535 - recorded(x, y); }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Play("");
        if (c.data != nullptr) {
            EXPECT_EQ(VelaSetData(device_, c.data), 1);
        }
        for (const auto &[id, value] : c.values)
            EXPECT_EQ(VelaSetValue(device_, id, value), 1) << std::hex << id;
        Start();
        VelaFrameRecord f = Deliver();
        ASSERT_EQ(f.width, c.width);
        ASSERT_EQ(f.height, c.height);
        const auto *p = static_cast<const uint8_t *>(f.address);
        for (uint32_t y = 0; y < c.height; ++y)
            for (uint32_t x = 0; x < c.width; ++x)
                ASSERT_EQ(static_cast<uint32_t>(p[y * uint32_t(f.rowBytes) + 2 * x] |
                                                p[y * uint32_t(f.rowBytes) + 2 * x + 1] << 8),
                          c.expected(x, y))
                    << x << "," << y;
        VelaSim_Reset();
    }

    // What the file cannot honour: another pixel type, another exposure, two views of a
    // one-view recording.
    Play("");
    EXPECT_EQ(VelaSetValue(device_, kPixelType, 1), VELA_ERR_OUTOFRANGE);
    EXPECT_EQ(VelaSetValue(device_, kExposure, 0.5), VELA_ERR_NOTWRITABLE);
    EXPECT_EQ(VelaSetValue(device_, kSensorMode, 14), VELA_ERR_INVALIDPROPERTYID);
    EXPECT_EQ(VelaSetValue(device_, kBinning, 8), VELA_ERR_OUTOFRANGE);

    // Stopping at the end: the last recorded frame, then the capture ends.
    ASSERT_EQ(VelaSetValue(device_, kEnd, 2), 1);
    Start();
    EXPECT_EQ(VelaSim_DeliverFrames(0, 10), 3);
    ExpectCaptureEnded();
}

// Files that cannot be played: the set is refused with the reader's code and stderr names the
// file and the reason; the environment variable's file makes VelaInit fail the same way.
TEST_F(Replay, UnplayableFilesAreRefusedWithACodeAndTheFileNamed)
{
    const auto full = [&] { WriteRecording(path_, {2, 16, 8, 2}, 3); };
    auto cut = [&](uintmax_t size) {
        full();
        std::filesystem::resize_file(path_, size);
    };
    auto garbage = [&] { std::ofstream(path_, std::ios::binary) << std::string(9000, '\x5A'); };
    struct Case {
        const char *name;
        std::function<void()> make;
        const char *options;
        int32_t code;
        const char *reason;
    } cases[] = {
        {"missing", [&] { std::filesystem::remove(path_); }, "", VELA_ERR_FAILEDOPENFILE,
         "cannot be opened"},
        {"header only", [&] { cut(4096); }, "", VELA_ERR_FAILEDREADDATA, "not a readable"},
        {"cut in frame 0", [&] { cut(4096 + 600); }, "", VELA_ERR_FAILEDREADDATA, "not a readable"},
        {"not a recording", garbage, "", VELA_ERR_FAILEDREADDATA, "not a readable"},
        {"RGB 16-bit",
         [&] {
             WriteRecording(path_, {4, 4, 4, 6}, 2);
         },
         "", VELA_ERR_NOTSUPPORT, "RGB 3x16-bit"},
        {"odd rows in two views",
         [&] {
             WriteRecording(path_, {2, 4, 5, 2}, 2);
         },
         "views=2", VELA_ERR_INVALIDPARAM, "do not split"},
        {"three views", full, "views=3", VELA_ERR_INVALIDPARAM, "views must be"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        c.make();
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(Load(c.options), c.code);
        const std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find(path_), std::string::npos) << err;
        EXPECT_NE(err.find(c.reason), std::string::npos) << err;
    }

    cut(4096 + 600);
    const auto setReplay = [](const std::string &value) {
#ifdef _WIN32
        _putenv_s("VELASIM_REPLAY", value.c_str());
#else
        setenv("VELASIM_REPLAY", value.c_str(), 1);
#endif
    };
    setReplay(path_);
    VelaSim_Reset();
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(InitCameras(), VELA_ERR_FAILEDREADDATA);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find(path_), std::string::npos) << err;
    setReplay("");
}

// A file cut short after the camera opened it: the capture ends at the first frame it can no
// longer read, also when that frame was played before (nothing of the file is kept), and
// nothing is read past the file's end.
TEST_F(Replay, AFileCutWhilePlayingEndsTheCapture)
{
    // Frames played before the cut, and after it: frame 1 is still whole, frame 2 is not.
    const struct {
        uint32_t before;
        int32_t after;
    } cases[] = {{1, 1}, {3, 2}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.before);
        WriteRecording(path_, {2, 64, 64, 2}, 3);
        Play("");
        Start();
        for (uint32_t k = 0; k < c.before; ++k)
            Deliver();
        std::filesystem::resize_file(path_, 4096 + 3 * 8192);
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(VelaSim_DeliverFrames(0, 5), c.after);
        EXPECT_NE(::testing::internal::GetCapturedStderr().find("can no longer be read"),
                  std::string::npos);
        ExpectCaptureEnded();
    }
}

// Recordings mutated where the format's fields lie, checksums fixed so the mutations reach the
// checks behind them: each is refused with a code or plays a few frames (binned for every
// third, so the scene's own reads run too) without a read outside the file.
TEST_F(Replay, MutatedRecordingsPlayOrAreRefused)
{
    const std::vector<vlseqfuzz::Bytes> corpus = vlseqfuzz::SeedCorpus();
    std::mt19937_64 rng(23);
    int played = 0;
    for (int n = 0; n < 300; ++n) {
        vlseqfuzz::Bytes file = corpus[static_cast<size_t>(n) % corpus.size()];
        vlseqfuzz::Mutate(file, corpus, rng);
        vlseqfuzz::FixCrcs(file);
        std::ofstream(path_, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char *>(file.data()),
                   static_cast<std::streamsize>(file.size()));
        ::testing::internal::CaptureStderr();
        const int32_t r = Load(n % 2 ? "views=2" : "views=1");
        ::testing::internal::GetCapturedStderr();
        if (r != 1) {
            EXPECT_LT(r, 0);
            continue;
        }
        ++played;
        ASSERT_EQ(InitCameras(), 1);
        const uint64_t d = OpenDevice(0);
        if (n % 3 == 0)
            VelaSetValue(d, kBinning, 2);
        if (VelaAllocBuffers(d, 2) == 1 && VelaCaptureStart(d, -1) == 1) {
            ::testing::internal::CaptureStderr();
            EXPECT_GE(VelaSim_DeliverFrames(0, 3), 0);
            ::testing::internal::GetCapturedStderr();
        }
    }
    EXPECT_GT(played, 30);
}

} // namespace
