// Recording through the library and reading the files back: round trips per pixel type with
// texts at every level, the path rules, the slot table of open files and its refusals.
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>

#include "core/library_state.h"
#include "support/qx_test.h"
#include "velaapi/vela_sim.h"

using qxtest::LibraryTest;

namespace {

void CopyRecording(const std::string &from, const std::string &to)
{
    std::FILE *in = std::fopen(from.c_str(), "rb"), *out = std::fopen(to.c_str(), "wb");
    ASSERT_TRUE(in && out);
    char buffer[1 << 16];
    for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, in)) > 0;)
        std::fwrite(buffer, 1, got, out);
    std::fclose(in);
    std::fclose(out);
}

class Recording : public LibraryTest {
  protected:
    void SetUp() override
    {
        LibraryTest::SetUp();
        VelaSim_SetManualClock(1);
        InitWithLog();
    }
    void TearDown() override
    {
        int32_t err = 0;
        for (uint32_t slot = 0; slot < 16; ++slot)
            QXCM_CLOSEVLSEQFILE(slot, &err);
        for (const std::string &p : files)
            std::remove(p.c_str());
        LibraryTest::TearDown();
    }
    std::string File(const std::string &name)
    {
        files.push_back(qxtest::TempPath(name));
        return files.back();
    }
    // Records `frames` delivered frames of camera i into `path` (buffering mode 1).
    void Record(uint32_t i, const std::string &path, int32_t frames)
    {
        OpenCamera(i, 1);
        Prepare(i, 1, 8);
        int32_t err = 0;
        ASSERT_EQ(QXCM_STARTRECORDER_41(i, path.c_str(), 100, 1, &err), 1) << err;
        StartWithFrames(i, frames);
        int32_t index = 0, count = 0;
        ASSERT_EQ(QXCM_WAITNEXTFRAME_40(i, 1000, &index, &count, &err), 1);
    }
    std::vector<std::string> files;
};

TEST_F(Recording, EveryPixelTypeRoundTripsWithItsStamps)
{
    // Camera 0 twice: 16-bit, then 8-bit; camera 1 pads its rows; camera 2 is colour.
    for (uint32_t run : {0u, 1u, 2u, 3u}) {
        uint32_t camera = run == 3 ? 0 : run;
        if (run == 3)
            VelaSim_SetProperty(0, 0x00420270, 1.0); // 8 bits per pixel
        std::string path = File("qxtest_roundtrip_" + std::to_string(run) + ".vlseq");
        Record(camera, path, 3);
        int32_t err = 0, index = -1, count = -1;
        ASSERT_EQ(QXCM_GETRECORDERSTATUS_40(camera, &index, &count, &err), 1);
        EXPECT_EQ(count, 3);
        EXPECT_EQ(index, 2);
        // The frames the capture holds, as the host copies them.
        std::vector<std::vector<uint8_t>> copies;
        std::vector<double> stamps;
        size_t bytes = size_t(Context(camera).frameHeight) * Context(camera).frameWidth * 3 * 2;
        for (uint32_t k = 0; k < 3; ++k) {
            copies.emplace_back(bytes);
            double stamp = 0;
            ASSERT_EQ(QXCM_GETFRAME_40(camera, k, copies.back().data(), &stamp, 0, &err), 1);
            stamps.push_back(stamp);
        }
        int32_t pitch = Context(camera).rowBytes;
        ASSERT_EQ(QXCM_STOPRECORDER_40(camera, &err), 1);

        uint32_t slot = 99;
        int32_t frames = 0;
        ASSERT_EQ(QXCM_OPENVLSEQFILE(&slot, path.c_str(), &frames, &err), 1) << err;
        EXPECT_EQ(frames, 3);
        uint32_t width = 0, height = 0;
        ASSERT_EQ(QXCM_GETVLSEQFRAMEINFO(slot, 0, &width, &height, &err), 1);
        EXPECT_EQ(width, camera == 2 ? 1280u * 3 : Context(camera).frameWidth);
        EXPECT_EQ(height, Context(camera).frameHeight);
        size_t packedRow = camera == 2 ? 1280 * 3 : size_t(width) * (run == 3 ? 1 : 2);
        for (int32_t k = 0; k < 3; ++k) {
            std::vector<uint8_t> frame(bytes);
            double stamp = -1;
            ASSERT_EQ(QXCM_GETVLSEQFRAMEDATA_40(slot, k, frame.data(), &stamp, 0, &err), 1);
            EXPECT_NEAR(stamp, stamps[size_t(k)], 1e-6) << camera << " frame " << k;
            bool same = true;
            for (uint32_t y = 0; y < height && same; ++y)
                same = memcmp(&frame[y * packedRow], &copies[size_t(k)][y * size_t(pitch)],
                              packedRow) == 0;
            EXPECT_TRUE(same) << "camera " << camera << " frame " << k;
        }
        double stamp = -1;
        ASSERT_EQ(QXCM_GETTIMESTAMP(slot, 0, &stamp, &err), 1);
        EXPECT_EQ(stamp, 0.0);
        ASSERT_EQ(QXCM_CLOSEVLSEQFILE_40(slot, &err), 1);
        EXPECT_EQ(QXCM_GETTIMESTAMP(slot, 0, &stamp, &err), 0);
        ASSERT_EQ(QXCM_STOPCAPTURE_40(camera, &err), 1);
        ASSERT_EQ(QXCM_UNPREPARECAPTURE_40(camera, &err), 1);
    }
}

