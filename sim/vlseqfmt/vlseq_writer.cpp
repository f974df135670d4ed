// The recorder's side of the format. Chunks are appended at the end of the stream; only three
// things are ever rewritten in place, each after what it points to has reached the OS: the
// first-directory link of the header, the next-directory link of the last committed frame and
// the A/B commit record. A crash therefore leaves every committed frame readable.
#include "vlseq_writer.h"

#include "velaapi/vela_api.h"
#include "vlseq_aligned.h"
#include "vlseq_bytes.h"
#include "vlseq_layout.h"
#include "vlseq_sink.h"

#include <chrono>
#include <cstring>
#include <ctime>
#include <map>
#include <random>
#include <utility>
#include <vector>

namespace vlseqfmt {
namespace {

using Clock = std::chrono::steady_clock;

uint32_t NewFileId()
{
    uint32_t id = 0;
    try {
        std::random_device rd;
        id = rd();
    } catch (...) {
    }
    id ^= static_cast<uint32_t>(Clock::now().time_since_epoch().count());
    return id != 0 ? id : 0x5A5A5A5Au;
}

int32_t MakeHeader(const Geometry &g, uint32_t maxFrames, uint32_t fileTextCapacity,
                   uint32_t frameTextCapacity, bool buffered, const Writer::Options &options,
                   FileHeader *out)
{
    FileHeader h;
    if (!PixelLayout(g.pixelType, &h.samplesPerPixel, &h.bytesPerSample) || g.width < 1 ||
        g.width > kMaxDimension || g.height < 1 || g.height > kMaxDimension || maxFrames < 1 ||
        fileTextCapacity > kMaxTextCapacity || frameTextCapacity > kMaxTextCapacity ||
        options.dataAlignLog2 < kMinAlignLog2 || options.dataAlignLog2 > kMaxAlignLog2 ||
        options.groupFrames < 1)
        return VELA_ERR_INVALIDPARAM;
    h.pixelType = g.pixelType;
    h.width = g.width;
    h.height = g.height;
    h.deviceDataType = g.deviceDataType;
    h.rowPitch = uint64_t{g.width} * h.samplesPerPixel * h.bytesPerSample;
    h.frameBytes = h.rowPitch * g.height;
    if (h.frameBytes > kMaxFrameBytes)
        return VELA_ERR_INVALIDPARAM;
    h.maxFrames = maxFrames > kMaxFrames ? kMaxFrames : maxFrames;
    h.fileTextCapacity = fileTextCapacity;
    h.frameTextCapacity = frameTextCapacity;
    h.dataAlignLog2 = options.dataAlignLog2;
    h.versionMinor = kVersionMinor;
    h.compatFlags =
        (buffered ? kCompatBuffered : 0u) | (options.dataCrc ? kCompatDataCrc : 0u) | kCompatLedger;
    h.createdUnixTime = static_cast<uint64_t>(std::time(nullptr));
    h.fileId = options.fileId != 0 ? options.fileId : NewFileId();
    *out = h;
    return 1;
}

} // namespace

struct Writer::State {
    std::unique_ptr<Sink> sink;
    FileHeader h;
    Options opt;
    bool open = false;
    bool broken = false; // an I/O error happened: the file is left as its last commit made it
    bool buffered = true;
    uint64_t alignBytes = 4096;
    uint64_t streamEnd = kHeaderBlockBytes;
    uint64_t chunkSeq = 0;
    uint64_t commitSeq = 0;
    uint64_t textChunks = 0;
    uint64_t committedFrames = 0;
    uint64_t lastCommittedIfd = 0;
    int64_t frameCount = 0;
    std::vector<uint64_t> dataOffsets;
    std::vector<uint64_t> stamps; // seconds | microseconds bits << 32, the index entry's tail
    std::vector<LedgerEntry> ledger;
    uint32_t trailingGap = 0, trailingDropped = 0;
    std::vector<uint64_t> pendingIfds;
    std::map<std::pair<uint32_t, int32_t>, std::pair<uint64_t, uint32_t>> texts;
    std::vector<uint8_t> prefix;
    std::vector<uint8_t> packed;
    AlignedBuffer lockBuffer;
    Clock::time_point lastCommit;

