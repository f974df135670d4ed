// Pixel work of the older frame calls: rows moved between two pitches, and 16-bit samples
// brought down to 8 bits for a preview.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qxcm {

// Copies `rows` rows of `rowBytes` bytes from a source of pitch `sourcePitch` into a
// destination of pitch `destinationPitch`.
void CopyRows(const uint8_t *source, size_t sourcePitch, uint8_t *destination,
              size_t destinationPitch, size_t rowBytes, size_t rows);

// The right shift that brings a device data range (its largest sample value) to 8 significant
// bits; 0 for a range of 8 bits or fewer, zero or negative.
uint32_t EightBitShift(int32_t range);

// Converts `count` little-endian 16-bit samples: each shifted right by `shift` and held at 255
// when it is still larger, so an overexposed sample stays bright instead of wrapping dark.
void ConvertToEightBit(const uint8_t *samples, uint8_t *destination, size_t count, uint32_t shift);
// The portable path alone, for tests that hold the others to it.
void ConvertToEightBitPortable(const uint8_t *samples, uint8_t *destination, size_t count,
                               uint32_t shift);
// Which path ConvertToEightBit takes on this processor: "avx2", "sse2" or "portable".
const char *EightBitPath();

struct EightBitVariant {
    const char *name;
    void (*convert)(const uint8_t *samples, uint8_t *destination, size_t count, uint32_t shift);
    bool supported; // whether this processor can run it
};
// Every conversion path of this build.
std::vector<EightBitVariant> EightBitVariants();

} // namespace qxcm
