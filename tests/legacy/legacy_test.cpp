// The older family against the simulated cameras (camera 2 is the older model): its
// initialisers and its open with substitute records; its properties by name (the walk over
// device properties, list texts, direct access, refused numbers and views, the substitutes'
// writes).
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>

#include "legacy/legacy_test.h"

using legacytest::kOffset;
using legacytest::Legacy;
using qxtest::kInjected;

namespace {

// An older camera listing only mapped properties: it gets the binning substitute.
const char *kBinningCameraSet = R"(camera T-OLDBIN
info 0x04000104 T-OLDBIN
sensor 64 32 mono16 linetime=1e-5
capabilities legacy=0x0A
prop 0x001F0110 "EXPOSURE TIME" real rw min=0.00001 max=10 step=0.000001 default=0.01 unit=1
)";

// ---- Initialisers ----

enum Before { Nothing, Itself, CurrentInit, CameraOpen, NoCameras };

struct Initialiser {
    const char *name;
    std::function<int32_t(uint32_t *, int32_t *)> call;
    bool again; // initialises again while slots exist (every variant but the plain one)
};

const Initialiser kInitialisers[] = {
    {"INITIALIZE", [](uint32_t *n, int32_t *e) { return QXCM_INITIALIZE(n, e); }, false},
    {"INITIALIZE_A", [](uint32_t *n, int32_t *e) { return QXCM_INITIALIZE_A(n, 7, e); }, true},
    {"INITIALIZE_B",
     [](uint32_t *n, int32_t *e) { return QXCM_INITIALIZE_B(n, nullptr, nullptr, 7, e); }, true},
    {"INITIALIZE_C",
     [](uint32_t *n, int32_t *e) { return QXCM_INITIALIZE_C(n, nullptr, nullptr, 7, 7, e); }, true},
};

struct Expectation {
    Before before;
    bool again;
    size_t inits, uninits;
    uint32_t count;
    int32_t apiLevel;
};

// What each initialiser does after each state (the plain one only reports once slots exist).
const Expectation kInitMatrix[] = {
    {Nothing, false, 1, 0, 3, 30},     {Nothing, true, 1, 0, 3, 30},
    {Itself, false, 0, 0, 3, 30},      {Itself, true, 1, 0, 3, 30},
    {CurrentInit, false, 0, 0, 3, 30}, {CurrentInit, true, 1, 0, 3, 30},
    {CameraOpen, false, 0, 0, 3, 30},  {CameraOpen, true, 0, 0, 3, 40},
    {NoCameras, false, 1, 1, 0, 30},   {NoCameras, true, 1, 1, 0, 30},
};

TEST_F(Legacy, InitialiserMatrix)
{
    for (const Initialiser &init : kInitialisers) {
        for (const Expectation &x : kInitMatrix) {
            if (x.again != init.again)
                continue;
            SCOPED_TRACE(std::string(init.name) + " before=" + std::to_string(x.before));
            TearDown();
            SetUp();
            uint32_t count = 99;
            int32_t err = 0;
            if (x.before == NoCameras) {
                ASSERT_EQ(VelaSim_LoadCameraSet("# no cameras\n"), 0);
            }
            if (x.before == Itself) {
                ASSERT_EQ(init.call(&count, &err), 1);
            }
            if (x.before == CurrentInit || x.before == CameraOpen)
                InitWithLog();
            if (x.before == CameraOpen)
                OpenCamera(0);
            ClearJournal();
            count = 99;
            err = 12345;
            EXPECT_EQ(init.call(&count, &err), 1);
            EXPECT_EQ(err, 12345);
            EXPECT_EQ(count, x.count);
            EXPECT_EQ(Count("VelaInit"), x.inits);
            EXPECT_EQ(Count("VelaUninit"), x.uninits);
            EXPECT_EQ(qxcm::State().apiLevel, x.apiLevel);
            if (x.before == CameraOpen) { // the open camera is left alone and stays usable
                EXPECT_TRUE(qxcm::IsCameraOpen(0));
            }
        }
    }
}

