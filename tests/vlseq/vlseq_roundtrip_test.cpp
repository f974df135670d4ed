// Writer and reader against each other: every pixel type, both alignments, frame counts around
// the TIFF readers' "uniform series" threshold, texts at every level and at their limits; and
// the sequence-file library over the reader.
#include "vlseq_test_util.h"

#include "support/test_paths.h"
#include "velaapi/vela_api.h"
#include "vlseqapi/vlseq_api.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <thread>
#include <tuple>

using namespace vlseqfmt;
using namespace vlseqtest;

namespace {

constexpr uint32_t kFileCap = 40, kFrameCap = 16;

class RoundTrip : public testing::TestWithParam<std::tuple<uint32_t, uint32_t, int>> {};

TEST_P(RoundTrip, ReadsBackFramesStampsAndLatestTexts)
{
    const auto [type, align, frames] = GetParam();
    const Geometry g{type, 5 + type, 3 + type, 0x42};
    MemoryWriter w;
    Writer::Options o;
    o.dataAlignLog2 = align;
    ASSERT_EQ(w.Start(g, 50, kFileCap, kFrameCap, true, o), 1);
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
    ASSERT_EQ(OpenImage(r, w.file->image), 1);
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
    MemoryWriter w;
    ASSERT_EQ(w.Start(g, 4), 1);
    ASSERT_EQ(AppendTestFrame(w, g, 0), 1);
    ASSERT_EQ(WriteText(w, kLevelGroup, 3, "abcd"), 1);
    ASSERT_EQ(w.Close(), 1);
    Reader r;
    ASSERT_EQ(OpenImage(r, w.file->image), 1);
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
    for (const auto &b : bad)
        EXPECT_EQ(MemoryWriter().Start(b.g, b.maxFrames, b.fileCap, b.frameCap),
                  VELA_ERR_INVALIDPARAM);
    MemoryWriter w;
    EXPECT_EQ(AppendTestFrame(w, ok, 0), VELA_ERR_NOTREADY);
    ASSERT_EQ(w.Start(ok, 2, 8, 8), 1);
    EXPECT_EQ(w.Start(ok, 2, 8, 8), VELA_ERR_NOWRECORDING);
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
    ASSERT_EQ(OpenImage(r, w.file->image), 1);
    EXPECT_EQ(r.FrameCount(), 2);

    MemoryWriter textOnly; // a recording without frames is refused by the reader
    ASSERT_EQ(textOnly.Start({1, 4, 4, 0}, 4, 16, 16), 1);
    ASSERT_EQ(WriteText(textOnly, kLevelFile, 0, "only text"), 1);
    ASSERT_EQ(textOnly.Close(), 1);
    EXPECT_EQ(OpenImage(r, textOnly.file->image), VELA_ERR_FAILEDREADDATA);
    Writer file;
    EXPECT_EQ(file.Open(qxtest::TempPath("no/such/dir/x.vlseq").c_str(), ok, 1, 0, 0, true),
              VELA_ERR_FAILEDOPENFILE);
}

// The sequence-file library's operations as a host calls them: record checks, handle checks,
// the values each record receives, and calls from several threads at once.
const Geometry kRgb{4, 7, 3, 0};

class VlseqApi : public testing::Test {
  protected:
    static void SetUpTestSuite()
    {
        path_ = qxtest::TempPath("vlseq_api.vlseq");
        vlseqfmt::Writer w;
        ASSERT_EQ(w.Open(path_.c_str(), kRgb, 10, 64, 64, true), 1);
        ASSERT_EQ(WriteText(w, VLSEQ_TEXT_FILE, 0, "hello file"), 1);
        for (int f = 0; f < 4; ++f)
            ASSERT_EQ(AppendTestFrame(w, kRgb, f), 1);
        ASSERT_EQ(WriteText(w, VLSEQ_TEXT_FRAME, 2, "second"), 1);
        ASSERT_EQ(w.Close(), 1);
    }
    static void TearDownTestSuite() { std::remove(path_.c_str()); }
    static uint64_t OpenFile(const std::string &path, int32_t *rc = nullptr)
    {
        VlseqOpenRecord rec{sizeof rec, 0, 0, path.c_str()};
        const int32_t r = VlseqOpen(&rec);
        if (rc)
            *rc = r;
        return rec.file;
    }
    static VlseqFrameRecord FrameRecord(int32_t index)
    {
        VlseqFrameRecord rec{};
        rec.size = sizeof rec;
        rec.index = index;
        return rec;
    }
    static inline std::string path_;
};

TEST_F(VlseqApi, OpenValidatesRecordsAndFiles)
{
    VlseqInitRecord init{sizeof init, {}};
    EXPECT_EQ(VlseqInit(&init), 1);
    init.size = 12;
    EXPECT_EQ(VlseqInit(&init), VELA_ERR_INVALIDPARAM);
    EXPECT_EQ(VlseqInit(nullptr), VELA_ERR_INVALIDPARAM);

    VlseqOpenRecord rec{20, 0, 7, path_.c_str()};
    EXPECT_EQ(VlseqOpen(&rec), VELA_ERR_INVALIDPARAM);
    rec = {sizeof rec, 0, 7, nullptr};
    EXPECT_EQ(VlseqOpen(&rec), VELA_ERR_INVALIDPARAM);
    EXPECT_EQ(rec.file, 0u);
    EXPECT_EQ(VlseqOpen(nullptr), VELA_ERR_INVALIDPARAM);
    int32_t rc = 0;
    EXPECT_EQ(OpenFile(path_ + ".missing", &rc), 0u);
    EXPECT_EQ(rc, VELA_ERR_FAILEDOPENFILE); // a file that is no recording: the package error tests
}

TEST_F(VlseqApi, ReportsCountStampsFramesAndTexts)
{
    const uint64_t h = OpenFile(path_);
    ASSERT_NE(h, 0u);
    int32_t v = -1;
    EXPECT_EQ(VlseqGetParam(h, VLSEQ_PARAM_FRAMECOUNT, &v), 1);
    EXPECT_EQ(v, 4);
    EXPECT_EQ(VlseqGetParam(h, VLSEQ_PARAM_FILETEXTBYTES, &v), 1);
    EXPECT_EQ(v, 10);
    EXPECT_EQ(VlseqGetParam(h, 1, &v), VELA_ERR_INVALIDPARAM);
    EXPECT_EQ(VlseqGetParam(h, 0, nullptr), VELA_ERR_INVALIDPARAM);

    VlseqStamp stamps[5] = {};
    const VlseqStampBlock good{sizeof(VlseqStampBlock), 0x00010000, 0, stamps, 4, 0, 8, 0, 4, 0};
    VlseqStampBlock bad[] = {good, good, good, good, good};
    bad[0].size = 40;
    bad[1].stampBytes = 16;
    bad[2].frameCount = 5; // a larger array is still refused: the counts must agree
    bad[3].frameCount2 = 3;
    bad[4].stamps = nullptr;
    for (auto &b : bad)
        EXPECT_EQ(VlseqCopyStamps(h, &b), VELA_ERR_INVALIDPARAM);
    EXPECT_EQ(VlseqCopyStamps(h, nullptr), VELA_ERR_INVALIDPARAM);
    VlseqStampBlock block = good;
    ASSERT_EQ(VlseqCopyStamps(h, &block), 1);
    for (int f = 0; f < 4; ++f) {
        EXPECT_EQ(stamps[f].seconds, StampSeconds(f));
        EXPECT_EQ(stamps[f].microseconds, StampMicros(f));
    }

    for (int32_t f : {3, 0}) {
        VlseqFrameRecord rec = FrameRecord(f);
        ASSERT_EQ(VlseqLockFrame(h, &rec), 1);
        EXPECT_TRUE(FrameIs(kRgb, f, rec.address));
        EXPECT_EQ(reinterpret_cast<uintptr_t>(rec.address) % 64, 0u);
        EXPECT_EQ(rec.rowBytes, 7 * 3 * 2);
        EXPECT_EQ(rec.width, 21u); // colour widths count samples
        EXPECT_EQ(rec.rows, 3);
        EXPECT_EQ(rec.pixelType, 4u);
    }
    for (int32_t f : {-1, 4, INT32_MIN}) {
        VlseqFrameRecord rec = FrameRecord(f);
        EXPECT_EQ(VlseqLockFrame(h, &rec), VELA_ERR_OUTOFRANGE) << f;
    }
    VlseqFrameRecord small = FrameRecord(0);
    small.size = 64;
    EXPECT_EQ(VlseqLockFrame(h, &small), VELA_ERR_INVALIDPARAM);

    char buf[32] = {};
    VlseqTextRecord text{sizeof text, 1, VLSEQ_TEXT_FRAME, 2, buf, sizeof buf, 0};
    ASSERT_EQ(VlseqReadText(h, &text), 1);
    EXPECT_STREQ(buf, "second");
    text.level = VLSEQ_TEXT_FILE;
    ASSERT_EQ(VlseqReadText(h, &text), 1);
    EXPECT_STREQ(buf, "hello file");
    text.kind = 2;
    EXPECT_EQ(VlseqReadText(h, &text), VELA_ERR_INVALIDPARAM);
    text.kind = 1;
    text.size = 24;
    EXPECT_EQ(VlseqReadText(h, &text), VELA_ERR_INVALIDPARAM);
    EXPECT_EQ(VlseqClose(h), 1);
}

TEST_F(VlseqApi, ClosedAndUnknownHandlesAreRefusedEverywhere)
{
    const uint64_t h = OpenFile(path_);
    const uint64_t other = OpenFile(path_);
    ASSERT_NE(h, 0u);
    ASSERT_NE(other, h);
    ASSERT_EQ(VlseqClose(h), 1);
    for (uint64_t bad : {h, uint64_t{0}, uint64_t{1}, h + 1}) {
        int32_t v = 0;
        VlseqStamp s[4];
        VlseqStampBlock block{sizeof block, 0x00010000, 0, s, 4, 0, 8, 0, 4, 0};
        VlseqFrameRecord rec = FrameRecord(0);
        char buf[4];
        VlseqTextRecord text{sizeof text, 1, VLSEQ_TEXT_FILE, 0, buf, sizeof buf, 0};
        EXPECT_EQ(VlseqGetParam(bad, 0, &v), VELA_ERR_INVALIDRECHANDLE);
        EXPECT_EQ(VlseqCopyStamps(bad, &block), VELA_ERR_INVALIDRECHANDLE);
        EXPECT_EQ(VlseqLockFrame(bad, &rec), VELA_ERR_INVALIDRECHANDLE);
        EXPECT_EQ(VlseqReadText(bad, &text), VELA_ERR_INVALIDRECHANDLE);
        EXPECT_EQ(VlseqClose(bad), VELA_ERR_INVALIDRECHANDLE);
    }
    int32_t v = 0;
    EXPECT_EQ(VlseqGetParam(other, 0, &v), 1); // closing one handle leaves the other open
    EXPECT_EQ(VlseqClose(other), 1);
}

TEST_F(VlseqApi, ThreadsOpenLockAndCloseConcurrently)
{
    const uint64_t shared = OpenFile(path_);
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 50; ++i) {
                const uint64_t own = OpenFile(path_);
                VlseqFrameRecord rec = FrameRecord((t + i) % 4);
                if (own == 0 || VlseqLockFrame(own, &rec) != 1 ||
                    !FrameIs(kRgb, (t + i) % 4, rec.address))
                    ++failures;
                int32_t v = 0;
                if (VlseqGetParam(shared, 0, &v) != 1 || v != 4 || VlseqClose(own) != 1)
                    ++failures;
            }
        });
    for (auto &t : threads)
        t.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(VlseqClose(shared), 1);
}

} // namespace
