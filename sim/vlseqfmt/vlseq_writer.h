// Writer of .vlseq recordings: an append-only chunk stream that is also a valid BigTIFF, committed
// frame by frame so that a recording cut off by a crash stays readable up to its last commit.
#pragma once

#include <cstdint>
#include <memory>

#include "vlseq_layout.h"

namespace vlseqfmt {

class Sink;

// pixelType 1 mono8, 2 mono16, 3 RGB 3x8, 4 RGB 3x16
struct Geometry {
    uint32_t pixelType;
    uint32_t width;
    uint32_t height;
    uint32_t deviceDataType;
};

class Writer {
  public:
    Writer();
    ~Writer(); // closes if open
    Writer(const Writer &) = delete;
    Writer &operator=(const Writer &) = delete;

    // All return 1 or a negative VELA_ERR_* code.
    // buffered: commit every frame without an OS flush (survives a process crash); otherwise
    // frames are committed in groups, each preceded by an OS flush (survives a power loss).
    int32_t Open(const char *path, const Geometry &g, uint32_t maxFrames, uint32_t fileTextCapacity,
                 uint32_t frameTextCapacity, bool buffered);
    // Colour pixels must be R,G,B per pixel. A frame beyond maxFrames is dropped and 1 returned.
    // `ledger`: the frame's device number and the gap before it; without one the frame follows
    // the previous one without a gap (the first is number 0). A ledger a reader would refuse
    // (LedgerFollows) gives VELA_ERR_INVALIDPARAM and writes nothing.
    int32_t AppendFrame(const void *pixels, int64_t srcRowPitch, uint32_t stampSeconds,
                        int32_t stampMicroseconds, const LedgerEntry *ledger = nullptr);
    // The numbers missing after the last frame when the recording ends (stored by the close or
    // checkpoint that follows; a later frame clears them). VELA_ERR_INVALIDPARAM when dropped
    // exceeds gap or no frame was written.
    int32_t SetTrailingGap(uint32_t gap, uint32_t dropped);
    // level: VLSEQ_TEXT_FRAME / _FILE / _GROUP. The latest text written for a key wins.
    int32_t WriteText(uint32_t level, int32_t index, const void *bytes, uint32_t length);
    int64_t FrameCount() const;
    // The address stays valid until the next lock or close.
    int32_t LockFrame(int64_t k, const void **address, int64_t *rowPitch, uint32_t *seconds,
                      int32_t *microseconds);
    int32_t Close(); // second close is a no-op returning 1
    // Leaves the file as a close would (every frame committed, the index written and durable)
    // while it stays open: what ends a recording without closing it (the device going away, the
    // process ending) loses nothing. A later append overwrites that index, and the next commit
    // supersedes it. 1 when the file is closed or complete.
    int32_t Checkpoint();
    bool IsOpen() const;

    // Tests and tools: write through a caller-provided sink (the writer takes ownership).
    struct Options {
        uint32_t dataAlignLog2 = 12;
        bool dataCrc = false;
        uint32_t groupFrames = 16; // durable mode: commit at least every this many frames
        uint32_t groupMs = 100;    // ... or when this much time has passed since the last commit
        uint32_t fileId = 0;       // 0: random
    };
    int32_t OpenSink(std::unique_ptr<Sink> sink, const Geometry &g, uint32_t maxFrames,
                     uint32_t fileTextCapacity, uint32_t frameTextCapacity, bool buffered,
                     const Options &options);

  private:
    struct State;
    std::unique_ptr<State> s_;
};

} // namespace vlseqfmt
