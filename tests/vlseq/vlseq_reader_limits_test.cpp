// The reader on damaged and hostile files: header rules, index checks that must fall back to
// the chunk walk with the same result, torn and corrupt chunks, and offsets beyond 4 GiB in a
// sparse file (which also checks the 64-bit seeks of the file shims).
#include "vlseq_test_util.h"

#include "support/test_paths.h"
#include "velaapi/vela_api.h"
#include "vlseq_bytes.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>

using namespace vlseqfmt;
using namespace vlseqtest;

namespace {

const Geometry kGeom{2, 6, 4, 0};

// A buffered recording of 5 frames with texts at all levels, closed or left as a crash would.
std::vector<uint8_t> Recording(bool close = true)
{
    auto file = std::make_shared<MemoryFile>();
    Writer w;
    EXPECT_EQ(w.OpenSink(std::make_unique<MemorySink>(file), kGeom, 16, 64, 64, true, {}), 1);
    EXPECT_EQ(WriteText(w, kLevelFile, 0, "file"), 1);
    for (int f = 0; f < 5; ++f)
        EXPECT_EQ(AppendTestFrame(w, kGeom, f), 1);
    EXPECT_EQ(WriteText(w, kLevelGroup, 1, "group"), 1);
    EXPECT_EQ(WriteText(w, kLevelFrame, 3, "three"), 1);
    if (close) {
        EXPECT_EQ(w.Close(), 1);
    }
    return file->image;
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
    int i = 0;
    for (const auto &edit : edits) {
        auto img = clean;
        edit(img);
        Reader r;
        ASSERT_EQ(OpenImage(r, img), 1) << "edit " << i;
        EXPECT_FALSE(r.UsedIndex()) << "edit " << i;
        EXPECT_EQ(r.FrameCount(), base.FrameCount()) << "edit " << i;
        EXPECT_TRUE(AllFramesIntact(r, kGeom)) << "edit " << i;
        EXPECT_EQ(ReadText(r, kLevelFrame, 3), "three") << "edit " << i;
        ++i;
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

} // namespace