// A device library that fails to start again leaves no slots behind: the count of 0 the
// initialiser reports is the count there is, and no camera of the earlier start opens.
TEST_F(Legacy, AFailedInitialisationAgainLeavesNoSlots)
{
    for (const Initialiser &init : kInitialisers) {
        if (!init.again)
            continue;
        InitLegacy();
        VelaSim_FailCall("VelaInit", 0, 1, static_cast<int32_t>(0x80000206), 0);
        uint32_t count = 7;
        int32_t err = 0;
        EXPECT_EQ(init.call(&count, &err), 0) << init.name;
        EXPECT_EQ(err, static_cast<int32_t>(0x80000206)) << init.name;
        EXPECT_EQ(count, 0u) << init.name;
        EXPECT_EQ(QXCM_OPENCAMERA(0), 0) << init.name;
    }
}

TEST_F(Legacy, VersionTextsComeFromTheLoadedDeviceLibraryAndTheLogCloses)
{
    InitWithLog();
    ASSERT_TRUE(qxcm::Log().logEnabled);
    char library[64], device[64];
    memset(device, 'x', sizeof device);
    uint32_t count = 0;
    int32_t err = 0;
    ASSERT_EQ(QXCM_INITIALIZE_B(&count, library, device, 0, &err), 1);
    EXPECT_STREQ(library, "4.4.24.225");
    EXPECT_STREQ(device, "4.2.1.7");
    EXPECT_TRUE(qxcm::Log().logEnabled);
    ASSERT_EQ(QXCM_INITIALIZE_C(&count, nullptr, nullptr, 0, 0, &err), 1);
    EXPECT_FALSE(qxcm::Log().logEnabled);
}

TEST_F(Legacy, DeinitialiseClosesCapturingCamerasBeforeReleasingTheDeviceLibrary)
{
    VelaSim_SetManualClock(1);
    InitWithLog();
    OpenCamera(0);
    Prepare(0, 1, 5);
    StartWithFrames(0, 2);
    ClearJournal();
    EXPECT_EQ(QXCM_DEINITIALIZE(), 1);
    std::vector<std::string> j = Journal();
    ASSERT_FALSE(j.empty());
    EXPECT_EQ(j.back().rfind("VelaUninit(", 0), 0u);
    EXPECT_GE(Count("VelaStopCapture"), 1u);
    EXPECT_EQ(Count("VelaReleaseBuffers"), 1u);
    EXPECT_EQ(Count("VelaClose"), 1u);
    EXPECT_EQ(qxcm::State().cameraCount, 0u);
    EXPECT_FALSE(qxcm::Log().logEnabled);
}

TEST_F(Legacy, DeinitialiseAReleasesOpenCamerasOnlyWhenForced)
{
    Open(0);
    EXPECT_EQ(QXCM_DEINITIALIZE_A(0), 1);
    EXPECT_TRUE(Journal().empty());
    double value = 0.0;
    int32_t err = 0;
    EXPECT_EQ(QXCM_GETPARAMETER(0, 7, &value, 0, &err), 1) << err;
    EXPECT_EQ(QXCM_DEINITIALIZE_A(1), 1);
    EXPECT_EQ(Count("VelaClose"), 1u);
    EXPECT_EQ(Count("VelaUninit"), 1u);
    EXPECT_EQ(qxcm::State().cameraCount, 0u);
    ClearJournal();
    EXPECT_EQ(QXCM_DEINITIALIZE_A(1), 1); // no slots: the device library is left alone
    EXPECT_TRUE(Journal().empty());
}

// ---- Opening ----

TEST_F(Legacy, OpeningAnOpenSlotNeverLosesTheEarlierDevice)
{
    Open(0);
    uint64_t first = Context(0).deviceHandle;
    int32_t err = 0;
    // The device refuses a second open of the same camera; the slot keeps working on the first.
    EXPECT_EQ(QXCM_OPENCAMERA(0), 0);
    EXPECT_EQ(QXCM_OPENCAMERA_A(0, 0, &err), 0);
    EXPECT_EQ(err, QXERR_OPEN_FAILED);
    EXPECT_EQ(Context(0).deviceHandle, first);
    double value = 0.0;
    EXPECT_EQ(QXCM_GETPARAMETER(0, 7, &value, 0, &err), 1) << err;
    // Reopening closes the earlier device first.
    ClearJournal();
    EXPECT_EQ(QXCM_OPENCAMERA_A(0, 1, &err), 1);
    ASSERT_GE(Count("VelaClose"), 1u);
    char handle[32];
    snprintf(handle, sizeof handle, "device=0x%08X", static_cast<uint32_t>(first));
    EXPECT_NE(JournalOf("VelaClose")[0].find(handle), std::string::npos);
    EXPECT_NE(Context(0).deviceHandle, first);
    EXPECT_EQ(QXCM_OPENCAMERA_A(3, 0, &err), 0);
    EXPECT_EQ(err, QXERR_OPEN_FAILED);
}

