// Each flow again with its k-th device call failing, for every k: the export must report the
// failing call's code (or its own code where it has one) and make no further device call once
// a failure has ended it.
#include <functional>
#include <set>

#include "support/qx_test.h"
#include "velaapi/vela_api.h"
#include "velaapi/vela_sim.h"

using qxtest::LibraryTest;

namespace {

constexpr int32_t kInjected = static_cast<int32_t>(0x80000301);
const std::string kInjectedText = "0x80000301";

struct Flow {
    const char *name;
    uint32_t camera;
    std::function<void()> setup; // runs without faults
    std::function<int32_t(int32_t *error)> run;
    int32_t ownCode = 0; // a code the export reports instead of the device's
    // Calls an export still makes after a failure that ends it, because its contract says so.
    std::set<std::string> trailing;
    // Codes a later call reports when the failed call was one whose result is not examined.
    std::set<int32_t> knockOn = {};
};

int32_t gScratch[4096];
double gValue;

uint32_t W, H, T;

std::vector<Flow> Flows()
{
    auto open = [](uint32_t i) {
        return [i] {
            int32_t err = 0;
            QXCM_OPENCAMERA_40(i, 0, &err);
        };
    };
    auto prepared = [](uint32_t i) {
        return [i] {
            int32_t err = 0;
            QXCM_OPENCAMERA_40(i, 0, &err);
            QXCM_PREPARECAPTURE_40(i, 1, 5, &W, &H, &T, &err);
        };
    };
    auto started = [](uint32_t i) {
        return [i] {
            int32_t err = 0;
            QXCM_OPENCAMERA_40(i, 0, &err);
            QXCM_PREPARECAPTURE_40(i, 1, 5, &W, &H, &T, &err);
            QXCM_STARTCAPTURE_40(i, &err);
            VelaSim_DeliverFrames(static_cast<int32_t>(i), 2);
        };
    };
    auto twoViews = [] {
        int32_t err = 0;
        QXCM_OPENCAMERA_40(0, 0, &err);
        QXCM_SETPARAMETER_40(0, 5, 14, 0, &err);
    };
    static std::vector<uint8_t> frame(size_t(64) << 20);
    return {
        {"open",
         0,
         [] {},
         [](int32_t *e) { return QXCM_OPENCAMERA_40(0, 0, e); },
         QXERR_OPEN_FAILED,
         {"VelaClose"}},
        {"set",
         0,
         open(0),
         [](int32_t *e) { return QXCM_SETPARAMETER_40(0, 1, 2.0, 0, e); },
         0,
         {}},
        {"get",
         0,
         open(0),
         [](int32_t *e) { return QXCM_GETPARAMETER_40(0, 7, &gValue, 0, e); },
         0,
         {}},
        {"limits",
         0,
         open(0),
         [](int32_t *e) {
             int32_t *s = gScratch;
             double d[4];
             return QXCM_GETPARAMETERLIMITS_41(0, 15, s, d, d + 1, d + 2, d + 3, s + 1, s + 2, e);
         },
         0,
         {"VelaReadValue"}},
        {"prepare",
         1,
         open(1),
         [](int32_t *e) { return QXCM_PREPARECAPTURE_40(1, 1, 5, &W, &H, &T, e); },
         0,
         {}},
        {"start", 1, prepared(1), [](int32_t *e) { return QXCM_STARTCAPTURE_40(1, e); }, 0, {}},
        {"wait",
         1,
         started(1),
         [](int32_t *e) { return QXCM_WAITNEXTFRAME_40(1, 100, gScratch, gScratch + 1, e); },
         0,
         {}},
        {"frame",
         1,
         started(1),
         [](int32_t *e) { return QXCM_GETFRAME_40(1, 1, frame.data(), &gValue, 0, e); },
         0,
         {}},
        {"bundle",
         0,
         open(0),
         [](int32_t *e) { return QXCM_FRAMEBUNDLE_40(0, 1, 4, gScratch, e); },
         0,
         {}},
        {"release",
         1,
         prepared(1),
         [](int32_t *e) { return QXCM_UNPREPARECAPTURE_40(1, e); },
         0,
         {}},
        {"setarea",
         0,
         open(0),
         [](int32_t *e) { return QXCM_SETAREA_40(0, 8, 8, 64, 64, e); },
         0,
         {"VelaGetLastError"}},
        {"getarea",
         0,
         open(0),
         [](int32_t *e) {
             int32_t *s = gScratch;
             return QXCM_GETAREA_40(0, s, s + 1, s + 2, s + 3, s + 4, s + 5, s + 6, s + 7, s + 8,
                                    s + 9, s + 10, s + 11, s + 12, s + 13, s + 14, s + 15, e);
         },
         0,
         {"VelaGetLastError"}},
        {"regions",
         0,
         open(0),
         [](int32_t *e) {
             static const int32_t regions[] = {0, 0, 8, 8, 16, 16, 8, 8};
             return QXCM_SETMULTIREGION_40(0, regions, 2, e);
         },
         0,
         {}},
        {"setpaired",
         0,
         twoViews,
         [](int32_t *e) { return QXCM_SETAREA_PAIRED_40(0, 0, 0, 1024, 0, 256, 256, e); },
         0,
         {}},
        {"getpaired",
         0,
         twoViews,
         [](int32_t *e) {
             int32_t *s = gScratch;
             return QXCM_GETAREA_PAIRED_40(0, s, s + 1, s + 2, s + 3, s + 4, s + 5, s + 6, s + 7,
                                           s + 8, s + 9, s + 10, s + 11, s + 12, s + 13, s + 14,
                                           s + 15, s + 16, s + 17, e);
         },
         0,
         {"VelaGetLastError"}},
        {"inputtrigger",
         0,
         open(0),
         [](int32_t *e) { return QXCM_SETINPUTTRIGGER_40(0, 512, 1, 0, 0.0, e); },
         0,
         {}},
        {"oldertrigger",
         0,
         open(0),
         [](int32_t *e) { return QXCM_SETINPUTTRIGGER_40(0, 16, 1, 0, 0.0, e); },
         0,
         {"VelaGetLastError"}},
        {"triggersource",
         0,
         open(0),
         [](int32_t *e) {
             return QXCM_INPUTTRIGGERSOURCE_40(0, 2, 1, 0.0, e) &&
                    QXCM_INPUTTRIGGERACTIVE_40(0, 3, 2, e) && QXCM_INPUTTRIGGERADVANCE_40(0, 3, e);
         },
         0,
         {}},
        {"outputtrigger",
         0,
         open(0),
         [](int32_t *e) { return QXCM_SETOUTPUTTRIGGER_40(0, 3, 1, 0.001, 0.0, 2, 1, e); },
         0,
         {}},
        {"masterpulse",
         0,
         open(0),
         [](int32_t *e) { return QXCM_SETMASTERPULSE_40(0, 3, 1, 0.1, 5, e); },
         0,
         {}},
        {"lut",
         0,
         open(0),
         [](int32_t *e) {
             static const int32_t points[] = {0, 0, 65535, 65535};
             return QXCM_SETLUT_40(0, points, 2, e);
         },
         0,
         {}},
        {"emprotection",
         1,
         open(1),
         [](int32_t *e) {
             return QXCM_SETEMPROTECTION_40(1, 1, 1, 1, 1, e) &&
                    QXCM_GETEMPROTECTSTATUS_40(1, gScratch, e);
         },
         0,
         {}},
        {"electrons",
         1,
         open(1),
         [](int32_t *e) {
             float f[2];
             return QXCM_GETELECTRONINFO_40(1, f, f + 1, e);
         },
         0,
         {}},
        {"cooler", 1, open(1), [](int32_t *e) { return QXCM_SENSORCOOLER_40(1, 1, e); }, 0, {}},
        {"testpattern",
         0,
         open(0),
         [](int32_t *e) { return QXCM_TESTPATTERN_41(0, 2, 4, 100, e); },
         0,
         {}},
    };
}

// The recorder and the teardown of a recording capture; a teardown goes on past every failure.
std::string SweepRecording()
{
    return qxtest::TempPath("qxtest_sweep.vlseq"); // the process id is in the name
}

std::vector<Flow> RecordingFlows()
{
    auto prepared = [] {
        int32_t err = 0;
        QXCM_OPENCAMERA_40(1, 0, &err);
        QXCM_PREPARECAPTURE_40(1, 1, 5, &W, &H, &T, &err);
    };
    auto recording = [] {
        int32_t err = 0;
        QXCM_OPENCAMERA_40(1, 0, &err);
        QXCM_PREPARECAPTURE_40(1, 1, 5, &W, &H, &T, &err);
        QXCM_STARTRECORDER_41(1, SweepRecording().c_str(), 20, 0, &err);
        QXCM_STARTCAPTURE_40(1, &err);
        VelaSim_DeliverFrames(1, 3);
    };
    const std::set<std::string> teardown = {"VelaStopCapture",    "VelaGetCaptureStatus",
                                            "VelaReleaseBuffers", "VelaClose",
                                            "VelaUninit",         "VelaRecorderClose"};
    return {
        {"startrecorder",
         1,
         prepared,
         [](int32_t *e) { return QXCM_STARTRECORDER_41(1, SweepRecording().c_str(), 20, 0, e); },
         0,
         {}},
        {"stoprecorder",
         1,
         recording,
         [](int32_t *e) { return QXCM_STOPRECORDER_40(1, e); },
         0,
         {}},
        {"recorderstatus",
         1,
         recording,
         [](int32_t *e) { return QXCM_GETRECORDERSTATUS_40(1, gScratch, gScratch + 1, e); },
         0,
         {}},
        {"metadata",
         1,
         recording,
         [](int32_t *e) { return QXCM_WRITEMETADATA_40(1, 2, 1, "text", 4, e); },
         0,
         {}},
        {"recorderframe",
         1,
         recording,
         [](int32_t *e) { return QXCM_GETRECORDERFRAME_40(1, 1, 0, e); },
         0,
         {}},
        {"closerecording", 1, recording, [](int32_t *e) { return QXCM_CLOSECAMERA_40(1, e); }, 0,
         teardown},
        {"deinitrecording", 1, recording, [](int32_t *) { return QXCM_DEINITIALIZE_40(1); }, 0,
         teardown},
    };
}

// The corrections, one flow per export. A reference capture goes on past its unexamined calls;
// their failures surface later as a wait without buffers or for a capture that never started.
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
    const std::set<std::string> referenceCalls = {
        "VelaAllocBuffers", "VelaCaptureStart",    "VelaWaitStart",       "VelaSetValue",
        "VelaStopCapture",  "VelaCommitReference", "VelaFinishReference", "VelaReleaseBuffers"};
    std::vector<Flow> flows;
    for (const Row &row : rows) {
        // References come from the free-running camera, binned so that each is quick, and a
        // missed one fails within the shortened calibration time-out.
        auto setup = [i = row.camera, store = row.store] {
            int32_t err = 0;
            VelaSim_SetManualClock(store ? 0 : 1);
            VelaSim_SetProperty(static_cast<int32_t>(i), 0x00401110, i == 0 ? 4 : 2);
            QXCM_OPENCAMERA_40(i, 0, &err);
            qxcm::State().contexts[i].calibrationTimeout = 300;
        };
        Flow flow{row.name, row.camera, setup, row.run, 0, {}};
        if (row.store) {
            flow.trailing = referenceCalls;
            flow.knockOn = {VELA_ERR_NOTREADY, VELA_ERR_TIMEOUT};
        }
        flows.push_back(flow);
    }
    return flows;
}

