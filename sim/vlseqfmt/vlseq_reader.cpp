// Opening a recording: header checks, then the index of a closed file or a walk over the chunk
// stream. Every sum of an offset and a length is tested as `length <= limit - offset` after
// `offset <= limit`, and nothing is allocated before its count is bounded by the source size.
#include "vlseq_reader.h"

#include "velaapi/vela_api.h"
#include "vlseq_bytes.h"
#include "vlseq_file_io.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

namespace vlseqfmt {
namespace {

class FileSource final : public Source {
  public:
    FileSource(FILE *f, uint64_t size) : f_(f), size_(size) {}
    ~FileSource() override { std::fclose(f_); }
    uint64_t Size() const override { return size_; }
    bool Read(uint64_t offset, void *data, size_t length) override
    {
        if (offset > size_ || length > size_ - offset)
            return false;
        if (!(known_ && pos_ == offset) && !fileio::Seek(f_, offset)) {
            known_ = false;
            return false;
        }
        if (std::fread(data, 1, length, f_) != length) {
            known_ = false;
            return false;
        }
        known_ = true;
        pos_ = offset + length;
        return true;
    }

  private:
    FILE *f_;
    uint64_t size_;
    uint64_t pos_ = 0;
    bool known_ = false;
};

bool KeyLess(const TextKey &a, const TextKey &b)
{
    return a < b;
}

} // namespace

bool MemorySource::Read(uint64_t offset, void *data, size_t length)
{
    if (offset > size_ || length > size_ - offset)
        return false;
    if (length != 0)
        std::memcpy(data, data_ + offset, length);
    return true;
}

std::unique_ptr<Source> OpenFileSource(const char *path)
{
    FILE *f = path ? fileio::OpenForRead(path) : nullptr;
    if (!f)
        return nullptr;
    uint64_t size = 0;
    if (!fileio::Size(f, &size)) {
        std::fclose(f);
        return nullptr;
    }
    return std::make_unique<FileSource>(f, size);
}

void Reader::Clear()
{
    src_.reset();
    size_ = 0;
    h_ = {};
    dataOffsets_.clear();
    stamps_.clear();
    texts_.clear();
    ledger_.clear();
    trailing_ = {};
    usedIndex_ = false;
}

int32_t Reader::Open(std::unique_ptr<Source> source)
{
    Clear();
    if (!source)
        return VELA_ERR_INVALIDPARAM;
    src_ = std::move(source);
    size_ = src_->Size();
    int32_t r = VELA_ERR_FAILEDREADDATA;
    try {
        uint8_t block[kHeaderBlockBytes];
        if (size_ < kHeaderBlockBytes || !src_->Read(0, block, sizeof block)) {
            Clear();
            return VELA_ERR_FAILEDREADDATA;
        }
        r = DecodeFileHeader(block, &h_);
        if (r == 1) {
            // The record with a valid CRC and the highest sequence; a torn write can only
            // have hit the one being written.
            CommitRecord best, rec;
            bool have = false;
            for (uint64_t at : {kCommitOffsetA, kCommitOffsetB})
                if (DecodeCommit(block + at, &rec) && rec.seq != 0 && CommitSlot(rec.seq) == at &&
                    (!have || rec.seq > best.seq)) {
                    best = rec;
                    have = true;
                }
            usedIndex_ = have && best.state == 1 && TryIndex(best);
            if (!usedIndex_)
                r = Walk(have ? best.frameCount : 0);
            // A recording without frames is refused: opening it is of no use to a host that
            // reads the first frame's time stamp unconditionally.
            if (r == 1 && dataOffsets_.empty())
                r = VELA_ERR_FAILEDREADDATA;
        }
    } catch (const std::bad_alloc &) {
        r = VELA_ERR_NOMEMORY;
    }
    if (r != 1)
        Clear();
    return r;
}

bool Reader::FrameCrcHolds(uint64_t dataOffset, uint32_t expected)
{
    std::vector<uint8_t> block(static_cast<size_t>(std::min<uint64_t>(h_.frameBytes, 1u << 20)));
    uint32_t crc = 0;
    for (uint64_t done = 0; done < h_.frameBytes;) {
        const auto n = static_cast<size_t>(std::min<uint64_t>(block.size(), h_.frameBytes - done));
        if (!src_->Read(dataOffset + done, block.data(), n))
            return false;
        crc = Crc32Update(crc, block.data(), n);
        done += n;
    }
    return crc == expected;
}

int32_t Reader::Walk(uint64_t committedFrames)
{
    dataOffsets_.clear();
    stamps_.clear();
    texts_.clear();
    ledger_.clear();
    trailing_ = {};
    const bool ledgerBit = (h_.compatFlags & kCompatLedger) != 0;
    const uint64_t align = uint64_t{1} << h_.dataAlignLog2;
    const bool crcBit = (h_.compatFlags & kCompatDataCrc) != 0;
    const bool bufferedBit = (h_.compatFlags & kCompatBuffered) != 0;
    const uint64_t maxSteps = size_ / kChunkAlign;
    std::vector<uint8_t> text;
    uint8_t hdr[kFrameHeaderBytes];
    uint64_t off = kHeaderBlockBytes;
    for (uint64_t seq = 0; seq < maxSteps && off <= size_ - kChunkCommonBytes; ++seq) {
        ChunkHeader c;
        if (!src_->Read(off, hdr, kChunkCommonBytes) || !DecodeChunkHeader(hdr, &c) ||
            c.fileId != h_.fileId || c.chunkBytes % kChunkAlign != 0 ||
            c.chunkBytes < c.headerBytes || c.chunkBytes > size_ - off || c.chunkSeq != seq)
            break;
        if (!src_->Read(off + kChunkCommonBytes, hdr + kChunkCommonBytes,
                        c.headerBytes - kChunkCommonBytes) ||
            !ChunkCrcHolds(hdr, c.headerBytes))
            break;
        if (c.type == kChunkIndex)
            break;
        if (c.type == kChunkFrame) {
            const uint64_t frames = dataOffsets_.size();
            const uint64_t dataOffset = Get64(hdr + kFrameDataOffsetAt);
            const uint64_t fb = h_.frameBytes;
            if (Get64(hdr + kFrameIndexAt) != frames || frames >= h_.maxFrames ||
                Get64(hdr + kFrameDataBytesAt) != fb ||
                Get64(hdr + kFrameIfdOffsetAt) != off + kFrameHeaderBytes ||
                Get32(hdr + kFrameIfdBytesAt) != kIfdBytes || dataOffset % align != 0 ||
                dataOffset < off + kFramePrefixBytes || fb > c.chunkBytes ||
                dataOffset - off > c.chunkBytes - fb)
                break;
            LedgerEntry e{frames, 0, 0};
            if (ledgerBit)
                e = {Get64(hdr + kFrameNumberAt), Get32(hdr + kFrameGapAt),
                     Get32(hdr + kFrameDroppedAt)};
            if (!LedgerFollows(ledger_.empty() ? nullptr : &ledger_.back(), e))
                break;
            // Frames past the last commit: complete chunks are trusted only where nothing but
            // a process crash can have cut them (buffered recording) or where their pixels
            // carry a CRC. A power loss may leave a durable recording's tail full of zeros.
            if (frames >= committedFrames) {
                const bool ok =
                    crcBit ? FrameCrcHolds(dataOffset, Get32(hdr + kFrameDataCrcAt)) : bufferedBit;
                if (!ok)
                    break;
            }
            dataOffsets_.push_back(dataOffset);
            ledger_.push_back(e);
            stamps_.push_back(
                {Get32(hdr + kFrameSecondsAt), static_cast<int32_t>(Get32(hdr + kFrameMicrosAt))});
        } else {
            const uint32_t level = Get32(hdr + kTextLevelAt);
            const uint32_t bytes = Get32(hdr + kTextBytesAt);
            if (!IsTextLevel(level) || bytes > TextCapacity(h_, level) ||
                bytes > c.chunkBytes - kTextHeaderBytes)
                break;
            text.resize(bytes);
            if (!src_->Read(off + kTextHeaderBytes, text.data(), bytes) ||
                Crc32(text.data(), bytes) != Get32(hdr + kTextCrcAt))
                break;
            const auto index = static_cast<int32_t>(Get32(hdr + kTextIndexAt));
            texts_[{level, index}] = {off + kTextHeaderBytes, bytes};
        }
        off += c.chunkBytes;
    }
    return 1;
}

bool Reader::TryIndex(const CommitRecord &commit)
{
    const uint64_t t = commit.trailerOffset;
    if (t < kHeaderBlockBytes || t % kChunkAlign != 0 || size_ < kIndexHeaderBytes ||
        t > size_ - kIndexHeaderBytes)
        return false;
    uint8_t hdr[kIndexHeaderBytes];
    ChunkHeader c;
    if (!src_->Read(t, hdr, sizeof hdr) || !DecodeChunkHeader(hdr, &c) || c.type != kChunkIndex ||
        c.fileId != h_.fileId || c.chunkBytes % kChunkAlign != 0 ||
        c.chunkBytes < kIndexHeaderBytes || c.chunkBytes > size_ - t ||
        !ChunkCrcHolds(hdr, kIndexHeaderBytes) || commit.streamEnd != t + c.chunkBytes)
        return false;

    const uint64_t n = Get64(hdr + kIndexFrameCountAt);
    const uint64_t nt = Get64(hdr + kIndexTextCountAt);
    const uint64_t stream = t - kHeaderBlockBytes;
    const uint64_t room = c.chunkBytes - kIndexHeaderBytes;
    const uint64_t fb = h_.frameBytes;
    // In this order no product can overflow: n < 2^31 and nt < 2^58 before they are multiplied.
    if (n != commit.frameCount || n > h_.maxFrames || n > stream / (fb + kFramePrefixBytes) ||
        nt > stream / kChunkAlign || nt > room / kIndexTextEntryBytes ||
        n * kIndexFrameEntryBytes > room - nt * kIndexTextEntryBytes)
        return false;
    const auto payloadBytes =
        static_cast<size_t>(n * kIndexFrameEntryBytes + nt * kIndexTextEntryBytes);
    std::vector<uint8_t> payload(payloadBytes);
    if (!src_->Read(t + kIndexHeaderBytes, payload.data(), payloadBytes) ||
        Crc32(payload.data(), payloadBytes) != Get32(hdr + kIndexPayloadCrcAt))
        return false;

    const uint64_t align = uint64_t{1} << h_.dataAlignLog2;
    std::vector<uint64_t> offsets(static_cast<size_t>(n));
    std::vector<Stamp> stamps(static_cast<size_t>(n));
    std::vector<std::pair<uint64_t, uint64_t>> ranges; // start, length
    ranges.reserve(static_cast<size_t>(n + nt));
    const uint8_t *p = payload.data();
    for (size_t i = 0; i < n; ++i, p += kIndexFrameEntryBytes) {
        const uint64_t d = Get64(p);
        if (d % align != 0 || fb > t || d > t - fb)
            return false;
        if (i == 0 ? d < kHeaderBlockBytes + kFramePrefixBytes
                   : (d <= offsets[i - 1] || d - offsets[i - 1] < fb))
            return false;
        offsets[i] = d;
        stamps[i] = {Get32(p + 8), static_cast<int32_t>(Get32(p + 12))};
        ranges.emplace_back(d, fb);
    }
    std::map<TextKey, TextSpan> texts;
    TextKey previous{};
    for (uint64_t i = 0; i < nt; ++i, p += kIndexTextEntryBytes) {
        const TextKey key{Get32(p), static_cast<int32_t>(Get32(p + 4))};
        const uint32_t bytes = Get32(p + 8);
        const uint64_t at = Get64(p + 16);
        if (!IsTextLevel(key.first) || Get32(p + 12) != 0 || bytes > TextCapacity(h_, key.first) ||
            at < kHeaderBlockBytes || at > t || bytes > t - at ||
            (i != 0 && !KeyLess(previous, key)))
            return false;
        previous = key;
        texts.emplace_hint(texts.end(), key, TextSpan{at, bytes});
        if (bytes != 0)
            ranges.emplace_back(at, bytes);
    }
    // Files of version 1.0 have no ledger: their frames are numbered by their index.
    std::vector<LedgerEntry> ledger(static_cast<size_t>(n));
    LedgerEntry trailing;
    if ((h_.compatFlags & kCompatLedger) == 0) {
        for (size_t i = 0; i < n; ++i)
            ledger[i].number = i;
    } else {
        const uint64_t ledgerBytes = n * kIndexLedgerEntryBytes;
        if (ledgerBytes > room - payloadBytes)
            return false;
        std::vector<uint8_t> table(static_cast<size_t>(ledgerBytes));
        if (!src_->Read(t + kIndexHeaderBytes + payloadBytes, table.data(), table.size()) ||
            Crc32(table.data(), table.size()) != Get32(hdr + kIndexLedgerCrcAt))
            return false;
        for (size_t i = 0; i < n; ++i) {
            const uint8_t *q = table.data() + i * kIndexLedgerEntryBytes;
            ledger[i] = {Get64(q), Get32(q + 8), Get32(q + 12)};
            if (!LedgerFollows(i == 0 ? nullptr : &ledger[i - 1], ledger[i]))
                return false;
        }
        trailing.gap = Get32(hdr + kIndexTrailingGapAt);
        trailing.dropped = Get32(hdr + kIndexTrailingDroppedAt);
        if (trailing.dropped > trailing.gap || (n == 0 && trailing.gap != 0))
            return false;
    }
    std::sort(ranges.begin(), ranges.end());
    for (size_t i = 1; i < ranges.size(); ++i)
        if (ranges[i].first - ranges[i - 1].first < ranges[i - 1].second)
            return false;

    // The last frame's own chunk must agree with the table: a cheap guard against an index
    // that is consistent in itself but belongs to other bytes.
    if (n != 0) {
        const uint64_t ifd = commit.lastIfdOffset;
        uint8_t fh[kFrameHeaderBytes];
        ChunkHeader fc;
        if (ifd < kHeaderBlockBytes + kFrameHeaderBytes || ifd > t || t - ifd < kFrameHeaderBytes ||
            !src_->Read(ifd - kFrameHeaderBytes, fh, sizeof fh) || !DecodeChunkHeader(fh, &fc) ||
            fc.type != kChunkFrame || fc.fileId != h_.fileId ||
            !ChunkCrcHolds(fh, kFrameHeaderBytes) || Get64(fh + kFrameIndexAt) != n - 1 ||
            Get64(fh + kFrameDataOffsetAt) != offsets.back() ||
            Get32(fh + kFrameSecondsAt) != stamps.back().seconds ||
            static_cast<int32_t>(Get32(fh + kFrameMicrosAt)) != stamps.back().microseconds)
            return false;
        if ((h_.compatFlags & kCompatLedger) != 0 &&
            (Get64(fh + kFrameNumberAt) != ledger.back().number ||
             Get32(fh + kFrameGapAt) != ledger.back().gap ||
             Get32(fh + kFrameDroppedAt) != ledger.back().dropped))
            return false;
    }
    dataOffsets_ = std::move(offsets);
    ledger_ = std::move(ledger);
    trailing_ = trailing;
    stamps_ = std::move(stamps);
    texts_ = std::move(texts);
    return true;
}

std::vector<Gap> Reader::Gaps() const
{
    std::vector<Gap> gaps;
    for (size_t k = 0; k < ledger_.size(); ++k) {
        const LedgerEntry &e = ledger_[k];
        if (e.gap != 0)
            gaps.push_back({e.number - e.gap, e.gap, e.dropped, static_cast<int64_t>(k)});
    }
    if (trailing_.gap != 0 && !ledger_.empty())
        gaps.push_back({ledger_.back().number + 1, trailing_.gap, trailing_.dropped,
                        static_cast<int64_t>(ledger_.size())});
    return gaps;
}

int32_t Reader::LockFrame(int64_t k, const void **address)
{
    if (!address)
        return VELA_ERR_INVALIDPARAM;
    if (k < 0 || k >= FrameCount())
        return VELA_ERR_OUTOFRANGE;
    const auto bytes = static_cast<size_t>(h_.frameBytes);
    if (!frame_.Reserve(bytes))
        return VELA_ERR_NOMEMORY;
    if (!src_->Read(dataOffsets_[static_cast<size_t>(k)], frame_.data(), bytes))
        return VELA_ERR_FAILEDREADDATA;
    *address = frame_.data();
    return 1;
}

const TextSpan *Reader::FindText(uint32_t level, int32_t index) const
{
    const auto it = texts_.find({level, level == kLevelFile ? 0 : index});
    return it == texts_.end() ? nullptr : &it->second;
}

uint32_t Reader::TextBytes(uint32_t level, int32_t index) const
{
    const TextSpan *t = FindText(level, index);
    return t ? t->bytes : 0;
}

int32_t Reader::ReadText(uint32_t level, int32_t index, void *buffer, uint32_t bufferBytes)
{
    if (!IsTextLevel(level) || (!buffer && bufferBytes != 0))
        return VELA_ERR_INVALIDPARAM;
    const TextSpan *t = FindText(level, index);
    const uint32_t length = t ? t->bytes : 0;
    const uint32_t n = std::min(length, bufferBytes);
    if (n != 0 && !src_->Read(t->offset, buffer, n))
        return VELA_ERR_FAILEDREADDATA;
    if (bufferBytes > length)
        static_cast<uint8_t *>(buffer)[length] = 0;
    return 1;
}

} // namespace vlseqfmt
