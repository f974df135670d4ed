// Parameter access and discovery against the simulated cameras: the cache, the sweep of
// updated properties, per-view ids, enumeration, limits and list texts, and the refusals.
#include <climits>
#include <cstring>

#include "core/device.h"
#include "settings/properties.h"
#include "support/qx_test.h"
#include "velaapi/vela_sim.h"

using qxtest::LibraryTest;

namespace {

constexpr int32_t kLostFrame = static_cast<int32_t>(0x80000301);
constexpr int32_t kExposure = 7, kTriggerSource = 15, kBinning = 1;

int32_t FunctionId(uint32_t propertyId)
{
    return static_cast<int32_t>(propertyId) + 0x4390;
}

class Parameters : public LibraryTest {
  protected:
    void SetUp() override
    {
        LibraryTest::SetUp();
        InitWithLog();
        int32_t err = 0;
        ASSERT_EQ(QXCM_OPENCAMERA_40(0, 0, &err), 1);
        ClearJournal();
    }
};

// A value equal to the cache is not written but still sweeps; a failed write keeps the cache,
// so the same value is tried again.
TEST_F(Parameters, TheCacheSkipsOnlyWritesThatSucceeded)
{
    int32_t err = 0;
    ASSERT_EQ(QXCM_SETPARAMETER_40(0, kExposure, 0.02, 0, &err), 1);
    EXPECT_EQ(JournalOf("VelaSetValue").size(), 1u);
    ClearJournal();
    ASSERT_EQ(QXCM_SETPARAMETER_40(0, kExposure, 0.02, 3, &err), 1) << "the view is ignored";
    EXPECT_TRUE(JournalOf("VelaSetValue").empty());
    EXPECT_FALSE(JournalOf("VelaGetNextPropertyId").empty());
    double value = 0.0;
    ASSERT_EQ(QXCM_GETPARAMETER_40(0, kExposure, &value, 2, &err), 1);
    EXPECT_DOUBLE_EQ(value, 0.02);
    EXPECT_EQ(LogLines().back(), "0.000 QXCM_GETPARAMETER_40 OK value=0.020000\n");

    ClearJournal();
    VelaSim_FailCall("VelaSetValue", 0, 1, kLostFrame, 0);
    EXPECT_EQ(QXCM_SETPARAMETER_40(0, kExposure, 0.5, 0, &err), 0);
    EXPECT_EQ(err, kLostFrame);
    EXPECT_EQ(LogLines().back(), "0.000 QXCM_SETPARAMETER_40 NG ERR=-2147482879 \n");
    ClearJournal();
    EXPECT_EQ(QXCM_SETPARAMETER_40(0, kExposure, 0.5, 0, &err), 1);
    EXPECT_EQ(JournalOf("VelaSetValue").size(), 1u);
}

TEST_F(Parameters, WritesRefreshTheRecordsTheDeviceReportsChanged)
{
    qxcm::CameraContext &c = Context(0);
    int32_t width = qxcm::FindParameterRecord(c, FunctionId(0x00420210));
    ASSERT_GE(width, 0);
    EXPECT_EQ(c.properties[width].cachedValue[0], 2048.0);
    int32_t err = 0;
    ASSERT_EQ(QXCM_SETPARAMETER_40(0, kBinning, 2.0, 0, &err), 1);
    EXPECT_EQ(c.properties[width].cachedValue[0], 1024.0);
}

TEST_F(Parameters, NumbersWithoutARecordAreRefused)
{
    int32_t err = 0;
    size_t lines = LogLines().size();
    for (int32_t p : {-1, -100, 0, 2, 99, 100, 127}) {
        err = 0;
        EXPECT_EQ(QXCM_SETPARAMETER_40(0, p, 1.0, 0, &err), 0) << p;
        EXPECT_EQ(err, QXERR_INVALIDPARAM) << p;
        double v = 0;
        EXPECT_EQ(QXCM_GETPARAMETER_40(0, p, &v, 0, &err), 0) << p;
        EXPECT_EQ(err, QXERR_INVALIDPARAM) << p;
        lines += 2; // entry lines only
    }
    EXPECT_EQ(LogLines().size(), lines);
    EXPECT_TRUE(Journal().empty());

    // A function id without a record reports the camera's previous code, with a result line,
    // even when a stale record of that id lies just past the table's end; so does the frame rate,
    // which no device answers, leaving the host's variable alone.
    Context(0).properties[Context(0).propertyCount].propertyId = 0x00420250;
    Context(0).lastResult = 1;
    double rate = 7.0;
    EXPECT_EQ(QXCM_GETFRAMESPERSECOND_40(0, &rate, &err), 0);
    EXPECT_EQ(err, 1);
    EXPECT_EQ(rate, 7.0);
    EXPECT_EQ(QXCM_SETPARAMETER_40(0, 128, 1.0, 0, &err), 0);
    EXPECT_EQ(err, 1);
    EXPECT_EQ(QXCM_SETPARAMETER_40(0, FunctionId(0x00420250), 1.0, 0, &err), 0);
    EXPECT_EQ(err, 1);
    EXPECT_EQ(LogLines().back(), "0.000 QXCM_SETPARAMETER_40 NG ERR=1 \n");
    EXPECT_TRUE(Journal().empty());
}

// Camera 0 with one property that holds a value per view.
const char *kViewCamera = R"(camera T-VIEWS
info 0x04000104 T-VIEWS
sensor 64 32 mono16 range=65535 linetime=1e-5 views=2
prop 0x001F0110 "EXPOSURE TIME" real rw min=0.00001 max=10 step=0.000001 default=0.01 unit=1
prop 0x00400220 "VIEW GAIN" long rwv min=0 max=100 step=1 default=1
prop 0x004201C0 "NUMBER OF VIEWS" long r min=1 max=2 default=2
)";

