// What the call log costs per call: a cheap export with the log off and with it on (each line
// handed to the system as it is written), against memcpy of one frame for scale.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "bench_support.h"
#include "core/platform.h"

namespace {

const char *BenchLogPath()
{
    static const std::string path = [] {
        const char *dir = getenv("TMPDIR");
        return std::string(dir && *dir ? dir : "/tmp") + "/qxbench_call_log.txt";
    }();
    return path.c_str();
}

void CameraStatusCall(benchmark::State &state, bool log)
{
    qxcm::Os().logPath = BenchLogPath;
    VelaSim_Reset();
    VelaSim_JournalEnable(0);
    uint32_t count = 0;
    int32_t err = 0, status = 0;
    QXCM_INITIALIZE_40(&count, nullptr, nullptr, 0, log ? 1 : 0, &err);
    QXCM_OPENCAMERA_40(0, 0, &err);
    for (auto _ : state)
        benchmark::DoNotOptimize(QXCM_GETCAMERASTATUS_40(0, &status, &err));
    QXCM_DEINITIALIZE_40(1);
    std::remove(BenchLogPath());
}

void CameraStatusLogOff(benchmark::State &state)
{
    CameraStatusCall(state, false);
}
BENCHMARK(CameraStatusLogOff)->UseRealTime();

void CameraStatusLogOn(benchmark::State &state)
{
    CameraStatusCall(state, true);
}
BENCHMARK(CameraStatusLogOn)->UseRealTime();

void Memcpy16BitFrame(benchmark::State &state)
{
    qxbench::MemcpyOneFrame(state);
}
BENCHMARK(Memcpy16BitFrame)->UseRealTime();

} // namespace
BENCHMARK_MAIN();