TEST_F(Recording, TextsAtEveryLevelUpToTheirCapacity)
{
    std::string path = File("qxtest_texts.vlseq");
    Record(0, path, 2);
    int32_t err = 0;
    std::string atCapacity(1024, 'c'), over(1025, 'o');
    ASSERT_EQ(QXCM_WRITEMETADATA_40(0, 0, 77, "file text", 9, &err), 1) << "index ignored";
    ASSERT_EQ(QXCM_WRITEMETADATA_40(0, 1, 4, atCapacity.data(), 1024, &err), 1);
    ASSERT_EQ(QXCM_WRITEMETADATA_40(0, 2, 1, "", 0, &err), 1);
    ASSERT_EQ(QXCM_WRITEMETADATA_40(0, 7, 1, "level 7", 7, &err), 1) << "frame 0's text";
    EXPECT_EQ(QXCM_WRITEMETADATA_40(0, 1, 5, over.data(), 1025, &err), 0);
    EXPECT_EQ(err, static_cast<int32_t>(0x84001008));
    EXPECT_EQ(QXCM_WRITEMETADATA(0, 2, 1, "frame one", 9, &err), 1) << "a later text replaces";
    ASSERT_EQ(QXCM_STOPRECORDER_40(0, &err), 1);

    uint32_t slot = 0;
    int32_t frames = 0;
    char fileText[64] = "";
    ASSERT_EQ(QXCM_OPENVLSEQFILE_A(&slot, path.c_str(), &frames, fileText, &err), 1);
    EXPECT_STREQ(fileText, "file text");
    std::vector<char> text(2048, 0);
    ASSERT_EQ(QXCM_READMETADATA(slot, 1, 4, text.data(), 2000, &err), 1);
    EXPECT_EQ(std::string(text.data()), atCapacity);
    ASSERT_EQ(QXCM_READMETADATA_40(slot, 2, 1, text.data(), 2000, &err), 1);
    EXPECT_STREQ(text.data(), "frame one");
    ASSERT_EQ(QXCM_READMETADATA(slot, 5, 0, text.data(), 2000, &err), 1);
    EXPECT_STREQ(text.data(), "level 7");
    ASSERT_EQ(QXCM_READMETADATA(slot, 1, 5, text.data(), 2000, &err), 1);
    EXPECT_STREQ(text.data(), "") << "the text over capacity was never stored";
}

TEST_F(Recording, PathsGetTheExtensionOnlyWhenTheyLackItAndModesSelectTheFlags)
{
    OpenCamera(0);
    Prepare(0, 1, 8);
    int32_t err = 0;
    std::string base = qxtest::TempPath("qxtest_paths");
    struct {
        std::string given, written;
    } cases[] = {{base, base + ".vlseq"},
                 {base + "_b.vlseq", base + "_b.vlseq"},
                 {base + "_c.VLSEQ", base + "_c.VLSEQ.vlseq"}};
    for (auto &c : cases) {
        files.push_back(c.written);
        ASSERT_EQ(QXCM_STARTRECORDER_40(0, c.given.c_str(), 10, &err), 1) << c.given;
        ASSERT_EQ(QXCM_STOPRECORDER_40(0, &err), 1);
        FILE *f = fopen(c.written.c_str(), "rb");
        EXPECT_NE(f, nullptr) << c.written;
        if (f)
            fclose(f);
    }
    // Too long once the extension is appended (127 characters at most): refused before the
    // device hears of it.
    ClearJournal();
    std::string longPath(123, 'x');
    EXPECT_EQ(QXCM_STARTRECORDER_40(0, longPath.c_str(), 10, &err), 0);
    EXPECT_EQ(err, QXERR_INVALIDPARAM);
    EXPECT_TRUE(Journal().empty());
    // A stop without a recording succeeds without the device.
    EXPECT_EQ(QXCM_STOPRECORDER_40(0, &err), 1);
    EXPECT_EQ(LogLines().back(), "0.000 QXCM_STOPRECORDER_40 OK\n");
    EXPECT_TRUE(Journal().empty());
    // Buffering mode 2 opens the recorder without flags and hands the recorder out.
    uint64_t recorder = 0;
    ASSERT_EQ(QXCM_STARTRECORDER_42(0, File("qxtest_flags.vlseq").c_str(), 10, 2, &recorder, &err),
              1);
    EXPECT_EQ(recorder, Context(0).recorderHandle);
    EXPECT_NE(recorder, 0u);
    ASSERT_EQ(JournalOf("VelaRecorderOpen").size(), 1u);
    EXPECT_NE(JournalOf("VelaRecorderOpen")[0].find("flags=0x00000000"), std::string::npos);
    ASSERT_EQ(QXCM_STOPRECORDER_40(0, &err), 1);
}

