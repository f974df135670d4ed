// Fuzz target of the .vlseq reader: open from memory, then every read at valid and invalid
// indices and buffer sizes; whatever the reader accepts must lie inside the input. Without
// libFuzzer, main runs the seed corpus, then seeded mutations of it (three quarters with their
// checksums fixed), so every build exercises the reader on hostile input:
//   vlseq_fuzz_replay [iterations] [seed]     vlseq_fuzz_replay --write-seeds <folder>
#include "vlseq_fuzz_support.h"

#include "velaapi/vela_api.h"
#include "vlseq_layout.h"
#include "vlseq_reader.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

using namespace vlseqfmt;

namespace {

void Check(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "vlseq fuzz: invariant violated: %s\n", what);
        std::abort();
    }
}

volatile uint32_t sink; // keeps the hashing of frame bytes from being optimised away

void Exercise(Reader &r, uint64_t size)
{
    const FileHeader &h = r.Header();
    const int64_t n = r.FrameCount();
    Check(n >= 1 && static_cast<uint64_t>(n) <= h.maxFrames, "frame count within 1..maxFrames");
    Check(r.Stamps().size() == static_cast<size_t>(n), "one stamp per frame");

    std::vector<std::pair<uint64_t, uint64_t>> ranges;
    const void *p = nullptr;
    for (int64_t k = 0; k < n; ++k) {
        const uint64_t d = r.DataOffset(k);
        Check(d >= kHeaderBlockBytes && d <= size && h.frameBytes <= size - d,
              "frame inside the file");
        ranges.emplace_back(d, h.frameBytes);
        Check(r.LockFrame(k, &p) == 1, "lock of a listed frame");
        uint32_t hash = 0;
        for (size_t i = 0; i < h.frameBytes; ++i)
            hash = hash * 31 + static_cast<const uint8_t *>(p)[i];
        sink = hash;
    }
    for (int64_t k : {int64_t{-1}, n, int64_t{INT32_MIN}})
        Check(r.LockFrame(k, &p) == VELA_ERR_OUTOFRANGE, "lock outside 0..N-1 refused");
    for (const auto &[key, span] : r.Texts()) {
        Check(span.offset >= kHeaderBlockBytes && span.offset <= size &&
                  span.bytes <= size - span.offset,
              "text inside the file");
        Check(span.bytes <= TextCapacity(h, key.first), "text within its capacity");
        if (span.bytes != 0)
            ranges.emplace_back(span.offset, span.bytes);
    }
    std::sort(ranges.begin(), ranges.end());
    for (size_t i = 1; i < ranges.size(); ++i)
        Check(ranges[i].first - ranges[i - 1].first >= ranges[i - 1].second,
              "frames and texts do not overlap");

    std::vector<uint8_t> buf;
    for (uint32_t level : {kLevelFrame, kLevelFile, kLevelGroup, 7u})
        for (int32_t index :
             {-1, 0, 1, static_cast<int32_t>(n - 1), static_cast<int32_t>(n), INT32_MAX}) {
            const uint32_t len = r.TextBytes(level, index);
            for (uint32_t size2 : {0u, 1u, len - 1, len, len + 1}) {
                if (size2 > len + 1)
                    continue; // len - 1 wrapped for an empty text
                buf.assign(size2 + 1, 0xA5);
                const int32_t rc = r.ReadText(level, index, size2 ? buf.data() : nullptr, size2);
                Check(IsTextLevel(level) ? rc == 1 : rc == VELA_ERR_INVALIDPARAM,
                      "text read result");
                Check(buf[size2] == 0xA5, "text read stays inside the buffer");
            }
        }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Reader r;
    if (r.Open(std::make_unique<MemorySource>(data, size)) == 1)
        Exercise(r, size);
    return 0;
}

#if defined(VLSEQ_LIBFUZZER)
extern "C" size_t LLVMFuzzerMutate(uint8_t *data, size_t size, size_t maxSize);

// libFuzzer's byte mutations followed, most of the time, by fixing the checksums.
extern "C" size_t LLVMFuzzerCustomMutator(uint8_t *data, size_t size, size_t maxSize,
                                          unsigned int seed)
{
    size = LLVMFuzzerMutate(data, size, maxSize);
    if (seed % 4 != 0) {
        vlseqfuzz::Bytes b(data, data + size);
        vlseqfuzz::FixCrcs(b);
        std::memcpy(data, b.data(), std::min(b.size(), maxSize));
    }
    return size;
}
#else
int main(int argc, char **argv)
{
    const auto corpus = vlseqfuzz::SeedCorpus();
    if (argc == 3 && std::string(argv[1]) == "--write-seeds") {
        for (size_t i = 0; i < corpus.size(); ++i) {
            const std::string path = std::string(argv[2]) + "/seed_" + std::to_string(i);
            FILE *f = std::fopen(path.c_str(), "wb");
            if (!f || std::fwrite(corpus[i].data(), 1, corpus[i].size(), f) != corpus[i].size())
                return 1;
            std::fclose(f);
        }
        return 0;
    }
    const long iterations = argc > 1 ? std::atol(argv[1]) : 20000;
    std::mt19937_64 rng(argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 0x5EEDull);
    for (const auto &seed : corpus)
        LLVMFuzzerTestOneInput(seed.data(), seed.size());
    long opened = 0, indexed = 0; // how deep the mutations get, to keep the mutator honest
    for (long i = 0; i < iterations; ++i) {
        auto input = corpus[rng() % corpus.size()];
        vlseqfuzz::Mutate(input, corpus, rng);
        if (rng() % 4 != 0)
            vlseqfuzz::FixCrcs(input);
        LLVMFuzzerTestOneInput(input.data(), input.size());
        Reader r;
        if (r.Open(std::make_unique<MemorySource>(input.data(), input.size())) == 1) {
            ++opened;
            indexed += r.UsedIndex();
        }
    }
    std::printf("%zu seeds and %ld mutations passed; %ld opened, %ld of them by their index\n",
                corpus.size(), iterations, opened, indexed);
    return 0;
}
#endif
