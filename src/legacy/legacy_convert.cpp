// Row copies and the 8-bit conversion. The conversion picks its widest path once per process,
// as the 12-bit expansion does; every path gives the portable path's bytes exactly.
#include "legacy/legacy_convert.h"

#include <cstring>

#include "core/simd_paths.h"

namespace qxcm {

void CopyRows(const uint8_t *source, size_t sourcePitch, uint8_t *destination,
              size_t destinationPitch, size_t rowBytes, size_t rows)
{
    if (rows == 0 || rowBytes == 0)
        return;
    if (sourcePitch == rowBytes && destinationPitch == rowBytes) {
        memcpy(destination, source, rowBytes * rows);
        return;
    }
    for (size_t r = 0; r < rows; ++r)
        memcpy(destination + r * destinationPitch, source + r * sourcePitch, rowBytes);
}

uint32_t EightBitShift(int32_t range)
{
    uint32_t bits = 0;
    for (int32_t v = range; v > 0; v >>= 1)
        ++bits;
    return bits > 8 ? bits - 8 : 0;
}

void ConvertToEightBitPortable(const uint8_t *s, uint8_t *d, size_t count, uint32_t shift)
{
    for (size_t i = 0; i < count; ++i) {
        uint32_t v =
            shift >= 16 ? 0u : static_cast<uint32_t>(s[2 * i] | s[2 * i + 1] << 8) >> shift;
        d[i] = static_cast<uint8_t>(v > 255 ? 255 : v);
    }
}

#ifdef QXCM_X86
namespace {

// A shift by 16 or more clears every lane, as the portable path's zero does.
[[gnu::target("avx2")]] void ConvertAvx2(const uint8_t *s, uint8_t *d, size_t count, uint32_t shift)
{
    const __m128i by = _mm_cvtsi32_si128(static_cast<int>(shift));
    const __m256i top = _mm256_set1_epi16(255);
    size_t i = 0;
    for (; i + 32 <= count; i += 32) {
        __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(s + 2 * i));
        __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(s + 2 * i + 32));
        a = _mm256_min_epu16(_mm256_srl_epi16(a, by), top);
        b = _mm256_min_epu16(_mm256_srl_epi16(b, by), top);
        // The pack interleaves the 128-bit halves of a and b; the permute puts them in order.
        __m256i packed = _mm256_permute4x64_epi64(_mm256_packus_epi16(a, b), 0xD8);
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(d + i), packed);
    }
    ConvertToEightBitPortable(s + 2 * i, d + i, count - i, shift);
}

void ConvertSse2(const uint8_t *s, uint8_t *d, size_t count, uint32_t shift)
{
    const __m128i by = _mm_cvtsi32_si128(static_cast<int>(shift));
    const __m128i top = _mm_set1_epi16(255);
    size_t i = 0;
    for (; i + 16 <= count; i += 16) {
        __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s + 2 * i));
        __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s + 2 * i + 16));
        a = _mm_srl_epi16(a, by);
        b = _mm_srl_epi16(b, by);
        // min(x, 255) without SSE4.1: x minus what lies above 255. The pack alone would read
        // lanes of 0x8000 and up as negative and give 0.
        a = _mm_sub_epi16(a, _mm_subs_epu16(a, top));
        b = _mm_sub_epi16(b, _mm_subs_epu16(b, top));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(d + i), _mm_packus_epi16(a, b));
    }
    ConvertToEightBitPortable(s + 2 * i, d + i, count - i, shift);
}

} // namespace
#endif

namespace {

using ConvertFunction = void (*)(const uint8_t *, uint8_t *, size_t, uint32_t);

constexpr SimdPath<ConvertFunction> kConvertPaths[] = {
    {"portable", ConvertToEightBitPortable, SimdLevel::Portable},
#ifdef QXCM_X86
    {"sse2", ConvertSse2, SimdLevel::Sse2},
    {"avx2", ConvertAvx2, SimdLevel::Avx2},
#endif
};

} // namespace

void ConvertToEightBit(const uint8_t *samples, uint8_t *destination, size_t count, uint32_t shift)
{
    ChosenPath<kConvertPaths>().function(samples, destination, count, shift);
}

const char *EightBitPath()
{
    return ChosenPath<kConvertPaths>().name;
}

std::vector<EightBitVariant> EightBitVariants()
{
    return PathVariants<EightBitVariant>(kConvertPaths);
}

} // namespace qxcm
