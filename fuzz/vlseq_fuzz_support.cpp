#include "vlseq_fuzz_support.h"

#include "vlseq_bytes.h"
#include "vlseq_layout.h"
#include "vlseq_sink.h"
#include "vlseq_writer.h"

#include <algorithm>
#include <memory>

namespace vlseqfuzz {

using namespace vlseqfmt;

namespace {

std::shared_ptr<MemoryFile> Record(uint32_t type, uint32_t align, bool buffered, bool crc,
                                   int frames)
{
    const Geometry g{type, 3 + type, 2 + type % 2, 0};
    uint32_t spp = 0, bps = 0;
    PixelLayout(type, &spp, &bps);
    auto file = std::make_shared<MemoryFile>();
    Writer w;
    // data alignment, pixel CRCs, a commit every 2 frames or 100 ms, a fixed file id
    w.OpenSink(std::make_unique<MemorySink>(file), g, 32, 48, 24, buffered,
               {align, crc, 2, 100, 0x600D5EED});
    const char text[] = "seed text\0with a NUL";
    w.WriteText(kLevelFile, 0, text, sizeof text);
    for (int f = 0; f < frames; ++f) {
        Bytes px(size_t{g.width} * g.height * spp * bps);
        for (size_t i = 0; i < px.size(); ++i)
            px[i] = static_cast<uint8_t>(i * 7 + static_cast<size_t>(f) * 31);
        w.AppendFrame(px.data(), int64_t{g.width} * spp * bps, 100u + static_cast<uint32_t>(f),
                      f * 250000 - 3);
        if (f == 1) {
            w.WriteText(kLevelFrame, 1, "one", 3);
            w.WriteText(kLevelGroup, 5, "", 0);
        }
    }
    w.WriteText(kLevelFrame, 1, "one again", 9);
    w.Close();
    return file;
}

void FixChunk(Bytes &b, uint64_t off, uint32_t compat)
{
    uint8_t *c = b.data() + off;
    const uint16_t type = Get16(c + 4);
    const size_t hb = HeaderBytesOf(type);
    const uint64_t room = b.size() - off;
    if (hb == 0 || hb > room)
        return;
    if (type == kChunkFrame && (compat & kCompatDataCrc)) {
        const uint64_t d = Get64(c + kFrameDataOffsetAt), n = Get64(c + kFrameDataBytesAt);
        if (d <= b.size() && n <= b.size() - d)
            Put32(c + kFrameDataCrcAt, Crc32(b.data() + d, static_cast<size_t>(n)));
    } else if (type == kChunkText) {
        const uint64_t n = Get32(c + kTextBytesAt);
        if (n <= room - hb)
            Put32(c + kTextCrcAt, Crc32(c + hb, static_cast<size_t>(n)));
    } else if (type == kChunkIndex) {
        const uint64_t n = Get64(c + kIndexFrameCountAt), t = Get64(c + kIndexTextCountAt);
        const uint64_t avail = (room - hb);
        if (n <= avail / 16 && t <= avail / 24 && n * 16 <= avail - t * 24)
            Put32(c + kIndexPayloadCrcAt, Crc32(c + hb, static_cast<size_t>(n * 16 + t * 24)));
    }
    SealChunk(c, hb);
}

} // namespace

std::vector<Bytes> SeedCorpus()
{
    std::vector<Bytes> seeds;
    for (uint32_t type = 1; type <= 4; ++type)
        for (uint32_t align : {6u, 12u}) {
            seeds.push_back(Record(type, align, true, false, 1)->image);
            seeds.push_back(Record(type, align, false, type % 2 == 0, 2)->image);
            const auto file = Record(type, align, true, false, type == 1 ? 9 : 3);
            seeds.push_back(file->image);
            for (size_t p = 1; p < file->ops.size(); p += 4)
                seeds.push_back(ReplayOps(file->ops, p, p % 8 == 1 ? 0 : 5));
        }
    const auto durable = Record(2, 6, false, true, 5);
    seeds.push_back(durable->image);
    for (size_t p = 1; p < durable->ops.size(); p += 3)
        seeds.push_back(ReplayOps(durable->ops, p));
    return seeds;
}

void FixCrcs(Bytes &b)
{
    if (b.size() < kHeaderBlockBytes)
        return;
    Put32(b.data() + 252, Crc32(b.data() + 16, 236));
    for (uint64_t at : {kCommitOffsetA, kCommitOffsetB})
        Put32(b.data() + at + 60, Crc32(b.data() + at, 60));
    const uint32_t compat = Get32(b.data() + 32);
    uint64_t off = kHeaderBlockBytes;
    for (int guard = 0; guard < 4096 && off <= b.size() - kChunkCommonBytes; ++guard) {
        FixChunk(b, off, compat);
        const uint64_t n = Get64(b.data() + off + 8);
        if (n < kChunkAlign || n % kChunkAlign != 0 || n > b.size() - off)
            break;
        off += n;
    }
    // The index of a closed file is found through the commit record, not by walking.
    for (uint64_t at : {kCommitOffsetA, kCommitOffsetB}) {
        const uint64_t t = Get64(b.data() + at + 40);
        if (t >= kHeaderBlockBytes && t <= b.size() - kIndexHeaderBytes)
            FixChunk(b, t, compat);
    }
}

void Mutate(Bytes &b, const std::vector<Bytes> &corpus, std::mt19937_64 &rng)
{
    auto pick = [&](uint64_t n) { return n == 0 ? size_t{0} : static_cast<size_t>(rng() % n); };
    auto iter = [](const Bytes &v, size_t i) { return v.begin() + static_cast<std::ptrdiff_t>(i); };
    static constexpr uint64_t kValues[] = {0,          1,          63,         64,
                                           4096,       4097,       316,        412,
                                           0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 0x100000000ull,
                                           ~0ull,      ~0ull >> 1, 65535,      1u << 20};
    const size_t edits = 1 + pick(4);
    for (size_t e = 0; e < edits && !b.empty(); ++e) {
        // Half of the edits land in the header block and chunk headers, where the fields are.
        size_t at = pick(b.size());
        if (rng() % 2 && b.size() > 4096)
            at = rng() % 2 ? pick(384) : 4096 + 64 * pick((b.size() - 4096) / 64) + pick(96);
        at = std::min(at, b.size() - 1);
        switch (pick(6)) {
        case 0:
            b[at] ^= static_cast<uint8_t>(1u << pick(8));
            break;
        case 1:
            b[at] = static_cast<uint8_t>(rng());
            break;
        case 2: { // a boundary value, or the file size, in a 4- or 8-byte field
            at &= ~size_t{3};
            uint64_t v = rng() % 4 == 0 ? b.size() - pick(128) : kValues[pick(std::size(kValues))];
            v += rng() % 3 == 0 ? pick(3) - 1 : 0;
            const size_t width = rng() % 2 ? 8 : 4;
            for (size_t i = 0; i < width && at + i < b.size(); ++i)
                b[at + i] = static_cast<uint8_t>(v >> (8 * i));
            break;
        }
        case 3:
            b.resize(pick(b.size() + 1));
            break;
        case 4: { // splice a stretch of another recording in place
            const Bytes &other = corpus[pick(corpus.size())];
            if (other.empty())
                break;
            const size_t from = pick(other.size());
            const size_t n = std::min<size_t>({1 + pick(256), other.size() - from, b.size() - at});
            std::copy_n(iter(other, from), n, b.begin() + static_cast<std::ptrdiff_t>(at));
            break;
        }
        default: { // duplicate or drop a block: shifts every chunk behind it
            const size_t n = std::min<size_t>(1 + pick(128), b.size() - at);
            if (rng() % 2) {
                const Bytes block(iter(b, at), iter(b, at + n));
                b.insert(iter(b, at), block.begin(), block.end());
            } else {
                b.erase(iter(b, at), iter(b, at + n));
            }
        }
        }
    }
}

} // namespace vlseqfuzz