// A durable recording commits its frames in groups, a buffered one queues them past the ring
// for its writer. Whatever ends either without a stop, every frame the status reported is in the
// file, readable to the last.
TEST_F(Recording, EveryReportedFrameIsInTheFileWhateverEndsTheRecording)
{
    const struct {
        const char *ender;
        std::function<void(uint32_t)> end;
    } enders[] = {
        {"de-initialise", [](uint32_t) { QXCM_DEINITIALIZE_40(1); }},
        {"close",
         [](uint32_t) {
             int32_t e = 0;
             QXCM_CLOSECAMERA_40(1, &e);
         }},
        {"second start",
         [this](uint32_t run) {
             int32_t e = 0;
             std::string next = File("qxtest_ended_next_" + std::to_string(run) + ".vlseq");
             QXCM_STARTRECORDER_41(1, next.c_str(), 100, 0, &e);
         }},
    };
    for (uint32_t run = 0; run < 6; ++run) {
        const uint32_t ender = run % 3;
        const int32_t buffered = run < 3 ? 0 : 1;
        SCOPED_TRACE(std::string(enders[ender].ender) + (buffered ? ", buffered" : ", durable"));
        if (run > 0)
            InitWithLog();
        OpenCamera(1, 1);
        Prepare(1, 1, 8);
        std::string path = File("qxtest_ended_" + std::to_string(run) + ".vlseq");
        int32_t err = 0, index = -1, count = -1, frames = 0;
        ASSERT_EQ(QXCM_STARTRECORDER_41(1, path.c_str(), 100, buffered, &err), 1) << err;
        StartWithFrames(1, 20);
        ASSERT_EQ(QXCM_GETRECORDERSTATUS_40(1, &index, &count, &err), 1);
        ASSERT_EQ(count, 20);
        enders[ender].end(run);
        if (ender == 0)
            InitWithLog();
        uint32_t slot = 0;
        ASSERT_EQ(QXCM_OPENVLSEQFILE(&slot, path.c_str(), &frames, &err), 1);
        EXPECT_EQ(frames, 20);
        std::vector<uint8_t> frame(size_t(1) << 20);
        double stamp = 0;
        EXPECT_EQ(QXCM_GETVLSEQFRAMEDATA_40(slot, frames - 1, frame.data(), &stamp, 0, &err), 1);
        ASSERT_EQ(QXCM_CLOSEVLSEQFILE(slot, &err), 1);
        QXCM_DEINITIALIZE_40(1);
    }
}

TEST_F(Recording, TheRecorderFrameLockTakesTheTimeOriginFromRecordedFrameZero)
{
    std::string path = File("qxtest_origin.vlseq");
    Record(0, path, 3);
    int32_t err = 0;
    ASSERT_EQ(QXCM_STOPCAPTURE_40(0, &err), 1);
    ASSERT_EQ(QXCM_STARTCAPTURE_40(0, &err), 1); // a new start drops the origin
    VelaSim_DeliverFrames(0, 1);
    ASSERT_EQ(QXCM_GETRECORDERFRAME_40(0, 2, 0, &err), 1) << err;
    EXPECT_EQ(Context(0).timeOriginSet, 1);
    std::vector<uint8_t> host(size_t(2048) * 2048 * 2);
    double stamp = -1;
    ASSERT_EQ(QXCM_GETFRAME_40(0, 0, host.data(), &stamp, 0, &err), 1);
    EXPECT_GT(stamp, 0.0) << "the new capture's first frame counted from recorded frame 0";
}

