// What every benchmark here measures itself against: memcpy of one 2048x2048 16-bit frame,
// reused buffers, on this machine, in the same run.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <vector>

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

} // namespace qxbench
