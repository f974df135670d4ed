// Expanding packed 12-bit pixels to 16-bit words, on the fastest path this processor runs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qxcm {

// Expands `groups` 3-byte groups of packed 12-bit pixels into 2 x groups 16-bit words.
void UnpackTwelveBit(const uint8_t *source, uint16_t *destination, size_t groups);
// The portable table path alone, for tests that compare the two.
void UnpackTwelveBitTable(const uint8_t *source, uint16_t *destination, size_t groups);
// Which path UnpackTwelveBit takes on this processor: "avx2", "ssse3" or "table".
const char *TwelveBitPath();

// Every expansion path of this build, for tests that hold each to the table path; `supported`
// says whether this processor can run it.
struct TwelveBitVariant {
    const char *name;
    void (*unpack)(const uint8_t *source, uint16_t *destination, size_t groups);
    bool supported;
};
std::vector<TwelveBitVariant> TwelveBitVariants();

} // namespace qxcm
