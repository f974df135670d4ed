// Frame numbers and gaps: what the writer takes, what the index and the walk give back, and a
// ledger that does not add up, which the writer refuses and the reader does not trust.
#include "vlseq_test_util.h"

#include "velaapi/vela_api.h"
#include "vlseq_bytes.h"

#include <gtest/gtest.h>

#include <climits>

using namespace vlseqfmt;
using namespace vlseqtest;

namespace {

const Geometry kGeom{2, 6, 4, 0};

// Frames 3, 4 (after 0..2 were lost, 1 of them dropped), 9 (after 5..8), then a new capture
// numbering from 0 again whose first kept frame is 2; two more numbers dropped at the end.
const LedgerEntry kLedger[] = {{3, 3, 1}, {4, 0, 0}, {9, 4, 0}, {2, 2, 2}};

std::vector<uint8_t> Recording(bool close)
{
    auto file = std::make_shared<MemoryFile>();
    Writer w;
    EXPECT_EQ(w.OpenSink(std::make_unique<MemorySink>(file), kGeom, 16, 64, 64, true, {}), 1);
    for (int f = 0; f < 4; ++f) {
        const auto px = MakeFrame(kGeom, f, RowBytes(kGeom));
        EXPECT_EQ(w.AppendFrame(px.data(), static_cast<int64_t>(RowBytes(kGeom)), StampSeconds(f),
                                StampMicros(f), &kLedger[f]),
                  1);
    }
    EXPECT_EQ(w.SetTrailingGap(2, 2), 1);
    if (close) {
        EXPECT_EQ(w.Close(), 1);
    }
    return file->image;
}

std::vector<std::tuple<uint64_t, uint64_t, uint64_t, int64_t>> GapsOf(const Reader &r)
{
    std::vector<std::tuple<uint64_t, uint64_t, uint64_t, int64_t>> out;
    for (const Gap &g : r.Gaps())
        out.emplace_back(g.first, g.count, g.dropped, g.beforeFrame);
    return out;
}

TEST(VlseqLedger, IndexAndWalkGiveTheNumbersAndGapsWritten)
{
    const std::vector<std::tuple<uint64_t, uint64_t, uint64_t, int64_t>> expected = {
        {0, 3, 1, 0}, {5, 4, 0, 2}, {0, 2, 2, 3}, {3, 2, 2, 4}};
    const auto closed = Recording(true), open = Recording(false);
    Reader r;
    ASSERT_EQ(OpenImage(r, closed), 1);
    ASSERT_TRUE(r.UsedIndex());
    EXPECT_EQ(GapsOf(r), expected);
    EXPECT_EQ(r.Header().versionMinor, 1);
    ASSERT_EQ(OpenImage(r, open), 1);
    ASSERT_FALSE(r.UsedIndex());
    auto walked = expected;
    walked.pop_back(); // only the index knows what was missing after the last frame
    EXPECT_EQ(GapsOf(r), walked);
    EXPECT_TRUE(AllFramesIntact(r, kGeom));
}

TEST(VlseqLedger, TheWriterRefusesALedgerThatDoesNotAddUp)
{
    auto file = std::make_shared<MemoryFile>();
    Writer w;
    ASSERT_EQ(w.SetTrailingGap(0, 0), VELA_ERR_NOTREADY);
    ASSERT_EQ(w.OpenSink(std::make_unique<MemorySink>(file), kGeom, 16, 64, 64, true, {}), 1);
    EXPECT_EQ(w.SetTrailingGap(1, 0), VELA_ERR_INVALIDPARAM) << "no frame to follow";
    const auto px = MakeFrame(kGeom, 0, RowBytes(kGeom));
    const auto append = [&](LedgerEntry e) {
        return w.AppendFrame(px.data(), static_cast<int64_t>(RowBytes(kGeom)), 1, 0, &e);
    };
    const LedgerEntry firstBad[] = {
        {2, 3, 0}, {5, 1, 2}, {0, 1, 0}, {UINT32_MAX - 1, UINT32_MAX, 0}};
    for (const LedgerEntry &e : firstBad)
        EXPECT_EQ(append(e), VELA_ERR_INVALIDPARAM) << e.number;
    ASSERT_EQ(append({10, 0, 0}), 1);
    const LedgerEntry afterTen[] = {{12, 0, 0}, {12, 2, 0}, {ULLONG_MAX, 0, 0}, {11, 1, 1}};
    for (const LedgerEntry &e : afterTen)
        EXPECT_EQ(append(e), VELA_ERR_INVALIDPARAM) << e.number;
    EXPECT_EQ(w.SetTrailingGap(1, 2), VELA_ERR_INVALIDPARAM);
    EXPECT_EQ(w.FrameCount(), 1);
    ASSERT_EQ(w.AppendFrame(px.data(), static_cast<int64_t>(RowBytes(kGeom)), 1, 0), 1);
    ASSERT_EQ(w.Close(), 1);
    Reader r;
    ASSERT_EQ(OpenImage(r, file->image), 1);
    EXPECT_EQ(r.Ledger().back().number, 11u) << "a frame without a ledger follows the last";
}

TEST(VlseqLedger, ALedgerThatDoesNotAddUpIsNotTrusted)
{
    const auto closed = Recording(true), open = Recording(false);
    Reader r;
    ASSERT_EQ(OpenImage(r, closed), 1);
    const uint64_t frame2 = AlignUp(r.DataOffset(1) + 48, 64); // where frame 2's chunk starts
    // The index's ledger table follows its frame and text entries (4 frames, no texts).
    const uint64_t trailer = LatestCommit(closed).trailerOffset;
    const size_t table = static_cast<size_t>(trailer + kIndexHeaderBytes + 4 * 16);
    const auto resealIndex = [&](std::vector<uint8_t> &img) {
        Put32(&img[trailer + kIndexLedgerCrcAt], Crc32(&img[table], 4 * 16));
        SealChunk(&img[trailer], kIndexHeaderBytes);
    };
    struct Case {
        const char *what;
        size_t at;
        uint32_t value;
        bool frameChunk; // in the open recording, resealing frame 2's chunk; else the index
        bool usesIndex;
        int64_t frames;
    } cases[] = {
        {"frame 2's gap in the table", table + 2 * 16 + 8, 3, false, false, 4},
        {"dropped over the gap in the table", table + 16 + 12, 1, false, false, 4},
        {"a trailing drop over its gap", static_cast<size_t>(trailer + kIndexTrailingDroppedAt), 3,
         false, false, 4},
        {"frame 2's number in its chunk", static_cast<size_t>(frame2 + kFrameNumberAt), 8, true,
         false, 2},
    };
    for (const Case &c : cases) {
        auto img = c.frameChunk ? open : closed;
        Put32(&img[c.at], c.value);
        if (c.frameChunk)
            SealChunk(&img[frame2], kFrameHeaderBytes);
        else
            resealIndex(img);
        ASSERT_EQ(OpenImage(r, img), 1) << c.what;
        EXPECT_EQ(r.UsedIndex(), c.usesIndex) << c.what;
        EXPECT_EQ(r.FrameCount(), c.frames) << c.what;
        EXPECT_TRUE(AllFramesIntact(r, kGeom)) << c.what;
        if (c.frames == 4) {
            EXPECT_EQ(r.Ledger()[2].number, 9u) << c.what << ": the walk gives the chunks' own";
        }
    }
}

} // namespace