TEST_F(Recording, SlotsAreSharedByPathAndRefuseWhatTheyCannotHold)
{
    std::string path = File("qxtest_slots.vlseq");
    Record(1, path, 2);
    int32_t err = 0;
    ASSERT_EQ(QXCM_STOPRECORDER_40(1, &err), 1);
    uint32_t a = 99, b = 98;
    int32_t fa = 0, fb = 0;
    ASSERT_EQ(QXCM_OPENVLSEQFILE_40(&a, path.c_str(), &fa, &err), 1);
    ASSERT_EQ(QXCM_OPENVLSEQFILE(&b, path.c_str(), &fb, &err), 1);
    EXPECT_EQ(a, b);
    EXPECT_EQ(fa, fb);

    std::vector<uint8_t> frame(size_t(1) << 20);
    double stamp = 0;
    uint32_t w = 0, h = 0;
    for (int32_t bad : {-1, 2, 1 << 30}) {
        EXPECT_EQ(QXCM_GETTIMESTAMP(a, bad, &stamp, &err), 0);
        EXPECT_EQ(err, QXERR_INVALIDPARAM);
        EXPECT_EQ(QXCM_GETVLSEQFRAMEDATA_40(a, bad, frame.data(), &stamp, 0, &err), 0);
        EXPECT_EQ(err, QXERR_INVALIDPARAM);
        EXPECT_EQ(QXCM_GETVLSEQFRAMEDATA(a, uint32_t(bad), frame.data(), &err), 0);
        EXPECT_EQ(QXCM_GETVLSEQFRAMEINFO(a, uint32_t(bad), &w, &h, &err), 0);
    }
    for (uint32_t slot : {16u, 17u, 0xFFFFFFFFu}) {
        char text[8];
        err = 0;
        EXPECT_EQ(QXCM_CLOSEVLSEQFILE(slot, &err), 0);
        EXPECT_EQ(err, QXERR_INVALIDHANDLE);
        EXPECT_EQ(QXCM_GETVLSEQFRAMEINFO(slot, 0, &w, &h, &err), 0);
        EXPECT_EQ(err, QXERR_INVALIDHANDLE);
        EXPECT_EQ(QXCM_GETVLSEQFRAMEDATA_A(slot, 0, frame.data(), &stamp, &err), 0);
        EXPECT_EQ(err, QXERR_INVALIDHANDLE);
        EXPECT_EQ(QXCM_GETTIMESTAMP(slot, 0, &stamp, &err), 0);
        EXPECT_EQ(err, QXERR_INVALIDHANDLE);
        EXPECT_EQ(QXCM_READMETADATA(slot, 0, 0, text, sizeof text, &err), 0);
        EXPECT_EQ(err, QXERR_INVALIDHANDLE);
    }
    EXPECT_EQ(QXCM_GETVLSEQINFO(), 0);

    // Sixteen open files fill the table: a different seventeenth does not fit.
    uint32_t slot = 0;
    int32_t frames = 0;
    for (int n = 1; n <= 16; ++n) {
        std::string copy = File("qxtest_slots_" + std::to_string(n) + ".vlseq");
        CopyRecording(path, copy);
        ASSERT_EQ(QXCM_OPENVLSEQFILE(&slot, copy.c_str(), &frames, &err), n < 16 ? 1 : 0) << n;
    }
    EXPECT_EQ(err, QXERR_FAILEDREADDATA);
}

TEST_F(Recording, MissingAndForeignFilesAreRefused)
{
    int32_t err = 0, frames = -5;
    uint32_t slot = 77;
    EXPECT_EQ(
        QXCM_OPENVLSEQFILE(&slot, qxtest::TempPath("qxtest_missing.vlseq").c_str(), &frames, &err),
        0);
    EXPECT_EQ(err, QXERR_FAILEDTOOPENVLSEQ);
    EXPECT_EQ(slot, 77u);
    std::string foreign = File("qxtest_foreign.vlseq");
    std::FILE *f = std::fopen(foreign.c_str(), "wb");
    std::fputs("not a recording", f);
    std::fclose(f);
    EXPECT_EQ(QXCM_OPENVLSEQFILE(&slot, foreign.c_str(), &frames, &err), 0);
    EXPECT_EQ(err, QXERR_FAILEDREADDATA);
    for (const qxcm::SequenceFileSlot &s : qxcm::State().fileSlots)
        EXPECT_EQ(s.inUse, 0) << "every slot tried, none kept";
    std::string longPath(140, 'p');
    EXPECT_EQ(QXCM_OPENVLSEQFILE(&slot, longPath.c_str(), &frames, &err), 0);
    EXPECT_EQ(err, QXERR_INVALIDPARAM);
    // A free slot's frame calls report what the slot's last file-library call left.
    double stamp = 0;
    EXPECT_EQ(QXCM_GETTIMESTAMP(3, 0, &stamp, &err), 0);
    EXPECT_EQ(err, qxcm::State().fileSlots[3].slotResult);
}

} // namespace
