// The sequence-file library's operations as a host calls them: record checks, handle checks,
// the values each record receives, and calls from several threads at once.
#include "vlseq_test_util.h"

#include "support/test_paths.h"
#include "velaapi/vela_api.h"
#include "vlseqapi/vlseq_api.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <thread>

using namespace vlseqtest;

namespace {

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
