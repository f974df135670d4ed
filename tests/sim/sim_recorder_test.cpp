// The simulated device driven directly: its journal's bound and its refusals, and the recorder
// with frames queued ahead of its writer thread: order, counts and texts in the file; a device
// closed under a free-running capture; a disk that fills up; a process that exits with its
// recorder connected; device threads started while the one before still ends.
#include <gtest/gtest.h>

#include <math.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/wait.h>
#endif

#include <chrono>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "recording_file.h"

namespace {

using namespace recordertest;

// The simulated device on its own, where the library's tests cannot see it: the journal's bound
// and the refusals of its control surface.
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
    void TearDown() override
    {
        VelaSim_Reset();
        for (const std::string &path : files_)
            remove(path.c_str());
    }
    uint64_t Open(uint32_t index) { return OpenDevice(index, &wait_); }

    // A capture into `buffers` buffers started with a recorder on a fresh file `name`.
    uint64_t Record(uint64_t device, int32_t buffers, const std::string &name, uint32_t maxFrames)
    {
        files_.push_back(TempPath(name));
        remove(files_.back().c_str());
        EXPECT_EQ(VelaAllocBuffers(device, buffers), 1);
        const uint64_t rec = OpenRecorder(device, files_.back(), maxFrames);
        EXPECT_NE(rec, 0u);
        EXPECT_EQ(VelaCaptureStart(device, -1), 1);
        return rec;
    }
    const std::string &Path() const { return files_.back(); }

