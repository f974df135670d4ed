// The reader on damaged and hostile files: header rules, index checks that must fall back to
// the chunk walk with the same result, torn and corrupt chunks, and offsets beyond 4 GiB in a
// sparse file (which also checks the 64-bit seeks of the file shims).
#include "vlseq_test_util.h"

#include "support/test_paths.h"
#include "velaapi/vela_api.h"
#include "vlseq_bytes.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <functional>

using namespace vlseqfmt;
using namespace vlseqtest;

namespace {

const Geometry kGeom{2, 6, 4, 0};

// A buffered recording of 5 frames with texts at all levels, closed or left as a crash would.
std::vector<uint8_t> Recording(bool close = true)
{
    MemoryWriter w;
    EXPECT_EQ(w.Start(kGeom, 16), 1);
    EXPECT_EQ(WriteText(w, kLevelFile, 0, "file"), 1);
    for (int f = 0; f < 5; ++f)
        EXPECT_EQ(AppendTestFrame(w, kGeom, f), 1);
    EXPECT_EQ(WriteText(w, kLevelGroup, 1, "group"), 1);
    EXPECT_EQ(WriteText(w, kLevelFrame, 3, "three"), 1);
    EXPECT_EQ(close ? w.Close() : 1, 1);
    return w.file->image;
}

void FixSuperblock(std::vector<uint8_t> &img)
{
    Put32(img.data() + 252, Crc32(img.data() + 16, 236));
}

// Reseals the index of Recording() (5 frames, 3 texts) after an edit, so that only the edited
// rule can reject it.
void FixIndex(std::vector<uint8_t> &img)
{
    uint8_t *idx = img.data() + LatestCommit(img).trailerOffset;
    Put32(idx + kIndexPayloadCrcAt, Crc32(idx + kIndexHeaderBytes, 5 * 16 + 3 * 24));
    SealChunk(idx, kIndexHeaderBytes);
}

TEST(VlseqReaderLimits, HeaderRulesRefuseWithTheirCodes)
{
    struct Case {
        size_t at;
        int bytes;
        uint64_t value;
        bool fixCrc;
        int32_t expect;
    } cases[] = {
        {0, 2, 0x4D4D, true, VELA_ERR_FAILEDREADDATA},      // big-endian TIFF
        {2, 2, 42, true, VELA_ERR_FAILEDREADDATA},          // classic TIFF
        {20, 4, 0x0A0D0A0D, true, VELA_ERR_FAILEDREADDATA}, // text-mode mangled magic
        {24, 2, 2, true, VELA_ERR_NOTSUPPORT},              // next major version
        {26, 2, 9, true, 1},                                // any minor version
        {36, 4, 4, true, VELA_ERR_NOTSUPPORT},              // unknown incompatible feature
        {32, 4, 0x80000001, true, 1},                       // unknown compatible bit
        {28, 4, 8192, true, VELA_ERR_FAILEDREADDATA},
        {40, 4, 5, true, VELA_ERR_FAILEDREADDATA},
        {40, 4, 1, true, VELA_ERR_FAILEDREADDATA}, // bytes per sample disagree
        {44, 4, 0, true, VELA_ERR_FAILEDREADDATA},
        {48, 4, 65536, true, VELA_ERR_FAILEDREADDATA},
        {52, 4, 3, true, VELA_ERR_FAILEDREADDATA},
        {60, 4, 5, true, VELA_ERR_FAILEDREADDATA},
        {60, 4, 17, true, VELA_ERR_FAILEDREADDATA},
        {64, 8, 13, true, VELA_ERR_FAILEDREADDATA},
        {72, 8, 49, true, VELA_ERR_FAILEDREADDATA},
        {80, 4, 0, true, VELA_ERR_FAILEDREADDATA},
        {80, 4, 0x80000000, true, VELA_ERR_FAILEDREADDATA},
        {88, 4, (1u << 20) + 1, true, VELA_ERR_FAILEDREADDATA},
        {92, 4, (1u << 20) + 1, true, VELA_ERR_FAILEDREADDATA},
        {96, 8, 8192, true, VELA_ERR_FAILEDREADDATA},
        {112, 4, 0, true, VELA_ERR_FAILEDREADDATA},
        {84, 4, 77, false, VELA_ERR_FAILEDREADDATA}, // superblock CRC
        {200, 4, 77, true, 1},                       // reserved bytes are ignored
        {8, 8, 0xFFFFFFFFFFull, false, 1},           // the TIFF link is not ours
    };
    for (const auto &c : cases) {
        auto img = Recording();
        for (int i = 0; i < c.bytes; ++i)
            img[c.at + static_cast<size_t>(i)] = static_cast<uint8_t>(c.value >> (8 * i));
        if (c.fixCrc)
            FixSuperblock(img);
        Reader r;
        EXPECT_EQ(OpenImage(r, img), c.expect) << "offset " << c.at;
    }
    Reader r;
    auto img = Recording();
    img.resize(4095);
    EXPECT_EQ(OpenImage(r, img), VELA_ERR_FAILEDREADDATA);
    img.clear();
    EXPECT_EQ(OpenImage(r, img), VELA_ERR_FAILEDREADDATA);
}

TEST(VlseqReaderLimits, BadIndexFallsBackToTheWalkWithTheSameContent)
{
    const auto clean = Recording();
    Reader base;
    ASSERT_EQ(OpenImage(base, clean), 1);
    ASSERT_TRUE(base.UsedIndex());
    const uint64_t t = LatestCommit(clean).trailerOffset;
    const size_t payload = static_cast<size_t>(t + kIndexHeaderBytes);
    const size_t texts = payload + 5 * 16;
    using Edit = std::function<void(std::vector<uint8_t> &)>;
    const Edit edits[] = {
        [&](auto &img) { img[payload + 3] ^= 1; }, // payload CRC
        [&](auto &img) { Put64(&img[payload + 16], Get64(&img[payload])), FixIndex(img); },
        [&](auto &img) { Put64(&img[payload], Get64(&img[payload]) + 64), FixIndex(img); },
        [&](auto &img) { Put64(&img[payload + 4 * 16], t), FixIndex(img); }, // past the stream
        [&](auto &img) { Put64(&img[texts + 16], Get64(&img[payload])), FixIndex(img); },
        [&](auto &img) { Put32(&img[texts + 8], 65), FixIndex(img); }, // over capacity
        [&](auto &img) { Put32(&img[texts + 12], 1), FixIndex(img); }, // reserved
        [&](auto &img) { Put32(&img[texts + 24], 0), FixIndex(img); }, // keys out of order
        [&](auto &img) { Put32(&img[texts], 7), FixIndex(img); },      // unknown level
        [&](auto &img) { Put64(&img[payload + 4 * 16 + 8], 1), FixIndex(img); }, // stamp vs frame
        [&](auto &img) {
            Put64(&img[t + kIndexFrameCountAt], 4), FixIndex(img); // count vs commit
        },
        [&](auto &img) { Put64(&img[t + kIndexTextCountAt], uint64_t{1} << 60), FixIndex(img); },
        [&](auto &img) {
            CommitRecord c = LatestCommit(img);
            c.trailerOffset += 64;
            EncodeCommit(c, &img[CommitSlot(c.seq)]);
        },
    };
    for (size_t i = 0; i < std::size(edits); ++i) {
        SCOPED_TRACE(i);
        auto img = clean;
        edits[i](img);
        Reader r;
        ASSERT_EQ(OpenImage(r, img), 1);
        EXPECT_FALSE(r.UsedIndex());
        EXPECT_EQ(r.FrameCount(), base.FrameCount());
        EXPECT_TRUE(AllFramesIntact(r, kGeom));
        EXPECT_EQ(ReadText(r, kLevelFrame, 3), "three");
    }
}

TEST(VlseqReaderLimits, WalkStopsAtTheFirstDamagedChunk)
{
    const auto open = Recording(false);
    Reader r;
    ASSERT_EQ(OpenImage(r, open), 1);
    ASSERT_EQ(r.FrameCount(), 5);
    const uint64_t frame2 = AlignUp(r.DataOffset(1) + 48, 64); // chunk start of frame 2
    struct Case {
        size_t at;
        uint8_t flip;
        int64_t frames;
    } cases[] = {
        {static_cast<size_t>(frame2) + 17, 1, 2},        // chunk sequence number
        {static_cast<size_t>(frame2) + 40, 1, 2},        // stamp under the header CRC
        {static_cast<size_t>(frame2) + 100, 1, 5},       // TIFF bytes are not ours
        {static_cast<size_t>(kCommitOffsetA) + 1, 1, 5}, // no commit left: buffered walk
    };
    for (const auto &c : cases) {
        auto img = open;
        img[c.at] ^= c.flip;
        img[kCommitOffsetB + 1] ^= (c.at == kCommitOffsetA + 1) ? 1 : 0;
        ASSERT_EQ(OpenImage(r, img), 1) << c.at;
        EXPECT_EQ(r.FrameCount(), c.frames) << c.at;
        EXPECT_TRUE(AllFramesIntact(r, kGeom));
    }
    for (size_t cut = 4096; cut < open.size(); cut += 61) {
        auto img = open;
        img.resize(cut);
        if (OpenImage(r, img) == 1) {
            EXPECT_TRUE(AllFramesIntact(r, kGeom)) << cut;
        }
    }
}

// Frames beyond 4 GiB without writing 4 GiB: frame 0's chunk carries a 5 GiB padding tail (legal,
// if never written by our writer), so frames 1 and 2 and the index live above 2^32.
TEST(VlseqReaderLimits, OffsetsBeyondFourGiBInASparseFile)
{
    const std::string path = qxtest::TempPath("vlseq_sparse.vlseq");
    FileHeader h;
    h.pixelType = 1;
    h.width = 64;
    h.height = 64;
    h.samplesPerPixel = h.bytesPerSample = 1;
    h.dataAlignLog2 = 12;
    h.rowPitch = 64;
    h.frameBytes = 4096;
    h.maxFrames = 10;
    h.compatFlags = kCompatBuffered;
    h.fileId = 0x1234;
    const Geometry g{1, 64, 64, 0};
    auto sink = OpenFileSink(path.c_str());
    ASSERT_TRUE(sink);
    std::vector<uint8_t> block(kHeaderBlockBytes);
    EncodeFileHeader(h, block.data());
    uint64_t start = kHeaderBlockBytes, lastIfd = 0;
    std::vector<uint8_t> index(kIndexHeaderBytes + 3 * 16);
    for (uint64_t f = 0; f < 3; ++f) {
        const uint64_t data = start + 4096;
        const uint64_t bytes = f == 0 ? (uint64_t{5} << 30) : 8192;
        uint8_t c[kFramePrefixBytes] = {};
        EncodeChunkHeader({kChunkFrame, kFrameHeaderBytes, bytes, f, h.fileId}, c);
        Put64(c + kFrameIndexAt, f);
        Put32(c + kFrameSecondsAt, StampSeconds(static_cast<int64_t>(f)));
        Put32(c + kFrameMicrosAt, static_cast<uint32_t>(StampMicros(static_cast<int64_t>(f))));
        Put64(c + kFrameDataOffsetAt, data);
        Put64(c + kFrameDataBytesAt, 4096);
        Put64(c + kFrameIfdOffsetAt, start + kFrameHeaderBytes);
        Put32(c + kFrameIfdBytesAt, kIfdBytes);
        SealChunk(c, kFrameHeaderBytes);
        const auto px = MakeFrame(g, static_cast<int64_t>(f), 64);
        ASSERT_TRUE(sink->Write(start, c, sizeof c));
        ASSERT_TRUE(sink->Write(data, px.data(), px.size()));
        Put64(&index[kIndexHeaderBytes + f * 16], data);
        Put32(&index[kIndexHeaderBytes + f * 16 + 8], Get32(c + kFrameSecondsAt));
        Put32(&index[kIndexHeaderBytes + f * 16 + 12], Get32(c + kFrameMicrosAt));
        lastIfd = start + kFrameHeaderBytes;
        start += bytes;
    }
    ASSERT_GT(start, uint64_t{1} << 32);
    index.resize(AlignUp(index.size(), 64));
    EncodeChunkHeader({kChunkIndex, kIndexHeaderBytes, index.size(), 3, h.fileId}, index.data());
    Put64(&index[kIndexFrameCountAt], 3);
    Put32(&index[kIndexPayloadCrcAt], Crc32(&index[kIndexHeaderBytes], 48));
    SealChunk(index.data(), kIndexHeaderBytes);
    ASSERT_TRUE(sink->Write(start, index.data(), index.size()));
    for (uint32_t state : {1u, 0u}) {
        CommitRecord cr{2, 3, 0, start + index.size(), lastIfd, state ? start : 0, state};
        EncodeCommit(cr, block.data() + kCommitOffsetB);
        ASSERT_TRUE(sink->Write(0, block.data(), block.size()));
        ASSERT_TRUE(sink->Flush());
        Reader r;
        ASSERT_EQ(r.Open(OpenFileSource(path.c_str())), 1);
        EXPECT_EQ(r.UsedIndex(), state == 1);
        ASSERT_EQ(r.FrameCount(), 3);
        EXPECT_GT(r.DataOffset(2), uint64_t{1} << 32);
        EXPECT_TRUE(AllFramesIntact(r, g));
    }
    sink->Close();
    std::remove(path.c_str());
}

// Frame numbers and gaps: what the writer takes, what the index and the walk give back, and a
// ledger that does not add up, which the writer refuses and the reader does not trust.
// Frames 3, 4 (after 0..2 were lost, 1 of them dropped), 9 (after 5..8), then a new capture
// numbering from 0 again whose first kept frame is 2; two more numbers dropped at the end.
const LedgerEntry kLedger[] = {{3, 3, 1}, {4, 0, 0}, {9, 4, 0}, {2, 2, 2}};

std::vector<uint8_t> LedgerRecording(bool close)
{
    MemoryWriter w;
    EXPECT_EQ(w.Start(kGeom, 16), 1);
    for (int f = 0; f < 4; ++f)
        EXPECT_EQ(AppendTestFrame(w, kGeom, f, 0, &kLedger[f]), 1);
    EXPECT_EQ(w.SetTrailingGap(2, 2), 1);
    EXPECT_EQ(close ? w.Close() : 1, 1);
    return w.file->image;
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
    const auto closed = LedgerRecording(true), open = LedgerRecording(false);
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
    MemoryWriter w;
    ASSERT_EQ(w.SetTrailingGap(0, 0), VELA_ERR_NOTREADY);
    ASSERT_EQ(w.Start(kGeom, 16), 1);
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
    ASSERT_EQ(OpenImage(r, w.file->image), 1);
    EXPECT_EQ(r.Ledger().back().number, 11u) << "a frame without a ledger follows the last";
}

TEST(VlseqLedger, ALedgerThatDoesNotAddUpIsNotTrusted)
{
    const auto closed = LedgerRecording(true), open = LedgerRecording(false);
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
