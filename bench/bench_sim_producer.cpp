// Frame production of the simulated device against memcpy of the same bytes: camera 0 at
// 2048x2048 16-bit, once delivered on demand (the cost of producing a frame) and once paced by
// the producer thread at the shortest exposure (the rate a host sees).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

#include "bench_support.h"
#include "vela_api.h"
#include "velaapi/vela_sim.h"

namespace {

using Clock = std::chrono::steady_clock;
using qxbench::kFrameBytes;
using qxbench::MemcpyRate;

void Memcpy16BitFrame(benchmark::State &state)
{
    qxbench::MemcpyOneFrame(state);
}
BENCHMARK(Memcpy16BitFrame)->UseRealTime();

// Camera 0 opened and capturing into a ring of 8 frames.
struct Capture {
    explicit Capture(bool manualClock)
    {
        VelaSim_Reset();
        VelaSim_SetManualClock(manualClock ? 1 : 0);
        VelaSim_JournalEnable(0);
        VelaInitRecord init{};
        init.size = sizeof init;
        VelaInit(&init);
        VelaOpenRecord open{sizeof open, 0, 0};
        VelaOpen(&open);
        device = open.device;
        VelaWaitOpenRecord w{sizeof w, 0, 0, device};
        VelaOpenWait(&w);
        wait = w.wait;
        VelaSetValue(device, 0x001F0110, 0.00001); // shortest exposure: readout sets the pace
        ok = VelaAllocBuffers(device, 8) == 1 && VelaCaptureStart(device, -1) == 1;
    }
    ~Capture()
    {
        VelaStopCapture(device);
        VelaReleaseBuffers(device, 0);
        VelaClose(device);
        VelaUninit();
        VelaSim_Reset();
    }
    void Report(benchmark::State &state, Clock::duration elapsed, int64_t frames)
    {
        const double seconds = std::chrono::duration<double>(elapsed).count();
        const double bytes = static_cast<double>(frames) * static_cast<double>(kFrameBytes);
        state.SetBytesProcessed(static_cast<int64_t>(bytes));
        state.counters["fps"] = seconds > 0 ? static_cast<double>(frames) / seconds : 0;
        state.counters["vs_memcpy"] = seconds > 0 ? bytes / seconds / MemcpyRate() : 0;
    }
    uint64_t device = 0, wait = 0;
    bool ok = false;
};

// One frame produced per iteration on the calling thread: copy of the prepared scene, frame
// number, publication.
void DeliverOnDemand(benchmark::State &state)
{
    Capture capture(true);
    if (!capture.ok || VelaSim_DeliverFrames(0, 2) != 2) { // the scene is rendered here
        state.SkipWithError("capture did not start");
        return;
    }
    auto begin = Clock::now();
    for (auto _ : state) {
        if (VelaSim_DeliverFrames(0, 1) != 1)
            state.SkipWithError("delivery failed");
    }
    capture.Report(state, Clock::now() - begin, static_cast<int64_t>(state.iterations()));
}
BENCHMARK(DeliverOnDemand)->UseRealTime();

// The producer thread paced by exposure plus readout (about 200 frames a second for camera 0 at
// its shortest exposure); the host only waits. fps near that pace shows production keeps up.
void FreeRunningProducer(benchmark::State &state)
{
    Capture capture(false);
    VelaWaitRecord w{sizeof w, 0, VELA_EVENT_FRAMEREADY, 5000};
    if (!capture.ok || VelaWaitStart(capture.wait, &w) != 1) {
        state.SkipWithError("capture did not start");
        return;
    }
    VelaTransferRecord first{sizeof first, 0, 0, 0};
    VelaGetTransferInfo(capture.device, &first);
    auto begin = Clock::now();
    for (auto _ : state) {
        if (VelaWaitStart(capture.wait, &w) != 1)
            state.SkipWithError("no frame");
    }
    auto elapsed = Clock::now() - begin;
    VelaTransferRecord last{sizeof last, 0, 0, 0};
    VelaGetTransferInfo(capture.device, &last);
    double overhead = 0;
    VelaGetValue(capture.device, 0x00403010, &overhead);
    state.counters["nominal_fps"] = 1.0 / (0.00001 + overhead);
    capture.Report(state, elapsed, last.frameCount - first.frameCount);
}
BENCHMARK(FreeRunningProducer)->UseRealTime()->MinTime(0.5);

} // namespace

BENCHMARK_MAIN();
