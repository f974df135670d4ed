// What the simulator's tests share: property ids, devices, frames and recorders opened, and a
// recording read back by the format's reader.
#pragma once

#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

#include "support/test_paths.h"
#include "vela_api.h"
#include "velaapi/vela_sim.h"
#include "vlseq_reader.h"

namespace recordertest {

constexpr uint32_t kExposure = 0x001F0110, kBinning = 0x00401110;
constexpr uint32_t kWidth = 0x00420210, kHeight = 0x00420220, kPixelType = 0x00420270;
constexpr uint32_t kSubMode = 0x00402150, kHpos = 0x00402110, kHsize = 0x00402120,
                   kVpos = 0x00402130, kVsize = 0x00402140;

inline int32_t InitCameras()
{
    VelaInitRecord init{};
    init.size = sizeof init;
    return VelaInit(&init);
}

// The simulated devices started over and initialised; the clock applies to later starts.
inline void InitSim(bool manualClock)
{
    VelaSim_Reset();
    VelaSim_SetManualClock(manualClock ? 1 : 0);
    ASSERT_EQ(InitCameras(), 1);
}

// Camera `index` opened, with a wait handle on it when `wait` is given.
inline uint64_t OpenDevice(uint32_t index, uint64_t *wait = nullptr)
{
    VelaOpenRecord open{sizeof(VelaOpenRecord), index, 0};
    EXPECT_EQ(VelaOpen(&open), 1);
    if (wait != nullptr) {
        VelaWaitOpenRecord w{sizeof(VelaWaitOpenRecord), 0, 0, open.device};
        EXPECT_EQ(VelaOpenWait(&w), 1);
        *wait = w.wait;
    }
    return open.device;
}

inline double Get(uint64_t device, uint32_t id)
{
    double v = -1;
    EXPECT_EQ(VelaGetValue(device, id, &v), 1) << std::hex << id;
    return v;
}

inline VelaFrameRecord LockFrame(uint64_t device, int32_t index)
{
    VelaFrameRecord f{};
    f.size = sizeof f;
    f.index = index;
    EXPECT_EQ(VelaLockFrame(device, &f), 1) << index;
    return f;
}

// A buffered recorder on `path` connected to the device; 0 when that fails.
inline uint64_t OpenRecorder(uint64_t device, const std::string &path, uint32_t maxFrames)
{
    VelaRecorderOpenRecord open{};
    open.size = sizeof open;
    open.flags = VELA_RECORDER_BUFFERED;
    open.path = path.c_str();
    open.maxFrames = maxFrames;
    open.fileTextCapacity = open.frameTextCapacity = 1024;
    if (VelaRecorderOpen(&open) != 1 || VelaCaptureRecord(device, open.recorder) != 1)
        return 0;
    return open.recorder;
}

using qxtest::FrameNumber;
using qxtest::TempPath;

using Image = std::vector<uint8_t>;

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
    std::vector<uint32_t> Numbers() // the running numbers the frames carry
    {
        std::vector<uint32_t> numbers;
        for (int64_t k = 0; k < Frames(); ++k)
            numbers.push_back(FrameNumber(Frame(k).data()));
        return numbers;
    }
    std::string Text(uint32_t level, int32_t index)
    {
        std::string text(ok ? reader.TextBytes(level, index) : 0, '\0');
        const auto bytes = static_cast<uint32_t>(text.size());
        return text.empty() || reader.ReadText(level, index, text.data(), bytes) < 0 ? "?" : text;
    }
    vlseqfmt::Reader reader;
    bool ok = false;
};

inline std::vector<uint32_t> Count(uint32_t from, uint32_t to)
{
    std::vector<uint32_t> numbers(to - from);
    std::iota(numbers.begin(), numbers.end(), from);
    return numbers;
}

} // namespace recordertest
