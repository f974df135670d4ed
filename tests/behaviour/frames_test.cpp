// Frame copies: plain, bundle members, two views and 12-bit expansion, with time stamps and
// the refusals that keep every copy inside the locked frame.
#include <climits>
#include <cstring>
#include <functional>
#include <random>

#include "capture/frames.h"
#include "core/device.h"
#include "core/initialize.h"
#include "support/qx_test.h"
#include "velaapi/vela_sim.h"

using qxtest::DeviceFrame;
using qxtest::LibraryTest;

namespace {

class Frames : public LibraryTest {
  protected:
    void SetUp() override
    {
        LibraryTest::SetUp();
        VelaSim_SetManualClock(1);
        InitWithLog();
    }
    // Opens, bundles (0: not), prepares a sequence of `buffers` and delivers `frames` frames.
    void Run(uint32_t i, int32_t buffers, int32_t frames, int32_t bundle = 0)
    {
        OpenCamera(i);
        int32_t err = 0, size = 0;
        if (bundle) {
            ASSERT_EQ(QXCM_FRAMEBUNDLE_40(i, 1, bundle, &size, &err), 1) << err;
        }
        Prepare(i, 1, buffers);
        StartWithFrames(i, frames);
    }
    int64_t FrameBytes(uint32_t i) { return int64_t(Context(i).frameHeight) * RowBytes(i); }
    int32_t RowBytes(uint32_t i)
    {
        VelaFrameRecord r{};
        r.size = sizeof r;
        qxcm::Device().VelaLockFrame(Context(i).deviceHandle, &r);
        return r.rowBytes;
    }
};

TEST_F(Frames, CopiesWithTheDevicePitchAndStampsFromFrameZero)
{
    Run(1, 5, 3); // camera 1 pads its rows
    int32_t pitch = RowBytes(1);
    EXPECT_GT(pitch, int32_t(Context(1).frameWidth * 2));
    std::vector<uint8_t> host(size_t(FrameBytes(1)), 0xEE);
    double stamp = -1, stamp2 = -1;
    int32_t err = 0;
    ASSERT_EQ(QXCM_GETFRAME_40(1, 0, host.data(), &stamp, 0, &err), 1);
    EXPECT_EQ(stamp, 0.0);
    EXPECT_EQ(host, DeviceFrame(Context(1).deviceHandle, 0, FrameBytes(1)));
    ASSERT_EQ(QXCM_GETFRAME_40(1, 2, host.data(), &stamp2, 0, &err), 1);
    EXPECT_GT(stamp2, 0.0);
    uint32_t number = 0;
    memcpy(&number, host.data(), sizeof number);
    EXPECT_EQ(number, 2u) << "buffer 2 holds the third frame, numbered from 0";
    EXPECT_EQ(LogLines().back().rfind("0.000 QXCM_GETFRAME_40 OK timestamp=", 0), 0u);

    // A new start counts from its own frame 0.
    ASSERT_EQ(QXCM_STOPCAPTURE_40(1, &err), 1);
    StartWithFrames(1, 2);
    ASSERT_EQ(QXCM_GETFRAME_40(1, 0, host.data(), &stamp, 0, &err), 1);
    EXPECT_EQ(stamp, 0.0);
}

TEST_F(Frames, BundleMembersAreCopiedFromTheirStrideAndNotPastTheBundle)
{
    Run(0, 5, 1, 4);
    int32_t err = 0;
    double stride = 0;
    VelaSim_GetProperty(0, 0x00421040, &stride);
    ASSERT_GT(stride, 0.0);
    int64_t bytes = FrameBytes(0);
    std::vector<uint8_t> bundle = DeviceFrame(Context(0).deviceHandle, 0, int64_t(stride) * 4);
    std::vector<uint8_t> host(static_cast<size_t>(bytes));
    double stamp = 0;
    for (int32_t member = 0; member < 4; ++member) { // every member, the first and the last
        ASSERT_EQ(QXCM_GETFRAME_41(0, 0, member, host.data(), &stamp, 0, &err), 1);
        EXPECT_TRUE(std::equal(host.begin(), host.end(), bundle.begin() + int64_t(stride) * member))
            << member;
    }
    for (int32_t bad : {4, 100, -1, INT32_MIN, INT32_MAX}) {
        EXPECT_EQ(QXCM_GETFRAME_41(0, 0, bad, host.data(), &stamp, 0, &err), 0) << bad;
        EXPECT_EQ(err, QXERR_INVALIDPARAM);
    }
    // Without bundling the index is ignored.
    ASSERT_EQ(QXCM_STOPCAPTURE_40(0, &err), 1);
    ASSERT_EQ(QXCM_UNPREPARECAPTURE_40(0, &err), 1);
    int32_t size = 0;
    ASSERT_EQ(QXCM_FRAMEBUNDLE_40(0, 0, 4, &size, &err), 1);
    Prepare(0, 1, 5);
    StartWithFrames(0, 1);
    ASSERT_EQ(QXCM_GETFRAME_41(0, 0, 3, host.data(), &stamp, 0, &err), 1);
    std::vector<uint8_t> single = DeviceFrame(Context(0).deviceHandle, 0, bytes);
    EXPECT_EQ(host, single);
}

TEST_F(Frames, ABundlesNumberIsItsFirstImagesAsTheImagesAndRecordingsCountThem)
{
    // Buffer frame 1 (images 4 to 7) never arrives: buffer 1 holds buffer frame 2.
    const int64_t lost[] = {1};
    ASSERT_EQ(VelaSim_SetLostFrames(0, lost, 1), 1);
    for (auto [id, value] : {std::pair{0x00402150u, 2.0}, {0x00402120u, 16.0}, {0x00402140u, 8.0}})
        ASSERT_EQ(VelaSim_SetProperty(0, id, value), 1);
    Run(0, 5, 3, 4);
    int32_t err = 0;
    std::vector<uint8_t> host(static_cast<size_t>(FrameBytes(0)));
    for (auto [index, first] : {std::pair{0, 0u}, {1, 8u}}) {
        uint32_t number = 99;
        double stamp = 0, copied = -1;
        ASSERT_EQ(QXCM_GETFRAMENUMBER_40(0, index, &number, &stamp, &err), 1);
        EXPECT_EQ(number, first) << index;
        for (int32_t member : {0, 3}) {
            ASSERT_EQ(QXCM_GETFRAME_41(0, index, member, host.data(), &copied, 0, &err), 1);
            uint32_t stamped = 0;
            memcpy(&stamped, host.data(), sizeof stamped);
            EXPECT_EQ(stamped, number + uint32_t(member)) << index << " " << member;
        }
        EXPECT_EQ(copied, stamp);
    }
}

TEST_F(Frames, TwoViewsComeFromTheirOffsetsOrTheSecondHalf)
{
    Run(0, 5, 1);
    int32_t err = 0;
    int64_t bytes = FrameBytes(0);
    std::vector<uint8_t> v1(static_cast<size_t>(bytes)), v2(static_cast<size_t>(bytes));
    double stamp = 0;
    // Outside the two-view layout view 2 starts in the second half of the frame.
    Context(0).frameHeight /= 2;
    ASSERT_EQ(QXCM_GETFRAME_SPLIT_40(0, 0, v1.data(), v2.data(), &stamp, 0, &err), 1) << err;
    std::vector<uint8_t> whole = DeviceFrame(Context(0).deviceHandle, 0, bytes);
    EXPECT_TRUE(std::equal(v1.begin(), v1.begin() + bytes / 2, whole.begin()));
    EXPECT_TRUE(std::equal(v2.begin(), v2.begin() + bytes / 2, whole.begin() + bytes / 2));
    EXPECT_EQ(LogLines().back(), "0.000 QXCM_GETFRAME_SPLIT_40 OK \n");

    // A device offset that would read past the frame is refused.
    auto saved = qxcm::Device().VelaGetValue;
    qxcm::Device().VelaGetValue = [](uint64_t, uint32_t id, double *v) -> int32_t {
        *v = id == 0x00420240 ? 1e9 : 0.0;
        return 1;
    };
    EXPECT_EQ(QXCM_GETFRAME_SPLIT_40(0, 0, v1.data(), v2.data(), &stamp, 0, &err), 0);
    qxcm::Device().VelaGetValue = saved;
    EXPECT_EQ(err, QXERR_INVALIDPARAM);
}

uint16_t First(const uint8_t *g)
{
    return uint16_t((g[0] << 4) | (g[1] & 0x0F));
}
uint16_t Second(const uint8_t *g)
{
    return uint16_t((g[2] << 4) | (g[1] >> 4));
}

// Every path against the definition: over all byte triples, then over short runs at an odd
// address in exact-size heap blocks, so a read or write past either end is caught by sanitizers.
TEST(TwelveBit, EveryPathMatchesTheDefinitionAndStaysInsideItsBuffers)
{
    qxcm::FillTwelveBitTables();
    const size_t groups = size_t(1) << 24;
    std::vector<uint8_t> packed(groups * 3);
    for (size_t v = 0; v < groups; ++v) {
        packed[3 * v] = uint8_t(v >> 16);
        packed[3 * v + 1] = uint8_t(v >> 8);
        packed[3 * v + 2] = uint8_t(v);
    }
    std::vector<uint16_t> out(groups * 2);
    std::mt19937 random(7);
    for (const qxcm::TwelveBitVariant &path : qxcm::TwelveBitVariants()) {
        if (!path.supported)
            continue;
        std::fill(out.begin(), out.end(), 0xFFFF);
        path.unpack(packed.data(), out.data(), groups);
        size_t wrong = 0;
        for (size_t v = 0; v < groups; ++v)
            wrong +=
                out[2 * v] != First(&packed[3 * v]) || out[2 * v + 1] != Second(&packed[3 * v]);
        EXPECT_EQ(wrong, 0u) << "path " << path.name;
        for (size_t n = 0; n < 70; ++n) {
            auto *in = new uint8_t[n * 3 + 1];
            auto *to = new uint16_t[n * 2 + 1];
            for (size_t k = 0; k < n * 3 + 1; ++k)
                in[k] = uint8_t(random());
            path.unpack(in + 1, to + 1, n);
            for (size_t g = 0; g < n; ++g)
                wrong += to[1 + 2 * g] != First(in + 1 + 3 * g) ||
                         to[2 + 2 * g] != Second(in + 1 + 3 * g);
            delete[] in;
            delete[] to;
        }
        EXPECT_EQ(wrong, 0u) << "short runs, path " << path.name;
    }
}

// A device frame of packed pixels with an odd width, handed out by a stand-in lock.
std::vector<uint8_t> gPacked;
int32_t LockPacked(uint64_t, VelaFrameRecord *r)
{
    r->address = gPacked.data();
    r->rowBytes = 962;
    r->height = 3;
    r->stampSeconds = 10;
    r->stampMicroseconds = r->index * 1000;
    return 1;
}

TEST_F(Frames, PackedRowsOfAnOddWidthDropTheirLastPixel)
{
    OpenCamera(0);
    int32_t err = 0;
    qxcm::CameraContext &c = Context(0);
    c.frameWidth = 641;
    c.frameHeight = 3;
    gPacked.resize(962 * 3);
    for (size_t k = 0; k < gPacked.size(); ++k)
        gPacked[k] = uint8_t(k * 7 + 3);
    auto saved = qxcm::Device().VelaLockFrame;
    qxcm::Device().VelaLockFrame = LockPacked;
    std::vector<uint16_t> out(3 * 320 * 2 + 1, 0xBEEF);
    double stamp = 0;
    int32_t ok = QXCM_GETFRAME_PACK12_40(0, 2, out.data(), &stamp, 0, &err);
    qxcm::Device().VelaLockFrame = saved;
    ASSERT_EQ(ok, 1);
    EXPECT_NEAR(stamp, 0.002, 1e-9);
    // 320 pairs a row; the next row starts right after the 960th byte: one unbroken stream.
    for (size_t g = 0; g < 3 * 320; ++g) {
        ASSERT_EQ(out[2 * g], First(&gPacked[3 * g])) << g;
        ASSERT_EQ(out[2 * g + 1], Second(&gPacked[3 * g])) << g;
    }
    EXPECT_EQ(out.back(), 0xBEEF);

    // A frame too small for the geometry is refused rather than read past.
    c.frameHeight = 4;
    qxcm::Device().VelaLockFrame = LockPacked;
    ok = QXCM_GETFRAME_PACK12_40(0, 2, out.data(), &stamp, 0, &err);
    qxcm::Device().VelaLockFrame = saved;
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(err, QXERR_INVALIDPARAM);
}

// A camera that laps the host while it copies: the n-th lock from now first refills every
// buffer of camera 0's ring of five with newer frames.
int gLocksUntilLap = 0;
int32_t (*gDeviceLock)(uint64_t, VelaFrameRecord *) = nullptr;
int32_t LappingLock(uint64_t device, VelaFrameRecord *r)
{
    if (gLocksUntilLap > 0 && --gLocksUntilLap == 0)
        VelaSim_DeliverFrames(0, 5);
    return gDeviceLock(device, r);
}

// Every copy locks once and, after copying, locks again to see whether the frame was replaced
// meanwhile; a replaced frame fails the copy instead of being reported with the old stamp.
TEST_F(Frames, AFrameReplacedDuringTheCopyIsReportedLost)
{
    const struct {
        const char *name;
        bool packed;
        std::function<int32_t(uint8_t *, double *, int32_t *)> copy;
    } kinds[] = {
        // clang-format off
        {"QXCM_GETFRAME_40", false, [](uint8_t *to, double *t, int32_t *e) { return QXCM_GETFRAME_40(0, 0, to, t, 0, e); }},
        {"QXCM_GETFRAME_41", false, [](uint8_t *to, double *t, int32_t *e) { return QXCM_GETFRAME_41(0, 0, 0, to, t, 0, e); }},
        {"QXCM_GETFRAME_SPLIT_40", false, [](uint8_t *to, double *t, int32_t *e) { return QXCM_GETFRAME_SPLIT_40(0, 0, to, to + (4 << 20), t, 0, e); }},
        {"QXCM_GETFRAME_PACK12_40", true, [](uint8_t *to, double *t, int32_t *e) { return QXCM_GETFRAME_PACK12_40(0, 0, reinterpret_cast<uint16_t *>(to), t, 0, e); }},
        // clang-format on
    };
    std::vector<uint8_t> host(size_t(16) << 20);
    gDeviceLock = qxcm::Device().VelaLockFrame;
    qxcm::Device().VelaLockFrame = LappingLock;
    for (const auto &k : kinds) {
        OpenCamera(0);
        int32_t err = 0;
        if (k.packed) {
            ASSERT_EQ(QXCM_SETPARAMETER_40(0, 0x00420270 + 0x4390, 3.0, 0, &err), 1);
        }
        Prepare(0, 1, 5);
        StartWithFrames(0, 1);
        Context(0).frameHeight /= 2; // two views fit in one frame
        double stamp = -7;
        ASSERT_EQ(k.copy(host.data(), &stamp, &err), 1) << k.name << " " << err;
        gLocksUntilLap = 2; // the check after the copy
        stamp = -7;
        EXPECT_EQ(k.copy(host.data(), &stamp, &err), 0) << k.name;
        EXPECT_EQ(err, QXERR_LOSTFRAME) << k.name;
        EXPECT_EQ(stamp, -7) << k.name;
        EXPECT_EQ(
            LogLines().back().rfind(std::string("0.000 ") + k.name + " NG ERR=-2147482879", 0), 0u);
        ASSERT_EQ(k.copy(host.data(), &stamp, &err), 1) << k.name << ": the newer frame copies";
        ASSERT_EQ(QXCM_CLOSECAMERA_40(0, &err), 1);
    }
    qxcm::Device().VelaLockFrame = gDeviceLock;
}

} // namespace