    // Frames the recorder reports, or its error code.
    static int32_t Status(uint64_t recorder)
    {
        VelaRecorderStatusRecord status{};
        status.size = sizeof status;
        const int32_t r = VelaRecorderStatus(recorder, &status);
        EXPECT_EQ(status.currentIndex, r == 1 ? status.totalCount - 1 : status.currentIndex);
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

// A camera polled for hours must not grow the journal without end: only the newest lines stay.
TEST_F(Sim, JournalKeepsOnlyTheNewestLines)
{
    uint64_t d = Open(0);
    const int32_t bound = 1 << 16;
    for (int32_t k = 0; k < bound + 10; ++k)
        VelaGetValue(d, kExposure, nullptr);
    VelaGetValue(d, kBinning, nullptr);
    ASSERT_EQ(VelaSim_JournalCount(), bound);
    char last[512];
    VelaSim_JournalLine(bound - 1, last, sizeof last);
    EXPECT_STREQ(last, "VelaGetValue(device=0x0D000100, id=0x00401110) -> 0x80000808");
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

class RecorderQueue : public Sim {};

TEST_F(RecorderQueue, FramesPastTheRingArriveInOrderWithTextsAfterTheirFramesUpToTheMaximum)
{
    uint64_t d = Open(1); // 512 x 512, rows padded by 64 bytes
    const uint64_t rec = Record(d, 4, "queue.vlseq", 50);
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
    EXPECT_EQ(LockRecorded(rec, 40, f), VELA_ERR_INVALIDPARAM);
    std::vector<Image> last;
    for (int32_t frame = 36; frame < 40; ++frame)
        last.push_back(DeviceImage(d, frame % 4));

    EXPECT_EQ(VelaSim_DeliverFrames(1, 20), 20) << "the file's maximum does not hold up capture";
    EXPECT_EQ(Status(rec), 50);
    EXPECT_EQ(VelaRecorderClose(rec), 1);
    EXPECT_EQ(VelaRecorderClose(rec), VELA_ERR_INVALIDRECHANDLE);

    Recording file(Path());
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

// Camera 0 at its fastest pace fills the ring faster than the disk empties it; the device is
// closed in the middle of the capture while the host asks the recorder and writes texts.
TEST_F(RecorderQueue, AFreeRunningCaptureFasterThanTheDiskClosesWithoutLosingAFrame)
{
    InitSim(false);
    uint64_t d = Open(0);
    ASSERT_EQ(VelaSetValue(d, kBinning, 2), 1); // 2 MiB frames, hundreds a second
    ASSERT_EQ(VelaSetValue(d, kExposure, 0.00001), 1);
    const uint64_t rec = Record(d, 8, "free_run.vlseq", 100000);
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
    EXPECT_EQ(Recording(Path()).Numbers(), Count(0, static_cast<uint32_t>(accepted)));
}

// Without back-pressure a recorder behind a slow disk costs frames, not pace, and its file names
// every number it dropped. Seeded transport loss is the Python frame-ledger tests'.
TEST_F(RecorderQueue, WithoutBackPressureASlowDiskCostsFramesNotPaceAndTheFileSaysWhich)
{
    InitSim(true);
    VelaSim_JournalEnable(0);
    ASSERT_EQ(VelaSim_SetBackPressure(1, 0), 1);
    ASSERT_EQ(VelaSim_SetRecorderDelay(2000), 1);
    const uint64_t d = OpenDevice(1);
    for (auto [id, value] :
         {std::pair{kSubMode, 2.0}, {kHsize, 16.0}, {kVsize, 8.0}, {kExposure, 0.001}})
        EXPECT_EQ(VelaSetValue(d, id, value), 1) << std::hex << id;
    const uint64_t rec = Record(d, 8, "drops.vlseq", 1u << 20);
    constexpr int32_t kExposed = 400;
    // Under the manual clock all exposures happen in this call, however far the disk lags.
    ASSERT_EQ(VelaSim_DeliverFrames(1, kExposed), kExposed);
    ASSERT_EQ(VelaStopCapture(d), 1);
    ASSERT_EQ(VelaSim_SetRecorderDelay(0), 1);
    ASSERT_EQ(VelaRecorderClose(rec), 1);

    Recording file(Path());
    ASSERT_TRUE(file.ok);
    std::vector<uint64_t> kept, dropped;
    uint64_t missing = 0;
    for (const vlseqfmt::Gap &g : file.reader.Gaps()) {
        missing += g.count - g.dropped;
        for (uint64_t n = g.first; n < g.first + g.dropped; ++n)
            dropped.push_back(n);
    }
    for (const vlseqfmt::LedgerEntry &e : file.reader.Ledger())
        kept.push_back(e.number);
    EXPECT_EQ(missing, 0u) << "every gap is the recorder's";
    EXPECT_GT(dropped.size(), 0u) << "a 2 ms disk cannot take 400 frames at once";
    EXPECT_EQ(kept.size() + dropped.size(), size_t{kExposed});
    std::set<uint64_t> all(kept.begin(), kept.end());
    all.insert(dropped.begin(), dropped.end());
    EXPECT_EQ(all.size(), size_t{kExposed}) << "no number is both kept and missing";
    for (int64_t k = 0; k < file.Frames(); ++k)
        ASSERT_EQ(FrameNumber(file.Frame(k).data()), kept[static_cast<size_t>(k)]) << k;
}

#ifndef _WIN32
// The process may write files up to `bytes`; a larger write fails as on a full disk.
struct FileSizeLimit {
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &old);
        rlimit limit{bytes, old.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &old), signal(SIGXFSZ, handler); }
    rlimit old{};
    void (*handler)(int) = signal(SIGXFSZ, SIG_IGN);
};
#endif

TEST_F(RecorderQueue, AFullDiskFailsTheNextRecorderCallAndStopsTheAppends)
{
#ifdef _WIN32
    GTEST_SKIP() << "the disk fills up through a POSIX file size limit";
#else
    uint64_t d = Open(1);
    const uint64_t rec = Record(d, 4, "full.vlseq", 100);
    int32_t inFile = 0;
    {
        FileSizeLimit limit(3 << 20); // room for five 512 KiB frames
        ASSERT_EQ(VelaSim_DeliverFrames(1, 20), 20);
        VelaFrameRecord f;
        EXPECT_EQ(LockRecorded(rec, 19, f), VELA_ERR_FAILEDWRITEDATA);
        VelaRecorderStatusRecord status{};
        status.size = sizeof status;
        EXPECT_EQ(VelaRecorderStatus(rec, &status), VELA_ERR_FAILEDWRITEDATA);
        inFile = status.totalCount;
        EXPECT_EQ(WriteText(rec, VELA_TEXT_FILE, 0, "late"), VELA_ERR_FAILEDWRITEDATA);
        EXPECT_EQ(VelaSim_DeliverFrames(1, 40), 40) << "a failed recorder never holds up capture";
        EXPECT_EQ(VelaRecorderClose(rec), VELA_ERR_FAILEDWRITEDATA);
    }
    EXPECT_GT(inFile, 0);
    EXPECT_LT(inFile, 6);
    EXPECT_EQ(Recording(Path()).Numbers(), Count(0, static_cast<uint32_t>(inFile)))
        << "the status counts the frames the file kept";
#endif
}

// The host library's teardown at process exit with a recorder still connected: a child process
// records and exits without stopping anything, and the file it leaves is read back. On Windows
// the writer thread is gone before the teardown runs, so this is where the recorder's salvage of
// its queue at exit runs.
int RunChild(const std::string &path, int frames, const char *mode)
{
    const std::string arguments = " " + path + " " + std::to_string(frames) + " " + mode;
#ifdef _WIN32
    return system(("recorder_exit_child.exe" + arguments).c_str());
#else
    const int status = system(("./recorder_exit_child" + arguments).c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
}

TEST(RecorderAtExit, TheTeardownKeepsWhatTheRecorderTookAndTheTextsQueuedBehindIt)
{
#ifdef _WIN32
    // A writer thread ended in the middle of a frame may leave what the ring of 16 frames held.
    constexpr int64_t kRunningMayLose = 16;
#else
    constexpr int64_t kRunningMayLose = 0;
#endif
    const struct {
        const char *mode;
        int64_t mayLose;
        bool texts; // the file and the last frame carry texts written after the frames
    } rows[] = {{"running", kRunningMayLose, false}, {"drained", 0, true}};
    for (const auto &row : rows) {
        SCOPED_TRACE(row.mode);
        const std::string path = TempPath(std::string("exit_") + row.mode + ".vlseq");
        remove(path.c_str());
        struct Cleanup {
            const std::string &path;
            ~Cleanup() { remove(path.c_str()); }
        } cleanup{path};
        ASSERT_EQ(RunChild(path, 40, row.mode), 0);
        Recording file(path);
        const int64_t frames = file.Frames();
        EXPECT_GE(frames, 40 - row.mayLose) << "the device reported 40 frames before the exit";
        EXPECT_EQ(file.Numbers(), Count(0, static_cast<uint32_t>(frames)));
        if (row.texts) {
            EXPECT_EQ(file.Text(VELA_TEXT_FILE, 0), "file");
            EXPECT_EQ(file.Text(VELA_TEXT_FRAME, static_cast<int32_t>(frames - 1)), "last");
        }
    }
}

// A host that restarts a snap in a tight loop: each start runs a new device thread while the one
// before may still be on its way out, at another moment of it each time. The new thread must not
// meet the old one's remains (a threads library may hand the ending thread's record to it).
TEST(DeviceThreads, SnapsRestartedInATightLoopEachRunTheirOwnThread)
{
    InitSim(false);
    const uint64_t d = OpenDevice(1);
    for (auto [id, value] :
         {std::pair{kSubMode, 2.0}, {kHsize, 16.0}, {kVsize, 8.0}, {kExposure, 0.0001}})
        ASSERT_EQ(VelaSetValue(d, id, value), 1) << std::hex << id;
    ASSERT_EQ(VelaAllocBuffers(d, 1), 1);
    for (int k = 0; k < 2000; ++k) {
        ASSERT_EQ(VelaCaptureStart(d, 0), 1) << k;
        int32_t status = VELA_STATUS_BUSY;
        while (status == VELA_STATUS_BUSY)
            ASSERT_EQ(VelaGetCaptureStatus(d, &status), 1);
        std::this_thread::sleep_for(std::chrono::microseconds(k % 7 * 30));
    }
    VelaSim_Reset();
}

} // namespace