    int32_t Fail()
    {
        broken = true;
        return VELA_ERR_FAILEDWRITEDATA;
    }
    bool WriteCommit(uint32_t state, uint64_t trailerOffset, bool sync)
    {
        CommitRecord c;
        c.seq = ++commitSeq;
        c.frameCount = committedFrames;
        c.textChunkCount = textChunks;
        c.streamEnd = streamEnd;
        c.lastIfdOffset = lastCommittedIfd;
        c.trailerOffset = trailerOffset;
        c.state = state;
        uint8_t rec[kCommitBytes];
        EncodeCommit(c, rec);
        return sink->Write(CommitSlot(c.seq), rec, sizeof rec) &&
               (sync ? sink->Sync() : sink->Flush());
    }
    bool Link(uint64_t from, uint64_t to)
    {
        uint8_t b[8];
        Put64(b, to);
        return sink->Write(from, b, sizeof b);
    }
    // Makes every appended frame part of the file. Links go last, after the chunks they point
    // to have reached the OS (durable mode: stable storage), so a TIFF reader never follows a
    // link into a chunk that is not there.
    bool Commit()
    {
        if (!(buffered ? sink->Flush() : sink->Sync()))
            return false;
        for (size_t i = 1; i < pendingIfds.size(); ++i)
            if (!Link(pendingIfds[i - 1] + kIfdNextOffset, pendingIfds[i]))
                return false;
        if (!pendingIfds.empty()) {
            const uint64_t from =
                lastCommittedIfd != 0 ? lastCommittedIfd + kIfdNextOffset : kFirstIfdLinkOffset;
            if (!Link(from, pendingIfds.front()))
                return false;
            lastCommittedIfd = pendingIfds.back();
            pendingIfds.clear();
        }
        committedFrames = static_cast<uint64_t>(frameCount);
        lastCommit = Clock::now();
        return WriteCommit(0, 0, !buffered);
    }
    bool WriteIndex(uint64_t *at)
    {
        const size_t n = dataOffsets.size();
        // The ledger follows the payload that readers of version 1.0 check, under a CRC of its
        // own, so those readers still take the index.
        const size_t payloadBytes = n * kIndexFrameEntryBytes + texts.size() * kIndexTextEntryBytes;
        const size_t ledgerBytes = n * kIndexLedgerEntryBytes;
        const uint64_t chunkBytes =
            AlignUp(kIndexHeaderBytes + payloadBytes + ledgerBytes, kChunkAlign);
        std::vector<uint8_t> chunk(static_cast<size_t>(chunkBytes), 0);
        uint8_t *p = chunk.data() + kIndexHeaderBytes;
        for (size_t i = 0; i < n; ++i, p += kIndexFrameEntryBytes) {
            Put64(p, dataOffsets[i]);
            Put64(p + 8, stamps[i]);
        }
        for (const auto &[key, where] : texts) {
            Put32(p, key.first);
            Put32(p + 4, static_cast<uint32_t>(key.second));
            Put32(p + 8, where.second);
            Put64(p + 16, where.first);
            p += kIndexTextEntryBytes;
        }
        for (const LedgerEntry &e : ledger) {
            Put64(p, e.number);
            Put32(p + 8, e.gap);
            Put32(p + 12, e.dropped);
            p += kIndexLedgerEntryBytes;
        }
        ChunkHeader c{kChunkIndex, static_cast<uint16_t>(kIndexHeaderBytes), chunkBytes, chunkSeq,
                      h.fileId};
        EncodeChunkHeader(c, chunk.data());
        Put64(chunk.data() + kIndexFrameCountAt, n);
        Put64(chunk.data() + kIndexTextCountAt, texts.size());
        Put32(chunk.data() + kIndexPayloadCrcAt,
              Crc32(chunk.data() + kIndexHeaderBytes, payloadBytes));
        Put32(chunk.data() + kIndexLedgerCrcAt,
              Crc32(chunk.data() + kIndexHeaderBytes + payloadBytes, ledgerBytes));
        Put32(chunk.data() + kIndexTrailingGapAt, trailingGap);
        Put32(chunk.data() + kIndexTrailingDroppedAt, trailingDropped);
        SealChunk(chunk.data(), kIndexHeaderBytes);
        if (!sink->Write(streamEnd, chunk.data(), chunk.size()))
            return false;
        *at = streamEnd;
        streamEnd += chunkBytes;
        ++chunkSeq;
        return true;
    }
};

Writer::Writer() : s_(std::make_unique<State>()) {}

Writer::~Writer()
{
    Close();
}

bool Writer::IsOpen() const
{
    return s_->open;
}

int64_t Writer::FrameCount() const
{
    return s_->frameCount;
}

int32_t Writer::Open(const char *path, const Geometry &g, uint32_t maxFrames,
                     uint32_t fileTextCapacity, uint32_t frameTextCapacity, bool buffered)
{
    if (s_->open)
        return VELA_ERR_NOWRECORDING;
    FileHeader h;
    // Refuse bad parameters before creating (and truncating) the file.
    const int32_t r =
        MakeHeader(g, maxFrames, fileTextCapacity, frameTextCapacity, buffered, Options{}, &h);
    if (r != 1)
        return r;
    if (!path)
        return VELA_ERR_INVALIDPARAM;
    auto sink = OpenFileSink(path);
    if (!sink)
        return VELA_ERR_FAILEDOPENFILE;
    return OpenSink(std::move(sink), g, maxFrames, fileTextCapacity, frameTextCapacity, buffered,
                    Options{});
}

int32_t Writer::OpenSink(std::unique_ptr<Sink> sink, const Geometry &g, uint32_t maxFrames,
                         uint32_t fileTextCapacity, uint32_t frameTextCapacity, bool buffered,
                         const Options &options)
{
    if (s_->open)
        return VELA_ERR_NOWRECORDING;
    FileHeader h;
    const int32_t r =
        MakeHeader(g, maxFrames, fileTextCapacity, frameTextCapacity, buffered, options, &h);
    if (r != 1)
        return r;
    if (!sink)
        return VELA_ERR_INVALIDPARAM;

    auto fresh = std::make_unique<State>();
    State &s = *fresh;
    s.sink = std::move(sink);
    s.h = h;
    s.opt = options;
    s.buffered = buffered;
    s.alignBytes = uint64_t{1} << h.dataAlignLog2;
    s.lastCommit = Clock::now();

    std::vector<uint8_t> block(kHeaderBlockBytes);
    EncodeFileHeader(h, block.data());
    CommitRecord first;
    first.seq = s.commitSeq = 1;
    first.streamEnd = kHeaderBlockBytes;
    EncodeCommit(first, block.data() + CommitSlot(1));
    if (!s.sink->Write(0, block.data(), block.size()) || !s.sink->Flush()) {
        s.sink->Close();
        return VELA_ERR_FAILEDWRITEDATA;
    }
    s.open = true;
    s_ = std::move(fresh);
    return 1;
}

int32_t Writer::AppendFrame(const void *pixels, int64_t srcRowPitch, uint32_t stampSeconds,
                            int32_t stampMicroseconds, const LedgerEntry *ledger)
{
    State &s = *s_;
    if (!s.open)
        return VELA_ERR_NOTREADY;
    if (s.broken)
        return VELA_ERR_FAILEDWRITEDATA;
    if (static_cast<uint64_t>(s.frameCount) >= s.h.maxFrames)
        return 1;
    if (!pixels || srcRowPitch < 0 || static_cast<uint64_t>(srcRowPitch) < s.h.rowPitch)
        return VELA_ERR_INVALIDPARAM;
    const LedgerEntry *previous = s.ledger.empty() ? nullptr : &s.ledger.back();
    LedgerEntry entry;
    if (ledger != nullptr)
        entry = *ledger;
    else if (previous != nullptr)
        entry.number = previous->number + 1;
    if (!LedgerFollows(previous, entry))
        return VELA_ERR_INVALIDPARAM; // a reader would refuse the frame

    const auto frameBytes = static_cast<size_t>(s.h.frameBytes);
    const auto *data = static_cast<const uint8_t *>(pixels);
    if (static_cast<uint64_t>(srcRowPitch) != s.h.rowPitch) {
        s.packed.resize(frameBytes);
        const auto pitch = static_cast<size_t>(s.h.rowPitch);
        for (size_t r = 0; r < s.h.height; ++r)
            std::memcpy(s.packed.data() + r * pitch, data + r * static_cast<size_t>(srcRowPitch),
                        pitch);
        data = s.packed.data();
    }

    const uint64_t start = s.streamEnd;
    const uint64_t dataOffset = AlignUp(start + kFramePrefixBytes, s.alignBytes);
    const uint64_t end = AlignUp(dataOffset + frameBytes, kChunkAlign);
    s.prefix.assign(static_cast<size_t>(dataOffset - start), 0);
    uint8_t *p = s.prefix.data();
    ChunkHeader c{kChunkFrame, static_cast<uint16_t>(kFrameHeaderBytes), end - start, s.chunkSeq,
                  s.h.fileId};
    EncodeChunkHeader(c, p);
    Put64(p + kFrameIndexAt, static_cast<uint64_t>(s.frameCount));
    Put32(p + kFrameSecondsAt, stampSeconds);
    Put32(p + kFrameMicrosAt, static_cast<uint32_t>(stampMicroseconds));
    Put64(p + kFrameDataOffsetAt, dataOffset);
    Put64(p + kFrameDataBytesAt, frameBytes);
    Put64(p + kFrameIfdOffsetAt, start + kFrameHeaderBytes);
    Put32(p + kFrameIfdBytesAt, static_cast<uint32_t>(kIfdBytes));
    Put32(p + kFrameDataCrcAt, s.opt.dataCrc ? Crc32(data, frameBytes) : 0u);
    Put64(p + kFrameNumberAt, entry.number);
    Put32(p + kFrameGapAt, entry.gap);
    Put32(p + kFrameDroppedAt, entry.dropped);
    SealChunk(p, kFrameHeaderBytes);
    EncodeIfd(s.h, dataOffset, stampSeconds, stampMicroseconds, p + kFrameHeaderBytes);

    static constexpr uint8_t kZeros[kChunkAlign] = {};
    const auto tail = static_cast<size_t>(end - dataOffset - frameBytes);
    if (!s.sink->Write(start, s.prefix.data(), s.prefix.size()) ||
        !s.sink->Write(dataOffset, data, frameBytes) ||
        (tail != 0 && !s.sink->Write(dataOffset + frameBytes, kZeros, tail)))
        return s.Fail();

    s.streamEnd = end;
    ++s.chunkSeq;
    ++s.frameCount;
    s.dataOffsets.push_back(dataOffset);
    s.stamps.push_back(stampSeconds | (uint64_t{static_cast<uint32_t>(stampMicroseconds)} << 32));
    s.ledger.push_back(entry);
    s.trailingGap = s.trailingDropped = 0;
    s.pendingIfds.push_back(start + kFrameHeaderBytes);

    const bool due = s.buffered || s.pendingIfds.size() >= s.opt.groupFrames ||
                     Clock::now() - s.lastCommit >= std::chrono::milliseconds(s.opt.groupMs);
    if (due && !s.Commit())
        return s.Fail();
    return 1;
}

int32_t Writer::WriteText(uint32_t level, int32_t index, const void *bytes, uint32_t length)
{
    State &s = *s_;
    if (!s.open)
        return VELA_ERR_NOTREADY;
    if (s.broken)
        return VELA_ERR_FAILEDWRITEDATA;
    if (!IsTextLevel(level))
        return VELA_ERR_INVALIDPARAM;
    if (length > TextCapacity(s.h, level))
        return VELA_ERR_TOOLARGEUSERDATASIZE;
    if (level == kLevelFile)
        index = 0; // one file text; the index means nothing at this level
    if (index < 0 || (level == kLevelFrame && static_cast<uint32_t>(index) >= s.h.maxFrames) ||
        (!bytes && length != 0))
        return VELA_ERR_INVALIDPARAM;

    const uint64_t start = s.streamEnd;
    const uint64_t chunkBytes = AlignUp(kTextHeaderBytes + uint64_t{length}, kChunkAlign);
    std::vector<uint8_t> chunk(static_cast<size_t>(chunkBytes), 0);
    ChunkHeader c{kChunkText, static_cast<uint16_t>(kTextHeaderBytes), chunkBytes, s.chunkSeq,
                  s.h.fileId};
    EncodeChunkHeader(c, chunk.data());
    Put32(chunk.data() + kTextLevelAt, level);
    Put32(chunk.data() + kTextIndexAt, static_cast<uint32_t>(index));
    Put32(chunk.data() + kTextBytesAt, length);
    Put32(chunk.data() + kTextCrcAt, Crc32(bytes, length));
    SealChunk(chunk.data(), kTextHeaderBytes);
    if (length != 0)
        std::memcpy(chunk.data() + kTextHeaderBytes, bytes, length);
    if (!s.sink->Write(start, chunk.data(), chunk.size()))
        return s.Fail();
    s.streamEnd += chunkBytes;
    ++s.chunkSeq;
    ++s.textChunks;
    s.texts[{level, index}] = {start + kTextHeaderBytes, length};
    if (!s.Commit())
        return s.Fail();
    return 1;
}

int32_t Writer::LockFrame(int64_t k, const void **address, int64_t *rowPitch, uint32_t *seconds,
                          int32_t *microseconds)
{
    State &s = *s_;
    if (!s.open)
        return VELA_ERR_NOTREADY;
    if (!address)
        return VELA_ERR_INVALIDPARAM;
    if (k < 0 || k >= s.frameCount)
        return VELA_ERR_OUTOFRANGE;
    const auto i = static_cast<size_t>(k);
    const auto frameBytes = static_cast<size_t>(s.h.frameBytes);
    if (!s.lockBuffer.Reserve(frameBytes))
        return VELA_ERR_NOMEMORY;
    if (!s.sink->Read(s.dataOffsets[i], s.lockBuffer.data(), frameBytes))
        return VELA_ERR_FAILEDREADDATA;
    *address = s.lockBuffer.data();
    if (rowPitch)
        *rowPitch = static_cast<int64_t>(s.h.rowPitch);
    if (seconds)
        *seconds = static_cast<uint32_t>(s.stamps[i]);
    if (microseconds)
        *microseconds = static_cast<int32_t>(static_cast<uint32_t>(s.stamps[i] >> 32));
    return 1;
}

int32_t Writer::SetTrailingGap(uint32_t gap, uint32_t dropped)
{
    State &s = *s_;
    if (!s.open)
        return VELA_ERR_NOTREADY;
    if (dropped > gap || s.ledger.empty())
        return VELA_ERR_INVALIDPARAM;
    s.trailingGap = gap;
    s.trailingDropped = dropped;
    return 1;
}

int32_t Writer::Checkpoint()
{
    State &s = *s_;
    if (!s.open)
        return 1;
    if (s.broken)
        return VELA_ERR_FAILEDWRITEDATA;
    if (!s.pendingIfds.empty() && !s.Commit())
        return s.Fail();
    const uint64_t end = s.streamEnd, seq = s.chunkSeq;
    uint64_t trailer = 0;
    if (!s.WriteIndex(&trailer) || !s.sink->Sync() || !s.WriteCommit(1, trailer, true))
        return s.Fail();
    // The index is the last chunk; the stream continues where it starts.
    s.streamEnd = end;
    s.chunkSeq = seq;
    return 1;
}

int32_t Writer::Close()
{
    State &s = *s_;
    if (!s.open)
        return 1;
    s.open = false;
    bool ok = !s.broken;
    uint64_t trailer = 0;
    if (ok && (s.pendingIfds.empty() || s.Commit()) && s.WriteIndex(&trailer) && s.sink->Sync())
        ok = s.WriteCommit(1, trailer, true);
    else
        ok = false;
    ok = s.sink->Close() && ok;
    s.sink.reset();
    // Keep the count for status queries after the stop; drop the tables.
    s.dataOffsets = {};
    s.stamps = {};
    s.ledger = {};
    s.pendingIfds = {};
    s.texts = {};
    s.packed = {};
    s.lockBuffer.Release();
    return ok ? 1 : VELA_ERR_FAILEDWRITEDATA;
}

} // namespace vlseqfmt
