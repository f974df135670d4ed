// Device features through the exports: test-pattern writes, lookup tables seen pixel for pixel
// in captured frames, the cooler in the temperature reading, and the protection and electron
// values with their write orders and failures.
#include "settings_support.h"
#include "velaapi/vela_api.h"
#include "velaapi/vela_sim.h"

using qxtest::Image;
using qxtest::SettingsTest;
using Lines = std::vector<std::string>;

namespace {

using qxtest::kInjected;
constexpr int32_t kFunctionId = 0x4390;

template <class Expected> int CountDifferent(const Image &image, Expected expected)
{
    int n = 0;
    for (uint32_t y = 0; y < image.height; ++y)
        for (uint32_t x = 0; x < image.width; ++x)
            n += image.At(x, y) != expected(x, y);
    return n;
}

class Features : public SettingsTest {
  protected:
    void SmallArea()
    {
        int32_t err = 0;
        ASSERT_EQ(QXCM_SETAREA_40(0, 64, 32, 200, 100, &err), 1) << err;
    }
};

// The pattern itself is the device's; what the library owes it is the switch, kind and option.
TEST_F(Features, TestPatternsWriteTheSwitchThenKindAndOption)
{
    OpenCamera(0);
    ClearJournal();
    int32_t err = 0;
    ASSERT_EQ(QXCM_TESTPATTERN_41(0, 2, 4, 1234, &err), 1) << err;
    ASSERT_EQ(QXCM_TESTPATTERN_40(0, 0, &err), 1);
    ASSERT_EQ(QXCM_TESTPATTERN_41(0, 1, 3, 5, &err), 1);
    EXPECT_EQ(Writes(), (Lines{"0x00400410=2", "0x00400510=4", "0x00400520=1234", "0x00400410=1",
                               "0x00400410=2"}));
    EXPECT_EQ(LogLines().back(), "0.000 QXCM_TESTPATTERN_40 OK \n");
    EXPECT_EQ(LogLines()[LogLines().size() - 2], "0.000 QXCM_TESTPATTERN_40 -> i=0 enable=1\n");
}

TEST_F(Features, LookupTablesMapKnownLevels)
{
    OpenCamera(0);
    SmallArea();
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
        int32_t err = 0;
        ClearJournal();
        int32_t count = int32_t(k.points.size() / 2);
        ASSERT_EQ(QXCM_SETLUT_40(0, k.points.data(), count, &err), 1) << err;
        EXPECT_EQ(Writes(), (Lines{"data(kind=2, bytes=" + std::to_string(8 * count) + ")",
                                   "0x00380520=1", "0x00380510=2"}));
        for (auto [level, mapped] : k.levels) {
            ASSERT_EQ(QXCM_TESTPATTERN_41(0, 2, 1, level, &err), 1);
            Image image = CaptureOne(0);
            EXPECT_EQ(CountDifferent(image, [&](uint32_t, uint32_t) { return mapped; }), 0)
                << "level " << level;
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

TEST_F(Features, TheCoolerChangesTheTemperatureReading)
{
    OpenCamera(1);
    const int32_t temperature = 0x00200310 + kFunctionId;
    double t = 0;
    int32_t err = 0;
    ASSERT_EQ(QXCM_GETPARAMETER_40(1, temperature, &t, 0, &err), 1) << err;
    EXPECT_EQ(t, 20.0);
    ASSERT_EQ(QXCM_SENSORCOOLER_40(1, 1, &err), 1) << err;
    ASSERT_EQ(QXCM_GETPARAMETER_40(1, temperature, &t, 0, &err), 1);
    EXPECT_EQ(t, -65.0);
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

TEST_F(Features, ProtectionAndElectronValues)
{
    OpenCamera(1);
    int32_t err = 0, status = -1;
    // Both families write the level first and the mode last.
    ASSERT_EQ(QXCM_SETEMPROTECTION_40(1, 2, 1, 3, 500, &err), 1) << err;
    ASSERT_EQ(QXCM_SETEMPROTECTION(1, 2, 1, 3, 10, &err), 1) << err;
    EXPECT_EQ(Writes(), (Lines{"0x00200270=3", "0x00200280=1", "0x00200290=2", "0x002002A0=500",
                               "0x00200270=3", "0x00200280=1", "0x00200290=2", "0x002002A0=10"}));
    ASSERT_EQ(QXCM_GETEMPROTECTSTATUS_40(1, &status, &err), 1);
    EXPECT_EQ(status, 3);
    status = -1;
    ASSERT_EQ(QXCM_GETEMPROTECTSTATUS(1, &status, &err), 1) << err;
    EXPECT_EQ(status, 3);
    EXPECT_EQ(LogLines().back(), "0.000 QXCM_GETEMPROTECTSTATUS_40 OK status=3\n");
    float c = 0, o = 0;
    ASSERT_EQ(QXCM_SETPARAMETER_40(1, 0x00200220 + kFunctionId, 4, 0, &err), 1) << err;
    ASSERT_EQ(QXCM_GETELECTRONINFO_40(1, &c, &o, &err), 1) << err;
    EXPECT_EQ(c, 1.25f);
    EXPECT_EQ(o, 100.0f);
    EXPECT_EQ(LogLines().back(), "0.000 QXCM_GETELECTRONINFO_40 OK c=1.250000 o=100.000000\n");
}

} // namespace
