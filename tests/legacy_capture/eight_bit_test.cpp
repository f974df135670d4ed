// The 8-bit conversion against its definition: the shift that keeps the top 8 significant bits
// of the data range, then saturation at 255. Every path of the build must give the same bytes.
#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "legacy/legacy_convert.h"

namespace {

TEST(EightBit, ShiftKeepsTheTopEightBitsOfTheRange)
{
    const struct {
        int32_t range;
        uint32_t shift;
    } cases[] = {{INT32_MIN, 0}, {-1, 0},   {0, 0},    {1, 0},     {255, 0},
                 {256, 1},       {4095, 4}, {4096, 5}, {65535, 8}, {INT32_MAX, 23}};
    for (const auto &c : cases)
        EXPECT_EQ(qxcm::EightBitShift(c.range), c.shift) << c.range;
}

// Every 16-bit value, at every shift a range can give and one past, from an odd start and with
// a count that leaves a tail for each vector width.
TEST(EightBit, EveryPathMatchesTheDefinitionForEveryValueAndShift)
{
    const size_t count = 65536 + 37;
    std::vector<uint8_t> samples(2 * count + 1);
    for (size_t i = 0; i < count; ++i) {
        uint16_t v = static_cast<uint16_t>(i * 40503u); // visits every value in an odd order
        samples[1 + 2 * i] = static_cast<uint8_t>(v);
        samples[2 + 2 * i] = static_cast<uint8_t>(v >> 8);
    }
    std::vector<uint8_t> expected(count), out(count + 1);
    for (uint32_t shift = 0; shift <= 24; ++shift) {
        for (size_t i = 0; i < count; ++i) {
            uint32_t v = static_cast<uint32_t>(samples[1 + 2 * i] | samples[2 + 2 * i] << 8);
            uint32_t shifted = shift < 32 ? v >> shift : 0;
            expected[i] = static_cast<uint8_t>(shifted < 255 ? shifted : 255);
        }
        for (const qxcm::EightBitVariant &variant : qxcm::EightBitVariants()) {
            if (!variant.supported)
                continue;
            out.assign(count + 1, 0xA5);
            variant.convert(samples.data() + 1, out.data(), count, shift);
            ASSERT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + count), expected)
                << variant.name << " shift " << shift;
            ASSERT_EQ(out[count], 0xA5) << variant.name << " wrote past its count";
        }
    }
}

} // namespace
