// The older family's settings against the simulated cameras: trigger tables checked against
// the device journal, output triggers and their time refusals, the sensor area and the refused
// calls.
#include <cmath>
#include <limits>

#include "legacy/legacy_test.h"

using legacytest::Legacy;
using qxtest::kInjected;

namespace {

// An older camera offering every trigger mode through the older call, with the trigger
// properties the input-trigger table writes.
const char *kTriggerCameraSet = R"(camera T-TRIGGERS
info 0x04000104 T-TRIGGERS
sensor 64 32 mono16 linetime=1e-5
capabilities legacy=0x0087FF00
prop 0x00100110 "TRIGGER SOURCE" list rw
text 1 INTERNAL
text 2 EXTERNAL
text 3 SOFTWARE
text 4 MASTER PULSE
prop 0x00100120 "TRIGGER ACTIVE" list rw
text 1 EDGE
text 2 LEVEL
text 3 SYNCREADOUT
prop 0x00100210 "TRIGGER MODE" list rw
text 1 NORMAL
text 3 DOUBLE EXPOSURE
text 6 START
prop 0x00100220 "TRIGGER POLARITY" list rw
text 1 NEGATIVE
text 2 POSITIVE
prop 0x00100260 "TRIGGER DELAY" real rw min=0 max=10 step=0.000001 default=0 unit=1
)";

TEST_F(Legacy, TriggerModesReachTheDeviceThroughParameters15To18)
{
    Open(0);
    const struct {
        int32_t mode;
        double source, active, kind;
    } table[] = {{1, 1, 1, 1},   {2, 2, 1, 1},   {4, 2, 2, 1},   {8, 1, 1, 1},
                 {16, 1, 1, 1},  {32, 3, 1, 1},  {64, 2, 1, 3},  {128, 1, 1, 1},
                 {256, 1, 1, 1}, {512, 2, 1, 6}, {1024, 2, 3, 1}};
    int32_t err = 0;
    for (const auto &row : table) {
        ASSERT_EQ(QXCM_SETTRIGGER(0, row.mode, 2, &err), 1) << row.mode << " " << err;
        EXPECT_EQ(DeviceValue(0, 0x00100110), row.source) << row.mode;
        EXPECT_EQ(DeviceValue(0, 0x00100120), row.active) << row.mode;
        EXPECT_EQ(DeviceValue(0, 0x00100210), row.kind) << row.mode;
        EXPECT_EQ(DeviceValue(0, 0x00100220), 2.0) << row.mode;
    }
    ClearJournal();
    for (int32_t mode : {0, 3, 2000, -1, INT32_MAX}) {
        err = 0;
        EXPECT_EQ(QXCM_SETTRIGGER(0, mode, 1, &err), 0);
        EXPECT_EQ(err, QXERR_INVALIDPARAM);
    }
    EXPECT_TRUE(Journal().empty());
}

TEST_F(Legacy, TriggerOnCamerasLackingParameters)
{
    Open(2); // 17 and 18 are substitutes, 15 and 16 are missing: the first write fails
    int32_t err = 0, before = Context(2).lastResult;
    EXPECT_EQ(QXCM_SETTRIGGER(2, 2, 1, &err), 0);
    EXPECT_EQ(err, before);
    EXPECT_TRUE(Journal().empty());
    TearDown();
    SetUp();
    ASSERT_EQ(VelaSim_LoadCameraSet("camera T-NONE\nsensor 64 32 mono16\n"), 1);
    Open(0);
    EXPECT_EQ(QXCM_SETTRIGGER(0, 2, 1, &err), 0);
    EXPECT_EQ(err, QXERR_NOTSUPPORT);
    EXPECT_EQ(QXCM_SETSCANMODE(0, 1, &err), 0);
    EXPECT_EQ(err, QXERR_NOTSUPPORT);
}

// After modes 128 and 256 a refused polarity is not examined; after the others it fails. The
// fault sweep holds the other refusals.
TEST_F(Legacy, InputTriggerRefusals)
{
    ASSERT_EQ(VelaSim_LoadCameraSet(kTriggerCameraSet), 1);
    Open(0);
    int32_t err = 0;
    VelaSim_FailCall("VelaSetValue", 0x00100220, 1, kInjected, 1);
    EXPECT_EQ(QXCM_SETINPUTTRIGGER(0, 128, 2, 0, 0.0f, &err), 1);
    EXPECT_EQ(QXCM_SETINPUTTRIGGER(0, 16, 2, 0, 0.0f, &err), 0);
    EXPECT_EQ(QXCM_SETINPUTTRIGGER(0, 1, 2, 0, 0.0f, &err), 0);
    EXPECT_EQ(err, kInjected);
    // Unknown modes write nothing.
    ClearJournal();
    for (int32_t mode : {0, 3, INT32_MIN})
        EXPECT_EQ(QXCM_SETINPUTTRIGGER(0, mode, 2, 99, 0.0000015f, &err), 0) << mode;
    EXPECT_TRUE(Writes().empty());
}

