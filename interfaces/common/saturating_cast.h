// The one way a double becomes an integer here. A plain cast of a value outside the target's
// range (or of NaN) is undefined behaviour, and doubles reach us from hosts and devices alike:
// time limits, geometry, counts, stamps. Every such conversion saturates instead: NaN gives 0,
// values beyond either end give that end, everything else truncates toward zero as a cast does.
// Header only, so the simulated device library shares it without linking the host library.
#pragma once

#include <cstdint>
#include <limits>
#include <type_traits>

namespace qxcm {

template <typename Int> constexpr Int SaturatingCast(double value) noexcept
{
    static_assert(std::is_integral_v<Int> && !std::is_same_v<Int, bool>,
                  "SaturatingCast converts to integer types");
    if (value != value) // NaN
        return 0;
    // Both ends are powers of two (or zero), so they are exact as doubles; the upper one is the
    // first value that no longer fits.
    constexpr double lowest = static_cast<double>(std::numeric_limits<Int>::min());
    constexpr double pastHighest =
        2.0 * static_cast<double>(std::numeric_limits<Int>::max() / 2 + 1);
    if (value <= lowest)
        return std::numeric_limits<Int>::min();
    if (value >= pastHighest)
        return std::numeric_limits<Int>::max();
    // For an unsigned target, values in (-1, 0) truncate to 0 and are in range already.
    return static_cast<Int>(value);
}

constexpr int32_t SaturateToInt32(double value) noexcept
{
    return SaturatingCast<int32_t>(value);
}

constexpr uint32_t SaturateToUint32(double value) noexcept
{
    return SaturatingCast<uint32_t>(value);
}

constexpr int64_t SaturateToInt64(double value) noexcept
{
    return SaturatingCast<int64_t>(value);
}

} // namespace qxcm
