#include "support/qx_test.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "core/call_log.h"
#include "core/device.h"
#include "core/platform.h"
#include "velaapi/vela_sim.h"

namespace qxtest {

int32_t fakeClockMs = 0;
std::vector<uint32_t> sleepsMs;

namespace {

std::string gLogPath;

std::string Field(const std::string &line, const std::string &name)
{
    size_t at = line.find(name + "=");
    if (at == std::string::npos)
        return "?";
    at += name.size() + 1;
    size_t end = line.find_first_of(",)", at);
    return line.substr(at, end - at);
}

} // namespace

std::vector<std::string> LibraryTest::Writes()
{
    std::vector<std::string> writes;
    for (const std::string &line : Journal()) {
        if (line.rfind("VelaSetValue(", 0) == 0)
            writes.push_back(Field(line, "id") + "=" + Field(line, "value"));
        else if (line.rfind("VelaSetTriggerMode(", 0) == 0)
            writes.push_back("mode(" + Field(line, "value") + ")");
        else if (line.rfind("VelaSetData(", 0) == 0)
            writes.push_back("data(kind=" + Field(line, "kind") +
                             ", bytes=" + Field(line, "entryBytes") + ")");
    }
    return writes;
}

std::vector<uint8_t> DeviceFrame(uint64_t device, int32_t index, int64_t bytes, int32_t *pitch)
{
    VelaFrameRecord r{};
    r.size = sizeof r;
    r.index = index;
    EXPECT_GE(qxcm::Device().VelaLockFrame(device, &r), 0);
    if (pitch)
        *pitch = r.rowBytes;
    if (bytes < 0)
        bytes = int64_t(r.height) * r.rowBytes;
    const auto *p = static_cast<const uint8_t *>(r.address);
    return std::vector<uint8_t>(p, p + bytes);
}

// The process id keeps the test runs of other builds, which share the directory, from removing
// or truncating this run's files between a call and its check.
void LibraryTest::SetUp()
{
    const ::testing::TestInfo *info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string("qxtest_") + info->test_suite_name() + "_" + info->name();
    std::replace(name.begin(), name.end(), '/', '_');
    logPath = TempPath(name + ".log");
    std::remove(logPath.c_str());
    gLogPath = logPath;
    qxcm::Os().logPath = [] { return gLogPath.c_str(); };
    qxcm::Os().elapsedMs = [] { return fakeClockMs; };
    qxcm::Os().readCalibrationTimeout = [](int32_t *) { return false; };
    qxcm::Os().sleepMs = [](uint32_t ms) { sleepsMs.push_back(ms); };
    fakeClockMs = 0;
    sleepsMs.clear();
    VelaSim_Reset();
    qxcm::State().apiLevel = 0;
}

void LibraryTest::TearDown()
{
    QXCM_DEINITIALIZE_40(1);
    qxcm::State().apiLevel = 0;
    VelaSim_Reset();
    std::remove(logPath.c_str());
}

uint32_t LibraryTest::InitWithLog()
{
    uint32_t count = 0;
    int32_t err = 0;
    EXPECT_EQ(QXCM_INITIALIZE_40(&count, nullptr, nullptr, 0, 1, &err), 1);
    return count;
}

void LibraryTest::OpenCamera(uint32_t i, uint32_t force)
{
    int32_t err = 0;
    ASSERT_EQ(QXCM_OPENCAMERA_40(i, force, &err), 1) << err;
    ClearJournal();
}

void LibraryTest::Prepare(uint32_t i, uint32_t mode, int32_t frames)
{
    uint32_t w = 0, h = 0, t = 0;
    int32_t err = 0;
    ASSERT_EQ(QXCM_PREPARECAPTURE_40(i, mode, frames, &w, &h, &t, &err), 1) << err;
}

void LibraryTest::StartWithFrames(uint32_t i, int32_t frames)
{
    int32_t err = 0;
    ASSERT_EQ(QXCM_STARTCAPTURE_40(i, &err), 1) << err;
    ASSERT_EQ(VelaSim_DeliverFrames(static_cast<int32_t>(i), frames), frames);
}

std::vector<std::string> LibraryTest::LogLines()
{
    if (qxcm::Log().logFile)
        fflush(qxcm::Log().logFile);
    std::vector<std::string> lines;
    std::ifstream in(logPath, std::ios::binary);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') // a text-mode file on Windows
            line.pop_back();
        lines.push_back(line + "\n");
    }
    return lines;
}

std::vector<std::string> LibraryTest::Journal()
{
    std::vector<std::string> lines;
    char text[1024];
    for (int32_t i = 0; i < VelaSim_JournalCount(); ++i) {
        VelaSim_JournalLine(i, text, sizeof text);
        lines.push_back(text);
    }
    return lines;
}

std::vector<std::string> LibraryTest::JournalOf(const std::string &op)
{
    std::vector<std::string> all = Journal(), lines;
    std::copy_if(all.begin(), all.end(), std::back_inserter(lines),
                 [&](const std::string &line) { return line.rfind(op + "(", 0) == 0; });
    return lines;
}

int RunProgram(const std::string &program, const std::string &arguments)
{
#ifdef _WIN32
    return std::system((program + ".exe " + arguments).c_str());
#else
    const int rc = std::system(("./" + program + " " + arguments).c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
#endif
}

} // namespace qxtest

// Under the address sanitizer an allocation too large to satisfy must fail the way it does
// elsewhere, by returning null, so the library's own handling of it can be tested.
extern "C" const char *__asan_default_options()
{
    return "allocator_may_return_null=1";
}