// The older family: boolean-style device calls report their cause through VelaGetLastError.
std::vector<Flow> LegacyFlows()
{
    auto legacyOpen = [](uint32_t i) { return [i] { QXCM_OPENCAMERA(i); }; };
    auto noSlots = [] { QXCM_DEINITIALIZE_40(1); };
    const std::set<std::string> cause = {"VelaGetLastError"};
    uint32_t *n = reinterpret_cast<uint32_t *>(gScratch);
    char *text = reinterpret_cast<char *>(gScratch + 16);
    double *d = reinterpret_cast<double *>(gScratch + 64);
    float *f = reinterpret_cast<float *>(gScratch + 128);
    return {
        {"QXCM_INITIALIZE", 0, noSlots, [n](int32_t *e) { return QXCM_INITIALIZE(n, e); }, 0, {}},
        {"QXCM_INITIALIZE_A",
         0,
         [] {},
         [n](int32_t *e) { return QXCM_INITIALIZE_A(n, 0, e); },
         0,
         {}},
        {"QXCM_INITIALIZE_B",
         0,
         [] {},
         [n, text](int32_t *e) { return QXCM_INITIALIZE_B(n, text, text + 64, 0, e); },
         0,
         {}},
        {"QXCM_INITIALIZE_C",
         0,
         [] {},
         [n, text](int32_t *e) { return QXCM_INITIALIZE_C(n, text, text + 64, 0, 0, e); },
         0,
         {}},
        {"QXCM_DEINITIALIZE_A",
         2,
         legacyOpen(2),
         [](int32_t *) { return QXCM_DEINITIALIZE_A(1); },
         0,
         {}},
        {"QXCM_DEINITIALIZE",
         2,
         legacyOpen(2),
         [](int32_t *) { return QXCM_DEINITIALIZE(); },
         0,
         {}},
        {"QXCM_OPENCAMERA",
         2,
         [] {},
         [](int32_t *e) {
             int32_t ok = QXCM_OPENCAMERA(2);
             if (!ok) // reports no error of its own; the flow stands in for the host
                 *e = QXERR_OPEN_FAILED;
             return ok;
         },
         QXERR_OPEN_FAILED,
         {"VelaClose"}},
        {"QXCM_OPENCAMERA_A",
         2,
         [] {},
         [](int32_t *e) { return QXCM_OPENCAMERA_A(2, 1, e); },
         QXERR_OPEN_FAILED,
         {"VelaClose"}},
        {"QXCM_CLOSECAMERA",
         2,
         legacyOpen(2),
         [](int32_t *e) { return QXCM_CLOSECAMERA(2, e); },
         0,
         {}},
        {"QXCM_GETCAMERAINFO",
         2,
         legacyOpen(2),
         [text](int32_t *e) { return QXCM_GETCAMERAINFO(2, 0x04000104, text, e); },
         0,
         {}},
        {"QXCM_GETNEXTPROPERTY", 2, legacyOpen(2),
         [text](int32_t *e) {
             int32_t number = 17296 + 0x00402120;
             return QXCM_GETNEXTPROPERTY(2, text, &number, e);
         },
         0, cause},
        {"QXCM_SETPROPERTYVALUE",
         0,
         legacyOpen(0),
         [](int32_t *e) { return QXCM_SETPROPERTYVALUE(0, 0x001F0110, 0.5f, e); },
         0,
         {}},
        {"QXCM_GETPROPERTYVALUE",
         0,
         legacyOpen(0),
         [f](int32_t *e) { return QXCM_GETPROPERTYVALUE(0, 0x001F0110, f, e); },
         0,
         {}},
        {"QXCM_GETPROPERTYINFO_capability", 2, legacyOpen(2),
         [n, d](int32_t *e) {
             return QXCM_GETPROPERTYINFO(2, 17, n, d, d + 1, d + 2, d + 3, n + 1, e);
         },
         0, cause},
        {"QXCM_GETPROPERTYINFO_feature", 2, legacyOpen(2),
         [n, d](int32_t *e) {
             return QXCM_GETPROPERTYINFO(2, 7, n, d, d + 1, d + 2, d + 3, n + 1, e);
         },
         0, cause},
        {"QXCM_GETPROPERTYINFO_device",
         0,
         legacyOpen(0),
         [n, d](int32_t *e) {
             return QXCM_GETPROPERTYINFO(0, 17, n, d, d + 1, d + 2, d + 3, n + 1, e);
         },
         0,
         {"VelaGetLastError", "VelaReadValue"}},
        {"QXCM_GETPROPERTYTEXT",
         2,
         legacyOpen(2),
         [text, d](int32_t *e) { return QXCM_GETPROPERTYTEXT(2, 18, text, 0.0, d, e); },
         0,
         {}},
        {"QXCM_GETPARAMETER_feature", 2, legacyOpen(2),
         [d](int32_t *e) { return QXCM_GETPARAMETER(2, 7, d, 0, e); }, 0, cause},
        {"QXCM_GETPARAMETER_capability", 2, legacyOpen(2),
         [d](int32_t *e) { return QXCM_GETPARAMETER(2, 6, d, 0, e); }, 0, cause},
        {"QXCM_SETPARAMETER_feature", 2, legacyOpen(2),
         [](int32_t *e) { return QXCM_SETPARAMETER(2, 8, 5.0, 0, e); }, 0, cause},
        {"QXCM_SETPARAMETER_capability", 2, legacyOpen(2),
         [](int32_t *e) { return QXCM_SETPARAMETER(2, 17, 2.0, 0, e); }, 0, cause},
        {"QXCM_SETPARAMETER_device",
         0,
         legacyOpen(0),
         [](int32_t *e) { return QXCM_SETPARAMETER(0, 7, 0.5, 0, e); },
         0,
         {}},
        {"QXCM_SETMASTERPULSE",
         0,
         legacyOpen(0),
         [](int32_t *e) { return QXCM_SETMASTERPULSE(0, 2, 2, 0.5, e); },
         0,
         {}},
        {"QXCM_SETSCANMODE", 2, legacyOpen(2), [](int32_t *e) { return QXCM_SETSCANMODE(2, 2, e); },
         0, cause},
        {"QXCM_SETTRIGGER",
         0,
         legacyOpen(0),
         [](int32_t *e) { return QXCM_SETTRIGGER(0, 64, 2, e); },
         0,
         {}},
        {"QXCM_SETINPUTTRIGGER",
         0,
         legacyOpen(0),
         [](int32_t *e) { return QXCM_SETINPUTTRIGGER(0, 2, 2, 0, 0.001f, e); },
         0,
         {}},
        {"QXCM_SETOUTPUTTRIGGER",
         0,
         legacyOpen(0),
         [](int32_t *e) { return QXCM_SETOUTPUTTRIGGER(0, 3, 2, 0.001, 0.002, 1, e); },
         0,
         {}},
        {"QXCM_SETOUTPUTTRIGGER_A",
         0,
         legacyOpen(0),
         [](int32_t *e) { return QXCM_SETOUTPUTTRIGGER_A(0, 2, 2, 0.0, 0.0, 0, 1, e); },
         0,
         {}},
        {"QXCM_SETAREA", 2, legacyOpen(2),
         [](int32_t *e) { return QXCM_SETAREA(2, 8, 8, 640, 480, e); }, 0, cause},
        {"QXCM_GETAREA", 2, legacyOpen(2),
         [n](int32_t *e) { return QXCM_GETAREA(2, n, n + 1, n + 2, n + 3, e); }, 0, cause},
        {"QXCM_GETAREA_A", 2, legacyOpen(2),
         [n](int32_t *e) {
             return QXCM_GETAREA_A(2, n, n + 1, n + 2, n + 3, n + 4, n + 5, n + 6, n + 7, n + 8,
                                   n + 9, n + 10, n + 11, n + 12, n + 13, n + 14, n + 15, e);
         },
         0, cause},
    };
}

