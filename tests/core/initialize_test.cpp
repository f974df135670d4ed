// Initialisation, de-initialisation and the teardown at exit, with their exact log lines and
// the device calls they make.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include "core/call_log.h"
#include "core/device.h"
#include "core/initialize.h"
#include "core/platform.h"
#include "support/qx_test.h"
#include "velaapi/vela_sim.h"

using qxtest::LibraryTest;
using Lines = std::vector<std::string>;

namespace {

// Opens slot i on the device directly, as opening a camera leaves it.
void ForceOpen(uint32_t i)
{
    VelaOpenRecord open{};
    open.size = sizeof open;
    open.index = i;
    ASSERT_GE(qxcm::Device().VelaOpen(&open), 0);
    qxcm::State().contexts[i].deviceHandle = open.device;
    qxcm::SetCameraOpen(i, true);
}

class Initialize : public LibraryTest {};

// From nothing it initialises, raises the API level and logs from zero; with a camera open it
// only reports, keeping the API level an older initialiser left. The error is written only on
// failure.
TEST_F(Initialize, ReportsCountAndVersionsAndInitialisesOnlyWithNoCameraOpen)
{
    for (bool cameraOpen : {false, true}) {
        SCOPED_TRACE(cameraOpen);
        TearDown();
        SetUp();
        if (cameraOpen) {
            InitWithLog();
            ForceOpen(1);
            ClearJournal();
        }
        qxcm::State().apiLevel = 30; // as an older initialiser leaves it
        uint32_t count = 99;
        char qxver[64] = "", velaver[64] = "";
        int32_t err = 12345;
        ASSERT_EQ(QXCM_INITIALIZE_40(&count, qxver, velaver, 0, 1, &err), 1);
        EXPECT_EQ(count, 3u);
        EXPECT_STREQ(qxver, "4.4.24.225");
        EXPECT_STREQ(velaver, "4.2.1.7");
        EXPECT_EQ(err, 12345);
        EXPECT_EQ(qxcm::State().apiLevel, cameraOpen ? 30 : 40);
        EXPECT_EQ(qxcm::State().cameraCount, 3u);
        for (uint32_t i = 0; i < 3; ++i)
            EXPECT_EQ(qxcm::IsCameraOpen(i), cameraOpen && i == 1);
        EXPECT_EQ(LogLines(),
                  (Lines{"0.000 QXCM_INITIALIZE_40 -> \n",
                         std::string("0.000 QXCM_INITIALIZE_40 ") + (cameraOpen ? "UN" : "OK") +
                             " QXVER=4.4.24.225 VELAVER=4.2.1.7\n"}));
        EXPECT_EQ(JournalOf("VelaInit").size(), cameraOpen ? 0u : 1u);
    }
}

// Initialising again with no camera open initialises the device again and starts a new log,
// whose seconds count from its own opening.
TEST_F(Initialize, AgainWithoutOpenCamerasStartsTheDeviceAndTheLogAfresh)
{
    InitWithLog();
    qxtest::fakeClockMs = 5000;
    InitWithLog();
    EXPECT_EQ(JournalOf("VelaInit").size(), 2u);
    qxtest::fakeClockMs = 6234;
    QXCM_DEINITIALIZE_40(0);
    EXPECT_EQ(
        LogLines(),
        (Lines{"0.000 QXCM_INITIALIZE_40 -> \n", "0.000 QXCM_INITIALIZE_40 OK QXVER= VELAVER=\n",
               "1.234 QXCM_DEINITIALIZE_40 -> \n", "1.234 QXCM_DEINITIALIZE_40 OK\n"}));
}

// A host that crashes after a call must find that call's lines in the file: each line reaches
// the system as it is written, read back here without flushing anything first.
TEST_F(Initialize, EveryLogLineIsInTheFileAsSoonAsItIsWritten)
{
    InitWithLog();
    int32_t err = 0;
    QXCM_OPENCAMERA_40(1, 0, &err);
    std::ifstream in(logPath, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("QXCM_INITIALIZE_40 -> "), std::string::npos);
    EXPECT_NE(text.find("QXCM_OPENCAMERA_40 OK"), std::string::npos) << text;
}

TEST_F(Initialize, WithTheLogOffWritesNoFile)
{
    uint32_t count = 0;
    ASSERT_EQ(QXCM_INITIALIZE_40(&count, nullptr, nullptr, 0, 0, nullptr), 1);
    QXCM_DEINITIALIZE_40(1);
    FILE *f = fopen(logPath.c_str(), "r");
    EXPECT_EQ(f, nullptr);
    if (f)
        fclose(f);
}

void *NoModule(qxcm::Module)
{
    return nullptr;
}

void *(*gRealResolve)(void *, int, const char *);
void *ResolveAllButOne(void *module, int ordinal, const char *name)
{
    return std::strcmp(name, "VelaFireTrigger") == 0 ? nullptr
                                                     : gRealResolve(module, ordinal, name);
}

// A device library that is missing, or lacks one operation, fails with QXERR_NOMODULE, writes
// no version text and leaves de-initialisation harmless; the real one binds again afterwards.
TEST_F(Initialize, MissingOrIncompleteDeviceLibraryFailsWithNoModule)
{
    auto load = qxcm::Os().loadModule;
    gRealResolve = qxcm::Os().resolve;
    for (bool missing : {true, false}) {
        if (missing)
            qxcm::Os().loadModule = NoModule;
        else
            qxcm::Os().resolve = ResolveAllButOne;
        qxcm::ResetDeviceBinding();
        int32_t err = 0;
        char velaver[64] = "unchanged";
        EXPECT_EQ(QXCM_INITIALIZE_40(nullptr, nullptr, velaver, 0, 1, &err), 0) << missing;
        EXPECT_EQ(err, QXERR_NOMODULE);
        EXPECT_STREQ(velaver, "unchanged");
        EXPECT_EQ(QXCM_DEINITIALIZE_40(1), 1) << "de-initialising an unbound library is harmless";
        qxcm::Os().loadModule = load;
        qxcm::Os().resolve = gRealResolve;
        qxcm::ResetDeviceBinding();
        EXPECT_EQ(QXCM_INITIALIZE_40(nullptr, nullptr, nullptr, 0, 0, &err), 1);
    }
}

int32_t HugeCameraCount(VelaInitRecord *record)
{
    record->cameraCount = 0x7FFFFFFF;
    return 1;
}

// A device that fails to initialise, or reports more cameras than can be allocated: the failure
// code, a count of 0 and no slots.
TEST_F(Initialize, AFailedInitialisationReportsItsCodeAndLeavesNoSlots)
{
    auto init = qxcm::Device().VelaInit;
    for (bool huge : {false, true}) {
        InitWithLog();
        qxcm::State().apiLevel = 0;
        if (huge)
            qxcm::Device().VelaInit = HugeCameraCount;
        else
            VelaSim_FailCall("VelaInit", 0, 1, static_cast<int32_t>(0x80000206), 0);
        uint32_t count = 7;
        int32_t err = 0;
        EXPECT_EQ(QXCM_INITIALIZE_40(&count, nullptr, nullptr, 0, 1, &err), 0);
        qxcm::Device().VelaInit = init;
        EXPECT_EQ(err, huge ? QXERR_NOMEMORY : static_cast<int32_t>(0x80000206));
        EXPECT_EQ(count, 0u);
        EXPECT_EQ(qxcm::State().cameraCount, 0u);
        EXPECT_EQ(qxcm::State().apiLevel, 0);
        EXPECT_EQ(LogLines(),
                  (Lines{"0.000 QXCM_INITIALIZE_40 -> \n", "0.000 QXCM_INITIALIZE_40 NG\n"}));
    }
}

TEST_F(Initialize, DeinitialiseRefusesWhileACameraIsOpenButEndsTheLog)
{
    InitWithLog();
    ForceOpen(2);
    ClearJournal();
    EXPECT_EQ(QXCM_DEINITIALIZE_40(0), 1);
    EXPECT_TRUE(qxcm::IsCameraOpen(2));
    EXPECT_EQ(qxcm::State().cameraCount, 3u);
    EXPECT_EQ(qxcm::Log().logEnabled, 0);
    EXPECT_TRUE(Journal().empty());
    EXPECT_EQ(LogLines().back(), "0.000 QXCM_DEINITIALIZE_40 NG\n");
}

TEST_F(Initialize, DeinitialiseForcedClosesEveryOpenCameraAndUninitialises)
{
    InitWithLog();
    ForceOpen(0);
    ForceOpen(2);
    ClearJournal();
    EXPECT_EQ(QXCM_DEINITIALIZE_40(1), 1);
    EXPECT_EQ(qxcm::State().cameraCount, 0u);
    EXPECT_EQ(qxcm::State().contexts, nullptr);
    EXPECT_EQ(qxcm::State().apiLevel, 40) << "de-initialisation never lowers the API level";
    EXPECT_EQ(JournalOf("VelaStopCapture").size(), 2u);
    EXPECT_EQ(JournalOf("VelaGetCaptureStatus").size(), 2u);
    EXPECT_EQ(JournalOf("VelaClose").size(), 2u);
    EXPECT_EQ(JournalOf("VelaUninit").size(), 1u);
    Lines log = LogLines();
    EXPECT_EQ(log[log.size() - 2], "0.000 QXCM_DEINITIALIZE_40 -> \n");
    EXPECT_EQ(log.back(), "0.000 QXCM_DEINITIALIZE_40 OK\n");
}

// The journal of a child host program, from the simulated device's journal file.
std::vector<std::string> ChildJournal(const char *openCameras)
{
    std::string path = qxtest::TempPath("qxtest_exit_journal.txt");
    std::remove(path.c_str());
#ifdef _WIN32
    _putenv_s("VELASIM_JOURNAL", path.c_str());
#else
    setenv("VELASIM_JOURNAL", path.c_str(), 1);
#endif
    int rc = qxtest::RunProgram("qxcm_exit_child", openCameras);
#ifdef _WIN32
    _putenv_s("VELASIM_JOURNAL", "");
#else
    unsetenv("VELASIM_JOURNAL");
#endif
    EXPECT_EQ(rc, 0);
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line.substr(0, line.find('(')));
    std::remove(path.c_str());
    return lines;
}

