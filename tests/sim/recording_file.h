// What the recorder tests share: a file of their own per process, and a recording read back by
// the format's reader.
#pragma once

#include <gtest/gtest.h>

#include <string.h>

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

#include <string>
#include <vector>

#include "vlseq_reader.h"

namespace recordertest {

// The running number a simulated frame carries in its first four bytes.
inline uint32_t FrameNumber(const void *frame)
{
    uint32_t n = 0;
    memcpy(&n, frame, sizeof n);
    return n;
}

using Image = std::vector<uint8_t>;

// A file in the test directory of this process: other builds may run these tests meanwhile.
inline std::string TempFile(const std::string &name)
{
#ifdef _WIN32
    const int process = _getpid();
#else
    const int process = static_cast<int>(getpid());
#endif
    return ::testing::TempDir() + "recorder_" + std::to_string(process) + "_" + name;
}

// A closed (or cut off) recording as the reader sees it.
struct Recording {
    explicit Recording(const std::string &path)
    {
        ok = reader.Open(vlseqfmt::OpenFileSource(path.c_str())) == 1;
    }
    int64_t Frames() const { return ok ? reader.FrameCount() : -1; }
    Image Frame(int64_t k)
    {
        const void *address = nullptr;
        if (reader.LockFrame(k, &address) != 1)
            return {};
        const auto *p = static_cast<const uint8_t *>(address);
        return Image(p, p + reader.Header().frameBytes);
    }
    // The running numbers the frames carry.
    std::vector<uint32_t> Numbers()
    {
        std::vector<uint32_t> numbers;
        for (int64_t k = 0; k < Frames(); ++k)
            numbers.push_back(FrameNumber(Frame(k).data()));
        return numbers;
    }
    // The text stored at (level, index), or "(none)".
    std::string Text(uint32_t level, int32_t index)
    {
        if (!ok || reader.TextBytes(level, index) == 0)
            return "(none)";
        std::string text(reader.TextBytes(level, index), '\0');
        if (reader.ReadText(level, index, text.data(), static_cast<uint32_t>(text.size())) < 0)
            return "(unreadable)";
        return text;
    }
    vlseqfmt::Reader reader;
    bool ok = false;
};

inline std::vector<uint32_t> Count(uint32_t from, uint32_t to)
{
    std::vector<uint32_t> numbers;
    for (uint32_t n = from; n < to; ++n)
        numbers.push_back(n);
    return numbers;
}

} // namespace recordertest
