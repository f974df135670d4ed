// Frame calls of the older family: copies by data type against the device's own frame with
// guard bytes past the host's buffer, the 8-bit preview on padded rows, the two-view copy
// against the current family's and electron values.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>

#include "core/device.h"
#include "legacy_capture/legacy_capture_test.h"
#include "settings/properties.h"
#include "support/qx_test.h"
#include "velaapi/vela_api.h"
#include "velaapi/vela_sim.h"

using legacytest::LegacyFrames;
using qxtest::FrameNumber;
using qxtest::LibraryTest;

namespace {

constexpr size_t kGuard = 64;
constexpr uint8_t kFill = 0xEE;

struct DeviceImage {
    std::vector<uint8_t> bytes;
    int32_t pitch;
};

// Buffer frame `index` as the device holds it.
DeviceImage DeviceFrame(uint64_t device, int32_t index)
{
    DeviceImage image;
    image.bytes = qxtest::DeviceFrame(device, index, -1, &image.pitch);
    return image;
}

// A host buffer of `bytes` followed by guard bytes.
struct HostBuffer {
    explicit HostBuffer(size_t n) : bytes(n), data(n + kGuard, kFill) {}
    uint8_t *get() { return data.data(); }
    bool FilledFrom(size_t k) const
    {
        return std::all_of(data.begin() + long(k), data.end(),
                           [](uint8_t b) { return b == kFill; });
    }
    bool GuardIntact() const { return FilledFrom(bytes); }
    bool Untouched() const { return FilledFrom(0); }
    size_t bytes;
    std::vector<uint8_t> data;
};

// Rows of width x bytes per pixel, whatever the device's pitch, on 16- and 8-bit camera 0,
// padded camera 1 and colour camera 2; the device-pitch copies alongside.
TEST_F(LegacyFrames, CopiesByDataTypeMatchTheDeviceFrameAndStayInTheHostsBuffer)
{
    const struct {
        uint32_t camera;
        double pixelType; // 0: the camera's own
        uint32_t hostType, pixelBytes;
    } cases[] = {{0, 0, 7, 2}, {1, 0, 7, 2}, {2, 0, 4, 3}, {0, 1, 0, 1}};
    for (const auto &k : cases) {
        SCOPED_TRACE(testing::Message() << "camera " << k.camera << " type " << k.hostType);
        if (k.pixelType != 0) {
            ASSERT_EQ(VelaSim_SetProperty(0, 0x00420270, k.pixelType), 1);
        }
        Start(k.camera, 1, 3, 3);
        ASSERT_EQ(type, k.hostType);
        const uint32_t pixels = k.hostType == 4 ? width / 3 : width;
        const size_t stride = size_t(pixels) * k.pixelBytes;
        DeviceImage device = DeviceFrame(Context(k.camera).deviceHandle, 2);

        int32_t err = 0;
        HostBuffer rows(stride * height);
        ASSERT_EQ(QXCM_GETNEXTFRAME_A(k.camera, rows.get(), 100, &err), 1) << err;
        EXPECT_EQ(FrameNumber(rows.get()), 2u) << "the newest frame";
        EXPECT_TRUE(rows.GuardIntact());
        for (size_t r = 0; r < height; ++r)
            ASSERT_EQ(memcmp(rows.get() + r * stride,
                             device.bytes.data() + r * size_t(device.pitch), stride),
                      0)
                << "row " << r;

        HostBuffer pitched(device.bytes.size());
        ASSERT_EQ(QXCM_GETFRAME(k.camera, 2, pitched.get(), &err), 1) << err;
        EXPECT_EQ(0, memcmp(pitched.get(), device.bytes.data(), device.bytes.size()));
        EXPECT_TRUE(pitched.GuardIntact());

        // Repacking the pitched copy gives the row copy again (8- and 16-bit only).
        HostBuffer repacked(stride * height);
        int32_t ok = QXCM_GETFRAME_A(k.camera, pitched.get(), repacked.get(), &err);
        if (k.hostType == 4) {
            EXPECT_EQ(ok, 0);
            EXPECT_EQ(err, QXERR_INVALIDPARAM);
            EXPECT_TRUE(repacked.Untouched());
        } else {
            ASSERT_EQ(ok, 1) << err;
            EXPECT_EQ(repacked.data, rows.data);
        }

        double stamp = -1.0;
        HostBuffer stamped(device.bytes.size());
        ASSERT_EQ(QXCM_GETFRAME_B(k.camera, 0, stamped.get(), &stamp, &err), 1) << err;
        EXPECT_EQ(stamp, 0.0) << "the first stamped copy takes the time origin";
        EXPECT_EQ(FrameNumber(stamped.get()), 0u);
        EXPECT_TRUE(stamped.GuardIntact());

        // The 8-bit preview of the next frame (of 8-bit data: its rows), then one more with
        // the automatic limit.
        ASSERT_EQ(VelaSim_DeliverFrames(int32_t(k.camera), 1), 1); // frame 3, buffer 0
        HostBuffer preview(size_t(pixels) * height);
        ok = QXCM_GETNEXTFRAME_U8(k.camera, preview.get(), 100, &err);
        if (k.hostType == 4) {
            EXPECT_EQ(ok, 0) << "no 8-bit preview of colour";
            EXPECT_TRUE(preview.Untouched());
        } else {
            ASSERT_EQ(ok, 1) << err;
            EXPECT_TRUE(preview.GuardIntact());
        }
        if (k.hostType == 0) {
            DeviceImage newest = DeviceFrame(Context(k.camera).deviceHandle, 0);
            EXPECT_EQ(FrameNumber(preview.get()), 3u);
            for (size_t r = 0; r < height; ++r)
                ASSERT_EQ(memcmp(preview.get() + r * pixels,
                                 newest.bytes.data() + r * size_t(newest.pitch), pixels),
                          0);
        }
        ASSERT_EQ(VelaSim_DeliverFrames(int32_t(k.camera), 1), 1);
        ASSERT_EQ(QXCM_GETNEXTFRAME(k.camera, rows.get(), &err), 1) << err;
        EXPECT_EQ(FrameNumber(rows.get()), 4u);
        EXPECT_TRUE(rows.GuardIntact());
        ASSERT_EQ(QXCM_CLOSECAMERA_40(k.camera, &err), 1);
    }
}

// Padded rows and a range of 12 bits on a scene that goes past it: every pixel is its sample
// shifted by 4 and held at 255, read at the device's pitch.
TEST_F(LegacyFrames, EightBitPreviewAppliesThePitchAndSaturates)
{
    ASSERT_EQ(VelaSim_LoadCameraSet("camera T-PAD12\nsensor 64 32 mono16 range=4095 extra=64\n"
                                    "prop 0x00420210 \"IMAGE WIDTH\" long r min=1 max=64\n"
                                    "prop 0x00420220 \"IMAGE HEIGHT\" long r min=1 max=32\n"),
              1);
    uint32_t count = 0;
    ASSERT_EQ(QXCM_INITIALIZE_40(&count, nullptr, nullptr, 0, 0, nullptr), 1);
    Start(0, 1, 3, 1);
    DeviceImage device = DeviceFrame(Context(0).deviceHandle, 0);
    ASSERT_GT(device.pitch, int32_t(width * 2));
    HostBuffer preview(size_t(width) * height);
    int32_t err = 0;
    ASSERT_EQ(QXCM_GETNEXTFRAME_U8(0, preview.get(), 100, &err), 1) << err;
    EXPECT_TRUE(preview.GuardIntact());
    size_t saturated = 0;
    for (size_t r = 0; r < height; ++r)
        for (size_t x = 0; x < width; ++x) {
            const uint8_t *s = device.bytes.data() + r * size_t(device.pitch) + 2 * x;
            uint32_t v = uint32_t(s[0] | s[1] << 8) >> 4;
            saturated += v > 255;
            ASSERT_EQ(preview.data[r * width + x], v > 255 ? 255 : v) << r << "," << x;
        }
    EXPECT_GT(saturated, 0u) << "the scene should reach past the range somewhere";
}

// A height the locked frame cannot back (a stale geometry) fails every copy with
// QXERR_INVALIDPARAM and writes nothing.
TEST_F(LegacyFrames, CopiesOutsideTheLockedFrameFailAndWriteNothing)
{
    Start(1, 1, 3, 2);
    double stamp = 5.0;
    HostBuffer a(size_t(1) << 20);
    const std::function<int32_t(int32_t *)> copies[] = {
        [&](int32_t *e) { return QXCM_GETNEXTFRAME_A(1, a.get(), 100, e); },
        [&](int32_t *e) { return QXCM_GETNEXTFRAME_U8(1, a.get(), 100, e); },
        [&](int32_t *e) { return QXCM_GETFRAME(1, 0, a.get(), e); },
        [&](int32_t *e) { return QXCM_GETFRAME_B(1, 0, a.get(), &stamp, e); },
    };
    Context(1).frameHeight += 1; // one row more than the frame holds
    for (const auto &copy : copies) {
        ASSERT_EQ(VelaSim_DeliverFrames(1, 1), 1);
        int32_t err = 0;
        EXPECT_EQ(copy(&err), 0);
        EXPECT_EQ(err, QXERR_INVALIDPARAM);
    }
    EXPECT_TRUE(a.Untouched());
    EXPECT_EQ(stamp, 5.0);
}

int32_t gLocksSinceArmed = -1;
int32_t (*gRealLockFrame)(uint64_t, VelaFrameRecord *);

// The device's frame lock, reporting another frame from the second lock after arming on.
int32_t LockReplacedOnSecondLock(uint64_t device, VelaFrameRecord *record)
{
    int32_t result = gRealLockFrame(device, record);
    if (gLocksSinceArmed >= 0 && ++gLocksSinceArmed >= 2)
        record->frameNumber += 1;
    return result;
}

// A frame the device replaced while it was being copied is reported lost by every copy.
TEST_F(LegacyFrames, AFrameReplacedDuringTheCopyIsReportedLost)
{
    ASSERT_EQ(VelaSim_SetProperty(0, 0x00400210, 14.0), 1); // SPLIT VIEW, for the paired copy
    Start(0, 1, 3, 3);
    std::vector<uint8_t> a(size_t(32) << 20), b(size_t(32) << 20);
    double stamp = 0.0;
    int32_t err = 0;
    ASSERT_EQ(QXCM_GETFRAME_B(0, 0, a.data(), &stamp, &err), 1) << "takes the time origin";
    const struct {
        const char *name;
        std::function<int32_t()> copy;
    } copies[] = {
        {"GETFRAME", [&] { return QXCM_GETFRAME(0, 1, a.data(), &err); }},
        {"GETFRAME_B", [&] { return QXCM_GETFRAME_B(0, 1, a.data(), &stamp, &err); }},
        {"GETFRAME_PAIRED",
         [&] { return QXCM_GETFRAME_PAIRED(0, 1, a.data(), b.data(), &stamp, &err); }},
        {"GETNEXTFRAME_A", [&] { return QXCM_GETNEXTFRAME_A(0, a.data(), 100, &err); }},
        {"GETNEXTFRAME_U8", [&] { return QXCM_GETNEXTFRAME_U8(0, a.data(), 100, &err); }},
    };
    gRealLockFrame = qxcm::Device().VelaLockFrame;
    qxcm::Device().VelaLockFrame = LockReplacedOnSecondLock;
    for (const auto &c : copies) {
        ASSERT_EQ(VelaSim_DeliverFrames(0, 1), 1);
        gLocksSinceArmed = 0;
        err = 0;
        EXPECT_EQ(c.copy(), 0) << c.name;
        EXPECT_EQ(err, QXERR_LOSTFRAME) << c.name;
    }
    qxcm::Device().VelaLockFrame = gRealLockFrame;
    gLocksSinceArmed = -1;
}

// The newest frame was locked, then the device moved on before the copy learnt which buffer
// that was: the frame is intact and must be copied, not reported lost.
TEST_F(LegacyFrames, ADeviceThatMovesOnRightAfterTheLockLosesNoFrame)
{
    Start(0, 1, 3, 2);
    std::vector<uint8_t> frame(size_t(16) << 20);
    const struct {
        const char *name;
        std::function<int32_t(int32_t *)> copy;
        bool numbered; // the 8-bit preview keeps no frame number
    } copies[] = {
        {"GETNEXTFRAME_A", [&](int32_t *e) { return QXCM_GETNEXTFRAME_A(0, frame.data(), 100, e); },
         true},
        {"GETNEXTFRAME", [&](int32_t *e) { return QXCM_GETNEXTFRAME(0, frame.data(), e); }, true},
        {"GETNEXTFRAME_U8",
         [&](int32_t *e) { return QXCM_GETNEXTFRAME_U8(0, frame.data(), 100, e); }, false},
    };
    uint32_t newest = 1;
    for (const auto &c : copies) {
        ASSERT_EQ(VelaSim_DeliverFrames(0, 1), 1);
        ++newest;
        VelaSim_DeliverAfter("VelaLockData", 1, 0, 1);
        int32_t err = 0;
        EXPECT_EQ(c.copy(&err), 1) << c.name << ": 0x" << std::hex << err;
        if (c.numbered) {
            EXPECT_EQ(FrameNumber(frame.data()), newest) << c.name;
        }
        ++newest; // the frame the device moved on to
    }
}

// The two-view copy of a split frame gives what the current family's split copy gives, with
// the view offsets taken as bytes.
TEST_F(LegacyFrames, PairedViewsMatchTheSplitCopy)
{
    ASSERT_EQ(VelaSim_SetProperty(0, 0x00400210, 14.0), 1); // SPLIT VIEW
    OpenCamera(0);
    Prepare(0, 1, 5);
    StartWithFrames(0, 3);
    const size_t bytes =
        size_t(Context(0).frameHeight) * size_t(DeviceFrame(Context(0).deviceHandle, 0).pitch);
    HostBuffer p1(bytes), p2(bytes), s1(bytes), s2(bytes);
    double paired = -1.0, split = -1.0;
    int32_t err = 0;
    ASSERT_EQ(QXCM_GETFRAME_PAIRED(0, 0, p1.get(), p2.get(), &paired, &err), 1) << err;
    EXPECT_EQ(paired, 0.0) << "the first copy after a preparation takes the time origin";
    ASSERT_EQ(QXCM_GETFRAME_PAIRED(0, 2, p1.get(), p2.get(), &paired, &err), 1) << err;
    ASSERT_EQ(QXCM_GETFRAME_SPLIT_40(0, 2, s1.get(), s2.get(), &split, 0, &err), 1) << err;
    EXPECT_EQ(paired, split);
    EXPECT_EQ(p1.data, s1.data);
    EXPECT_EQ(p2.data, s2.data);
    EXPECT_EQ(FrameNumber(p1.get()), 2u);
    EXPECT_EQ(FrameNumber(p2.get()), 2u);
    EXPECT_TRUE(p1.GuardIntact() && p2.GuardIntact());

    // A view that would begin one byte too late is refused.
    double second = 0.0;
    ASSERT_EQ(VelaSim_GetProperty(0, 0x02420250, &second), 1);
    ASSERT_EQ(VelaSim_SetProperty(0, 0x02420250, second + 1), 1);
    HostBuffer q1(bytes), q2(bytes);
    EXPECT_EQ(QXCM_GETFRAME_PAIRED(0, 1, q1.get(), q2.get(), &paired, &err), 0);
    EXPECT_EQ(err, QXERR_INVALIDPARAM);
    EXPECT_TRUE(q1.Untouched() && q2.Untouched());
}

TEST_F(LegacyFrames, ElectronValuesPerBufferFrameAndNothingOutsideTheBuffers)
{
    OpenCamera(1);
    OpenCamera(0);
    Prepare(1, 1, 5);
    Prepare(0, 1, 5);
    StartWithFrames(1, 1);
    int32_t index = -1, count = 0, err = 0;
    ASSERT_EQ(QXCM_WAITNEXTFRAME(1, 100, &index, &count, &err), 1) << err;
    float factor = 0, offset = 0;
    ASSERT_EQ(QXCM_GETELECTRONINFO(1, index, &factor, &offset, &err), 1) << err;
    EXPECT_EQ(factor, 5.0f);
    EXPECT_EQ(offset, 100.0f);
    // A value past single precision arrives as infinity.
    ASSERT_EQ(VelaSim_SetProperty(1, 0x00FFE010, -1e300), 1);
    ASSERT_EQ(VelaSim_DeliverFrames(1, 1), 1);
    ASSERT_EQ(QXCM_WAITNEXTFRAME(1, 100, &index, &count, &err), 1) << err;
    ASSERT_EQ(QXCM_GETELECTRONINFO(1, index, &factor, &offset, &err), 1) << err;
    EXPECT_EQ(factor, -INFINITY);
    ASSERT_EQ(QXCM_GETELECTRONINFO(0, 4, &factor, &offset, &err), 1) << "camera 0 has none";
    EXPECT_EQ(factor, -1.0f);
    EXPECT_EQ(offset, -1.0f);
    for (int32_t bad : {-1, 5, INT32_MAX, INT32_MIN}) {
        factor = offset = 7.0f;
        EXPECT_EQ(QXCM_GETELECTRONINFO(1, bad, &factor, &offset, &err), 0) << bad;
        EXPECT_EQ(err, QXERR_INVALIDPARAM);
        EXPECT_EQ(factor + offset, 14.0f);
    }
    err = 0;
    EXPECT_EQ(QXCM_GETELECTRONFRAME(99, 0, nullptr, &err), 0);
    EXPECT_EQ(err, QXERR_NOTSUPPORT);
}

// The older two-view area calls are the current family's, except that the units are asked for
// at the binning parameter 1 holds, without reading the device's.
TEST_F(LegacyFrames, PairedAreaFollowsTheCurrentCallsWithTheCachedBinning)
{
    ASSERT_EQ(VelaSim_SetProperty(0, 0x00400210, 14.0), 1); // SPLIT VIEW
    OpenCamera(0);
    int32_t err = 0;
    ASSERT_EQ(QXCM_SETAREA_PAIRED(0, 16, 8, 1024, 512, 512, 256, &err), 1) << err;
    int32_t older[18] = {}, current[18] = {};
    auto get = [&](auto call, int32_t *v) {
        return call(0, v, v + 1, v + 2, v + 3, v + 4, v + 5, v + 6, v + 7, v + 8, v + 9, v + 10,
                    v + 11, v + 12, v + 13, v + 14, v + 15, v + 16, v + 17, &err);
    };
    ASSERT_EQ(get(QXCM_GETAREA_PAIRED_40, current), 1) << err;
    ASSERT_EQ(get(QXCM_GETAREA_PAIRED, older), 1) << err;
    EXPECT_EQ(std::vector<int32_t>(older, older + 18), std::vector<int32_t>(current, current + 18));
    EXPECT_EQ(older[0], 16);
    EXPECT_EQ(older[6], 512);

    qxcm::ParameterRecord(Context(0), 1).cachedValue[0] = 2.0;
    ClearJournal();
    ASSERT_EQ(get(QXCM_GETAREA_PAIRED, older), 1) << err;
    EXPECT_EQ(older[13], 2 * current[13]) << "the width step at binning 2";
    for (const std::string &line : JournalOf("VelaGetValue"))
        EXPECT_EQ(line.find("0x00401110"), std::string::npos) << line;

    ASSERT_EQ(VelaSim_SetProperty(0, 0x00400210, 1.0), 1); // no longer split
    EXPECT_EQ(QXCM_SETAREA_PAIRED(0, 0, 0, 1024, 0, 512, 256, &err), 0);
    EXPECT_EQ(get(QXCM_GETAREA_PAIRED, older), 0);
}

} // namespace
