// Settings through the exports: the sensor area (sub-array frames are windows of the full frame,
// the two views of the split layout the windows their offsets name, region lists blank the rest,
// every value reaches the device aligned and in order) and device features (lookup tables seen
// in captured frames, the cooler).
#include <climits>

#include "core/device.h"
#include "support/qx_test.h"
#include "velaapi/vela_api.h"
#include "velaapi/vela_sim.h"

using Lines = std::vector<std::string>;
using qxtest::kInjected;

namespace {

// A copied frame of 16-bit pixels with its row pitch in pixels.
struct Image {
    uint32_t width = 0, height = 0, pitch = 0;
    std::vector<uint16_t> pixels;
    uint16_t At(uint32_t x, uint32_t y) const { return pixels[size_t(y) * pitch + x]; }
};

class SettingsTest : public qxtest::LibraryTest {
  protected:
    void SetUp() override
    {
        LibraryTest::SetUp();
        VelaSim_SetManualClock(1);
        InitWithLog();
    }
    // Prepares a sequence, delivers one frame (number 0), copies buffer 0 (both views of it with
    // `split`) and releases the buffers again.
    std::pair<Image, Image> Capture(uint32_t i, bool split = false)
    {
        Prepare(i, 1, 5);
        StartWithFrames(i, 1);
        VelaFrameRecord r{};
        r.size = sizeof r;
        qxcm::Device().VelaLockFrame(Context(i).deviceHandle, &r);
        Image a;
        a.width = Context(i).frameWidth;
        a.height = Context(i).frameHeight;
        a.pitch = static_cast<uint32_t>(r.rowBytes / 2);
        a.pixels.assign(size_t(a.pitch) * a.height, 0xEEEE);
        Image b = a;
        double stamp = 0;
        int32_t err = 0;
        EXPECT_EQ(
            split ? QXCM_GETFRAME_SPLIT_40(i, 0, a.pixels.data(), b.pixels.data(), &stamp, 0, &err)
                  : QXCM_GETFRAME_40(i, 0, a.pixels.data(), &stamp, 0, &err),
            1)
            << err;
        EXPECT_EQ(QXCM_STOPCAPTURE_40(i, &err), 1);
        EXPECT_EQ(QXCM_UNPREPARECAPTURE_40(i, &err), 1);
        return {a, b};
    }
    Image CaptureOne(uint32_t i) { return Capture(i).first; }
};

constexpr int32_t kBinningParameter = 1, kSensorModeParameter = 5;

// Compares `part` with the window of `whole` at (x0, y0); the first two pixels of `part` hold
// its frame number and are left out.
void ExpectWindow(const Image &whole, const Image &part, uint32_t x0, uint32_t y0)
{
    ASSERT_LE(x0 + part.width, whole.width);
    ASSERT_LE(y0 + part.height, whole.height);
    int differ = 0;
    for (uint32_t y = 0; y < part.height; ++y)
        for (uint32_t x = (y == 0 ? 2 : 0); x < part.width; ++x)
            differ += part.At(x, y) != whole.At(x0 + x, y0 + y);
    EXPECT_EQ(differ, 0) << "window at " << x0 << "," << y0;
}

class Area : public SettingsTest {};

TEST_F(Area, SubarrayFramesAreTheWindowOfTheFullFrame)
{
    OpenCamera(0);
    Image full = CaptureOne(0);
    ASSERT_EQ(full.width, 2048u);
    int32_t err = 0;
    ASSERT_EQ(QXCM_SETAREA_40(0, 100, 36, 1000, 500, &err), 1) << err;
    Image part = CaptureOne(0);
    EXPECT_EQ(part.pitch, 1024u) << "2000 bytes of row padded to 64";
    ExpectWindow(full, part, 100, 36);
}

TEST_F(Area, ValuesAreAlignedDownToTheirStepAndWrittenOffsetsFirst)
{
    struct Case {
        uint32_t camera;
        int32_t hpos, vpos, hsize, vsize;
        std::vector<std::string> writes;
    };
    // clang-format off
    const Case cases[] = {
        {0, 5, 9, 1003, 517, {"0x00402150=2", "0x00402110=0", "0x00402130=0", "0x00402120=1000",
                              "0x00402140=516", "0x00402110=4", "0x00402130=8"}},
        {0, 4, 2044, 2044, 4, {"0x00402150=2", "0x00402110=0", "0x00402130=0", "0x00402120=2044",
                               "0x00402140=4", "0x00402110=4", "0x00402130=2044"}},
        {2, 13, 7, 1001, 999, {"0x00402150=2", "0x00402110=0", "0x00402130=0", "0x00402120=1000",
                               "0x00402140=992", "0x00402110=8", "0x00402130=0"}},
    };
    // clang-format on
    for (const Case &k : cases) {
        OpenCamera(k.camera, 1);
        int32_t err = 0;
        ASSERT_EQ(QXCM_SETAREA_40(k.camera, k.hpos, k.vpos, k.hsize, k.vsize, &err), 1) << err;
        EXPECT_EQ(Writes(), k.writes) << "camera " << k.camera;
        double w = 0, h = 0;
        VelaSim_GetProperty(static_cast<int32_t>(k.camera), 0x00420210, &w);
        VelaSim_GetProperty(static_cast<int32_t>(k.camera), 0x00420220, &h);
        EXPECT_EQ(Context(k.camera).frameWidth, uint32_t(w));
        EXPECT_EQ(Context(k.camera).frameHeight, uint32_t(h));
    }
}

TEST_F(Area, ValuesAtTheEndsOfTheRangeReachTheDeviceWhole)
{
    OpenCamera(0);
    int32_t err = 0;
    EXPECT_EQ(QXCM_SETAREA_40(0, INT32_MIN, 0, INT32_MAX, 8, &err), 0);
    EXPECT_EQ(err, static_cast<int32_t>(VELA_ERR_OUTOFRANGE));
    // The offsets are already cleared when the size is refused; nothing is undone.
    EXPECT_EQ(Writes(), (std::vector<std::string>{"0x00402150=2", "0x00402110=0", "0x00402130=0",
                                                  "0x00402120=2.14748e+09"}));
}

TEST_F(Area, GetAreaReportsRangesAtTheCurrentBinning)
{
    OpenCamera(0);
    int32_t v[16], err = 0;
    auto get = [&] {
        return QXCM_GETAREA_40(0, v, v + 1, v + 2, v + 3, v + 4, v + 5, v + 6, v + 7, v + 8, v + 9,
                               v + 10, v + 11, v + 12, v + 13, v + 14, v + 15, &err);
    };
    ASSERT_EQ(get(), 1) << err;
    // value, minimum, maximum, step for hpos, vpos, hsize, vsize
    EXPECT_EQ(std::vector<int32_t>(v, v + 16),
              (std::vector<int32_t>{0, 0, 0, 4, 0, 0, 0, 4, 2048, 4, 2048, 4, 2048, 4, 2048, 4}));
    ASSERT_EQ(QXCM_SETAREA_40(0, 100, 36, 1000, 504, &err), 1);
    ASSERT_EQ(QXCM_SETPARAMETER_40(0, kBinningParameter, 2, 0, &err), 1) << err;
    ASSERT_EQ(get(), 1) << err;
    EXPECT_EQ(
        std::vector<int32_t>(v, v + 16),
        (std::vector<int32_t>{100, 0, 1048, 4, 36, 0, 1544, 4, 1000, 8, 1948, 8, 504, 8, 2012, 8}));
    EXPECT_EQ(Context(0).frameWidth, 500u);
    EXPECT_EQ(LogLines().back(), "0.000 QXCM_GETAREA_40 OK hov=100 vov=36 hwv=1000 vwv=504\n");

    // Any output missing: refused before the device is asked, nothing written.
    ClearJournal();
    v[0] = -7;
    EXPECT_EQ(QXCM_GETAREA_40(0, v, v + 1, v + 2, v + 3, v + 4, v + 5, v + 6, v + 7, v + 8, v + 9,
                              v + 10, v + 11, v + 12, nullptr, v + 14, v + 15, &err),
              0);
    EXPECT_EQ(err, QXERR_INVALIDPARAM);
    EXPECT_EQ(v[0], -7);
    EXPECT_TRUE(Journal().empty());
}

TEST_F(Area, TwoViewAreasAreTheWindowsTheSplitCopyHandsOut)
{
    OpenCamera(0);
    Image full = CaptureOne(0);
    int32_t err = 0;
    // Outside the two-view layout both calls fail after the layout read, without writing.
    ClearJournal();
    EXPECT_EQ(QXCM_SETAREA_PAIRED_40(0, 0, 0, 1024, 512, 512, 256, &err), 0);
    EXPECT_TRUE(Writes().empty());
    int32_t v[18];
    auto get = [&] {
        return QXCM_GETAREA_PAIRED_40(0, v, v + 1, v + 2, v + 3, v + 4, v + 5, v + 6, v + 7, v + 8,
                                      v + 9, v + 10, v + 11, v + 12, v + 13, v + 14, v + 15, v + 16,
                                      v + 17, &err);
    };
    EXPECT_EQ(get(), 0);

    ASSERT_EQ(QXCM_SETPARAMETER_40(0, kSensorModeParameter, 14, 0, &err), 1) << err;
    ASSERT_EQ(QXCM_SETAREA_PAIRED_40(0, 16, 8, 1024, 512, 512, 256, &err), 1) << err;
    EXPECT_EQ(Context(0).frameWidth, 512u);
    EXPECT_EQ(Context(0).frameHeight, 256u);
    ASSERT_EQ(get(), 1) << err;
    // hpos view 1, view 2, min, max, step; vpos the same; hsize and vsize value, min, max, step
    EXPECT_EQ(std::vector<int32_t>(v, v + 18),
              (std::vector<int32_t>{16, 1024, 0, 1536, 4, 8, 512, 0, 1792, 4, 512, 4, 1024, 4, 256,
                                    4, 1536, 4}));
    auto [view1, view2] = Capture(0, true);
    ExpectWindow(full, view1, 16, 8);
    ExpectWindow(full, view2, 1024, 512);
}

TEST_F(Area, RegionListsLeaveOnlyTheirRegions)
{
    OpenCamera(0);
    int32_t err = 0;
    ASSERT_EQ(QXCM_SETAREA_40(0, 0, 0, 256, 128, &err), 1);
    Image whole = CaptureOne(0);
    // left, top, width, height; the second region is one column wide.
    const int32_t regions[] = {10, 20, 30, 5, 200, 0, 1, 128};
    ClearJournal();
    ASSERT_EQ(QXCM_SETMULTIREGION_40(0, regions, 2, &err), 1) << err;
    EXPECT_EQ(Writes(), (std::vector<std::string>{"data(kind=1, bytes=16)", "0x00400620=2"}));
    Image part = CaptureOne(0);
    int wrong = 0, inside = 0;
    for (uint32_t y = 0; y < part.height; ++y)
        for (uint32_t x = 0; x < part.width; ++x) {
            bool in = (x >= 10 && x < 40 && y >= 20 && y < 25) || x == 200;
            inside += in;
            wrong += part.At(x, y) != (in ? whole.At(x, y) : 0);
        }
    EXPECT_EQ(inside, 30 * 5 + 128);
    EXPECT_EQ(wrong, 0);
}

TEST_F(Area, RegionListsTheDeviceCannotTakeAreRefusedBeforeAnyDeviceCall)
{
    OpenCamera(0);
    const int32_t good[] = {0, 0, 4, 4};
    struct Case {
        const char *what;
        std::vector<int32_t> regions;
        int32_t count;
    };
    const Case cases[] = {
        {"no array", {}, 1},
        {"no regions", {0, 0, 4, 4}, 0},
        {"negative count", {0, 0, 4, 4}, -1},
        {"entries past 32-bit sizes", {0, 0, 4, 4}, 0x20000000},
        {"negative left", {-1, 0, 4, 4}, 1},
        {"negative top", {0, INT32_MIN, 4, 4}, 1},
        {"zero width", {0, 0, 0, 4}, 1},
        {"negative height", {0, 0, 4, -4}, 1},
        {"right edge past 16 bits", {65535, 0, 2, 1}, 1},
        {"bottom edge past 16 bits", {0, 2, 1, 65535}, 1},
        {"huge width", {1, 0, INT32_MAX, 1}, 1},
        {"a bad second region", {0, 0, 4, 4, 0, 0, 4, 0}, 2},
    };
    for (const Case &k : cases) {
        int32_t err = 0;
        const int32_t *array = k.regions.empty() ? nullptr : k.regions.data();
        EXPECT_EQ(QXCM_SETMULTIREGION_40(0, array, k.count, &err), 0) << k.what;
        EXPECT_EQ(err, QXERR_INVALIDPARAM) << k.what;
    }
    EXPECT_TRUE(Journal().empty());
    EXPECT_EQ(LogLines()[LogLines().size() - 2 * std::size(cases)],
              "0.000 QXCM_SETMULTIREGION_40 -> i=0 linearregionarray=0 lutpoints=1\n");

    // A camera without region lists fails with its latest device code, making no call.
    OpenCamera(1);
    Context(1).lastResult = 12;
    int32_t err = 0;
    EXPECT_EQ(QXCM_SETMULTIREGION_40(1, good, 1, &err), 0);
    EXPECT_EQ(err, 12);
    EXPECT_TRUE(Journal().empty());
}

using Features = SettingsTest;

TEST_F(Features, LookupTablesMapKnownLevels)
{
    OpenCamera(0);
    int32_t err = 0;
    ASSERT_EQ(QXCM_SETAREA_40(0, 64, 32, 200, 100, &err), 1) << err;
    // points (input, output) and levels with what they become
    struct Case {
        std::vector<int32_t> points;
        std::vector<std::pair<int32_t, uint16_t>> levels;
    };
    // The interpolation is the device's: these show that the points reach it whole and in order.
    const Case cases[] = {
        {{0, 65535, 65535, 0}, {{0, 65535}, {40000, 25535}, {65535, 0}}},
        {{1000, 3000, 2000, 3000, 3000, 0}, {{0, 3000}, {1500, 3000}, {2500, 1500}, {60000, 0}}},
    };
    for (const Case &k : cases) {
        ClearJournal();
        int32_t count = int32_t(k.points.size() / 2);
        ASSERT_EQ(QXCM_SETLUT_40(0, k.points.data(), count, &err), 1) << err;
        EXPECT_EQ(Writes(), (Lines{"data(kind=2, bytes=" + std::to_string(8 * count) + ")",
                                   "0x00380520=1", "0x00380510=2"}));
        for (auto [level, mapped] : k.levels) {
            ASSERT_EQ(QXCM_TESTPATTERN_41(0, 2, 1, level, &err), 1);
            Image image = CaptureOne(0);
            int differ = 0;
            for (uint32_t y = 0; y < image.height; ++y)
                for (uint32_t x = 0; x < image.width; ++x)
                    differ += image.At(x, y) != mapped;
            EXPECT_EQ(differ, 0) << "level " << level;
        }
    }
}

TEST_F(Features, LookupTablesTheDeviceCannotTakeAreRefusedBeforeAnyDeviceCall)
{
    OpenCamera(0);
    const int32_t points[] = {0, 0, 100, 100};
    Context(0).lastResult = 21;
    int32_t err = 0;
    EXPECT_EQ(QXCM_SETLUT_40(0, nullptr, 2, &err), 0);
    EXPECT_EQ(err, 21);
    EXPECT_EQ(LogLines()[LogLines().size() - 2],
              "0.000 QXCM_SETLUT_40 -> i=0 linearlutarray=0 lutpoints=2\n");
    for (int32_t count : {1, 0, -1, INT32_MIN}) {
        EXPECT_EQ(QXCM_SETLUT_40(0, points, count, &err), 0);
        EXPECT_EQ(err, 21);
    }
    EXPECT_EQ(QXCM_SETLUT_40(0, points, 0x20000000, &err), 0);
    EXPECT_EQ(err, QXERR_INVALIDPARAM);
    EXPECT_TRUE(Journal().empty());
    // A failed switch after the table reports its code; the table stays with the device.
    VelaSim_FailCall("VelaSetValue", 0x00380510, 1, kInjected, 0);
    EXPECT_EQ(QXCM_SETLUT_40(0, points, 2, &err), 0);
    EXPECT_EQ(err, kInjected);
}

TEST_F(Features, TheCoolerWritesOnlyChangesAndRefusesWithoutACooler)
{
    OpenCamera(1);
    ClearJournal();
    int32_t err = 0;
    ASSERT_EQ(QXCM_SENSORCOOLER_40(1, 1, &err), 1) << err;
    EXPECT_EQ(Writes().size(), 1u);
    // The value the record holds already needs no write.
    ClearJournal();
    ASSERT_EQ(QXCM_SENSORCOOLER_40(1, 1, &err), 1);
    EXPECT_TRUE(Writes().empty());
    EXPECT_EQ(QXCM_SENSORCOOLER_40(1, 7, &err), 0);
    EXPECT_EQ(err, static_cast<int32_t>(VELA_ERR_OUTOFRANGE));

    // No cooler: the camera's latest code, no device call.
    OpenCamera(0);
    Context(0).lastResult = 5;
    EXPECT_EQ(QXCM_SENSORCOOLER_40(0, 1, &err), 0);
    EXPECT_EQ(err, 5);
    EXPECT_TRUE(Journal().empty());
}

} // namespace
