// Opening and closing cameras against the simulated devices: records, map, calibration
// time-out, re-opening, information on closed slots and the refusals.
#include <algorithm>

#include "core/device.h"
#include "core/platform.h"
#include "settings/properties.h"
#include "support/qx_test.h"
#include "velaapi/vela_sim.h"

using qxtest::LibraryTest;
using Lines = std::vector<std::string>;

namespace {

constexpr int32_t kLostFrame = static_cast<int32_t>(0x80000301);

class Open : public LibraryTest {};

TEST_F(Open, RecordsFollowTheDeviceOrder)
{
    InitWithLog();
    int32_t err = 0;
    ASSERT_EQ(QXCM_OPENCAMERA_40(0, 0, &err), 1);
    qxcm::CameraContext &c = Context(0);
    ASSERT_GT(c.propertyCount, 10);
    // Records follow the device's own listing, element records right after their property.
    std::vector<uint32_t> listed;
    uint32_t id = 0;
    while (qxcm::Device().VelaGetNextPropertyId(c.deviceHandle, &id, 0) && id)
        listed.push_back(id);
    size_t at = 0;
    for (int32_t r = 0; r < c.propertyCount; ++r) {
        EXPECT_EQ(c.properties[r].kind, 2u);
        EXPECT_NE(c.properties[r].name[0], '\0');
        auto found = std::find(listed.begin() + static_cast<std::ptrdiff_t>(at), listed.end(),
                               c.properties[r].propertyId);
        if (found != listed.end())
            at = static_cast<size_t>(found - listed.begin()) + 1;
        else
            EXPECT_EQ(c.properties[r].propertyId & 0xFF, c.properties[r - 1].propertyId & 0xFF)
                << "an element record follows its property";
    }
    // Properties outside the registered set get no record.
    for (int32_t k = 0; k < c.propertyCount; ++k)
        EXPECT_NE(c.properties[k].propertyId, 0x00420250u);
    EXPECT_EQ(c.multiRegionCapable, 1);
    EXPECT_EQ(LogLines().back(),
              "0.000 QXCM_OPENCAMERA_40 OK model=C-SIM2048 serial=S/N 000101 bus=USB3.0\n");
}

int32_t gConfigured = 0;

// A camera whose two array properties of 64 elements each make more records than a camera
// can hold, with the exposure time listed after them.
const char *kManyElements = R"(camera T-MANY
info 0x04000104 T-MANY
sensor 64 32 mono16 range=65535 linetime=1e-5
prop 0x001C0010 "NUMBER OF OUTPUT TRIGGER CONNECTOR" long r min=64 max=64 default=64
prop 0x001C0110 "OUTPUT TRIGGER SOURCE" long rw min=0 max=9 step=1 default=1 count=0x001C0010:0x1
prop 0x001C0120 "OUTPUT TRIGGER POLARITY" long rw min=0 max=9 step=1 default=1 count=0x001C0010:0x1
prop 0x001F0110 "EXPOSURE TIME" real rw min=0.00001 max=10 step=0.000001 default=0.01 unit=1
)";

TEST_F(Open, RecordsBeyondTheTableAreNotKept)
{
    ASSERT_EQ(VelaSim_LoadCameraSet(kManyElements), 1);
    InitWithLog();
    int32_t err = 0;
    ASSERT_EQ(QXCM_OPENCAMERA_40(0, 0, &err), 1);
    qxcm::CameraContext &c = Context(0);
    EXPECT_EQ(c.propertyCount, 128);
    EXPECT_EQ(c.properties[127].propertyId, 0x001C0120u + 62);
    EXPECT_EQ(c.parameterMap[7], -1) << "the exposure came after the table was full";
    double value = 0;
    EXPECT_EQ(QXCM_GETPARAMETER_40(0, 7, &value, 0, &err), 0);
    EXPECT_EQ(err, QXERR_INVALIDPARAM);
}

TEST_F(Open, CalibrationTimeoutIsAtLeastFiveSeconds)
{
    InitWithLog();
    int32_t err = 0;
    ASSERT_EQ(QXCM_OPENCAMERA_40(1, 0, &err), 1);
    EXPECT_EQ(Context(1).calibrationTimeout, 5000u) << "nothing configured";
    qxcm::Os().readCalibrationTimeout = [](int32_t *value) { return *value = gConfigured, true; };
    for (auto [configured, expected] : {std::pair{3000, 5000u}, {12000, 12000u}, {-7, 5000u}}) {
        gConfigured = configured;
        ASSERT_EQ(QXCM_OPENCAMERA_40(1, 1, &err), 1);
        EXPECT_EQ(Context(1).calibrationTimeout, expected) << configured;
    }
}

