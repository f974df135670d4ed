// Writer and reader against each other: every pixel type, both alignments, frame counts around
// the TIFF readers' "uniform series" threshold, texts at every level and at their limits.
#include "vlseq_test_util.h"

#include "support/test_paths.h"
#include "velaapi/vela_api.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <tuple>

using namespace vlseqfmt;
using namespace vlseqtest;

namespace {

constexpr uint32_t kFileCap = 40, kFrameCap = 16;

std::shared_ptr<MemoryFile> NewFile()
{
    return std::make_shared<MemoryFile>();
}

class RoundTrip : public testing::TestWithParam<std::tuple<uint32_t, uint32_t, int>> {};

TEST_P(RoundTrip, ReadsBackFramesStampsAndLatestTexts)
{
    const auto [type, align, frames] = GetParam();
    const Geometry g{type, 5 + type, 3 + type, 0x42};
    auto file = NewFile();
    Writer w;
    Writer::Options o;
    o.dataAlignLog2 = align;
    ASSERT_EQ(w.OpenSink(std::make_unique<MemorySink>(file), g, 50, kFileCap, kFrameCap, true, o),
              1);
    const std::string atFileCap(kFileCap, 'F'), atFrameCap = std::string(kFrameCap - 1, 'x') + '\0';
    ASSERT_EQ(WriteText(w, kLevelFile, 9, "first"), 1); // the index means nothing here
    ASSERT_EQ(WriteText(w, kLevelGroup, 2, ""), 1);
    for (int f = 0; f < frames; ++f) {
        ASSERT_EQ(AppendTestFrame(w, g, f, f % 2 ? 3 : 0), 1); // odd frames come padded
        if (f == 0) {
            ASSERT_EQ(WriteText(w, kLevelFrame, 0, "frame zero"), 1);
            ASSERT_EQ(WriteText(w, kLevelFrame, 0, atFrameCap), 1);
            ASSERT_EQ(WriteText(w, kLevelFile, 0, atFileCap), 1);
        }
    }
    EXPECT_EQ(WriteText(w, kLevelFrame, 1, std::string(kFrameCap + 1, 'y')),
              VELA_ERR_TOOLARGEUSERDATASIZE);
    EXPECT_EQ(WriteText(w, kLevelGroup, 1, std::string(kFileCap + 1, 'y')),
              VELA_ERR_TOOLARGEUSERDATASIZE);
    ASSERT_EQ(WriteText(w, kLevelGroup, 7, "group seven"), 1);
    EXPECT_EQ(w.FrameCount(), frames);
    ASSERT_EQ(w.Close(), 1);

    Reader r;
    ASSERT_EQ(OpenImage(r, file->image), 1);
    EXPECT_TRUE(r.UsedIndex());
    EXPECT_EQ(r.FrameCount(), frames);
    EXPECT_EQ(r.Header().width, g.width);
    EXPECT_EQ(r.Header().deviceDataType, 0x42u);
    EXPECT_TRUE(AllFramesIntact(r, g));
    for (int f = 0; f < frames; ++f)
        EXPECT_EQ(r.DataOffset(f) % (uint64_t{1} << align), 0u);
    EXPECT_EQ(ReadText(r, kLevelFile, 0), atFileCap);
    EXPECT_EQ(ReadText(r, kLevelFile, 5), atFileCap);
    EXPECT_EQ(ReadText(r, kLevelFrame, 0), atFrameCap);
    EXPECT_EQ(ReadText(r, kLevelGroup, 7), "group seven");
    EXPECT_EQ(r.Texts().count({kLevelGroup, 2}), 1u);
    EXPECT_EQ(r.TextBytes(kLevelGroup, 2), 0u);
    EXPECT_EQ(r.Texts().count({kLevelFrame, 1}), 0u);
}

INSTANTIATE_TEST_SUITE_P(PixelTypesAlignmentsCounts, RoundTrip,
                         testing::Combine(testing::Values(1u, 2u, 3u, 4u), testing::Values(6u, 12u),
                                          testing::Values(1, 8, 9)));

TEST(VlseqText, CopiesAtMostTheBufferAndTerminatesOnlyWhenThereIsRoom)
{
    const Geometry g{1, 4, 2, 0};
    auto file = NewFile();
    Writer w;
    ASSERT_EQ(w.OpenSink(std::make_unique<MemorySink>(file), g, 4, 64, 64, true, {}), 1);
    ASSERT_EQ(AppendTestFrame(w, g, 0), 1);
    ASSERT_EQ(WriteText(w, kLevelGroup, 3, "abcd"), 1);
    ASSERT_EQ(w.Close(), 1);
    Reader r;
    ASSERT_EQ(OpenImage(r, file->image), 1);
    struct Case {
        uint32_t size;
        std::string expect; // the buffer after the call, from "#####"
    } cases[] = {{0, "#####"}, {3, "abc##"}, {4, "abcd#"}, {5, std::string("abcd\0", 5)}};
    for (const auto &c : cases) {
        char buf[6] = "#####";
        ASSERT_EQ(r.ReadText(kLevelGroup, 3, buf, c.size), 1);
        EXPECT_EQ(std::string(buf, 5), c.expect) << c.size;
    }
    char buf[4] = "zzz";
    EXPECT_EQ(r.ReadText(kLevelGroup, 4, buf, sizeof buf), 1); // never written: empty
    EXPECT_EQ(buf[0], '\0');
    EXPECT_EQ(r.ReadText(7, 0, buf, sizeof buf), VELA_ERR_INVALIDPARAM);
    EXPECT_EQ(r.ReadText(kLevelGroup, 3, nullptr, 4), VELA_ERR_INVALIDPARAM);
}

TEST(VlseqWriter, RefusesBadParametersAndStopsAtMaxFrames)
{
    const Geometry ok{2, 8, 8, 0};
    struct Bad {
        Geometry g;
        uint32_t maxFrames, fileCap, frameCap;
    } bad[] = {{{5, 8, 8, 0}, 4, 0, 0},
               {{1, 65536, 8, 0}, 4, 0, 0},
               {{4, 65535, 65535, 0}, 4, 0, 0}, // frame above 2^31 - 1 bytes
               {ok, 0, 0, 0},
               {ok, 4, (1u << 20) + 1, 0}};
    for (const auto &b : bad) {
        Writer w;
        EXPECT_EQ(w.OpenSink(std::make_unique<MemorySink>(NewFile()), b.g, b.maxFrames, b.fileCap,
                             b.frameCap, true, {}),
                  VELA_ERR_INVALIDPARAM);
    }
    auto file = NewFile();
    Writer w;
    EXPECT_EQ(AppendTestFrame(w, ok, 0), VELA_ERR_NOTREADY);
    ASSERT_EQ(w.OpenSink(std::make_unique<MemorySink>(file), ok, 2, 8, 8, true, {}), 1);
    EXPECT_EQ(w.OpenSink(std::make_unique<MemorySink>(NewFile()), ok, 2, 8, 8, true, {}),
              VELA_ERR_NOWRECORDING);
    const auto px = MakeFrame(ok, 0, RowBytes(ok));
    EXPECT_EQ(w.AppendFrame(px.data(), static_cast<int64_t>(RowBytes(ok)) - 1, 0, 0),
              VELA_ERR_INVALIDPARAM);
    EXPECT_EQ(w.AppendFrame(nullptr, static_cast<int64_t>(RowBytes(ok)), 0, 0),
              VELA_ERR_INVALIDPARAM);
    for (int f = 0; f < 3; ++f)
        EXPECT_EQ(AppendTestFrame(w, ok, f), 1); // the third is dropped
    EXPECT_EQ(w.FrameCount(), 2);
    EXPECT_EQ(WriteText(w, kLevelFrame, 2, "x"), VELA_ERR_INVALIDPARAM); // index >= maxFrames
    EXPECT_EQ(WriteText(w, kLevelFrame, -1, "x"), VELA_ERR_INVALIDPARAM);
    EXPECT_EQ(WriteText(w, kLevelGroup, -1, "x"), VELA_ERR_INVALIDPARAM);
    EXPECT_EQ(WriteText(w, 7, 0, "x"), VELA_ERR_INVALIDPARAM);
    EXPECT_EQ(w.WriteText(kLevelFile, 0, nullptr, 1), VELA_ERR_INVALIDPARAM);
    const void *a = nullptr;
    EXPECT_EQ(w.LockFrame(2, &a, nullptr, nullptr, nullptr), VELA_ERR_OUTOFRANGE);
    EXPECT_EQ(w.LockFrame(-1, &a, nullptr, nullptr, nullptr), VELA_ERR_OUTOFRANGE);
    EXPECT_EQ(w.Close(), 1);
    EXPECT_EQ(w.Close(), 1);
    EXPECT_FALSE(w.IsOpen());
    EXPECT_EQ(w.FrameCount(), 2); // kept for status queries after the stop
    Reader r;
    ASSERT_EQ(OpenImage(r, file->image), 1);
    EXPECT_EQ(r.FrameCount(), 2);
}

TEST(VlseqWriter, RecordingWithoutFramesIsRefusedByTheReader)
{
    auto file = NewFile();
    Writer w;
    ASSERT_EQ(w.OpenSink(std::make_unique<MemorySink>(file), {1, 4, 4, 0}, 4, 16, 16, true, {}), 1);
    ASSERT_EQ(WriteText(w, kLevelFile, 0, "only text"), 1);
    ASSERT_EQ(w.Close(), 1);
    Reader r;
    EXPECT_EQ(OpenImage(r, file->image), VELA_ERR_FAILEDREADDATA);
}

TEST(VlseqWriter, WriteFailureKeepsEverythingCommittedBefore)
{
    const Geometry g{3, 6, 4, 0};
    auto file = NewFile();
    Writer w;
    ASSERT_EQ(w.OpenSink(std::make_unique<MemorySink>(file), g, 10, 8, 8, true, {}), 1);
    for (int f = 0; f < 3; ++f)
        ASSERT_EQ(AppendTestFrame(w, g, f), 1);
    file->failFromOp = file->opCount + 1; // the pixels of the next frame fail
    EXPECT_EQ(AppendTestFrame(w, g, 3), VELA_ERR_FAILEDWRITEDATA);
    file->failFromOp = SIZE_MAX;
    EXPECT_EQ(AppendTestFrame(w, g, 3), VELA_ERR_FAILEDWRITEDATA); // stays failed
    EXPECT_EQ(w.Close(), VELA_ERR_FAILEDWRITEDATA);
    Reader r;
    ASSERT_EQ(OpenImage(r, file->image), 1);
    EXPECT_EQ(r.FrameCount(), 3);
    EXPECT_TRUE(AllFramesIntact(r, g));
}

TEST(VlseqFile, DurableRecordingReadsBackWhileRecordingAndAfterClose)
{
    const Geometry g{4, 33, 7, 0};
    const std::string path = qxtest::TempPath("vlseq_file_roundtrip.vlseq");
    {
        Writer w;
        ASSERT_EQ(w.Open(path.c_str(), g, 100, 64, 64, false), 1);
        for (int f = 0; f < 20; ++f) {
            ASSERT_EQ(AppendTestFrame(w, g, f, 5), 1);
            // Reading back switches the update stream from output to input and back.
            const void *a = nullptr;
            int64_t pitch = 0;
            uint32_t sec = 0;
            int32_t usec = 0;
            ASSERT_EQ(w.LockFrame(f / 2, &a, &pitch, &sec, &usec), 1);
            EXPECT_TRUE(FrameIs(g, f / 2, a));
            EXPECT_EQ(pitch, static_cast<int64_t>(RowBytes(g)));
            EXPECT_EQ(usec, StampMicros(f / 2));
        }
        ASSERT_EQ(WriteText(w, kLevelFile, 0, "durable"), 1);
        ASSERT_EQ(w.Close(), 1);
    }
    Reader r;
    ASSERT_EQ(r.Open(OpenFileSource(path.c_str())), 1);
    EXPECT_EQ(r.FrameCount(), 20);
    EXPECT_TRUE(AllFramesIntact(r, g));
    EXPECT_EQ(ReadText(r, kLevelFile, 0), "durable");
    EXPECT_EQ(r.Header().compatFlags & kCompatBuffered, 0u);
    std::remove(path.c_str());
    Writer w;
    EXPECT_EQ(w.Open(qxtest::TempPath("no/such/dir/x.vlseq").c_str(), g, 1, 0, 0, true),
              VELA_ERR_FAILEDOPENFILE);
}

} // namespace
