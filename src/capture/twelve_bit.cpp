// The 12-bit expansion: a table path for every processor and SIMD paths chosen once at run time.
#include "capture/twelve_bit.h"

#include "core/initialize.h"
#include "core/simd_paths.h"

namespace qxcm {

void UnpackTwelveBitTable(const uint8_t *s, uint16_t *d, size_t groups)
{
    for (size_t g = 0; g < groups; ++g, s += 3, d += 2) {
        d[0] = twelveBitFirstTable[s[0] | (s[1] << 8)];
        d[1] = twelveBitSecondTable[s[1] | (s[2] << 8)];
    }
}

#ifdef QXCM_X86
namespace {

// Within 16 bytes holding four groups from byte `base` on, places [b1,b0] and [b1,b2] of each
// group in consecutive 16-bit lanes; a shift by 4 then gives the second pixel exactly and the
// first pixel but for its low nibble, which a bit-select takes from b1 unshifted.
#define QX_GROUP(base, j)                                                                          \
    (base) + 3 * (j) + 1, (base) + 3 * (j), (base) + 3 * (j) + 1, (base) + 3 * (j) + 2
#define QX_LANE(base) QX_GROUP(base, 0), QX_GROUP(base, 1), QX_GROUP(base, 2), QX_GROUP(base, 3)

[[gnu::target("avx2")]] void UnpackAvx2(const uint8_t *s, uint16_t *d, size_t groups)
{
    // The first block and the tail are left to the table path: each 32-byte load starts 4
    // bytes before its 24 input bytes and must not read before or past the source.
    size_t done = groups < 8 ? groups : 8;
    UnpackTwelveBitTable(s, d, done);
    const __m256i shuffle = _mm256_setr_epi8(QX_LANE(4), QX_LANE(0));
    const __m256i lowNibble = _mm256_set1_epi32(0x0000000F);
    for (; done + 8 + 2 <= groups; done += 8) { // the load reads 4 bytes past the 24
        const uint8_t *p = s + 3 * done;
        __m256i in = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p - 4));
        __m256i x = _mm256_shuffle_epi8(in, shuffle);
        __m256i out = _mm256_or_si256(_mm256_andnot_si256(lowNibble, _mm256_srli_epi16(x, 4)),
                                      _mm256_and_si256(lowNibble, x));
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(d + 2 * done), out);
    }
    UnpackTwelveBitTable(s + 3 * done, d + 2 * done, groups - done);
}

[[gnu::target("ssse3")]] void UnpackSsse3(const uint8_t *s, uint16_t *d, size_t groups)
{
    const __m128i shuffle = _mm_setr_epi8(QX_LANE(0));
    const __m128i lowNibble = _mm_set1_epi32(0x0000000F);
    size_t done = 0;
    for (; done + 4 + 2 <= groups; done += 4) { // the load reads 4 bytes past the 12
        __m128i in = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s + 3 * done));
        __m128i x = _mm_shuffle_epi8(in, shuffle);
        __m128i out = _mm_or_si128(_mm_andnot_si128(lowNibble, _mm_srli_epi16(x, 4)),
                                   _mm_and_si128(lowNibble, x));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(d + 2 * done), out);
    }
    UnpackTwelveBitTable(s + 3 * done, d + 2 * done, groups - done);
}

#undef QX_LANE
#undef QX_GROUP

} // namespace
#endif

namespace {

using UnpackFunction = void (*)(const uint8_t *, uint16_t *, size_t);

constexpr SimdPath<UnpackFunction> kUnpackPaths[] = {
    {"table", UnpackTwelveBitTable, SimdLevel::Portable},
#ifdef QXCM_X86
    {"ssse3", UnpackSsse3, SimdLevel::Ssse3},
    {"avx2", UnpackAvx2, SimdLevel::Avx2},
#endif
};

} // namespace

void UnpackTwelveBit(const uint8_t *source, uint16_t *destination, size_t groups)
{
    ChosenPath<kUnpackPaths>().function(source, destination, groups);
}

const char *TwelveBitPath()
{
    return ChosenPath<kUnpackPaths>().name;
}

std::vector<TwelveBitVariant> TwelveBitVariants()
{
    return PathVariants<TwelveBitVariant>(kUnpackPaths);
}

} // namespace qxcm
