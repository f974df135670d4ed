#include "frame_loss.h"

#include <errno.h>
#include <math.h>
#include <stdlib.h>

#include <algorithm>

#include "vela_api.h"

namespace velasim {
namespace {

uint64_t Mix(uint64_t x)
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

} // namespace

int32_t FrameLoss::SetRate(double rate, uint64_t seed)
{
    if (!(rate > 0 && rate <= 1)) // NaN fails both
        return VELA_ERR_INVALIDPARAM;
    rate_ = rate;
    seed_ = seed;
    list_.clear();
    return VELA_OK;
}

int32_t FrameLoss::SetList(const int64_t *numbers, int32_t count)
{
    if (count < 0 || (count > 0 && numbers == nullptr))
        return VELA_ERR_INVALIDPARAM;
    for (int32_t k = 0; k < count; ++k)
        if (numbers[k] < 0 || numbers[k] > int64_t{UINT32_MAX} ||
            (k > 0 && numbers[k] <= numbers[k - 1]))
            return VELA_ERR_INVALIDPARAM;
    list_.assign(numbers, numbers + count);
    rate_ = 0;
    return VELA_OK;
}

int32_t FrameLoss::SetFromText(const std::string &text)
{
    const char *s = text.c_str();
    char *end = nullptr;
    if (const size_t at = text.find('@'); at != std::string::npos) {
        errno = 0;
        const double rate = strtod(s, &end);
        if (end != s + at)
            return VELA_ERR_INVALIDPARAM;
        const char *seedText = s + at + 1;
        const unsigned long long seed = strtoull(seedText, &end, 10);
        if (end == seedText || *end != '\0' || errno != 0 || *seedText == '-')
            return VELA_ERR_INVALIDPARAM;
        return SetRate(rate, seed);
    }
    std::vector<int64_t> numbers;
    while (*s != '\0') {
        errno = 0;
        const long long n = strtoll(s, &end, 10);
        if (end == s || errno != 0 || (*end != ',' && *end != '\0') ||
            numbers.size() >= static_cast<size_t>(INT32_MAX))
            return VELA_ERR_INVALIDPARAM;
        numbers.push_back(n);
        s = *end == ',' ? end + 1 : end;
    }
    return SetList(numbers.data(), static_cast<int32_t>(numbers.size()));
}

bool FrameLoss::Lost(uint64_t number) const
{
    if (rate_ > 0) {
        // 53 random bits against the rate: 1 loses every frame.
        const double u = static_cast<double>(Mix(seed_ ^ Mix(number)) >> 11) * 0x1p-53;
        return u < rate_;
    }
    return number <= UINT32_MAX &&
           std::binary_search(list_.begin(), list_.end(), static_cast<uint32_t>(number));
}

} // namespace velasim