TEST_F(Parameters, PerViewValuesUseTheirOwnIdsAndCacheSlots)
{
    QXCM_DEINITIALIZE_40(1);
    ASSERT_EQ(VelaSim_LoadCameraSet(kViewCamera), 1);
    InitWithLog();
    int32_t err = 0;
    ASSERT_EQ(QXCM_OPENCAMERA_40(0, 0, &err), 1);
    int32_t gain = FunctionId(0x00400220);
    ClearJournal();
    ASSERT_EQ(QXCM_SETPARAMETER_40(0, gain, 7.0, 2, &err), 1);
    ASSERT_EQ(JournalOf("VelaSetValue").size(), 1u);
    EXPECT_NE(JournalOf("VelaSetValue")[0].find("0x02400220"), std::string::npos);
    int32_t r = qxcm::FindParameterRecord(Context(0), gain);
    EXPECT_EQ(Context(0).properties[r].cachedValue[2], 7.0);

    // A view outside 0 to 3 is refused before any device call.
    ClearJournal();
    for (int32_t view : {4, -1, 255}) {
        double v = 0;
        EXPECT_EQ(QXCM_SETPARAMETER_40(0, gain, 1.0, view, &err), 0);
        EXPECT_EQ(err, QXERR_INVALIDVIEW);
        EXPECT_EQ(QXCM_GETPARAMETER_40(0, gain, &v, view, &err), 0);
        EXPECT_EQ(err, QXERR_INVALIDVIEW);
    }
    EXPECT_TRUE(Journal().empty());

    // A never-touched view slot holds 0.0, so writing 0.0 there is no device write.
    ASSERT_EQ(QXCM_SETPARAMETER_40(0, gain, 0.0, 3, &err), 1);
    EXPECT_TRUE(JournalOf("VelaSetValue").empty());

    int32_t list = 0, writable = 0, views = 0;
    double mx, mn, st, df;
    VelaSim_SetProperty(0, 0x004201C0, 2.0);
    ASSERT_EQ(
        QXCM_GETPARAMETERLIMITS_41(0, gain, &list, &mx, &mn, &st, &df, &writable, &views, &err), 1);
    EXPECT_EQ(views, 2);
    ASSERT_EQ(QXCM_GETPARAMETERLIMITS_41(0, kExposure, &list, &mx, &mn, &st, &df, &writable, &views,
                                         &err),
              1);
    EXPECT_EQ(views, 1) << "a common property has one view whatever the camera has";
}

// A camera opened again has per-view values the library has not seen: a write of the value
// an earlier opening cached still reaches the device.
TEST_F(Parameters, OpeningAgainForgetsThePerViewValuesOfTheEarlierOpening)
{
    QXCM_DEINITIALIZE_40(1);
    ASSERT_EQ(VelaSim_LoadCameraSet(kViewCamera), 1);
    InitWithLog();
    int32_t err = 0, gain = FunctionId(0x00400220);
    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(QXCM_OPENCAMERA_40(0, 0, &err), 1);
        ClearJournal();
        ASSERT_EQ(QXCM_SETPARAMETER_40(0, gain, 7.0, 2, &err), 1);
        EXPECT_EQ(JournalOf("VelaSetValue").size(), 1u) << round;
        ASSERT_EQ(QXCM_CLOSECAMERA_40(0, &err), 1);
    }
}

// Every number outside -1 .. count - 2 ends the enumeration: the camera's lastResult and
// nothing written, however close to the ends of the integer range it lies.
TEST_F(Parameters, EnumerationEndsAtEveryBoundaryWithoutWriting)
{
    const int32_t count = Context(0).propertyCount;
    const struct {
        int32_t passed;
        int32_t next; // -1: the enumeration ends
    } rows[] = {{INT32_MAX, -1},
                {INT32_MIN, -1},
                {INT32_MIN + 1, -1},
                {-2, -1},
                {-1, 0},
                {0, 1},
                {count - 2, count - 1},
                {count - 1, -1},
                {count, -1},
                {FunctionId(0x00420210), -1}};
    for (const auto &row : rows) {
        char name[64];
        memset(name, 'x', sizeof name);
        int32_t number = row.passed, id = -5, err = 0;
        const int32_t ok = QXCM_GETNEXTPARAMETER_40(0, name, &number, &id, 0, &err);
        if (row.next < 0) {
            EXPECT_EQ(ok, 0) << row.passed;
            EXPECT_EQ(err, Context(0).lastResult) << row.passed;
            EXPECT_EQ(number, row.passed);
            EXPECT_EQ(id, -5);
            EXPECT_EQ(name[0], 'x');
        } else {
            EXPECT_EQ(ok, 1) << row.passed;
            EXPECT_EQ(number, row.next);
            EXPECT_EQ(id, FunctionId(Context(0).properties[row.next].propertyId));
            EXPECT_STREQ(name, Context(0).properties[row.next].name);
            EXPECT_EQ(LogLines().back(),
                      "0.000 QXCM_GETNEXTPARAMETER_40 OK func_num=" + std::to_string(number) +
                          " func_id=" + std::to_string(id) + " name=" + name + "\n");
        }
    }
}

