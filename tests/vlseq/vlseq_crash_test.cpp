// Crash consistency. A recording runs over the logging memory sink; every prefix of its
// operations, with the last one torn at a few points, is what a process crash can leave, and a
// power loss may in addition drop or tear anything after the last OS flush. The reader must
// give exactly the frames and texts a walk over the complete, committed chunks gives, and
// every frame it gives must be intact. A real recording process is also killed mid-write.
#include "vlseq_test_util.h"

#include "support/test_paths.h"
#include "velaapi/vela_api.h"
#include "vlseq_bytes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>

#if !defined(_WIN32)
#include <csignal>
#include <cstdio>
#include <sys/wait.h>
#endif

using namespace vlseqfmt;
using namespace vlseqtest;

namespace {

struct Scenario {
    bool buffered;
    bool dataCrc;
    uint32_t alignLog2;
};

struct TextVersion {
    TextKey key;
    std::string value;
    size_t op; // the single write of its chunk
};

struct Recorded {
    Geometry g{2, 9, 5, 0};
    std::shared_ptr<MemoryFile> file;
    std::vector<uint64_t> frameEnds;
    std::vector<TextVersion> texts;
};

// Commits every 3 frames and never by time, so the schedule is deterministic.
Writer::Options Grouped(uint32_t alignLog2 = 12, bool dataCrc = false)
{
    Writer::Options o;
    o.dataAlignLog2 = alignLog2;
    o.dataCrc = dataCrc;
    o.groupFrames = 3;
    o.groupMs = 1000000;
    return o;
}

Recorded Record(const Scenario &s)
{
    Recorded rec;
    MemoryWriter w;
    rec.file = w.file;
    EXPECT_EQ(w.Start(rec.g, 64, 32, 32, s.buffered, Grouped(s.alignLog2, s.dataCrc)), 1);
    auto text = [&](uint32_t level, int32_t index, const std::string &v) {
        rec.texts.push_back({{level, index}, v, rec.file->ops.size()});
        EXPECT_EQ(WriteText(w, level, index, v), 1);
    };
    text(kLevelFile, 0, "file v1");
    for (int f = 0; f < 9; ++f) {
        EXPECT_EQ(AppendTestFrame(w, rec.g, f), 1);
        if (f == 1)
            text(kLevelGroup, 4, "group v1");
        if (f == 4) {
            text(kLevelFrame, 0, "frame zero");
            text(kLevelGroup, 4, "group v2, longer than the first");
        }
    }
    EXPECT_EQ(w.Close(), 1);
    Reader r;
    EXPECT_EQ(OpenImage(r, rec.file->image), 1);
    for (int64_t k = 0; k < r.FrameCount(); ++k)
        rec.frameEnds.push_back(AlignUp(r.DataOffset(k) + r.Header().frameBytes, kChunkAlign));
    return rec;
}

// Frame count of the last commit record written in full among the first `count` operations.
uint64_t CommittedBefore(const std::vector<SinkOp> &ops, size_t count)
{
    uint64_t frames = 0;
    for (size_t i = 0; i < count && i < ops.size(); ++i) {
        CommitRecord c;
        if (ops[i].kind == SinkOp::kWrite && ops[i].bytes.size() == kCommitBytes &&
            (ops[i].offset == kCommitOffsetA || ops[i].offset == kCommitOffsetB) &&
            DecodeCommit(ops[i].bytes.data(), &c))
            frames = c.frameCount;
    }
    return frames;
}

struct Expected {
    int64_t frames = 0;
    std::map<TextKey, std::string> texts;
};

// What a walk accepts: chunks in file order while they lie wholly inside the file; a frame past
// the last commit only when the recording was buffered or its pixels carry a CRC.
Expected Model(const Recorded &rec, const Scenario &s, uint64_t size, uint64_t committed)
{
    Expected e;
    if (size < kHeaderBlockBytes)
        return e;
    struct Chunk {
        uint64_t end;
        int64_t frame; // -1 for a text
        size_t text;
    };
    std::vector<Chunk> chunks;
    for (size_t k = 0; k < rec.frameEnds.size(); ++k)
        chunks.push_back({rec.frameEnds[k], static_cast<int64_t>(k), 0});
    for (size_t i = 0; i < rec.texts.size(); ++i) {
        const SinkOp &op = rec.file->ops[rec.texts[i].op];
        chunks.push_back({op.offset + op.bytes.size(), -1, i});
    }
    std::sort(chunks.begin(), chunks.end(), [](auto &a, auto &b) { return a.end < b.end; });
    for (const Chunk &c : chunks) {
        if (c.end > size)
            break;
        if (c.frame < 0) {
            e.texts[rec.texts[c.text].key] = rec.texts[c.text].value;
            continue;
        }
        if (static_cast<uint64_t>(c.frame) >= committed && !s.buffered && !s.dataCrc)
            break;
        ++e.frames;
    }
    return e;
}

std::map<TextKey, std::string> AllTexts(Reader &r)
{
    std::map<TextKey, std::string> out;
    for (const auto &[key, span] : r.Texts())
        out[key] = ReadText(r, key.first, key.second);
    return out;
}

class CrashReplay : public testing::TestWithParam<Scenario> {};

TEST_P(CrashReplay, EveryPrefixReadsAsTheCompleteCommittedChunks)
{
    const Scenario s = GetParam();
    const Recorded rec = Record(s);
    const auto &ops = rec.file->ops;
    int replays = 0, opened = 0;
    for (size_t p = 0; p <= ops.size(); ++p) {
        std::vector<size_t> tears{0};
        if (p < ops.size() && ops[p].kind == SinkOp::kWrite && ops[p].bytes.size() > 1)
            tears.insert(tears.end(), {1, ops[p].bytes.size() / 2, ops[p].bytes.size() - 1});
        for (size_t torn : tears) {
            const auto image = ReplayOps(ops, p, torn);
            const Expected e = Model(rec, s, image.size(), CommittedBefore(ops, p));
            Reader r;
            const int32_t rc = OpenImage(r, image);
            ++replays;
            SCOPED_TRACE(testing::Message() << "prefix " << p << " torn " << torn);
            if (e.frames == 0) {
                ASSERT_EQ(rc, VELA_ERR_FAILEDREADDATA);
                continue;
            }
            ++opened;
            ASSERT_EQ(rc, 1);
            ASSERT_EQ(r.FrameCount(), e.frames);
            ASSERT_TRUE(AllFramesIntact(r, rec.g));
            ASSERT_EQ(AllTexts(r), e.texts);
        }
    }
    EXPECT_GT(opened, 0);
    RecordProperty("replays", replays);
}

// Buffered at both alignments, durable, durable with pixel checksums.
INSTANTIATE_TEST_SUITE_P(Modes, CrashReplay,
                         testing::Values(Scenario{true, false, 12}, Scenario{true, false, 6},
                                         Scenario{false, false, 6}, Scenario{false, true, 6}));

TEST(PowerLoss, CommittedFramesSurviveLosingAnythingAfterTheLastSync)
{
    std::mt19937 rng(20240611);
    for (bool crc : {false, true}) {
        const Scenario s{false, crc, 6};
        const Recorded rec = Record(s);
        const auto &ops = rec.file->ops;
        for (int trial = 0; trial < 150; ++trial) {
            const size_t cut = rng() % (ops.size() + 1);
            size_t kept = 0; // operations up to and including the last sync before the cut
            for (size_t i = 0; i < cut; ++i)
                if (ops[i].kind == SinkOp::kSync)
                    kept = i + 1;
            auto image = ReplayOps(ops, kept);
            for (size_t i = kept; i < cut; ++i) {
                const SinkOp &op = ops[i];
                const uint32_t dice = rng() % 4;
                if (op.kind != SinkOp::kWrite || dice == 0)
                    continue;
                const size_t n = dice == 1 ? rng() % (op.bytes.size() + 1) : op.bytes.size();
                if (n != 0)
                    ApplyWrite(image, op.offset, op.bytes.data(), n);
            }
            const uint64_t durable = CommittedBefore(ops, kept);
            Reader r;
            SCOPED_TRACE(testing::Message() << "crc " << crc << " cut " << cut);
            if (OpenImage(r, image) != 1) {
                ASSERT_EQ(durable, 0u);
                continue;
            }
            ASSERT_GE(r.FrameCount(), static_cast<int64_t>(durable));
            ASSERT_TRUE(AllFramesIntact(r, rec.g));
            for (const auto &[key, value] : AllTexts(r))
                ASSERT_TRUE(std::any_of(rec.texts.begin(), rec.texts.end(),
                                        [&](auto &v) { return v.key == key && v.value == value; }));
        }
    }
}

// A checkpoint leaves a file that is still open complete: every frame in it and the index
// written. Appending goes on over that index, and a crash after it loses nothing checkpointed.
TEST(Checkpoint, CompletesAnOpenFileAndTheRecordingGoesOn)
{
    for (bool buffered : {false, true}) {
        SCOPED_TRACE(buffered);
        const Geometry g{2, 9, 5, 0};
        MemoryWriter w;
        ASSERT_EQ(w.Start(g, 64, 32, 32, buffered, Grouped()), 1);
        // The image read now: it opens, and every frame it gives is intact.
        const auto read = [&](Reader &r) {
            EXPECT_EQ(OpenImage(r, w.file->image), 1);
            EXPECT_TRUE(AllFramesIntact(r, g));
        };
        for (int f = 0; f < 5; ++f)
            ASSERT_EQ(AppendTestFrame(w, g, f), 1);
        ASSERT_EQ(w.Checkpoint(), 1);
        Reader r, crashed, closed;
        read(r);
        EXPECT_EQ(r.FrameCount(), 5);
        EXPECT_TRUE(r.UsedIndex());
        ASSERT_EQ(AppendTestFrame(w, g, 5), 1); // over the index, not yet committed (durable)
        read(crashed);
        EXPECT_GE(crashed.FrameCount(), 5);
        ASSERT_EQ(WriteText(w, kLevelFile, 0, "after"), 1);
        ASSERT_EQ(AppendTestFrame(w, g, 6), 1);
        ASSERT_EQ(w.Close(), 1);
        read(closed);
        EXPECT_EQ(closed.FrameCount(), 7);
        EXPECT_EQ(ReadText(closed, kLevelFile, 0), "after");
    }
}

#if !defined(_WIN32)
// A recording process killed at an arbitrary moment: every frame it reported as stored (after
// AppendFrame returned) must be in the file and intact.
TEST(KilledRecorder, LeavesEveryReportedFrameIntact)
{
    for (const char *mode : {"buffered", "durable"}) {
        const std::string path = qxtest::TempPath(std::string("vlseq_killed_") + mode + ".vlseq");
        // exec: the shell becomes the recorder, whose first line is its process id.
        FILE *in = popen(("exec " VLSEQ_RECORD_CHILD " " + path + " " + mode).c_str(), "r");
        ASSERT_NE(in, nullptr);
        long pid = 0, reported = 0, n = 0;
        ASSERT_EQ(std::fscanf(in, "%ld", &pid), 1);
        while (reported < 300 && std::fscanf(in, "%ld", &n) == 1)
            reported = n;
        kill(static_cast<pid_t>(pid), SIGKILL);
        while (std::fscanf(in, "%ld", &n) == 1) // reports still in the pipe
            reported = n;
        const int status = pclose(in);
        ASSERT_TRUE(WIFSIGNALED(status)) << mode;
        ASSERT_GE(reported, 300) << mode;

        Reader r;
        ASSERT_EQ(r.Open(OpenFileSource(path.c_str())), 1) << mode;
        const Geometry g{2, 256, 128, 0};
        // Durable recordings commit in groups of at most 16 frames.
        const long lost = std::string(mode) == "buffered" ? 0 : 15;
        EXPECT_GE(r.FrameCount(), reported - lost) << mode;
        EXPECT_TRUE(AllFramesIntact(r, g)) << mode;
        EXPECT_EQ(ReadText(r, kLevelFile, 0), "killed") << mode;
        std::remove(path.c_str());
    }
}
#endif

} // namespace