// One flow per export of the older capture and frame calls, named after it; a failed
// success-or-failure call is followed by the query for its cause.
std::vector<Flow> OlderFlows()
{
    auto open = [](uint32_t i) {
        return [i] {
            int32_t err = 0;
            QXCM_OPENCAMERA_40(i, 0, &err);
        };
    };
    auto started = [](uint32_t mode, uint32_t frames, int32_t delivered) {
        return [=] {
            int32_t err = 0;
            QXCM_OPENCAMERA_40(1, 0, &err);
            QXCM_STARTCAPTURE_A(1, mode, frames, &T, &W, &H, &err);
            VelaSim_DeliverFrames(1, delivered);
        };
    };
    auto softwareTrigger = [started] {
        VelaSim_SetProperty(1, 0x00100110, 3.0);
        started(1, 3, 0)();
    };
    auto stopped = [started] {
        started(1, 3, 1)();
        int32_t err = 0;
        QXCM_STOPCAPTURE(1, &err);
    };
    auto prepared = [] {
        int32_t err = 0;
        QXCM_OPENCAMERA_40(1, 0, &err);
        QXCM_PREPARECAPTURE_40(1, 0, 3, &W, &H, &T, &err);
    };
    auto splitOpen = [] {
        VelaSim_SetProperty(0, 0x00400210, 14.0);
        int32_t err = 0;
        QXCM_OPENCAMERA_40(0, 0, &err);
    };
    auto split = [] {
        VelaSim_SetProperty(0, 0x00400210, 14.0);
        int32_t err = 0;
        QXCM_OPENCAMERA_40(0, 0, &err);
        QXCM_PREPARECAPTURE_40(0, 0, 2, &W, &H, &T, &err);
        QXCM_STARTCAPTURE_40(0, &err);
        VelaSim_DeliverFrames(0, 2);
    };
    static std::vector<uint8_t> frame(size_t(64) << 20), other(size_t(16) << 20);
    uint8_t *f = frame.data();
    auto u = reinterpret_cast<uint32_t *>(gScratch);
    auto n = gScratch;
    auto r = [](const char *name, uint32_t camera, std::function<void()> setup,
                std::function<int32_t(int32_t *)> run) {
        return Flow{name, camera, std::move(setup), std::move(run), 0, {"VelaGetLastError"}};
    };
    return {
        r("QXCM_PREPARECAPTURE", 1, open(1),
          [](int32_t *e) { return QXCM_PREPARECAPTURE(1, 1, 5, &W, &H, &T, e); }),
        r("QXCM_UNPREPARECAPTURE", 1, stopped,
          [](int32_t *e) { return QXCM_UNPREPARECAPTURE(1, e); }),
        r("QXCM_STARTCAPTURE", 1, open(1),
          [](int32_t *e) { return QXCM_STARTCAPTURE(1, 0, 4, &T, e); }),
        r("QXCM_STARTCAPTURE_A", 1, open(1),
          [](int32_t *e) { return QXCM_STARTCAPTURE_A(1, 1, 3, &T, &W, &H, e); }),
        r("QXCM_STARTCAPTURE_B", 1, prepared, [](int32_t *e) { return QXCM_STARTCAPTURE_B(1, e); }),
        r("QXCM_STOPCAPTURE", 1, started(1, 3, 1),
          [](int32_t *e) { return QXCM_STOPCAPTURE(1, e); }),
        r("QXCM_WAITNEXTFRAME", 1, started(1, 3, 2),
          [n](int32_t *e) { return QXCM_WAITNEXTFRAME(1, 100, n, n + 1, e); }),
        r("QXCM_WAITFOREVENT", 1, started(1, 3, 2),
          [u](int32_t *e) {
              *u = VELA_EVENT_FRAMEREADY;
              return QXCM_WAITFOREVENT(1, 100, u, e);
          }),
        r("QXCM_GETCAPTUREINFO", 1, started(1, 3, 2),
          [n](int32_t *e) { return QXCM_GETCAPTUREINFO(1, n, n + 1, e); }),
        r("QXCM_FIRETRIGGER", 1, softwareTrigger,
          [](int32_t *e) { return QXCM_FIRETRIGGER(1, e); }),
        r("QXCM_GETFRAMESIZE", 1, started(1, 3, 0),
          [u](int32_t *e) { return QXCM_GETFRAMESIZE(1, u, u + 1, e); }),
        r("QXCM_GETFRAMESIZE_A", 1, started(1, 3, 0),
          [u](int32_t *e) { return QXCM_GETFRAMESIZE_A(1, u, u + 1, u + 2, e); }),
        r("QXCM_GETFRAME", 1, started(1, 3, 2),
          [f](int32_t *e) { return QXCM_GETFRAME(1, 1, f, e); }),
        r(
            "QXCM_GETFRAME_A", 1,
            [started] {
                started(1, 3, 2)();
                int32_t err = 0;
                QXCM_GETFRAME(1, 1, frame.data(),
                              &err); // its source, at the pitch locked last
            },
            [f](int32_t *e) { return QXCM_GETFRAME_A(1, f, other.data(), e); }),
        r("QXCM_GETFRAME_B", 1, started(1, 3, 2),
          [f](int32_t *e) { return QXCM_GETFRAME_B(1, 1, f, &gValue, e); }),
        r("QXCM_GETNEXTFRAME", 1, started(1, 3, 2),
          [f](int32_t *e) { return QXCM_GETNEXTFRAME(1, f, e); }),
        r("QXCM_GETNEXTFRAME_A", 1, started(0, 4, 1),
          [f](int32_t *e) { return QXCM_GETNEXTFRAME_A(1, f, 100, e); }),
        r("QXCM_GETNEXTFRAME_B", 1, started(1, 3, 2),
          [f](int32_t *e) { return QXCM_GETNEXTFRAME_B(1, f, 100, e); }),
        r("QXCM_GETNEXTFRAME_U8", 1, started(1, 3, 2),
          [f](int32_t *e) { return QXCM_GETNEXTFRAME_U8(1, f, 100, e); }),
        r("QXCM_SETAREA_PAIRED", 0, splitOpen,
          [](int32_t *e) { return QXCM_SETAREA_PAIRED(0, 0, 0, 1024, 0, 256, 256, e); }),
        r("QXCM_GETAREA_PAIRED", 0, splitOpen,
          [n](int32_t *e) {
              return QXCM_GETAREA_PAIRED(0, n, n + 1, n + 2, n + 3, n + 4, n + 5, n + 6, n + 7,
                                         n + 8, n + 9, n + 10, n + 11, n + 12, n + 13, n + 14,
                                         n + 15, n + 16, n + 17, e);
          }),
        r("QXCM_GETFRAME_PAIRED", 0, split,
          [f](int32_t *e) { return QXCM_GETFRAME_PAIRED(0, 1, f, other.data(), &gValue, e); }),
        r("QXCM_GETELECTRONFRAME", 1, open(1),
          [f](int32_t *e) {
              return QXCM_GETELECTRONFRAME(1, 0, f, e) == 0 && *e == QXERR_NOTSUPPORT;
          }),
        r("QXCM_GETELECTRONINFO", 1, prepared,
          [](int32_t *e) {
              float a = 0, b = 0;
              return QXCM_GETELECTRONINFO(1, 2, &a, &b, e);
          }),
        r("QXCM_SETEMPROTECTION", 1, open(1),
          [](int32_t *e) { return QXCM_SETEMPROTECTION(1, 1, 1, 2, 10, e); }),
        r("QXCM_GETEMPROTECTSTATUS", 1, open(1),
          [n](int32_t *e) { return QXCM_GETEMPROTECTSTATUS(1, n, e); }),
    };
}