TEST_F(Parameters, LimitsComeFreshFromTheDevice)
{
    int32_t list = -1, writable = -1, err = 0;
    double mx = 0, mn = 0, st = 0, df = 0;
    ASSERT_EQ(QXCM_GETPARAMETERLIMITS_40(0, FunctionId(0x00200310), &list, &mx, &mn, &st, &df,
                                         &writable, &err),
              1);
    EXPECT_EQ(writable, 0) << "read-only";
    ASSERT_EQ(
        QXCM_GETPARAMETERLIMITS_40(0, kTriggerSource, &list, &mx, &mn, &st, &df, &writable, &err),
        1);
    EXPECT_EQ(list, 1);
    EXPECT_EQ(LogLines().back(), "0.000 QXCM_GETPARAMETERLIMITS_40 OK max=4.000000 min=1.000000 "
                                 "step=1.000000 def=1.000000 write=131072\n");

    // The image width's limits follow a binning change made since the open.
    int32_t width = FunctionId(0x00420210);
    ASSERT_EQ(QXCM_SETPARAMETER_40(0, kBinning, 4.0, 0, &err), 1);
    VelaSim_SetProperty(0, 0x00401110, 1.0); // changed behind the library's back
    ASSERT_EQ(QXCM_GETPARAMETERLIMITS_40(0, width, &list, &mx, &mn, &st, &df, &writable, &err), 1);
    EXPECT_EQ(mx, 2048.0);
}

TEST_F(Parameters, ListTextsAndTheNextValue)
{
    char text[32];
    double next = -1;
    int32_t err = 0;
    ASSERT_EQ(QXCM_GETPARAMETERTEXT_40(0, kTriggerSource, text, 1.0, &next, &err), 1);
    EXPECT_STREQ(text, "INTERNAL");
    EXPECT_EQ(next, 2.0);
    ASSERT_EQ(QXCM_GETPARAMETERTEXT_40(0, kTriggerSource, text, 4.0, &next, &err), 1);
    EXPECT_STREQ(text, "MASTER PULSE");
    EXPECT_EQ(next, 0.0) << "after the last value";
    EXPECT_EQ(LogLines().back(), "0.000 QXCM_GETPARAMETERTEXT_40 OK name=MASTER PULSE\n");
    ASSERT_EQ(QXCM_GETVALUETEXT_40(0, kTriggerSource, text, 3.0, &err), 1);
    EXPECT_STREQ(text, "SOFTWARE");
    strcpy(text, "untouched");
    EXPECT_EQ(QXCM_GETVALUETEXT_40(0, kTriggerSource, text, 2.5, &err), 0);
    EXPECT_STREQ(text, "untouched");
    EXPECT_EQ(QXCM_GETVALUETEXT_40(0, kExposure, text, 0.01, &err), 0) << "not a list";
}

TEST_F(Parameters, AListLongerThanTheRecordKeepsItsFirst64Values)
{
    qxcm::CameraContext &c = Context(0);
    int32_t r = c.parameterMap[kTriggerSource];
    qxcm::DeviceApi saved = qxcm::Device();
    // A device whose list runs on past what a record can hold: 100 values.
    qxcm::Device().VelaGetValueText = [](uint64_t, VelaValueTextRecord *t) {
        snprintf(t->text, size_t(t->capacity), "VALUE %d", int(t->value));
        return 1;
    };
    qxcm::Device().VelaQueryValue = [](uint64_t, uint32_t, double *v, uint32_t) {
        return int32_t(++*v <= 100.0);
    };
    qxcm::Device().VelaGetPropertyAttr = [](uint64_t, VelaAttrRecord *a) {
        a->attributes = VELA_ATTR_TYPE_LIST | VELA_ATTR_WRITABLE;
        a->minValue = a->stepValue = 1.0;
        a->maxValue = 100.0;
        return 1;
    };
    bool refreshed = qxcm::RefreshPropertyRecord(c, r);
    qxcm::Device() = saved;
    ASSERT_TRUE(refreshed);
    EXPECT_EQ(c.properties[r].valueTextCount, 64);
    EXPECT_STREQ(c.properties[r].valueTexts[63], "VALUE 64");
}

} // namespace
