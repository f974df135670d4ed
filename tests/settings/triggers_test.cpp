// Triggers through the exports: what each mode writes and in which order, which failures end a
// call, the microsecond cut of output times, one frame per software trigger.
#include <cmath>

#include "support/qx_test.h"
#include "velaapi/vela_api.h"
#include "velaapi/vela_sim.h"

using Lines = std::vector<std::string>;
using qxtest::kInjected;

namespace {

class Triggers : public qxtest::LibraryTest {
  protected:
    void SetUp() override
    {
        LibraryTest::SetUp();
        VelaSim_SetManualClock(1);
        InitWithLog();
    }
};

TEST_F(Triggers, EachInputModeWritesItsSettingsThenThePolarity)
{
    struct Case {
        int32_t mode;
        Lines writes;
    };
    // source, active, mode (or the older call), the delay where the mode takes one, polarity
    const Case cases[] = {
        {1, {"0x00100110=1", "0x00100120=1", "0x00100210=1", "0x00100220=2"}},
        {2, {"0x00100110=2", "0x00100120=1", "0x00100210=1", "0x00100260=0.5", "0x00100220=2"}},
        {4, {"0x00100110=2", "0x00100120=2", "0x00100210=1", "0x00100220=2"}},
        {8, {"mode(8)", "0x00100260=0.5", "0x00100220=2"}},
        {16, {"mode(16)", "0x00100260=0.5", "0x00100220=2"}},
        {32, {"0x00100110=3", "0x00100120=1", "0x00100210=1", "0x00100220=2"}},
        {64, {"0x00100110=2", "0x00100120=1", "0x00100210=3", "0x00100220=2"}},
        {256, {"0x00100110=1", "0x00100120=1", "0x00100210=3", "0x00100220=2"}},
        {512, {"0x00100110=2", "0x00100120=1", "0x00100210=6", "0x00100220=2"}},
        {1024, {"0x00100110=2", "0x00100120=3", "0x00100210=1", "0x00100220=2"}},
        {2000, {"0x00100110=4", "0x00100120=1", "0x00100210=1", "0x00100260=0.5", "0x00100220=2"}},
    };
    OpenCamera(0);
    for (const Case &k : cases) {
        ClearJournal();
        int32_t err = 0;
        EXPECT_EQ(QXCM_SETINPUTTRIGGER_40(0, k.mode, 2, 7, 0.5, &err), 1) << k.mode << " " << err;
        EXPECT_EQ(Writes(), k.writes) << "mode " << k.mode;
    }
    EXPECT_EQ(LogLines().back(), "0.000 QXCM_SETINPUTTRIGGER_40 OK\n");
}

TEST_F(Triggers, InputModeFailuresEndTheCallWithTheirCause)
{
    OpenCamera(0);
    int32_t err = 0;
    Context(0).lastResult = 33;
    for (int32_t mode : {0, 3, 2001, INT32_MIN, INT32_MAX}) {
        EXPECT_EQ(QXCM_SETINPUTTRIGGER_40(0, mode, 1, 0, 0.0, &err), 0) << mode;
        EXPECT_EQ(err, 33) << "an unknown mode reports the camera's latest code";
    }
    EXPECT_TRUE(Journal().empty());

    // The camera does not offer the older mode 128: its own code, not a stale one.
    EXPECT_EQ(QXCM_SETINPUTTRIGGER_40(0, 128, 1, 0, 0.0, &err), 0);
    EXPECT_EQ(err, static_cast<int32_t>(VELA_ERR_NOTSUPPORT));
    EXPECT_EQ(Writes(), Lines{"mode(128)"});

    // The polarity counts only for 8 and 16; the fault sweep holds the other refusals.
    VelaSim_FailCall("VelaSetValue", 0x00100220, 1, kInjected, 0);
    EXPECT_EQ(QXCM_SETINPUTTRIGGER_40(0, 1, 1, 0, 0.0, &err), 1);
    VelaSim_FailCall("VelaSetValue", 0x00100220, 1, kInjected, 0);
    EXPECT_EQ(QXCM_SETINPUTTRIGGER_40(0, 8, 1, 0, 0.0, &err), 0);
    EXPECT_EQ(err, kInjected);
}

TEST_F(Triggers, SingleSettingsWriteTheirExtrasOnlyWhereTheyApply)
{
    OpenCamera(0);
    int32_t err = 0;
    ASSERT_EQ(QXCM_INPUTTRIGGERSOURCE_40(0, 1, 2, 0.25, &err), 1);
    ASSERT_EQ(QXCM_INPUTTRIGGERACTIVE_40(0, 2, 9, &err), 1);
    EXPECT_EQ(Writes(), (Lines{"0x00100110=1", "0x00100120=2"}));
    ClearJournal();
    // The extras' results are not examined.
    VelaSim_FailCall("VelaSetValue", 0x00100220, 1, kInjected, 0);
    ASSERT_EQ(QXCM_INPUTTRIGGERSOURCE_40(0, 2, 2, 0.25, &err), 1);
    ASSERT_EQ(QXCM_INPUTTRIGGERACTIVE_40(0, 3, 9, &err), 1);
    ASSERT_EQ(QXCM_INPUTTRIGGERADVANCE_40(0, 6, &err), 1);
    EXPECT_EQ(Writes(), (Lines{"0x00100110=2", "0x00100220=2", "0x00100260=0.25", "0x00100120=3",
                               "0x00100240=9", "0x00100210=6"}));
    EXPECT_EQ(QXCM_INPUTTRIGGERADVANCE_40(0, 2, &err), 0);
    EXPECT_EQ(err, static_cast<int32_t>(VELA_ERR_INVALIDVALUE));
}

TEST_F(Triggers, OutputTriggersAddressTheirChannelInWholeMicroseconds)
{
    OpenCamera(0);
    int32_t err = 0;
    ASSERT_EQ(QXCM_SETOUTPUTTRIGGER_40(0, 3, 2, 0.0000015, 0.000003, 6, 2, &err), 1) << err;
    EXPECT_EQ(Writes(), (Lines{"0x001C0360=3", "0x001C0320=2", "0x001C0310=6", "0x001C0350=1e-06",
                               "0x001C0340=3e-06"}));
    EXPECT_EQ(LogLines().back(), "0.000 QXCM_SETOUTPUTTRIGGER_40 OK \n");
    ClearJournal();
    ASSERT_EQ(QXCM_SETOUTPUTTRIGGER_40(0, 2, 1, 0, 0, 0, 0, &err), 1);
    // Times a kind without them never writes are not looked at.
    ASSERT_EQ(QXCM_SETOUTPUTTRIGGER_40(0, 1, 1, std::nan(""), -1, 0, 1, &err), 1);
    EXPECT_EQ(Writes(), (Lines{"0x001C0160=2", "0x001C0120=1", "0x001C0260=1"}));

    // Times without a whole count of microseconds in 32 bits are refused before any write.
    ClearJournal();
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (double bad : {nan, inf, -inf, -0.000001, 2147.483648, 1e300}) {
        err = 0;
        EXPECT_EQ(QXCM_SETOUTPUTTRIGGER_40(0, 3, 1, bad, 0.0, 2, 0, &err), 0) << bad;
        EXPECT_EQ(err, QXERR_INVALIDPARAM) << bad;
        EXPECT_EQ(QXCM_SETOUTPUTTRIGGER_40(0, 3, 1, 0.001, bad, 2, 0, &err), 0) << bad;
        EXPECT_EQ(err, QXERR_INVALIDPARAM) << bad;
    }
    EXPECT_TRUE(Journal().empty());
    // The largest time that fits reaches the device, which refuses it as out of range.
    EXPECT_EQ(QXCM_SETOUTPUTTRIGGER_40(0, 3, 1, 2147.483647, 0.0, 2, 0, &err), 0);
    EXPECT_EQ(err, static_cast<int32_t>(VELA_ERR_OUTOFRANGE));
    EXPECT_EQ(Writes().back(), "0x001C0150=2147.48");
}

using TriggeredCapture = qxtest::LibraryTest;

// Under the free clock, with software triggers as the source: no frame until a trigger, then
// one frame per trigger.
TEST_F(TriggeredCapture, EachSoftwareTriggerGivesOneFrame)
{
    InitWithLog();
    OpenCamera(1);
    int32_t err = 0, index = 0, count = 0;
    ASSERT_EQ(QXCM_INPUTTRIGGERSOURCE_40(1, 3, 1, 0.0, &err), 1) << err;
    Prepare(1, 1, 5);
    ASSERT_EQ(QXCM_STARTCAPTURE_40(1, &err), 1) << err;
    EXPECT_EQ(QXCM_WAITNEXTFRAME_40(1, 100, &index, &count, &err), 0);
    EXPECT_EQ(err, QXERR_TIMEOUT);
    for (int32_t k = 1; k <= 3; ++k) {
        ASSERT_EQ(QXCM_FIRETRIGGER_40(1, &err), 1) << err;
        ASSERT_EQ(QXCM_WAITNEXTFRAME_40(1, 10000, &index, &count, &err), 1) << err;
        EXPECT_EQ(count, k);
    }
    EXPECT_EQ(QXCM_WAITNEXTFRAME_40(1, 100, &index, &count, &err), 0);
    EXPECT_EQ(err, QXERR_TIMEOUT);
}

} // namespace