struct SubstituteRow {
    int32_t parameter;
    const char *name;
    uint32_t isList;
    double minValue, maxValue, step, defaultValue, value;
    std::vector<std::pair<std::string, double>> texts;
};

// Camera 2 lacks these device properties and offers their older counterparts.
const SubstituteRow kCamera2Substitutes[] = {
    {17, "TRIGGER MODE", 1, 1, 32, 1, 1, 1, {{"INTERNAL", 1}, {"EDGE", 2}, {"SOFTWARE", 32}}},
    {18, "TRIGGER POLARITY", 1, 0, 1, 1, 0, 0, {{"NEGATIVE", 0}, {"POSITIVE", 1}}},
    {6, "SCANMODE", 0, 1, 2, 1, 1, 1, {}},
    {9, "OFFSET", 0, 0, 255, 1, 16, 16, {}},
    {8, "GAIN", 0, 0, 24, 0.1f, 0, 0, {}},
    {7, "EXPOSURETIME", 0, 0.0001f, 10, 0.0001f, 0.02f, 0.02f, {}},
    {25, "TEMPERATURE", 0, -20, 80, 0.1f, 35, 35, {}},
    {12, "WHITEBALANCE", 0, 2500, 10000, 100, 5600, 5600, {}},
};

void ExpectSubstitute(uint32_t i, const SubstituteRow &row, const qxcm::PropertyRecord *r)
{
    SCOPED_TRACE(row.name);
    ASSERT_NE(r, nullptr);
    EXPECT_STREQ(r->name, row.name);
    uint32_t isList = 9, writable = 9;
    double mx = 0, mn = 0, st = 0, df = 0, value = -1;
    int32_t err = 0;
    ASSERT_EQ(QXCM_GETPROPERTYINFO(i, row.parameter, &isList, &mx, &mn, &st, &df, &writable, &err),
              1)
        << err;
    EXPECT_EQ(isList, row.isList);
    EXPECT_EQ((std::vector<double>{mn, mx, st, df}),
              (std::vector<double>{row.minValue, row.maxValue, row.step, row.defaultValue}));
    EXPECT_EQ(writable, 1u);
    ASSERT_EQ(QXCM_GETPARAMETER(i, row.parameter, &value, 0, &err), 1) << err;
    EXPECT_EQ(value, row.value);
    ASSERT_EQ(r->valueTextCount, static_cast<int32_t>(row.texts.size()));
    for (size_t k = 0; k < row.texts.size(); ++k) {
        EXPECT_EQ(r->valueTexts[k], row.texts[k].first);
        EXPECT_EQ(r->textValues[k], row.texts[k].second);
    }
}

TEST_F(Legacy, Camera2GetsSubstitutesWithTheirTextsLimitsAndValues)
{
    Open(2);
    for (const SubstituteRow &row : kCamera2Substitutes)
        ExpectSubstitute(2, row, RecordOf(2, row.parameter));
    // Features the camera does not answer, and binning: it lists properties outside the map.
    for (int32_t p : {1, 10, 11, 21, 26, 28}) {
        double value = 0;
        int32_t err = 0;
        EXPECT_EQ(QXCM_GETPARAMETER(2, p, &value, 0, &err), 0) << p;
        EXPECT_EQ(err, QXERR_INVALIDPARAM) << p;
    }
}

// The older open also takes the configured reference-capture time limit.
TEST_F(Legacy, Cameras0And1GetNoSubstituteForWhatTheyListAndTheConfiguredTimeLimit)
{
    qxcm::Os().readCalibrationTimeout = [](int32_t *v) {
        *v = 9000;
        return true;
    };
    InitLegacy();
    for (uint32_t i : {0u, 1u}) {
        OpenLegacy(i);
        EXPECT_EQ(Context(i).calibrationTimeout, 9000u);
        for (int32_t r = 0; r < Context(i).propertyCount; ++r)
            EXPECT_EQ(Context(i).properties[r].kind, 2u)
                << i << " " << Context(i).properties[r].name;
        // Parameter 17 names the device's own trigger mode.
        ASSERT_NE(RecordOf(i, 17), nullptr);
        EXPECT_STREQ(RecordOf(i, 17)->name, "TRIGGER MODE");
        EXPECT_EQ(RecordOf(i, 17)->propertyId, 0x00100210u);
    }
}

