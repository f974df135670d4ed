// The older family's properties by name: the walk over device properties, list texts, direct
// access, refused numbers and views, and the substitutes' writes.
#include <cmath>
#include <cstring>

#include "legacy_test.h"
#include "velaapi/vela_api.h"
#include "velaapi/vela_sim.h"

using legacytest::kOffset;
using legacytest::Legacy;

namespace {

TEST_F(Legacy, PropertyWalkListsEachDevicePropertyOnceAndEnds)
{
    InitLegacy();
    OpenLegacy(2);
    const uint32_t listed[] = {0x00402110, 0x00402120, 0x00402130, 0x00402140, 0x00402150,
                               0x00403010, 0x00420210, 0x00420220, 0x00420230, 0x00420240};
    int32_t number = kOffset, err = 0;
    char name[64];
    for (uint32_t id : listed) {
        ASSERT_EQ(QXCM_GETNEXTPROPERTY(2, name, &number, &err), 1) << err;
        EXPECT_EQ(number, static_cast<int32_t>(id) + kOffset);
    }
    EXPECT_STREQ(name, "IMAGE FRAME SIZE IN 8-BYTE UNITS");
    strcpy(name, "kept");
    EXPECT_EQ(QXCM_GETNEXTPROPERTY(2, name, &number, &err), 0);
    EXPECT_LT(err, 0);
    EXPECT_STREQ(name, "kept");
    EXPECT_EQ(number, 0x00420240 + kOffset);
}

TEST_F(Legacy, PropertyTextWalksAListToItsEnd)
{
    InitLegacy();
    OpenLegacy(2);
    // The next value after the last text is 0.
    auto walk = [&](int32_t number, double first) {
        std::vector<std::string> texts;
        char text[32];
        double value = first, next = 0.0;
        int32_t err = 0;
        while (texts.size() < 10 && QXCM_GETPROPERTYTEXT(2, number, text, value, &next, &err)) {
            texts.push_back(text);
            if (next == 0.0)
                break;
            value = next;
        }
        return texts;
    };
    EXPECT_EQ(walk(17, 1), (std::vector<std::string>{"INTERNAL", "EDGE", "SOFTWARE"}));
    EXPECT_EQ(walk(18, 0), (std::vector<std::string>{"NEGATIVE", "POSITIVE"}));
    EXPECT_EQ(walk(0x00402150 + kOffset, 1), (std::vector<std::string>{"OFF", "ON"}));
    EXPECT_TRUE(walk(17, 0).empty());   // no text carries 0
    EXPECT_TRUE(walk(7, 0.02).empty()); // a feature has no texts
}

TEST_F(Legacy, DevicePropertyInfoAndDirectAccess)
{
    InitLegacy();
    OpenLegacy(0);
    uint32_t isList = 9, writable = 9;
    double mx = 0, mn = 0, st = 0, df = 0;
    int32_t err = 0;
    ASSERT_EQ(QXCM_GETPROPERTYINFO(0, 7, &isList, &mx, &mn, &st, &df, &writable, &err), 1);
    EXPECT_EQ(isList, 0u);
    EXPECT_EQ(writable, 0x20000u);
    EXPECT_EQ((std::vector<double>{mn, mx}), (std::vector<double>{0.00001, 10.0}));
    ASSERT_EQ(
        QXCM_GETPROPERTYINFO(0, 0x00403010 + kOffset, &isList, &mx, &mn, &st, &df, &writable, &err),
        1);
    EXPECT_EQ(writable, 0u);
    ASSERT_EQ(QXCM_SETPROPERTYVALUE(0, 0x001F0110, 0.25f, &err), 1) << err;
    float value = 0;
    ASSERT_EQ(QXCM_GETPROPERTYVALUE(0, 0x001F0110, &value, &err), 1) << err;
    EXPECT_EQ(value, 0.25f);
    EXPECT_EQ(QXCM_SETPROPERTYVALUE(0, 0x001F0110, 1e30f, &err), 0);
    EXPECT_EQ(err, VELA_ERR_OUTOFRANGE);
    value = 7;
    EXPECT_EQ(QXCM_GETPROPERTYVALUE(0, 0x00ABCDE0, &value, &err), 0);
    EXPECT_EQ(value, 7.0f);
}

struct LookupRow {
    int32_t number;
    uint32_t view;
    int32_t error; // 0: the camera's lastResult
};

// Refused numbers and views; none of them reaches the device.
// clang-format off
const LookupRow kRefusals[] = {
    {-1, 0, QXERR_INVALIDPARAM}, {INT32_MIN, 0, QXERR_INVALIDPARAM}, {0, 0, QXERR_INVALIDPARAM},
    {39, 0, QXERR_INVALIDPARAM}, {100, 0, QXERR_INVALIDPARAM}, {127, 0, QXERR_INVALIDPARAM},
    {kOffset + 0x00ABCDE0, 0, 0}, {INT32_MAX, 0, 0}, {7, 4, QXERR_INVALIDVIEW},
    {7, UINT32_MAX, QXERR_INVALIDVIEW}, {0x00402110 + kOffset, 4, QXERR_INVALIDVIEW},
};
// clang-format on

TEST_F(Legacy, RefusedNumbersAndViewsMakeNoDeviceCall)
{
    InitLegacy();
    OpenLegacy(0);
    for (const LookupRow &row : kRefusals) {
        SCOPED_TRACE(std::to_string(row.number) + " view " + std::to_string(row.view));
        int32_t expected = row.error ? row.error : Context(0).lastResult;
        double value = 42.0;
        int32_t err = 0;
        EXPECT_EQ(QXCM_GETPARAMETER(0, row.number, &value, row.view, &err), 0);
        EXPECT_EQ(err, expected);
        EXPECT_EQ(value, 42.0);
        err = 0;
        EXPECT_EQ(QXCM_SETPARAMETER(0, row.number, 1.0, row.view, &err), 0);
        EXPECT_EQ(err, expected);
        EXPECT_TRUE(Journal().empty());
    }
}

TEST_F(Legacy, RangeNeverAnswers)
{
    InitLegacy();
    OpenLegacy(0);
    const struct {
        int32_t number, error;
    } rows[] = {{7, QXERR_INVALIDPARAM},         {128, QXERR_INVALIDPARAM},
                {INT32_MAX, QXERR_INVALIDPARAM}, {2, QXERR_NOTSUPPORT},
                {-1, QXERR_NOTSUPPORT},          {127, QXERR_NOTSUPPORT},
                {INT32_MIN, QXERR_NOTSUPPORT}};
    for (const auto &row : rows) {
        double a = 1, b = 2, c = 3;
        int32_t err = 0;
        EXPECT_EQ(QXCM_GETRANGE(0, row.number, &a, &b, &c, &err), 0);
        EXPECT_EQ(err, row.error) << row.number;
        EXPECT_EQ(a + b + c, 6.0);
    }
    EXPECT_TRUE(Journal().empty());
}

TEST_F(Legacy, SubstitutesWrittenWithTheirCachedValueMakeNoDeviceCall)
{
    InitLegacy();
    OpenLegacy(2);
    int32_t err = 0;
    for (int32_t p : {17, 18, 6, 8, 9})
        EXPECT_EQ(QXCM_SETPARAMETER(2, p, RecordOf(2, p)->cachedValue[0], 0, &err), 1) << p;
    EXPECT_TRUE(Journal().empty());
    // A new value goes to the device and is read back through the older calls.
    ASSERT_EQ(QXCM_SETPARAMETER(2, 18, 1.0, 0, &err), 1) << err;
    ASSERT_EQ(QXCM_SETPARAMETER(2, 17, 32.0, 0, &err), 1) << err;
    ASSERT_EQ(QXCM_SETSCANMODE(2, 2, &err), 1) << err;
    double value = 0;
    for (auto [p, expected] : {std::pair{18, 1.0}, {17, 32.0}, {6, 2.0}}) {
        ASSERT_EQ(QXCM_GETPARAMETER(2, p, &value, 0, &err), 1) << err;
        EXPECT_EQ(value, expected) << p;
    }
    // Values no setting can take reach the device as a saturated integer and are refused.
    for (double v : {std::nan(""), 1e300, -1e300, 2147483648.5, -0.5}) {
        EXPECT_EQ(QXCM_SETPARAMETER(2, 17, v, 0, &err), 0) << v;
        EXPECT_EQ(RecordOf(2, 17)->cachedValue[0], 32.0);
    }
    // A feature value beyond single precision reaches the device as an infinity it refuses.
    for (double v : {1e300, -1e300, std::nan("")}) {
        EXPECT_EQ(QXCM_SETPARAMETER(2, 8, v, 0, &err), 0) << v;
        EXPECT_LT(err, 0);
    }
}

} // namespace