class FaultSweep : public LibraryTest, public ::testing::WithParamInterface<Flow> {};

TEST_P(FaultSweep, ReportsTheFailingCallAndStopsThere)
{
    const Flow &flow = GetParam();
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
        int32_t err = 12345;
        int32_t ok = flow.run(&err);
        std::vector<std::string> journal = Journal();
        size_t failed = journal.size();
        for (size_t n = 0; n < journal.size(); ++n)
            if (journal[n].find(kInjectedText) != std::string::npos) {
                failed = n;
                break;
            }
        if (failed == journal.size()) { // the k-th call was never made: every k was covered
            EXPECT_EQ(ok, 1) << flow.name << " k=" << k;
            break;
        }
        if (ok) {
            EXPECT_EQ(err, 12345) << flow.name << " k=" << k << ": error written on success";
            continue;
        }
        EXPECT_TRUE(err == kInjected || (flow.ownCode && err == flow.ownCode) ||
                    flow.knockOn.count(err))
            << flow.name << " k=" << k << " reported " << err << " after " << journal[failed];
        for (size_t n = failed + 1; n < journal.size(); ++n) {
            std::string op = journal[n].substr(0, journal[n].find('('));
            EXPECT_TRUE(flow.trailing.count(op))
                << flow.name << " k=" << k << ": " << journal[n] << " after " << journal[failed];
        }
    }
}