TEST_F(Legacy, BinningSubstituteOfAnOlderCameraChangesTheFrameSize)
{
    ASSERT_EQ(VelaSim_LoadCameraSet(kBinningCameraSet), 1);
    Open(0);
    ExpectSubstitute(0, {1, "BINNING", 1, 1, 8, 1, 1, 1, {{"1x1", 1}, {"2x2", 2}, {"8x8", 8}}},
                     RecordOf(0, 1));
    int32_t err = 0, size[2] = {};
    ASSERT_EQ(QXCM_SETPARAMETER(0, 1, 2.0, 0, &err), 1) << err;
    ASSERT_EQ(VelaGetDataSize(Context(0).deviceHandle, size), 1);
    EXPECT_EQ(size[0], 32);
    EXPECT_EQ(size[1], 16);
    EXPECT_EQ(QXCM_SETPARAMETER(0, 1, 4.0, 0, &err), 0); // not offered
    EXPECT_EQ(err, VELA_ERR_NOTSUPPORT);
}

TEST_F(Legacy, RecordsStopAtTheTablesCapacity)
{
    // 140 unmapped properties, then a mapped one past the 128 records.
    std::string set = "camera T-MANY\nsensor 64 32 mono16\n";
    char line[96];
    for (int k = 0; k < 140; ++k) {
        snprintf(line, sizeof line, "prop 0x%08X \"P%d\" long rw min=0 max=9 step=1\n",
                 0x00310000 + 16 * k, k);
        set += line;
    }
    set += "prop 0x00403010 \"FRAME OVERHEAD TIME\" real r min=0 max=1 step=0.000001\n";
    ASSERT_EQ(VelaSim_LoadCameraSet(set.c_str()), 1);
    Open(0);
    EXPECT_EQ(Context(0).propertyCount, qxcm::kMaxProperties);
    double value = 0;
    int32_t err = 0;
    EXPECT_EQ(QXCM_GETPARAMETER(0, 38, &value, 0, &err), 0);
    EXPECT_EQ(err, QXERR_INVALIDPARAM);
    // The walk lists every device property, the table's capacity notwithstanding.
    int32_t number = kOffset, walked = 0;
    char name[64];
    while (walked < 200 && QXCM_GETNEXTPROPERTY(0, name, &number, &err))
        ++walked;
    EXPECT_EQ(walked, 141);
}

TEST_F(Legacy, PropertyWalkListsEachDevicePropertyOnceAndEnds)
{
    Open(2);
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
    Open(2);
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
    Open(0);
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
    Open(0);
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
    Open(0);
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
    Open(2);
    int32_t err = 0;
    for (int32_t p : {17, 18, 6, 8, 9})
        EXPECT_EQ(QXCM_SETPARAMETER(2, p, RecordOf(2, p)->cachedValue[0], 0, &err), 1) << p;
    EXPECT_TRUE(Journal().empty());
    // A new value goes to the device and is read back through the older calls.
    ASSERT_EQ(QXCM_SETPARAMETER(2, 18, 1.0, 0, &err), 1) << err;
    ASSERT_EQ(QXCM_SETPARAMETER(2, 17, 32.0, 0, &err), 1) << err;
    ASSERT_EQ(QXCM_SETSCANMODE(2, 2, &err), 1) << err;
    ASSERT_EQ(QXCM_SETPARAMETER(2, 7, 0.5, 0, &err), 1) << err;
    double value = 0;
    for (auto [p, expected] : {std::pair{18, 1.0}, {17, 32.0}, {6, 2.0}, {7, 0.5}}) {
        ASSERT_EQ(QXCM_GETPARAMETER(2, p, &value, 0, &err), 1) << err;
        EXPECT_FLOAT_EQ(static_cast<float>(value), static_cast<float>(expected)) << p;
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
