// The older family's frame work against memcpy of one 2048x2048 16-bit frame in the same run:
// the legacy row copy through its export (wait-and-lock of an arrived snap frame, copy, the
// check that the frame was not replaced), and the 8-bit conversion of the same frame, each
// conversion path alone and through its export. `x_memcpy` is the time of one call over the
// time of one memcpy of the 16-bit frame.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <vector>

#include "bench_support.h"
#include "legacy/legacy_convert.h"
#include "qxcm/qxcm.h"
#include "velaapi/vela_sim.h"

namespace {

using qxbench::kFrameBytes;

// Seconds of one memcpy of the frame in a loop like the measured ones: the same buffers again
// and again, touched before, the mean of many.
double LoopedMemcpySeconds()
{
    static const double seconds = [] {
        std::vector<uint8_t> from(kFrameBytes, 1), to(kFrameBytes, 2);
        for (int k = 0; k < 5; ++k)
            memcpy(to.data(), from.data(), kFrameBytes);
        const int rounds = 50;
        auto begin = std::chrono::steady_clock::now();
        for (int k = 0; k < rounds; ++k) {
            memcpy(to.data(), from.data(), kFrameBytes);
            benchmark::DoNotOptimize(to.data());
        }
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count() /
               rounds;
    }();
    return seconds;
}

void ReportAgainstMemcpy(benchmark::State &state, std::chrono::steady_clock::time_point begin)
{
    double each = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count() /
                  static_cast<double>(std::max<benchmark::IterationCount>(state.iterations(), 1));
    state.counters["x_memcpy"] = each / LoopedMemcpySeconds();
}

void Memcpy16BitFrame(benchmark::State &state)
{
    qxbench::MemcpyOneFrame(state);
}
BENCHMARK(Memcpy16BitFrame)->UseRealTime();

// Camera 0 in snap mode with every buffer filled: each next-frame call locks the last frame
// again without waiting, so the loop measures the lock and the copy.
struct ArrivedSnap {
    ArrivedSnap()
    {
        qxbench::OpenCamera0(true);
        uint32_t type = 0, w = 0, h = 0;
        int32_t err = 0;
        QXCM_STARTCAPTURE_A(0, 0, 2, &type, &w, &h, &err);
        VelaSim_DeliverFrames(0, 2);
    }
    ~ArrivedSnap() { QXCM_DEINITIALIZE_40(1); }
};

void LegacyRowCopy(benchmark::State &state)
{
    ArrivedSnap capture;
    std::vector<uint8_t> to(kFrameBytes);
    int32_t err = 0;
    QXCM_GETNEXTFRAME_A(0, to.data(), 100, &err);
    auto begin = std::chrono::steady_clock::now();
    for (auto _ : state) {
        if (!QXCM_GETNEXTFRAME_A(0, to.data(), 100, &err))
            state.SkipWithError("copy failed");
        benchmark::DoNotOptimize(to.data());
    }
    ReportAgainstMemcpy(state, begin);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kFrameBytes));
}
BENCHMARK(LegacyRowCopy)->UseRealTime();

void EightBitExport(benchmark::State &state)
{
    ArrivedSnap capture;
    std::vector<uint8_t> to(kFrameBytes / 2);
    int32_t err = 0;
    auto begin = std::chrono::steady_clock::now();
    for (auto _ : state) {
        if (!QXCM_GETNEXTFRAME_U8(0, to.data(), 100, &err))
            state.SkipWithError("conversion failed");
        benchmark::DoNotOptimize(to.data());
    }
    ReportAgainstMemcpy(state, begin);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kFrameBytes));
}
BENCHMARK(EightBitExport)->UseRealTime();

void EightBitPath(benchmark::State &state, const qxcm::EightBitVariant &variant)
{
    if (!variant.supported) {
        state.SkipWithError("not supported here");
        return;
    }
    std::vector<uint8_t> from(kFrameBytes);
    for (size_t i = 0; i < from.size(); ++i)
        from[i] = static_cast<uint8_t>(i * 37u);
    std::vector<uint8_t> to(kFrameBytes / 2);
    auto begin = std::chrono::steady_clock::now();
    for (auto _ : state) {
        variant.convert(from.data(), to.data(), kFrameBytes / 2, 4);
        benchmark::DoNotOptimize(to.data());
    }
    ReportAgainstMemcpy(state, begin);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kFrameBytes));
    state.SetLabel(variant.name);
}

const bool registered = [] {
    for (const qxcm::EightBitVariant &v : qxcm::EightBitVariants())
        benchmark::RegisterBenchmark((std::string("EightBit/") + v.name).c_str(), EightBitPath, v)
            ->UseRealTime();
    return true;
}();

} // namespace

BENCHMARK_MAIN();
