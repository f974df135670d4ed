// Frame copies through the library against memcpy of the same bytes: the plain copy of a
// 2048x2048 16-bit frame, the 12-bit expansion per path, and a host loop of wait plus copy
// keeping up with camera 0.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "bench_support.h"
#include "capture/frames.h"
#include "core/initialize.h"
#include "core/library_state.h"
#include "qxcm/qxcm.h"
#include "velaapi/vela_sim.h"

namespace {

using qxbench::kFrameBytes;

void Memcpy16BitFrame(benchmark::State &state)
{
    qxbench::MemcpyOneFrame(state);
}
BENCHMARK(Memcpy16BitFrame)->UseRealTime();

// A camera 0 capture with one delivered frame, for copying it again and again.
struct OpenCapture {
    OpenCapture()
    {
        qxbench::OpenCamera0(true);
        uint32_t w = 0, h = 0, t = 0;
        int32_t err = 0;
        QXCM_PREPARECAPTURE_40(0, 1, 5, &w, &h, &t, &err);
        QXCM_STARTCAPTURE_40(0, &err);
        VelaSim_DeliverFrames(0, 1);
    }
    ~OpenCapture() { QXCM_DEINITIALIZE_40(1); }
};

void GetFrame40(benchmark::State &state)
{
    OpenCapture capture;
    std::vector<uint8_t> to(kFrameBytes * 2);
    double stamp = 0;
    int32_t err = 0;
    for (auto _ : state) {
        if (!QXCM_GETFRAME_40(0, 0, to.data(), &stamp, 0, &err))
            state.SkipWithError("copy failed");
        benchmark::DoNotOptimize(to.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kFrameBytes));
}
BENCHMARK(GetFrame40)->UseRealTime();

// The check after every copy that the device did not replace the frame meanwhile (a second
// lock and a comparison), against memcpy of the frame it guards. Goal: share_of_copy <= 2 %.
void FrameReplacementCheck(benchmark::State &state)
{
    OpenCapture capture;
    qxcm::CameraContext &c = qxcm::State().contexts[0];
    qxcm::LockedFrame frame{};
    if (qxcm::LockCaptureFrame(c, frame, 0, 0) != 0)
        state.SkipWithError("lock failed");
    auto begin = std::chrono::steady_clock::now();
    for (auto _ : state)
        benchmark::DoNotOptimize(qxcm::ConfirmFrameUnchanged(c, frame));
    double each = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count() /
                  static_cast<double>(std::max<benchmark::IterationCount>(state.iterations(), 1));
    double copy = static_cast<double>(kFrameBytes) / qxbench::MemcpyRate();
    state.counters["share_of_copy"] =
        benchmark::Counter(each / copy, benchmark::Counter::kAvgThreads);
}
BENCHMARK(FrameReplacementCheck)->UseRealTime();

// The 12-bit expansion writes 2048x2048 16-bit words from three quarters as many bytes.
void MemcpyOfTheExpandedOutput(benchmark::State &state)
{
    Memcpy16BitFrame(state);
}
BENCHMARK(MemcpyOfTheExpandedOutput)->UseRealTime();

template <void (*Unpack)(const uint8_t *, uint16_t *, size_t)>
void Unpack12(benchmark::State &state)
{
    qxcm::FillTwelveBitTables();
    const size_t groups = size_t(2048) * 2048 / 2;
    std::vector<uint8_t> packed(groups * 3, 0x5A);
    std::vector<uint16_t> out(groups * 2);
    for (auto _ : state) {
        Unpack(packed.data(), out.data(), groups);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(groups * 4));
    state.SetLabel(Unpack == qxcm::UnpackTwelveBit ? qxcm::TwelveBitPath() : "table");
}
BENCHMARK_TEMPLATE(Unpack12, qxcm::UnpackTwelveBit)->UseRealTime();
BENCHMARK_TEMPLATE(Unpack12, qxcm::UnpackTwelveBitTable)->UseRealTime();

// Camera 0 in free run at its exposure; the host waits and copies every frame. Reports the
// frames per second reached and the frames the device produced that the host never copied.
void HostLoopKeepsUp(benchmark::State &state)
{
    qxbench::OpenCamera0(false);
    uint32_t w = 0, h = 0, t = 0;
    int32_t err = 0;
    QXCM_SETPARAMETER_40(0, 7, 0.002, 0, &err); // with the 5 ms readout: 140 frames a second
    QXCM_PREPARECAPTURE_40(0, 1, 32, &w, &h, &t, &err);
    qxbench::HostLoop loop;
    QXCM_STARTCAPTURE_40(0, &err);
    for (auto _ : state) {
        if (!loop.Step()) {
            state.SkipWithError("wait failed");
            break;
        }
    }
    QXCM_STOPCAPTURE_40(0, &err);
    QXCM_DEINITIALIZE_40(1);
    state.counters["fps"] = benchmark::Counter(double(loop.copied), benchmark::Counter::kIsRate);
    state.counters["skipped"] = double(loop.skipped);
}
BENCHMARK(HostLoopKeepsUp)->UseRealTime()->Iterations(600);

} // namespace

BENCHMARK_MAIN();