using OutputTrigger = int32_t (*)(uint32_t, int32_t, int32_t, double, double, uint32_t, int32_t *);
int32_t OutputTriggerA(uint32_t i, int32_t mode, int32_t polarity, double period, double delay,
                       uint32_t channel, int32_t *error)
{
    return QXCM_SETOUTPUTTRIGGER_A(i, mode, polarity, period, delay, 6, channel, error);
}

TEST_F(Legacy, OutputTriggerKindsAndTimes)
{
    Open(0);
    for (OutputTrigger call :
         {OutputTrigger(QXCM_SETOUTPUTTRIGGER), OutputTrigger(OutputTriggerA)}) {
        int32_t err = 0;
        ClearJournal();
        ASSERT_EQ(call(0, 3, 2, 0.0000015, 1.0, 2, &err), 1) << err;
        EXPECT_EQ(Writes(), (std::vector<std::string>{"0x001C0360=3", "0x001C0320=2",
                                                      "0x001C0350=1e-06", "0x001C0340=1"}));
        ClearJournal();
        ASSERT_EQ(call(0, 1, 2, 1.0, 1.0, 0, &err), 1);
        ASSERT_EQ(call(0, 2, 1, 1.0, 1.0, 0, &err), 1);
        EXPECT_EQ(Writes(),
                  (std::vector<std::string>{"0x001C0160=1", "0x001C0160=2", "0x001C0120=1"}));
        // A kind the device lacks fails on its own write; nothing follows it.
        ClearJournal();
        EXPECT_EQ(call(0, 7, 2, 1.0, 1.0, 0, &err), 0);
        EXPECT_EQ(err, VELA_ERR_OUTOFRANGE);
        EXPECT_EQ(Writes(), (std::vector<std::string>{"0x001C0160=7"}));
        // Times without a whole signed 32-bit count of microseconds are refused before any write
        // when kind 3 would write them, and ignored otherwise.
        ClearJournal();
        const double inf = std::numeric_limits<double>::infinity();
        for (double bad : {std::nan(""), inf, -inf, -1e-6, 2147.483648, 1e300}) {
            EXPECT_EQ(call(0, 3, 2, bad, 0.5, 0, &err), 0) << bad;
            EXPECT_EQ(err, QXERR_INVALIDPARAM);
            EXPECT_EQ(call(0, 3, 2, 0.5, bad, 0, &err), 0) << bad;
            EXPECT_EQ(err, QXERR_INVALIDPARAM);
        }
        EXPECT_TRUE(Journal().empty());
        EXPECT_EQ(call(0, 2, 2, std::nan(""), inf, 0, &err), 1);
    }
}

TEST_F(Legacy, AreaMatchesTheCurrentFamily)
{
    InitWithLog();
    OpenLegacy(2);
    int32_t err = 0;
    ASSERT_EQ(QXCM_SETAREA(2, 8, 16, 640, 512, &err), 1) << err;
    uint32_t h = 0, v = 0, w = 0, ht = 0;
    ASSERT_EQ(QXCM_GETAREA(2, &h, &v, &w, &ht, &err), 1);
    EXPECT_EQ(std::vector<uint32_t>({h, v, w, ht}), std::vector<uint32_t>({8, 16, 640, 512}));
    uint32_t a[16] = {};
    int32_t b[16] = {};
    ASSERT_EQ(QXCM_GETAREA_A(2, a, a + 1, a + 2, a + 3, a + 4, a + 5, a + 6, a + 7, a + 8, a + 9,
                             a + 10, a + 11, a + 12, a + 13, a + 14, a + 15, &err),
              1);
    ASSERT_EQ(QXCM_GETAREA_40(2, b, b + 1, b + 2, b + 3, b + 4, b + 5, b + 6, b + 7, b + 8, b + 9,
                              b + 10, b + 11, b + 12, b + 13, b + 14, b + 15, &err),
              1);
    for (int k = 0; k < 16; ++k)
        EXPECT_EQ(a[k], static_cast<uint32_t>(b[k])) << k;
    // Values past the sensor are the device's to refuse; the host's earlier area stays.
    EXPECT_EQ(QXCM_SETAREA(2, UINT32_MAX, UINT32_MAX, UINT32_MAX, UINT32_MAX, &err), 0);
    EXPECT_LT(err, 0);
    uint32_t untouched = 77;
    EXPECT_EQ(QXCM_GETAREA(2, &untouched, &v, &w, nullptr, &err), 0);
    EXPECT_EQ(err, QXERR_INVALIDPARAM);
    EXPECT_EQ(untouched, 77u);
}

TEST_F(Legacy, SpotNoiseReducerIsTheRefusingCoolingCall)
{
    int32_t err = 0;
    EXPECT_EQ(QXCM_SETSPOTNOISEREDUCER(12345, 1, &err), 0);
    EXPECT_EQ(err, QXERR_NOTSUPPORT);
    EXPECT_EQ(QXCM_SETSPOTNOISEREDUCER(0, 1, nullptr), 0);
}

} // namespace
