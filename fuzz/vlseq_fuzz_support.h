// Inputs for fuzzing the .vlseq reader, shared by the fuzz targets and the simulator's tests.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

namespace vlseqfuzz {

using Bytes = std::vector<uint8_t>;

// Recordings of every pixel type and both alignments, with texts, closed and cut off at many
// points as a crash would leave them, buffered and durable with pixel CRCs.
std::vector<Bytes> SeedCorpus();

// Recomputes every checksum the reader checks, wherever the structure can still be followed,
// so that mutations get past the checksums to the checks behind them.
void FixCrcs(Bytes &file);

// One to four random edits: bit flips, boundary values in fields, truncation, splices.
void Mutate(Bytes &file, const std::vector<Bytes> &corpus, std::mt19937_64 &rng);

} // namespace vlseqfuzz
