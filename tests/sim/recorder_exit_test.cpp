// The host library's teardown at process exit with a recorder still connected: a child process
// records and exits without stopping anything, and the file it leaves is read back. On Windows
// the writer thread is gone before the teardown runs, so this is where the recorder's salvage of
// its queue at exit runs.
#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>

#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <string>

#include "recording_file.h"
#include "vela_api.h"

namespace {

using recordertest::Count;
using recordertest::Recording;
using recordertest::TempPath;

int RunChild(const std::string &path, int frames, const char *mode)
{
    const std::string arguments = " " + path + " " + std::to_string(frames) + " " + mode;
#ifdef _WIN32
    return system(("recorder_exit_child.exe" + arguments).c_str());
#else
    const int status = system(("./recorder_exit_child" + arguments).c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
}

TEST(RecorderAtExit, TheTeardownKeepsWhatTheRecorderTookAndTheTextsQueuedBehindIt)
{
#ifdef _WIN32
    // A writer thread ended in the middle of a frame may leave what the ring of 16 frames held.
    constexpr int64_t kRunningMayLose = 16;
#else
    constexpr int64_t kRunningMayLose = 0;
#endif
    const struct {
        const char *mode;
        int64_t mayLose;
        bool texts; // the file and the last frame carry texts written after the frames
    } rows[] = {{"running", kRunningMayLose, false}, {"drained", 0, true}};
    for (const auto &row : rows) {
        SCOPED_TRACE(row.mode);
        const std::string path = TempPath(std::string("exit_") + row.mode + ".vlseq");
        remove(path.c_str());
        struct Cleanup {
            const std::string &path;
            ~Cleanup() { remove(path.c_str()); }
        } cleanup{path};
        ASSERT_EQ(RunChild(path, 40, row.mode), 0);
        Recording file(path);
        const int64_t frames = file.Frames();
        EXPECT_GE(frames, 40 - row.mayLose) << "the device reported 40 frames before the exit";
        EXPECT_EQ(file.Numbers(), Count(0, static_cast<uint32_t>(frames)));
        if (row.texts) {
            EXPECT_EQ(file.Text(VELA_TEXT_FILE, 0), "file");
            EXPECT_EQ(file.Text(VELA_TEXT_FRAME, static_cast<int32_t>(frames - 1)), "last");
        }
    }
}

} // namespace