size_t CountOf(const std::vector<std::string> &ops, const char *op)
{
    return static_cast<size_t>(std::count(ops.begin(), ops.end(), op));
}

TEST_F(Initialize, AtProcessExitClosesWhatTheHostLeftOpen)
{
    std::vector<std::string> ops = ChildJournal("2");
    ASSERT_FALSE(ops.empty());
    auto start = std::find(ops.begin(), ops.end(), "VelaCaptureStart");
    ASSERT_NE(start, ops.end());
    std::vector<std::string> teardown(start + 1, ops.end());
    EXPECT_EQ(CountOf(teardown, "VelaStopCapture"), 2u);
    EXPECT_EQ(CountOf(teardown, "VelaGetCaptureStatus"), 2u);
#ifdef _WIN32
    // Windows ends the device's capture thread first, sometimes while it holds the camera's
    // lock; the device then reports no status and nothing is released.
    EXPECT_LE(CountOf(teardown, "VelaReleaseBuffers"), 1u);
#else
    EXPECT_EQ(CountOf(teardown, "VelaReleaseBuffers"), 1u);
#endif
    EXPECT_EQ(CountOf(teardown, "VelaClose"), 2u);
    ASSERT_FALSE(teardown.empty());
    EXPECT_EQ(teardown.back(), "VelaUninit");

    ops = ChildJournal("0");
    EXPECT_EQ(CountOf(ops, "VelaUninit"), 0u) << "nothing was open, so nothing is torn down";
}

} // namespace
