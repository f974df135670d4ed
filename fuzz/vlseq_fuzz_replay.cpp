// Runs the fuzz target without libFuzzer: the seed corpus, then a fixed number of seeded
// mutations of it (three quarters with their checksums fixed), so every build exercises the
// reader on hostile input. A violated invariant aborts.
//   vlseq_fuzz_replay [iterations] [seed]     vlseq_fuzz_replay --write-seeds <folder>
#include "vlseq_fuzz_support.h"

#include "vlseq_reader.h"

#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

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
        vlseqfmt::Reader r;
        if (r.Open(std::make_unique<vlseqfmt::MemorySource>(input.data(), input.size())) == 1) {
            ++opened;
            indexed += r.UsedIndex();
        }
    }
    std::printf("%zu seeds and %ld mutations passed; %ld opened, %ld of them by their index\n",
                corpus.size(), iterations, opened, indexed);
    return 0;
}
