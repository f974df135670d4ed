// Shared fixture of the library's tests: a fresh library and simulated device per test, the
// call log in a temporary file under a fake clock, and readers for the log and the journal.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/library_state.h"
#include "qxcm/qxcm.h"
#include "support/test_paths.h"
#include "velaapi/vela_sim.h"

namespace qxtest {

// The code tests inject into device calls, and how the journal writes it.
constexpr int32_t kInjected = static_cast<int32_t>(0x80000301);
constexpr const char *kInjectedText = "0x80000301";

// Buffer frame `index` of an open device as the device holds it: `bytes` bytes, or the whole
// frame (height x pitch) when `bytes` is negative; `pitch` receives the row pitch.
std::vector<uint8_t> DeviceFrame(uint64_t device, int32_t index, int64_t bytes = -1,
                                 int32_t *pitch = nullptr);

// Milliseconds the fake clock reports; tests move it to check elapsed seconds.
extern int32_t fakeClockMs;
// Every sleep the library asked for since the test began, in milliseconds; none is slept.
extern std::vector<uint32_t> sleepsMs;

class LibraryTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Initialises with the log on (fake clock at 0) and checks success; returns the count.
    uint32_t InitWithLog();
    // Opens camera i (closing it first with force) and clears the journal.
    void OpenCamera(uint32_t i, uint32_t force = 0);
    // Prepares camera i for `frames` frames (mode 1 sequence, other modes snap).
    void Prepare(uint32_t i, uint32_t mode, int32_t frames);
    // Starts camera i and delivers `frames` frames under the manual clock.
    void StartWithFrames(uint32_t i, int32_t frames);

    std::vector<std::string> LogLines();
    std::vector<std::string> Journal();
    // Journal lines that start with the operation name.
    std::vector<std::string> JournalOf(const std::string &op);
    void ClearJournal() { VelaSim_JournalClear(); }
    // The device writes since the journal was cleared, in order: each VelaSetValue as "0xID=value"
    // (value as the journal prints it with %g), each VelaSetTriggerMode as "mode(N)", each
    // VelaSetData as "data(kind=K, bytes=N)".
    std::vector<std::string> Writes();

    qxcm::CameraContext &Context(uint32_t i) { return qxcm::State().contexts[i]; }

    std::string logPath;
};

// Starts a program of the build folder with arguments; returns its exit code.
int RunProgram(const std::string &program, const std::string &arguments);

} // namespace qxtest
