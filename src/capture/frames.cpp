// Frame locks and the 12-bit expansion. The time origin is buffer frame 0's stamp at the first
// lock after a preparation or start, so stamps count from the capture, not from the device.
#include "capture/frames.h"

#include <cmath>
#include <cstring>

#include "capture/buffers.h"
#include "common/saturating_cast.h"
#include "core/device.h"
#include "core/initialize.h"
#include "qxcm/qxcm.h"
#include "settings/properties.h"

#if defined(__x86_64__) || defined(_M_X64)
#include <immintrin.h>
#define QXCM_X86 1
#endif

namespace qxcm {
namespace {

constexpr uint32_t kPropSecondViewBytes = 0x00420240;
constexpr double kTwoViewLayout = 14.0;

} // namespace

int32_t LockDeviceFrame(CameraContext &c, int32_t index, uint32_t option, VelaFrameRecord &r)
{
    r = VelaFrameRecord{};
    r.size = sizeof r;
    r.option = option;
    r.index = index;
    c.lastResult = Device().VelaLockFrame(c.deviceHandle, &r);
    return c.lastResult < 0 ? c.lastResult : 0;
}

int32_t TakeTimeOrigin(CameraContext &c)
{
    if (c.timeOriginSet)
        return 0;
    VelaFrameRecord r;
    if (int32_t code = LockDeviceFrame(c, 0, 0, r))
        return code;
    c.timeOrigin = FrameStampSeconds(r);
    c.timeOriginSet = 1;
    return 0;
}

namespace {

int32_t LockInto(CameraContext &c, LockedFrame &frame, int32_t index, uint32_t option)
{
    if (int32_t code = TakeTimeOrigin(c))
        return code;
    VelaFrameRecord r;
    if (int32_t code = LockDeviceFrame(c, index, option, r))
        return code;
    c.rowBytes = r.rowBytes;
    frame = DescribeFrame(r, index, option);
    frame.stamp = FrameStampSeconds(r) - c.timeOrigin;
    if (!frame.address || r.rowBytes <= 0)
        return QXERR_INVALIDPARAM;
    return 0;
}

} // namespace

LockedFrame DescribeFrame(const VelaFrameRecord &r, int32_t index, uint32_t option)
{
    LockedFrame frame{};
    frame.address = static_cast<const uint8_t *>(r.address);
    frame.rowBytes = r.rowBytes;
    frame.bytes = static_cast<int64_t>(r.height) * r.rowBytes;
    frame.index = index;
    frame.option = option;
    frame.frameNumber = r.frameNumber;
    frame.stampSeconds = r.stampSeconds;
    frame.stampMicroseconds = r.stampMicroseconds;
    return frame;
}

int32_t ConfirmFrameUnchanged(CameraContext &c, const LockedFrame &frame)
{
    VelaFrameRecord r;
    if (LockDeviceFrame(c, frame.index, frame.option, r) != 0)
        return QXERR_LOSTFRAME; // a buffer being rewritten is not ready
    if (r.frameNumber != frame.frameNumber || r.stampSeconds != frame.stampSeconds ||
        r.stampMicroseconds != frame.stampMicroseconds ||
        static_cast<const uint8_t *>(r.address) != frame.address)
        return QXERR_LOSTFRAME;
    return 0;
}

double FrameStampSeconds(const VelaFrameRecord &r)
{
    return static_cast<double>(r.stampSeconds) +
           static_cast<double>(r.stampMicroseconds) * 0.000001;
}

int64_t FrameCopyBytes(const CameraContext &c, const LockedFrame &frame)
{
    return static_cast<int64_t>(c.frameHeight) * frame.rowBytes;
}

bool InsideFrame(const LockedFrame &frame, int64_t offset, int64_t bytes)
{
    return offset >= 0 && bytes >= 0 && offset <= frame.bytes && bytes <= frame.bytes - offset;
}

int32_t LockCaptureFrame(CameraContext &c, LockedFrame &frame, int32_t index, uint32_t option)
{
    return LockInto(c, frame, index, option);
}

int32_t LockSplitFrame(CameraContext &c, LockedFrame &frame, const uint8_t **view1,
                       const uint8_t **view2, int32_t index, uint32_t option)
{
    if (int32_t code = LockInto(c, frame, index, option))
        return code;
    double mode = 0.0;
    c.lastResult = Device().VelaGetValue(c.deviceHandle, kPropSensorMode, &mode);
    if (c.lastResult < 0)
        return c.lastResult;
    int64_t offset1 = 0, offset2 = 0;
    if (mode == kTwoViewLayout) {
        double v1 = 0.0, v2 = 0.0;
        c.lastResult = Device().VelaGetValue(c.deviceHandle, (1u << 24) + kPropViewOffset, &v1);
        if (c.lastResult < 0)
            return c.lastResult;
        c.lastResult = Device().VelaGetValue(c.deviceHandle, (2u << 24) + kPropViewOffset, &v2);
        if (c.lastResult < 0)
            return c.lastResult;
        offset1 = SaturateToInt64(v1);
        offset2 = SaturateToInt64(v2);
    } else {
        double v = 0.0;
        c.lastResult = Device().VelaGetValue(c.deviceHandle, kPropSecondViewBytes, &v);
        if (c.lastResult < 0)
            return c.lastResult;
        offset2 = SaturateToInt64(-std::trunc(v * -0.5) * 8.0);
    }
    int64_t bytes = FrameCopyBytes(c, frame);
    if (!InsideFrame(frame, offset1, bytes) || !InsideFrame(frame, offset2, bytes))
        return QXERR_INVALIDPARAM;
    *view1 = frame.address + offset1;
    *view2 = frame.address + offset2;
    return 0;
}

int32_t CopyFrame(CameraContext &c, int32_t index, std::optional<int32_t> bundleMember,
                  uint32_t option, uint8_t *destination, double *stamp)
{
    if (!destination || !stamp)
        return QXERR_INVALIDPARAM;
    if (bundleMember && (*bundleMember < 0 || static_cast<uint32_t>(*bundleMember) >= c.bundleSize))
        return QXERR_INVALIDPARAM;
    bool member = bundleMember && *bundleMember >= 1;
    LockedFrame f{};
    if (int32_t code = LockCaptureFrame(c, f, index, option))
        return code;
    int64_t offset = 0;
    if (member) {
        double stride = 0.0;
        c.lastResult = Device().VelaGetValue(c.deviceHandle, kPropBundleStride, &stride);
        if (c.lastResult < 0)
            return c.lastResult;
        offset = SaturateToInt32(*bundleMember * stride);
    }
    int64_t bytes = FrameCopyBytes(c, f);
    if (!InsideFrame(f, offset, bytes))
        return QXERR_INVALIDPARAM;
    // The destination has the device's pitch too, so the rows are one block.
    memcpy(destination, f.address + offset, static_cast<size_t>(bytes));
    if (int32_t code = ConfirmFrameUnchanged(c, f))
        return code;
    *stamp = f.stamp;
    return 0;
}

int32_t CopySplitFrame(CameraContext &c, int32_t index, uint32_t option, uint8_t *view1,
                       uint8_t *view2, double *stamp)
{
    if (!view1 || !view2 || !stamp)
        return QXERR_INVALIDPARAM;
    LockedFrame f{};
    const uint8_t *from1 = nullptr, *from2 = nullptr;
    if (int32_t code = LockSplitFrame(c, f, &from1, &from2, index, option))
        return code;
    int64_t bytes = FrameCopyBytes(c, f);
    memcpy(view1, from1, static_cast<size_t>(bytes));
    memcpy(view2, from2, static_cast<size_t>(bytes));
    if (int32_t code = ConfirmFrameUnchanged(c, f))
        return code;
    *stamp = f.stamp;
    return 0;
}

int32_t CopyPackedFrame(CameraContext &c, int32_t index, uint32_t option, uint16_t *destination,
                        double *stamp)
{
    if (!destination || !stamp)
        return QXERR_INVALIDPARAM;
    LockedFrame f{};
    if (int32_t code = LockCaptureFrame(c, f, index, option))
        return code;
    // The packed pixels are one unbroken stream; the device's pitch plays no part.
    int64_t groups = static_cast<int64_t>(c.frameHeight) * (c.frameWidth / 2);
    if (!InsideFrame(f, 0, groups * 3))
        return QXERR_INVALIDPARAM;
    UnpackTwelveBit(f.address, destination, static_cast<size_t>(groups));
    if (int32_t code = ConfirmFrameUnchanged(c, f))
        return code;
    *stamp = f.stamp;
    return 0;
}

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

using UnpackFunction = void (*)(const uint8_t *, uint16_t *, size_t);

struct UnpackChoice {
    UnpackFunction function;
    const char *name;
};

UnpackChoice ChooseUnpack()
{
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2"))
        return {UnpackAvx2, "avx2"};
    if (__builtin_cpu_supports("ssse3"))
        return {UnpackSsse3, "ssse3"};
    return {UnpackTwelveBitTable, "table"};
}

const UnpackChoice &Unpack()
{
    static const UnpackChoice choice = ChooseUnpack();
    return choice;
}

} // namespace