TEST_F(Open, AgainWithoutForceClosesTheEarlierDevice)
{
    InitWithLog();
    int32_t err = 0;
    ASSERT_EQ(QXCM_OPENCAMERA_40(0, 0, &err), 1);
    // The device was lost behind the library's back, so it can be opened again.
    uint64_t first = Context(0).deviceHandle;
    qxcm::Device().VelaClose(first);
    ClearJournal();
    ASSERT_EQ(QXCM_OPENCAMERA_40(0, 0, &err), 1);
    EXPECT_TRUE(qxcm::IsCameraOpen(0));
    EXPECT_EQ(JournalOf("VelaClose").size(), 1u) << "the earlier device is closed, not leaked";
}

// A failed open again keeps the earlier device unless forced; a new device whose wait object
// fails is closed, not leaked, and the slot keeps the device's code.
TEST_F(Open, AFailedOpenKeepsOrClosesTheSlotAsForcedAndLeaksNoDevice)
{
    const struct {
        const char *failing;
        bool openFirst;
        uint32_t force;
        bool staysOpen;
        size_t closes;
    } rows[] = {{"VelaOpen", true, 0, true, 0},
                {"VelaOpen", true, 1, false, 1},
                {"VelaOpenWait", false, 0, false, 1}};
    InitWithLog();
    for (const auto &row : rows) {
        SCOPED_TRACE(std::string(row.failing) + " force=" + std::to_string(row.force));
        int32_t err = 0;
        QXCM_CLOSECAMERA_40(1, &err);
        if (row.openFirst) {
            ASSERT_EQ(QXCM_OPENCAMERA_40(1, 0, &err), 1);
        }
        uint64_t device = Context(1).deviceHandle, wait = Context(1).waitHandle;
        ClearJournal();
        VelaSim_FailCall(row.failing, 0, 1, kLostFrame, 0);
        EXPECT_EQ(QXCM_OPENCAMERA_40(1, row.force, &err), 0);
        EXPECT_EQ(err, QXERR_OPEN_FAILED);
        EXPECT_EQ(qxcm::IsCameraOpen(1), row.staysOpen);
        EXPECT_EQ(JournalOf("VelaClose").size(), row.closes);
        if (row.staysOpen) {
            EXPECT_EQ(Context(1).deviceHandle, device);
            EXPECT_EQ(Context(1).waitHandle, wait);
        } else if (!row.force) {
            EXPECT_EQ(Context(1).lastResult, kLostFrame);
        }
    }
}

TEST_F(Open, CloseReleasesByStatusAndOpenAndCloseRefuseWhatIsNotThere)
{
    InitWithLog();
    int32_t err = 0;
    EXPECT_EQ(QXCM_OPENCAMERA_40(3, 0, &err), 0);
    EXPECT_EQ(err, QXERR_OPEN_FAILED);
    EXPECT_EQ(LogLines().back(), "0.000 QXCM_OPENCAMERA_40 NG ERR=-2113925119 \n");
    ASSERT_EQ(QXCM_OPENCAMERA_40(0, 0, &err), 1);
    ClearJournal();
    ASSERT_EQ(QXCM_CLOSECAMERA_40(0, &err), 1);
    EXPECT_FALSE(qxcm::IsCameraOpen(0));
    Lines journal = Journal();
    ASSERT_EQ(journal.size(), 2u);
    EXPECT_EQ(journal[0].rfind("VelaGetCaptureStatus(", 0), 0u);
    EXPECT_EQ(journal[1].rfind("VelaClose(", 0), 0u);
    EXPECT_EQ(LogLines().back(), "0.000 QXCM_CLOSECAMERA_40 OK \n");
    EXPECT_EQ(QXCM_CLOSECAMERA_40(0, &err), 0);
    EXPECT_EQ(err, QXERR_INVALIDHANDLE);
    EXPECT_EQ(LogLines().back(), "0.000 QXCM_CLOSECAMERA_40 NG ERR=-2147481593 \n");
}

TEST_F(Open, InformationComesFromTheDeviceEvenForAClosedSlot)
{
    InitWithLog();
    char text[64] = "";
    int32_t err = 0;
    ASSERT_EQ(QXCM_GETCAMERAINFO_40(1, QXCM_INFO_MODEL, text, &err), 1);
    EXPECT_STREQ(text, "C-SIMEM512");
    EXPECT_EQ(JournalOf("VelaGetModelInfo").size(), 1u);
    EXPECT_FALSE(qxcm::IsCameraOpen(1)) << "asking does not open";

    // A closed slot's failure reports what its latest device call left: 0 when never opened.
    err = 99;
    EXPECT_EQ(QXCM_GETCAMERAINFO_40(2, 0x7777, text, &err), 0);
    EXPECT_EQ(err, 0);
    EXPECT_EQ(QXCM_GETCAMERAINFO_40(3, QXCM_INFO_MODEL, text, &err), 0);
    EXPECT_EQ(err, QXERR_INVALIDHANDLE);
}

} // namespace
