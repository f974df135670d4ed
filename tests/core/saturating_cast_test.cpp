// The saturating conversion at the ends of every range: NaN, infinities, values just inside and
// just past each end, and the truncation of ordinary values.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "common/saturating_cast.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(SaturatingCast, ClampsEveryEndAndTruncatesInside)
{
    struct Row {
        double in;
        int32_t i32;
        uint32_t u32;
        int64_t i64;
    };
    // clang-format off
    const Row rows[] = {
        {kNaN, 0, 0, 0}, {-kNaN, 0, 0, 0}, {kInf, INT32_MAX, UINT32_MAX, INT64_MAX},
        {-kInf, INT32_MIN, 0, INT64_MIN}, {1e300, INT32_MAX, UINT32_MAX, INT64_MAX},
        {-1e300, INT32_MIN, 0, INT64_MIN}, {3e6 * 1000.0, INT32_MAX, 3000000000u, 3000000000},
        {2147483647.0, INT32_MAX, 2147483647u, 2147483647},
        {2147483647.9, INT32_MAX, 2147483647u, 2147483647},
        {2147483648.0, INT32_MAX, 2147483648u, 2147483648},
        {-2147483648.0, INT32_MIN, 0, -2147483648LL}, {-2147483649.0, INT32_MIN, 0, -2147483649LL},
        {4294967295.0, INT32_MAX, UINT32_MAX, 4294967295LL},
        {4294967296.0, INT32_MAX, UINT32_MAX, 4294967296LL},
        {9223372036854775808.0, INT32_MAX, UINT32_MAX, INT64_MAX},
        {-9223372036854775808.0, INT32_MIN, 0, INT64_MIN}, {0.0, 0, 0, 0}, {-0.0, 0, 0, 0},
        {0.999, 0, 0, 0}, {-0.999, 0, 0, 0}, {-1.5, -1, 0, -1}, {42.7, 42, 42, 42},
        {std::numeric_limits<double>::denorm_min(), 0, 0, 0},
    };
    // clang-format on
    for (const Row &r : rows) {
        EXPECT_EQ(qxcm::SaturateToInt32(r.in), r.i32) << r.in;
        EXPECT_EQ(qxcm::SaturateToUint32(r.in), r.u32) << r.in;
        EXPECT_EQ(qxcm::SaturateToInt64(r.in), r.i64) << r.in;
    }
    EXPECT_EQ(qxcm::SaturatingCast<uint64_t>(1e300), UINT64_MAX);
    EXPECT_EQ(qxcm::SaturatingCast<uint64_t>(18446744073709549568.0), 18446744073709549568u);
    EXPECT_EQ(qxcm::SaturatingCast<int16_t>(-40000.0), INT16_MIN);
    EXPECT_EQ(qxcm::SaturatingCast<uint8_t>(255.9), 255);
    EXPECT_EQ(qxcm::SaturatingCast<uint8_t>(256.0), 255);
    static_assert(qxcm::SaturateToInt32(kNaN) == 0 && qxcm::SaturateToInt32(-kInf) == INT32_MIN,
                  "usable in constant expressions");
}

} // namespace