void UnpackTwelveBit(const uint8_t *source, uint16_t *destination, size_t groups)
{
    Unpack().function(source, destination, groups);
}

const char *TwelveBitPath()
{
    return Unpack().name;
}

std::vector<TwelveBitVariant> TwelveBitVariants()
{
    __builtin_cpu_init();
    return {{"table", UnpackTwelveBitTable, true},
            {"ssse3", UnpackSsse3, __builtin_cpu_supports("ssse3") != 0},
            {"avx2", UnpackAvx2, __builtin_cpu_supports("avx2") != 0}};
}
#else
void UnpackTwelveBit(const uint8_t *source, uint16_t *destination, size_t groups)
{
    UnpackTwelveBitTable(source, destination, groups);
}

const char *TwelveBitPath()
{
    return "table";
}

std::vector<TwelveBitVariant> TwelveBitVariants()
{
    return {{"table", UnpackTwelveBitTable, true}};
}
#endif

int32_t CopyFrameOfBundle(CameraContext &c, int32_t index, int32_t bundleIndex, uint32_t option,
                          uint8_t *destination, double *stamp)
{
    std::optional<int32_t> member;
    if (c.bundleEnabled == 1)
        member = bundleIndex;
    return CopyFrame(c, index, member, option, destination, stamp);
}

} // namespace qxcm
