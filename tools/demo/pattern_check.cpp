#include "pattern_check.h"

#include <cstring>

#include "qxcm/qxcm.h"

namespace {

constexpr int32_t kFunctionId = 0x4390; // parameter number of a device property: id + this
constexpr int32_t kPatternKind = 0x00400510 + kFunctionId;
constexpr int32_t kPatternOption = 0x00400520 + kFunctionId;

// The 16-bit pattern value at (x, y): 1 flat, 2 horizontal and 3 vertical ramps over the full
// scale, 4 checker of 32-pixel squares starting with the option at the top left.
uint32_t PatternValue(int32_t kind, uint32_t option, uint32_t x, uint32_t y, uint32_t w, uint32_t h)
{
    switch (kind) {
    case 1:
        return option;
    case 2:
        return w > 1 ? static_cast<uint32_t>(uint64_t(x) * 65535 / (w - 1)) : 0;
    case 3:
        return h > 1 ? static_cast<uint32_t>(uint64_t(y) * 65535 / (h - 1)) : 0;
    default:
        return (x / 32 + y / 32) % 2 == 0 ? option : 0;
    }
}

} // namespace

bool PatternCheck::Enable(uint32_t camera, std::string &problem)
{
    int32_t err = 0;
    double k = 0.0, o = 0.0;
    if (!QXCM_TESTPATTERN_40(camera, 1, &err) ||
        !QXCM_GETPARAMETER_40(camera, kPatternKind, &k, 0, &err) ||
        !QXCM_GETPARAMETER_40(camera, kPatternOption, &o, 0, &err)) {
        char text[128];
        QXCM_REPORTERROR(err, text);
        problem = std::string("the camera offers no test pattern: ") + text;
        return false;
    }
    kind = static_cast<int32_t>(k);
    option = o > 65535.0 ? 65535 : o < 0.0 ? 0 : static_cast<int32_t>(o);
    return true;
}

void PatternCheck::Check(const uint8_t *frame)
{
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t *row = frame + static_cast<size_t>(y) * rowBytes;
        for (uint32_t x = 0; x < width; ++x) {
            uint32_t want = PatternValue(kind, static_cast<uint32_t>(option), x, y, width, height);
            uint32_t got = 0;
            if (bytesPerSample == 2) {
                uint16_t sample = 0;
                std::memcpy(&sample, row + 2 * x, 2);
                got = sample;
            } else {
                got = row[x];
                want >>= 8;
            }
            if (got != want) {
                ++different;
                return;
            }
        }
    }
    ++matched;
}
