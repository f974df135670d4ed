// Deterministic recordings for the .vlseq tests. Sample values and time stamps follow formulas
// that tiff_oracle.py repeats, so any program can tell which frame it is looking at.
#pragma once

#include "vlseq_layout.h"
#include "vlseq_reader.h"
#include "vlseq_sink.h"
#include "vlseq_writer.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace vlseqtest {

using vlseqfmt::Geometry;

inline constexpr auto BytesPerSample = [](uint32_t t) { return t == 2 || t == 4 ? 2u : 1u; };
inline constexpr auto Samples = [](uint32_t type) { return type >= 3 ? 3u : 1u; };
inline constexpr auto StampSeconds = [](int64_t f) { return 1000u + static_cast<uint32_t>(f); };
// Negative for the first frames on purpose.
inline constexpr auto StampMicros = [](int64_t f) { return static_cast<int32_t>(f) * 37 - 50; };
inline size_t RowBytes(const Geometry &g)
{
    return size_t{g.width} * Samples(g.pixelType) * BytesPerSample(g.pixelType);
}
inline uint32_t SampleValue(uint32_t pixelType, int64_t f, uint32_t y, uint32_t x, uint32_t s)
{
    const auto v =
        static_cast<uint32_t>(static_cast<uint64_t>(f) * 1031u + y * 257u + x * 13u + s * 4099u);
    return BytesPerSample(pixelType) == 1 ? (v & 0xFFu) : (v & 0xFFFFu);
}

// Frame f with rows `pitch` bytes apart (padding bytes 0xEE must never reach the file).
inline std::vector<uint8_t> MakeFrame(const Geometry &g, int64_t f, size_t pitch)
{
    std::vector<uint8_t> out(pitch * g.height, 0xEE);
    const uint32_t spp = Samples(g.pixelType), bps = BytesPerSample(g.pixelType);
    for (uint32_t y = 0; y < g.height; ++y)
        for (uint32_t x = 0; x < g.width; ++x)
            for (uint32_t s = 0; s < spp; ++s) {
                const uint32_t v = SampleValue(g.pixelType, f, y, x, s);
                uint8_t *p = out.data() + y * pitch + (size_t{x} * spp + s) * bps;
                p[0] = static_cast<uint8_t>(v);
                if (bps == 2)
                    p[1] = static_cast<uint8_t>(v >> 8);
            }
    return out;
}

inline bool FrameIs(const Geometry &g, int64_t f, const void *data)
{
    const auto expected = MakeFrame(g, f, RowBytes(g));
    return std::memcmp(expected.data(), data, expected.size()) == 0;
}

// Frame f with `extra` padding bytes after each row, and its ledger entry if given.
inline int32_t AppendTestFrame(vlseqfmt::Writer &w, const Geometry &g, int64_t f, size_t extra = 0,
                               const vlseqfmt::LedgerEntry *ledger = nullptr)
{
    const auto px = MakeFrame(g, f, RowBytes(g) + extra);
    return w.AppendFrame(px.data(), static_cast<int64_t>(RowBytes(g) + extra), StampSeconds(f),
                         StampMicros(f), ledger);
}

// A writer over a fresh memory file.
struct MemoryWriter : vlseqfmt::Writer {
    int32_t Start(const Geometry &g, uint32_t maxFrames, uint32_t fileCap = 64,
                  uint32_t frameCap = 64, bool buffered = true, const Options &o = {})
    {
        return OpenSink(std::make_unique<vlseqfmt::MemorySink>(file), g, maxFrames, fileCap,
                        frameCap, buffered, o);
    }
    std::shared_ptr<vlseqfmt::MemoryFile> file = std::make_shared<vlseqfmt::MemoryFile>();
};

inline int32_t WriteText(vlseqfmt::Writer &w, uint32_t level, int32_t index, const std::string &t)
{
    return w.WriteText(level, index, t.data(), static_cast<uint32_t>(t.size()));
}

inline std::string ReadText(vlseqfmt::Reader &r, uint32_t level, int32_t index)
{
    std::string s(r.TextBytes(level, index), '\0');
    return r.ReadText(level, index, s.data(), static_cast<uint32_t>(s.size())) == 1 ? s : "<err>";
}

inline int32_t OpenImage(vlseqfmt::Reader &r, const std::vector<uint8_t> &image)
{
    return r.Open(std::make_unique<vlseqfmt::MemorySource>(image.data(), image.size()));
}

// The newer of the two commit records that decode.
inline vlseqfmt::CommitRecord LatestCommit(const std::vector<uint8_t> &img)
{
    vlseqfmt::CommitRecord a, b;
    const bool va = vlseqfmt::DecodeCommit(img.data() + vlseqfmt::kCommitOffsetA, &a);
    const bool vb = vlseqfmt::DecodeCommit(img.data() + vlseqfmt::kCommitOffsetB, &b);
    return !vb || (va && a.seq > b.seq) ? a : b;
}

// Every frame of the reader is frame k of the test pattern with its stamp.
inline bool AllFramesIntact(vlseqfmt::Reader &r, const Geometry &g)
{
    for (int64_t k = 0; k < r.FrameCount(); ++k) {
        const void *p = nullptr;
        const auto &st = r.Stamps()[static_cast<size_t>(k)];
        if (r.LockFrame(k, &p) != 1 || !FrameIs(g, k, p) || st.seconds != StampSeconds(k) ||
            st.microseconds != StampMicros(k))
            return false;
    }
    return true;
}

} // namespace vlseqtest
