// What every benchmark here measures itself against: memcpy of one 2048x2048 16-bit frame,
// reused buffers, on this machine, in the same run.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <vector>

#include "qxcm/qxcm.h"
#include "velaapi/vela_sim.h"

namespace qxbench {

constexpr size_t kFrameBytes = size_t(2048) * 2048 * 2;

// Bytes per second memcpy moves for one frame, best of a few rounds.
inline double MemcpyRate()
{
    static const double rate = [] {
        std::vector<uint8_t> from(kFrameBytes, 1), to(kFrameBytes);
        double best = 0;
        for (int round = 0; round < 20; ++round) {
            auto begin = std::chrono::steady_clock::now();
            memcpy(to.data(), from.data(), kFrameBytes);
            benchmark::DoNotOptimize(to.data());
            double s =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
            best = std::max(best, static_cast<double>(kFrameBytes) / s);
        }
        return best;
    }();
    return rate;
}

// The baseline row of a report: memcpy of one frame per iteration.
inline void MemcpyOneFrame(benchmark::State &state)
{
    std::vector<uint8_t> from(kFrameBytes, 1), to(kFrameBytes);
    for (auto _ : state) {
        memcpy(to.data(), from.data(), kFrameBytes);
        benchmark::DoNotOptimize(to.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kFrameBytes));
}

// A fresh simulated device with its journal off, the library initialised and camera 0 open.
inline void OpenCamera0(bool manualClock)
{
    VelaSim_Reset();
    VelaSim_SetManualClock(manualClock ? 1 : 0);
    VelaSim_JournalEnable(0);
    uint32_t count = 0;
    int32_t err = 0;
    QXCM_INITIALIZE_40(&count, nullptr, nullptr, 0, 0, &err);
    QXCM_OPENCAMERA_40(0, 0, &err);
}

// A host loop of wait plus copy on camera 0, one frame per step, counting the frames the device
// produced that the host never saw.
struct HostLoop {
    std::vector<uint8_t> frame = std::vector<uint8_t>(kFrameBytes * 2);
    int64_t copied = 0, skipped = 0;
    int32_t last = 0;

    bool Step()
    {
        int32_t index = 0, frames = 0, err = 0;
        double stamp = 0;
        if (!QXCM_WAITNEXTFRAME_40(0, 2000, &index, &frames, &err))
            return false;
        skipped += frames - last - 1;
        last = frames;
        QXCM_GETFRAME_40(0, static_cast<uint32_t>(index), frame.data(), &stamp, 0, &err);
        ++copied;
        return true;
    }
};

} // namespace qxbench