std::string FlowName(const ::testing::TestParamInfo<Flow> &info)
{
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(Flows, FaultSweep, ::testing::ValuesIn(Flows()), FlowName);
INSTANTIATE_TEST_SUITE_P(Recording, FaultSweep, ::testing::ValuesIn(RecordingFlows()), FlowName);
INSTANTIATE_TEST_SUITE_P(Legacy, FaultSweep, ::testing::ValuesIn(LegacyFlows()), FlowName);
INSTANTIATE_TEST_SUITE_P(Corrections, FaultSweep, ::testing::ValuesIn(CorrectionFlows()), FlowName);
INSTANTIATE_TEST_SUITE_P(LegacyCapture, FaultSweep, ::testing::ValuesIn(OlderFlows()), FlowName);

// Every export of the list with an ordinal from `first` to `last` that makes a device call runs
// in one of the flows (named after it, or after it and a suffix).
void ExpectAFlowPerExport(const std::vector<Flow> &flows, int first, int last,
                          const std::set<std::string> &callless)
{
    struct Row {
        int ordinal;
        const char *name;
    };
    const Row rows[] = {
#define QX_EXPORT(ordinal, name, frame, logName, probe) {ordinal, #name},
#define QX_ALIAS(ordinal, name, target)
#include "exports/export_list.inc"
#undef QX_EXPORT
#undef QX_ALIAS
    };
    for (const Row &row : rows) {
        if (row.ordinal < first || row.ordinal > last || callless.count(row.name))
            continue;
        bool found = false;
        for (const Flow &flow : flows) {
            std::string name = flow.name;
            found = found || name == row.name || name.rfind(std::string(row.name) + "_", 0) == 0;
        }
        EXPECT_TRUE(found) << row.name;
    }
}

// The older family's settings and open (ordinals 88 to 116); these two answer without a device
// call, so no device failure can reach them.
TEST(FaultSweepCoverage, EveryLegacyExportHasAFlow)
{
    ExpectAFlowPerExport(LegacyFlows(), 88, 116, {"QXCM_GETRANGE", "QXCM_SETCOOLING"});
}

TEST(FaultSweepCoverage, EveryCorrectionExportHasAFlow)
{
    ExpectAFlowPerExport(CorrectionFlows(), 74, 87, {});
}

TEST(FaultSweepCoverage, EveryOlderCaptureExportHasAFlow)
{
    ExpectAFlowPerExport(OlderFlows(), 117, 142, {});
}

} // namespace
