// Reader of .vlseq files over any byte source. Nothing in the file is trusted: a closed file's
// index is used only when every entry checks out, otherwise the chunk stream is walked and the
// file ends at the first chunk that is incomplete or damaged.
#pragma once

#include "vlseq_aligned.h"
#include "vlseq_layout.h"

#include <cstdint>
#include <map>
#include <memory>
#include <utility>
#include <vector>

namespace vlseqfmt {

class Source {
  public:
    virtual ~Source() = default;
    virtual uint64_t Size() const = 0;
    // Exactly `length` bytes at `offset`; false when any lies outside the source or I/O fails.
    virtual bool Read(uint64_t offset, void *data, size_t length) = 0;
};

// Reads caller-owned memory, which must outlive the source.
class MemorySource final : public Source {
  public:
    MemorySource(const uint8_t *data, size_t size) : data_(data), size_(size) {}
    uint64_t Size() const override { return size_; }
    bool Read(uint64_t offset, void *data, size_t length) override;

  private:
    const uint8_t *data_;
    size_t size_;
};

// A file as it is at open time (a recording that is still growing is read up to that size);
// nullptr when the file cannot be opened.
std::unique_ptr<Source> OpenFileSource(const char *path);

struct Stamp {
    uint32_t seconds;
    int32_t microseconds;
};

struct TextSpan {
    uint64_t offset;
    uint32_t bytes;
};
using TextKey = std::pair<uint32_t, int32_t>; // level, index; ordered as the index stores them

// Numbers the device exposed that the file lacks: `count` numbers from `first`, of which the
// recorder dropped `dropped` (the rest never reached it), right before frame `beforeFrame`
// (the frame count for a gap at the end).
struct Gap {
    uint64_t first;
    uint64_t count;
    uint64_t dropped;
    int64_t beforeFrame;
};

class Reader {
  public:
    // 1; VELA_ERR_FAILEDREADDATA for anything that is not a readable recording with at least
    // one frame; VELA_ERR_NOTSUPPORT for another major version or unknown incompatible
    // features; VELA_ERR_NOMEMORY.
    int32_t Open(std::unique_ptr<Source> source);

    const FileHeader &Header() const { return h_; }
    int64_t FrameCount() const { return static_cast<int64_t>(dataOffsets_.size()); }
    const std::vector<Stamp> &Stamps() const { return stamps_; }
    uint64_t DataOffset(int64_t k) const { return dataOffsets_[static_cast<size_t>(k)]; }
    const std::map<TextKey, TextSpan> &Texts() const { return texts_; }
    // Every frame's device number and the gap before it; the gap after the last frame.
    const std::vector<LedgerEntry> &Ledger() const { return ledger_; }
    const LedgerEntry &TrailingGap() const { return trailing_; }
    std::vector<Gap> Gaps() const;
    bool UsedIndex() const { return usedIndex_; } // false: the chunk stream was walked
    uint64_t SourceSize() const { return size_; }

    // Reads frame k into a 64-byte aligned buffer that stays valid until the next lock or the
    // reader's end. VELA_ERR_OUTOFRANGE outside 0..FrameCount()-1.
    int32_t LockFrame(int64_t k, const void **address);
    // Bytes of a text; 0 when it was never written. File texts ignore the index.
    uint32_t TextBytes(uint32_t level, int32_t index) const;
    // Copies min(length, bufferBytes) bytes and a terminating NUL when there is room after the
    // text. A text never written reads as empty.
    int32_t ReadText(uint32_t level, int32_t index, void *buffer, uint32_t bufferBytes);

  private:
    bool TryIndex(const CommitRecord &commit);
    int32_t Walk(uint64_t committedFrames);
    bool FrameCrcHolds(uint64_t dataOffset, uint32_t expected);
    const TextSpan *FindText(uint32_t level, int32_t index) const;
    void Clear();

    std::unique_ptr<Source> src_;
    uint64_t size_ = 0;
    FileHeader h_;
    std::vector<uint64_t> dataOffsets_;
    std::vector<Stamp> stamps_;
    std::map<TextKey, TextSpan> texts_;
    std::vector<LedgerEntry> ledger_;
    LedgerEntry trailing_;
    bool usedIndex_ = false;
    AlignedBuffer frame_;
};

} // namespace vlseqfmt
