// Each flow again with its k-th device call failing, for every k: the export must report the
// failing call's code (or its own code where it has one) and make no further device call once
// a failure has ended it. Every export that can reach the device has a flow.
#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <set>

#include "support/qx_test.h"
#include "velaapi/vela_api.h"
#include "velaapi/vela_sim.h"

using qxtest::kInjected;
using qxtest::LibraryTest;

namespace {

using Names = std::set<std::string>;
using Run = std::function<int32_t(int32_t *error)>;

struct Flow {
    std::string name; // the export, then "/" and what the flow picks out of it
    uint32_t camera;
    std::function<void()> setup; // runs without faults
    Run run;
    int32_t ownCode = 0; // a code the export reports instead of the device's
    // Calls an export still makes after a failure that ends it, because its contract says so.
    Names trailing = {};
    // Codes a later call reports when the failed call was one whose result is not examined.
    std::set<int32_t> knockOn = {};
    // Outputs the contract writes before the first device call (a count of 0, a size of 1).
    bool writesFirst = false;
};

int32_t n[4096];
uint32_t *u = reinterpret_cast<uint32_t *>(n);
char *text = reinterpret_cast<char *>(n + 1024);
double *d = reinterpret_cast<double *>(n + 2048);
float *f = reinterpret_cast<float *>(n + 3072);
double stamp;
int32_t inout; // what the host passes in and gets back
uint32_t W, H, T;
constexpr uint8_t kUnwritten = 0xBE;
constexpr uint32_t kUnwrittenWord = 0xBEBEBEBE;
std::vector<uint8_t> frame(size_t(64) << 20), other(size_t(16) << 20);
uint8_t *fr = frame.data();
uint8_t *ot = other.data();

const Names kCause = {"VelaGetLastError"};
const Names kTeardown = {"VelaStopCapture", "VelaGetCaptureStatus", "VelaReleaseBuffers",
                         "VelaClose",       "VelaUninit",           "VelaRecorderClose"};
const Names kReference = {"VelaAllocBuffers",    "VelaCaptureStart",  "VelaWaitStart",
                          "VelaSetValue",        "VelaStopCapture",   "VelaCommitReference",
                          "VelaFinishReference", "VelaReleaseBuffers"};

// Device calls an export goes on past when they fail, besides its trailing ones, because it has
// an answer without them: an open drops a record it cannot build, a write refreshes what it can
// of the records the device changed, list texts end at the first that fails, a prepare keeps the
// default frame overhead and the last data type, a frame wait leaves its electron values unread.
// Any other failed call must fail the export: a failed read never becomes a success.
const Names kRecordBuilding = {
    "VelaGetAttributes",   "VelaGetCapabilities", "VelaGetNextPropertyId",  "VelaGetPropertyName",
    "VelaGetPropertyAttr", "VelaGetTriggerMode",  "VelaGetTriggerPolarity", "VelaGetValueText",
    "VelaQueryValue",      "VelaQueryCapability", "VelaReadValue",          "VelaSendRequest",
    "VelaSetValue",        "VelaGetValue"};
const Names kRefresh = {"VelaGetNextPropertyId", "VelaGetPropertyAttr", "VelaReadValue"};
const Names kListTexts = {"VelaGetValueText", "VelaQueryValue", "VelaReadValue"};
const Names kPrepare = {"VelaGetDataType", "VelaGetDataSize", "VelaGetValue"};
const Names kRead = {"VelaGetValue"}, kWrite = {"VelaSetValue"};
// clang-format off
const std::map<std::string, Names> kGoesOnPast = {
    {"QXCM_CLOSECAMERA", kTeardown}, {"QXCM_DEINITIALIZE", kTeardown}, {"QXCM_DEINITIALIZE_A", kTeardown},
    {"QXCM_OPENCAMERA", kRecordBuilding}, {"QXCM_OPENCAMERA_A", kRecordBuilding}, {"QXCM_OPENCAMERA_40", kRecordBuilding},
    {"QXCM_SETPARAMETER_40", kRefresh}, {"QXCM_SENSORCOOLER_40", kRefresh},
    {"QXCM_GETPARAMETERLIMITS_40", kListTexts}, {"QXCM_GETPARAMETERLIMITS_41", kListTexts},
    {"QXCM_GETPROPERTYINFO", {"VelaGetCapabilities", "VelaGetValueText", "VelaQueryValue", "VelaReadValue"}},
    {"QXCM_PREPARECAPTURE", kPrepare}, {"QXCM_PREPARECAPTURE_40", kPrepare}, {"QXCM_PREPARECAPTURE_41", kPrepare},
    {"QXCM_PREPARE_ATTACH_40", kPrepare}, {"QXCM_STARTCAPTURE", kPrepare}, {"QXCM_STARTCAPTURE_A", kPrepare},
    {"QXCM_GETNEXTFRAME_A", {"VelaReadTransferInfo"}}, {"QXCM_WAITNEXTFRAME", kRead}, {"QXCM_WAITNEXTFRAME_40", kRead},
    {"QXCM_SETAREA", kRead}, {"QXCM_SETAREA_40", kRead}, {"QXCM_GETAREA", kRead}, {"QXCM_GETAREA_A", kRead},
    {"QXCM_GETAREA_40", kRead}, {"QXCM_GETAREA_PAIRED_40", kRead},
    {"QXCM_SETINPUTTRIGGER", kWrite}, {"QXCM_SETINPUTTRIGGER_40", kWrite},
    {"QXCM_INPUTTRIGGERSOURCE_40", kWrite}, {"QXCM_INPUTTRIGGERACTIVE_40", kWrite},
};

std::string Recording() { return qxtest::TempPath("qxtest_sweep.vlseq"); } // names the process

// The states a flow starts from, each built on the one before; `se` takes their codes.
int32_t se;
void Nothing() {}
void Open0() { QXCM_OPENCAMERA_40(0, 0, &se); }
void Open1() { QXCM_OPENCAMERA_40(1, 0, &se); }
void Prepared1() { Open1(); QXCM_PREPARECAPTURE_40(1, 1, 5, &W, &H, &T, &se); }
void Started1() { Prepared1(); QXCM_STARTCAPTURE_40(1, &se); VelaSim_DeliverFrames(1, 2); }
void Recording1()
{
    Prepared1();
    QXCM_STARTRECORDER_41(1, Recording().c_str(), 20, 0, &se);
    QXCM_STARTCAPTURE_40(1, &se);
    VelaSim_DeliverFrames(1, 3);
}
void TwoViews0() { Open0(); QXCM_SETPARAMETER_40(0, 5, 14, 0, &se); }
void SplitOpen0() { VelaSim_SetProperty(0, 0x00400210, 14.0); Open0(); }
void Split0()
{
    SplitOpen0();
    QXCM_PREPARECAPTURE_40(0, 0, 2, &W, &H, &T, &se);
    QXCM_STARTCAPTURE_40(0, &se);
    VelaSim_DeliverFrames(0, 2);
}
void Packed0()
{
    Open0();
    QXCM_SETPARAMETER_40(0, 0x00420270 + 0x4390, 3.0, 0, &se); // 12-bit packed
    QXCM_PREPARECAPTURE_40(0, 1, 5, &W, &H, &T, &se);
    QXCM_STARTCAPTURE_40(0, &se);
    VelaSim_DeliverFrames(0, 2);
}
// Camera 1 under a software trigger.
void Triggered1() { VelaSim_SetProperty(1, 0x00100110, 3.0); Prepared1(); QXCM_STARTCAPTURE_40(1, &se); }
void LegacyOpen0() { QXCM_OPENCAMERA(0); }
void LegacyOpen2() { QXCM_OPENCAMERA(2); }
void NoSlots() { QXCM_DEINITIALIZE_40(1); }
// The older one-step start on camera 1.
template <uint32_t mode, uint32_t frames, int32_t delivered> void OlderStarted()
{
    Open1();
    QXCM_STARTCAPTURE_A(1, mode, frames, &T, &W, &H, &se);
    VelaSim_DeliverFrames(1, delivered);
}
void OlderStopped() { OlderStarted<1, 3, 1>(); QXCM_STOPCAPTURE(1, &se); }
void OlderTriggered() { VelaSim_SetProperty(1, 0x00100110, 3.0); OlderStarted<1, 3, 0>(); }
// The source of QXCM_GETFRAME_A, at the pitch locked last.
void OlderLocked() { OlderStarted<1, 3, 2>(); QXCM_GETFRAME(1, 1, fr, &se); }
void Prepared1Snap() { Open1(); QXCM_PREPARECAPTURE_40(1, 0, 3, &W, &H, &T, &se); }
void Detached1() { Prepared1(); QXCM_UNPREPARECAPTURE_40(1, &se); }
// clang-format on

std::vector<void *> Attached()
{
    static std::vector<std::vector<uint8_t>> buffers(3, std::vector<uint8_t>(size_t(1) << 20));
    return {buffers[0].data(), buffers[1].data(), buffers[2].data()};
}

std::vector<Flow> Flows()
{
    static const int32_t regions[] = {0, 0, 8, 8, 16, 16, 8, 8};
    static const int32_t points[] = {0, 0, 65535, 65535};
    const std::string path = Recording();
    // clang-format off
    return {
        {"QXCM_INITIALIZE_40", 0, Nothing, [](int32_t *e) { return QXCM_INITIALIZE_40(u, text, text + 64, 0, 0, e); }, 0, {}, {}, true},
        {"QXCM_DEINITIALIZE_40", 1, Recording1, [](int32_t *) { return QXCM_DEINITIALIZE_40(1); }, 0, kTeardown},
        {"QXCM_OPENCAMERA_40", 0, Nothing, [](int32_t *e) { return QXCM_OPENCAMERA_40(0, 0, e); }, QXERR_OPEN_FAILED, {"VelaClose"}},
        {"QXCM_CLOSECAMERA_40", 1, Recording1, [](int32_t *e) { return QXCM_CLOSECAMERA_40(1, e); }, 0, kTeardown},
        {"QXCM_GETCAMERAINFO_40", 0, Open0, [](int32_t *e) { return QXCM_GETCAMERAINFO_40(0, QXCM_INFO_MODEL, text, e); }},
        {"QXCM_GETCAMERASTATUS_40", 1, Started1, [](int32_t *e) { return QXCM_GETCAMERASTATUS_40(1, n, e); }},
        {"QXCM_SETPARAMETER_40", 0, Open0, [](int32_t *e) { return QXCM_SETPARAMETER_40(0, 1, 2.0, 0, e); }},
        {"QXCM_GETPARAMETER_40", 0, Open0, [](int32_t *e) { return QXCM_GETPARAMETER_40(0, 7, d, 0, e); }},
        {"QXCM_GETNEXTPARAMETER_40", 0, Open0, [](int32_t *e) { inout = 3; return QXCM_GETNEXTPARAMETER_40(0, text, &inout, n, 0, e); }},
        {"QXCM_GETPARAMETERLIMITS_40", 0, Open0, [](int32_t *e) { return QXCM_GETPARAMETERLIMITS_40(0, 15, n, d, d + 1, d + 2, d + 3, n + 1, e); }, 0, {"VelaReadValue"}},
        {"QXCM_GETPARAMETERLIMITS_41", 0, Open0, [](int32_t *e) { return QXCM_GETPARAMETERLIMITS_41(0, 15, n, d, d + 1, d + 2, d + 3, n + 1, n + 2, e); }, 0, {"VelaReadValue"}},
        {"QXCM_GETPARAMETERTEXT_40", 0, Open0, [](int32_t *e) { return QXCM_GETPARAMETERTEXT_40(0, 15, text, 1.0, d, e); }},
        {"QXCM_GETVALUETEXT_40", 0, Open0, [](int32_t *e) { return QXCM_GETVALUETEXT_40(0, 15, text, 3.0, e); }},
        {"QXCM_PREPARECAPTURE_40", 1, Open1, [](int32_t *e) { return QXCM_PREPARECAPTURE_40(1, 1, 5, &W, &H, &T, e); }},
        {"QXCM_PREPARECAPTURE_41", 1, Open1, [](int32_t *e) { return QXCM_PREPARECAPTURE_41(1, 0, 3, &W, &H, &T, 0, e); }},
        {"QXCM_PREPARE_ATTACH_40", 1, Detached1, [](int32_t *e) { return QXCM_PREPARE_ATTACH_40(1, 1, Attached().data(), 3, n, e); }, 0, kCause},
        {"QXCM_UNPREPARECAPTURE_40", 1, Prepared1, [](int32_t *e) { return QXCM_UNPREPARECAPTURE_40(1, e); }},
        {"QXCM_GETBUFFERSIZE_40", 1, Prepared1, [](int32_t *e) { return QXCM_GETBUFFERSIZE_40(1, &H, &W, e); }},
        {"QXCM_FRAMEBUNDLE_40", 0, Open0, [](int32_t *e) { return QXCM_FRAMEBUNDLE_40(0, 1, 4, n, e); }, 0, {}, {}, true},
        {"QXCM_STARTCAPTURE_40", 1, Prepared1, [](int32_t *e) { return QXCM_STARTCAPTURE_40(1, e); }},
        {"QXCM_STOPCAPTURE_40", 1, Started1, [](int32_t *e) { return QXCM_STOPCAPTURE_40(1, e); }},
        {"QXCM_WAITNEXTFRAME_40", 1, Started1, [](int32_t *e) { return QXCM_WAITNEXTFRAME_40(1, 100, n, n + 1, e); }},
        {"QXCM_GETCAPTUREINFO_40", 1, Started1, [](int32_t *e) { return QXCM_GETCAPTUREINFO_40(1, n, n + 1, e); }},
        {"QXCM_FIRETRIGGER_40", 1, Triggered1, [](int32_t *e) { return QXCM_FIRETRIGGER_40(1, e); }},
        {"QXCM_GETFRAME_40", 1, Started1, [](int32_t *e) { return QXCM_GETFRAME_40(1, 1, fr, &stamp, 0, e); }},
        {"QXCM_GETFRAMENUMBER_40", 1, Started1, [](int32_t *e) { return QXCM_GETFRAMENUMBER_40(1, 1, u, d, e); }},
        {"QXCM_GETFRAME_41", 1, Started1, [](int32_t *e) { return QXCM_GETFRAME_41(1, 1, 0, fr, &stamp, 0, e); }},
        {"QXCM_GETFRAME_SPLIT_40", 0, Split0, [](int32_t *e) { return QXCM_GETFRAME_SPLIT_40(0, 1, fr, ot, &stamp, 0, e); }},
        {"QXCM_GETFRAME_PACK12_40", 0, Packed0, [](int32_t *e) { return QXCM_GETFRAME_PACK12_40(0, 1, reinterpret_cast<uint16_t *>(fr), &stamp, 0, e); }},
        {"QXCM_STARTRECORDER_40", 1, Prepared1, [path](int32_t *e) { return QXCM_STARTRECORDER_40(1, path.c_str(), 20, e); }},
        {"QXCM_STARTRECORDER_41", 1, Prepared1, [path](int32_t *e) { return QXCM_STARTRECORDER_41(1, path.c_str(), 20, 0, e); }},
        {"QXCM_STARTRECORDER_42", 1, Prepared1, [path](int32_t *e) { uint64_t r = 0; return QXCM_STARTRECORDER_42(1, path.c_str(), 20, 1, &r, e); }},
        {"QXCM_STOPRECORDER_40", 1, Recording1, [](int32_t *e) { return QXCM_STOPRECORDER_40(1, e); }},
        {"QXCM_GETRECORDERSTATUS_40", 1, Recording1, [](int32_t *e) { return QXCM_GETRECORDERSTATUS_40(1, n, n + 1, e); }},
        {"QXCM_WRITEMETADATA_40", 1, Recording1, [](int32_t *e) { return QXCM_WRITEMETADATA_40(1, 2, 1, "text", 4, e); }},
        {"QXCM_GETRECORDERFRAME_40", 1, Recording1, [](int32_t *e) { return QXCM_GETRECORDERFRAME_40(1, 1, 0, e); }},
        {"QXCM_STARTRECORDER", 1, Prepared1, [path](int32_t *e) { return QXCM_STARTRECORDER(1, path.c_str(), 20, e); }},
        {"QXCM_STOPRECORDER", 1, Recording1, [](int32_t *e) { return QXCM_STOPRECORDER(1, e); }},
        {"QXCM_GETRECORDERSTATUS", 1, Recording1, [](int32_t *e) { return QXCM_GETRECORDERSTATUS(1, n, n + 1, e); }},
        {"QXCM_WRITEMETADATA", 1, Recording1, [](int32_t *e) { return QXCM_WRITEMETADATA(1, 1, 0, "text", 4, e); }},
        {"QXCM_SETAREA_40", 0, Open0, [](int32_t *e) { return QXCM_SETAREA_40(0, 8, 8, 64, 64, e); }, 0, kCause},
        {"QXCM_GETAREA_40", 0, Open0, [](int32_t *e) { return QXCM_GETAREA_40(0, n, n + 1, n + 2, n + 3, n + 4, n + 5, n + 6, n + 7, n + 8, n + 9, n + 10, n + 11, n + 12, n + 13, n + 14, n + 15, e); }, 0, kCause},
        {"QXCM_SETMULTIREGION_40", 0, Open0, [](int32_t *e) { return QXCM_SETMULTIREGION_40(0, regions, 2, e); }},
        {"QXCM_SETAREA_PAIRED_40", 0, TwoViews0, [](int32_t *e) { return QXCM_SETAREA_PAIRED_40(0, 0, 0, 1024, 0, 256, 256, e); }},
        {"QXCM_GETAREA_PAIRED_40", 0, TwoViews0, [](int32_t *e) { return QXCM_GETAREA_PAIRED_40(0, n, n + 1, n + 2, n + 3, n + 4, n + 5, n + 6, n + 7, n + 8, n + 9, n + 10, n + 11, n + 12, n + 13, n + 14, n + 15, n + 16, n + 17, e); }, 0, kCause},
        {"QXCM_SETINPUTTRIGGER_40/edge", 0, Open0, [](int32_t *e) { return QXCM_SETINPUTTRIGGER_40(0, 512, 1, 0, 0.0, e); }},
        {"QXCM_SETINPUTTRIGGER_40/level", 0, Open0, [](int32_t *e) { return QXCM_SETINPUTTRIGGER_40(0, 8, 1, 0, 0.0, e); }, 0, kCause},
        {"QXCM_SETINPUTTRIGGER_40/active", 0, Open0, [](int32_t *e) { return QXCM_SETINPUTTRIGGER_40(0, 4, 1, 0, 0.0, e); }},
        {"QXCM_SETINPUTTRIGGER_40/older", 0, Open0, [](int32_t *e) { return QXCM_SETINPUTTRIGGER_40(0, 16, 1, 0, 0.0, e); }, 0, kCause},
        {"QXCM_INPUTTRIGGERSOURCE_40", 0, Open0, [](int32_t *e) { return QXCM_INPUTTRIGGERSOURCE_40(0, 2, 1, 0.0, e); }},
        {"QXCM_INPUTTRIGGERACTIVE_40", 0, Open0, [](int32_t *e) { return QXCM_INPUTTRIGGERACTIVE_40(0, 3, 2, e); }},
        {"QXCM_INPUTTRIGGERADVANCE_40", 0, Open0, [](int32_t *e) { return QXCM_INPUTTRIGGERADVANCE_40(0, 3, e); }},
        {"QXCM_SETOUTPUTTRIGGER_40", 0, Open0, [](int32_t *e) { return QXCM_SETOUTPUTTRIGGER_40(0, 3, 1, 0.001, 0.0, 2, 1, e); }},
        {"QXCM_SETMASTERPULSE_40", 0, Open0, [](int32_t *e) { return QXCM_SETMASTERPULSE_40(0, 3, 1, 0.1, 5, e); }},
        {"QXCM_SETLUT_40", 0, Open0, [](int32_t *e) { return QXCM_SETLUT_40(0, points, 2, e); }},
        {"QXCM_SETEMPROTECTION_40", 1, Open1, [](int32_t *e) { return QXCM_SETEMPROTECTION_40(1, 1, 1, 1, 1, e); }},
        {"QXCM_GETEMPROTECTSTATUS_40", 1, Open1, [](int32_t *e) { return QXCM_GETEMPROTECTSTATUS_40(1, n, e); }},
        {"QXCM_GETELECTRONINFO_40", 1, Open1, [](int32_t *e) { return QXCM_GETELECTRONINFO_40(1, f, f + 1, e); }},
        {"QXCM_SENSORCOOLER_40", 1, Open1, [](int32_t *e) { return QXCM_SENSORCOOLER_40(1, 1, e); }},
        {"QXCM_TESTPATTERN_40", 0, Open0, [](int32_t *e) { return QXCM_TESTPATTERN_40(0, 1, e); }},
        {"QXCM_TESTPATTERN_41", 0, Open0, [](int32_t *e) { return QXCM_TESTPATTERN_41(0, 2, 4, 100, e); }},
        // The older family: boolean-style device calls report their cause through VelaGetLastError.
        {"QXCM_INITIALIZE", 0, NoSlots, [](int32_t *e) { return QXCM_INITIALIZE(u, e); }, 0, {}, {}, true},
        {"QXCM_INITIALIZE_A", 0, Nothing, [](int32_t *e) { return QXCM_INITIALIZE_A(u, 0, e); }, 0, {}, {}, true},
        {"QXCM_INITIALIZE_B", 0, Nothing, [](int32_t *e) { return QXCM_INITIALIZE_B(u, text, text + 64, 0, e); }, 0, {}, {}, true},
        {"QXCM_INITIALIZE_C", 0, Nothing, [](int32_t *e) { return QXCM_INITIALIZE_C(u, text, text + 64, 0, 0, e); }, 0, {}, {}, true},
        {"QXCM_DEINITIALIZE_A", 2, LegacyOpen2, [](int32_t *) { return QXCM_DEINITIALIZE_A(1); }},
        {"QXCM_DEINITIALIZE", 2, LegacyOpen2, [](int32_t *) { return QXCM_DEINITIALIZE(); }},
        // Reports no error of its own; the flow stands in for the host.
        {"QXCM_OPENCAMERA", 2, Nothing, [](int32_t *e) { int32_t ok = QXCM_OPENCAMERA(2); if (!ok) *e = QXERR_OPEN_FAILED; return ok; }, QXERR_OPEN_FAILED, {"VelaClose"}},
        {"QXCM_OPENCAMERA_A", 2, Nothing, [](int32_t *e) { return QXCM_OPENCAMERA_A(2, 1, e); }, QXERR_OPEN_FAILED, {"VelaClose"}},
        {"QXCM_CLOSECAMERA", 2, LegacyOpen2, [](int32_t *e) { return QXCM_CLOSECAMERA(2, e); }},
        {"QXCM_GETCAMERAINFO", 2, LegacyOpen2, [](int32_t *e) { return QXCM_GETCAMERAINFO(2, 0x04000104, text, e); }},
        {"QXCM_GETNEXTPROPERTY", 2, LegacyOpen2, [](int32_t *e) { inout = 17296 + 0x00402120; return QXCM_GETNEXTPROPERTY(2, text, &inout, e); }, 0, kCause},
        {"QXCM_SETPROPERTYVALUE", 0, LegacyOpen0, [](int32_t *e) { return QXCM_SETPROPERTYVALUE(0, 0x001F0110, 0.5f, e); }},
        {"QXCM_GETPROPERTYVALUE", 0, LegacyOpen0, [](int32_t *e) { return QXCM_GETPROPERTYVALUE(0, 0x001F0110, f, e); }},
        {"QXCM_GETPROPERTYINFO/capability", 2, LegacyOpen2, [](int32_t *e) { return QXCM_GETPROPERTYINFO(2, 17, u, d, d + 1, d + 2, d + 3, u + 1, e); }, 0, kCause},
        {"QXCM_GETPROPERTYINFO/feature", 2, LegacyOpen2, [](int32_t *e) { return QXCM_GETPROPERTYINFO(2, 7, u, d, d + 1, d + 2, d + 3, u + 1, e); }, 0, kCause},
        {"QXCM_GETPROPERTYINFO/device", 0, LegacyOpen0, [](int32_t *e) { return QXCM_GETPROPERTYINFO(0, 17, u, d, d + 1, d + 2, d + 3, u + 1, e); }, 0, {"VelaGetLastError", "VelaReadValue"}},
        {"QXCM_GETPROPERTYTEXT", 2, LegacyOpen2, [](int32_t *e) { return QXCM_GETPROPERTYTEXT(2, 18, text, 0.0, d, e); }},
        {"QXCM_GETPARAMETER/feature", 2, LegacyOpen2, [](int32_t *e) { return QXCM_GETPARAMETER(2, 7, d, 0, e); }, 0, kCause},
        {"QXCM_GETPARAMETER/capability", 2, LegacyOpen2, [](int32_t *e) { return QXCM_GETPARAMETER(2, 6, d, 0, e); }, 0, kCause},
        {"QXCM_SETPARAMETER/feature", 2, LegacyOpen2, [](int32_t *e) { return QXCM_SETPARAMETER(2, 8, 5.0, 0, e); }, 0, kCause},
        {"QXCM_SETPARAMETER/capability", 2, LegacyOpen2, [](int32_t *e) { return QXCM_SETPARAMETER(2, 17, 2.0, 0, e); }, 0, kCause},
        {"QXCM_SETPARAMETER/device", 0, LegacyOpen0, [](int32_t *e) { return QXCM_SETPARAMETER(0, 7, 0.5, 0, e); }},
        {"QXCM_SETMASTERPULSE", 0, LegacyOpen0, [](int32_t *e) { return QXCM_SETMASTERPULSE(0, 2, 2, 0.5, e); }},
        {"QXCM_SETSCANMODE", 2, LegacyOpen2, [](int32_t *e) { return QXCM_SETSCANMODE(2, 2, e); }, 0, kCause},
        {"QXCM_SETTRIGGER", 0, LegacyOpen0, [](int32_t *e) { return QXCM_SETTRIGGER(0, 64, 2, e); }},
        {"QXCM_SETINPUTTRIGGER/edge", 0, LegacyOpen0, [](int32_t *e) { return QXCM_SETINPUTTRIGGER(0, 2, 2, 0, 0.001f, e); }},
        {"QXCM_SETINPUTTRIGGER/level", 0, LegacyOpen0, [](int32_t *e) { return QXCM_SETINPUTTRIGGER(0, 8, 2, 0, 0.001f, e); }, 0, kCause},
        {"QXCM_SETOUTPUTTRIGGER", 0, LegacyOpen0, [](int32_t *e) { return QXCM_SETOUTPUTTRIGGER(0, 3, 2, 0.001, 0.002, 1, e); }},
        {"QXCM_SETOUTPUTTRIGGER_A", 0, LegacyOpen0, [](int32_t *e) { return QXCM_SETOUTPUTTRIGGER_A(0, 2, 2, 0.0, 0.0, 0, 1, e); }},
        {"QXCM_SETAREA", 2, LegacyOpen2, [](int32_t *e) { return QXCM_SETAREA(2, 8, 8, 640, 480, e); }, 0, kCause},
        {"QXCM_GETAREA", 2, LegacyOpen2, [](int32_t *e) { return QXCM_GETAREA(2, u, u + 1, u + 2, u + 3, e); }, 0, kCause},
        {"QXCM_GETAREA_A", 2, LegacyOpen2, [](int32_t *e) { return QXCM_GETAREA_A(2, u, u + 1, u + 2, u + 3, u + 4, u + 5, u + 6, u + 7, u + 8, u + 9, u + 10, u + 11, u + 12, u + 13, u + 14, u + 15, e); }, 0, kCause},
        // The older capture and frame calls; a failed success-or-failure call is followed by
        // the query for its cause.
        {"QXCM_PREPARECAPTURE", 1, Open1, [](int32_t *e) { return QXCM_PREPARECAPTURE(1, 1, 5, &W, &H, &T, e); }, 0, kCause},
        {"QXCM_UNPREPARECAPTURE", 1, OlderStopped, [](int32_t *e) { return QXCM_UNPREPARECAPTURE(1, e); }, 0, kCause},
        {"QXCM_STARTCAPTURE", 1, Open1, [](int32_t *e) { return QXCM_STARTCAPTURE(1, 0, 4, &T, e); }, 0, kCause},
        {"QXCM_STARTCAPTURE_A", 1, Open1, [](int32_t *e) { return QXCM_STARTCAPTURE_A(1, 1, 3, &T, &W, &H, e); }, 0, kCause},
        {"QXCM_STARTCAPTURE_B", 1, Prepared1Snap, [](int32_t *e) { return QXCM_STARTCAPTURE_B(1, e); }, 0, kCause},
        {"QXCM_STOPCAPTURE", 1, OlderStarted<1, 3, 1>, [](int32_t *e) { return QXCM_STOPCAPTURE(1, e); }, 0, kCause},
        {"QXCM_WAITNEXTFRAME", 1, OlderStarted<1, 3, 2>, [](int32_t *e) { return QXCM_WAITNEXTFRAME(1, 100, n, n + 1, e); }, 0, kCause},
        {"QXCM_WAITFOREVENT", 1, OlderStarted<1, 3, 2>, [](int32_t *e) { inout = VELA_EVENT_FRAMEREADY; return QXCM_WAITFOREVENT(1, 100, reinterpret_cast<uint32_t *>(&inout), e); }, 0, kCause},
        {"QXCM_GETCAPTUREINFO", 1, OlderStarted<1, 3, 2>, [](int32_t *e) { return QXCM_GETCAPTUREINFO(1, n, n + 1, e); }, 0, kCause},
        {"QXCM_FIRETRIGGER", 1, OlderTriggered, [](int32_t *e) { return QXCM_FIRETRIGGER(1, e); }, 0, kCause},
        {"QXCM_GETFRAMESIZE", 1, OlderStarted<1, 3, 0>, [](int32_t *e) { return QXCM_GETFRAMESIZE(1, u, u + 1, e); }, 0, kCause},
        {"QXCM_GETFRAMESIZE_A", 1, OlderStarted<1, 3, 0>, [](int32_t *e) { return QXCM_GETFRAMESIZE_A(1, u, u + 1, u + 2, e); }, 0, kCause, {}, true},
        {"QXCM_GETFRAME", 1, OlderStarted<1, 3, 2>, [](int32_t *e) { return QXCM_GETFRAME(1, 1, fr, e); }, 0, kCause},
        {"QXCM_GETFRAME_A", 1, OlderLocked, [](int32_t *e) { return QXCM_GETFRAME_A(1, fr, ot, e); }, 0, kCause},
        {"QXCM_GETFRAME_B", 1, OlderStarted<1, 3, 2>, [](int32_t *e) { return QXCM_GETFRAME_B(1, 1, fr, &stamp, e); }, 0, kCause},
        {"QXCM_GETNEXTFRAME", 1, OlderStarted<1, 3, 2>, [](int32_t *e) { return QXCM_GETNEXTFRAME(1, fr, e); }, 0, kCause},
        {"QXCM_GETNEXTFRAME_A", 1, OlderStarted<0, 4, 1>, [](int32_t *e) { return QXCM_GETNEXTFRAME_A(1, fr, 100, e); }, 0, kCause},
        {"QXCM_GETNEXTFRAME_B", 1, OlderStarted<1, 3, 2>, [](int32_t *e) { return QXCM_GETNEXTFRAME_B(1, fr, 100, e); }, 0, kCause},
        {"QXCM_GETNEXTFRAME_U8", 1, OlderStarted<1, 3, 2>, [](int32_t *e) { return QXCM_GETNEXTFRAME_U8(1, fr, 100, e); }, 0, kCause},
        {"QXCM_SETAREA_PAIRED", 0, SplitOpen0, [](int32_t *e) { return QXCM_SETAREA_PAIRED(0, 0, 0, 1024, 0, 256, 256, e); }, 0, kCause},
        {"QXCM_GETAREA_PAIRED", 0, SplitOpen0, [](int32_t *e) { return QXCM_GETAREA_PAIRED(0, n, n + 1, n + 2, n + 3, n + 4, n + 5, n + 6, n + 7, n + 8, n + 9, n + 10, n + 11, n + 12, n + 13, n + 14, n + 15, n + 16, n + 17, e); }, 0, kCause},
        {"QXCM_GETFRAME_PAIRED", 0, Split0, [](int32_t *e) { return QXCM_GETFRAME_PAIRED(0, 1, fr, ot, &stamp, e); }, 0, kCause},
        {"QXCM_GETELECTRONFRAME", 1, Open1, [](int32_t *e) { return QXCM_GETELECTRONFRAME(1, 0, fr, e) == 0 && *e == QXERR_NOTSUPPORT; }, 0, kCause},
        {"QXCM_GETELECTRONINFO", 1, Prepared1Snap, [](int32_t *e) { return QXCM_GETELECTRONINFO(1, 2, f, f + 1, e); }, 0, kCause},
        {"QXCM_SETEMPROTECTION", 1, Open1, [](int32_t *e) { return QXCM_SETEMPROTECTION(1, 1, 1, 2, 10, e); }, 0, kCause},
        {"QXCM_GETEMPROTECTSTATUS", 1, Open1, [](int32_t *e) { return QXCM_GETEMPROTECTSTATUS(1, n, e); }, 0, kCause},
    };
    // clang-format on
}

// The corrections. A reference capture goes on past its unexamined calls; their failures
// surface later as a wait without buffers or for a capture that never started.
std::vector<Flow> CorrectionFlows()
{
    struct Row {
        const char *name;
        uint32_t camera;
        bool store;
        int32_t (*run)(int32_t *error);
    };
    // clang-format off
    static const Row rows[] = {
        {"QXCM_SETRECURSIVEFILTER_40", 0, false, [](int32_t *e) { return QXCM_SETRECURSIVEFILTER_40(0, 4, e); }},
        {"QXCM_SETFRAMEAVERAGING_40", 0, false, [](int32_t *e) { return QXCM_SETFRAMEAVERAGING_40(0, 8, e); }},
        {"QXCM_BACKGROUNDSUBTRACT_40", 1, false, [](int32_t *e) { return QXCM_BACKGROUNDSUBTRACT_40(1, 1, 2, e); }},
        {"QXCM_STOREBACKGROUNDFRAME_40", 1, true, [](int32_t *e) { return QXCM_STOREBACKGROUNDFRAME_40(1, 2, e); }},
        {"QXCM_STOREBACKGROUNDFRAME_41", 1, true, [](int32_t *e) { return QXCM_STOREBACKGROUNDFRAME_41(1, 2, 300, e); }},
        {"QXCM_SHADINGCORRECT_40", 0, false, [](int32_t *e) { return QXCM_SHADINGCORRECT_40(0, 1, 2, e); }},
        {"QXCM_STORESHADINGFRAME_40", 0, true, [](int32_t *e) { return QXCM_STORESHADINGFRAME_40(0, 3, e); }},
        {"QXCM_STORESHADINGFRAME_41", 0, true, [](int32_t *e) { return QXCM_STORESHADINGFRAME_41(0, 3, 100, e); }},
        {"QXCM_SETRECURSIVEFILTER", 0, false, [](int32_t *e) { return QXCM_SETRECURSIVEFILTER(0, 8, e); }},
        {"QXCM_SETFRAMEAVERAGING", 0, false, [](int32_t *e) { return QXCM_SETFRAMEAVERAGING(0, 8, e); }},
        {"QXCM_SETBACKGROUNDFRAME", 0, false, [](int32_t *e) { return QXCM_SETBACKGROUNDFRAME(0, 1, 3, e); }},
        {"QXCM_STOREBACKGROUNDFRAME", 0, true, [](int32_t *e) { return QXCM_STOREBACKGROUNDFRAME(0, 3, e); }},
        {"QXCM_SETSHADINGFRAME", 0, false, [](int32_t *e) { return QXCM_SETSHADINGFRAME(0, 1, 4, e); }},
        {"QXCM_STORESHADINGFRAME", 0, true, [](int32_t *e) { return QXCM_STORESHADINGFRAME(0, 4, e); }},
    };
    // clang-format on
    std::vector<Flow> flows;
    for (const Row &row : rows) {
        // References come from the free-running camera, binned so that each is quick, and a
        // missed one fails within the shortened calibration time-out.
        auto setup = [i = row.camera, store = row.store] {
            int32_t err = 0;
            VelaSim_SetManualClock(store ? 0 : 1);
            VelaSim_SetProperty(static_cast<int32_t>(i), 0x00401110, i == 0 ? 4 : 2);
            QXCM_OPENCAMERA_40(i, 0, &err);
            qxcm::State().contexts[i].calibrationTimeout = 1000;
        };
        Flow flow{row.name, row.camera, setup, row.run};
        if (row.store) {
            flow.trailing = kReference;
            flow.knockOn = {VELA_ERR_NOTREADY, VELA_ERR_TIMEOUT};
        }
        flows.push_back(flow);
    }
    return flows;
}

std::vector<Flow> AllFlows()
{
    std::vector<Flow> all = Flows();
    for (Flow &flow : CorrectionFlows())
        all.push_back(flow);
    return all;
}

void PrintTo(const Flow &flow, std::ostream *os)
{
    *os << flow.name;
}

class FaultSweep : public LibraryTest, public ::testing::WithParamInterface<Flow> {};

TEST_P(FaultSweep, ReportsTheFailingCallAndStopsThere)
{
    const Flow &flow = GetParam();
    const std::string injected = qxtest::kInjectedText;
    for (int32_t k = 1;; ++k) {
        ASSERT_LT(k, 2000) << "the flow never ran out of device calls";
        TearDown();
        SetUp();
        VelaSim_SetManualClock(1);
        uint32_t count = 0;
        ASSERT_EQ(QXCM_INITIALIZE_40(&count, nullptr, nullptr, 0, 0, nullptr), 1);
        flow.setup();
        ClearJournal();
        VelaSim_FailCall("*", 0, k, kInjected, 0);
        memset(n, kUnwritten, sizeof n);
        W = H = T = kUnwrittenWord;
        int32_t err = 12345;
        int32_t ok = flow.run(&err);
        std::vector<std::string> journal = Journal();
        size_t failed = journal.size();
        for (size_t i = 0; i < journal.size(); ++i)
            if (journal[i].find(injected) != std::string::npos) {
                failed = i;
                break;
            }
        if (failed == journal.size()) { // the k-th call was never made: every k was covered
            EXPECT_EQ(ok, 1) << flow.name << " k=" << k;
            break;
        }
        if (ok) {
            EXPECT_EQ(err, 12345) << flow.name << " k=" << k << ": error written on success";
            const std::string op = journal[failed].substr(0, journal[failed].find('('));
            const auto past = kGoesOnPast.find(flow.name.substr(0, flow.name.find('/')));
            EXPECT_TRUE(flow.trailing.count(op) ||
                        (past != kGoesOnPast.end() && past->second.count(op)))
                << flow.name << " k=" << k << ": succeeded after " << journal[failed];
            continue;
        }
        EXPECT_TRUE(err == kInjected || (flow.ownCode && err == flow.ownCode) ||
                    flow.knockOn.count(err))
            << flow.name << " k=" << k << " reported " << err << " after " << journal[failed];
        // The host's variables keep what they held: a failure writes none of them.
        size_t written = 0;
        while (written < sizeof n && reinterpret_cast<uint8_t *>(n)[written] == kUnwritten)
            ++written;
        EXPECT_TRUE(flow.writesFirst || written == sizeof n)
            << flow.name << " k=" << k << ": byte " << written;
        EXPECT_TRUE(W == kUnwrittenWord && H == kUnwrittenWord && T == kUnwrittenWord)
            << flow.name << " k=" << k << ": geometry written on failure";
        for (size_t i = failed + 1; i < journal.size(); ++i) {
            std::string op = journal[i].substr(0, journal[i].find('('));
            EXPECT_TRUE(flow.trailing.count(op))
                << flow.name << " k=" << k << ": " << journal[i] << " after " << journal[failed];
        }
    }
}

std::string FlowName(const ::testing::TestParamInfo<Flow> &info)
{
    std::string name = info.param.name;
    std::replace(name.begin(), name.end(), '/', '_');
    return name;
}

INSTANTIATE_TEST_SUITE_P(Exports, FaultSweep, ::testing::ValuesIn(AllFlows()), FlowName);

// Every export has a flow, except those that never reach the device: the sequence-file calls
// (another library), the error text, and the calls that refuse or answer on their own.
TEST(FaultSweepCoverage, EveryExportThatReachesTheDeviceHasAFlow)
{
    const Names deviceless = {"QXCM_REPORTERROR",     "QXCM_OPENVLSEQFILE",
                              "QXCM_OPENVLSEQFILE_A", "QXCM_GETVLSEQINFO",
                              "QXCM_GETRANGE",        "QXCM_GETFRAMESPERSECOND_40"};
    struct Row {
        const char *name, *frame;
    };
    const Row rows[] = {
#define QX_EXPORT(ordinal, name, frame, logName, probe) {#name, #frame},
#define QX_ALIAS(ordinal, name, target)
#include "exports/export_list.inc"
#undef QX_EXPORT
#undef QX_ALIAS
    };
    Names flows;
    for (const Flow &flow : AllFlows())
        flows.insert(flow.name.substr(0, flow.name.find('/')));
    for (const Row &row : rows) {
        std::string kind = row.frame;
        if (deviceless.count(row.name) || kind == "FILESLOT" || kind == "UNSUPPORTED")
            continue;
        EXPECT_TRUE(flows.count(row.name)) << row.name;
    }
}

} // namespace
