// Recording camera 0 while it runs free: whether capture keeps its own pace with a recorder
// connected, and how the recording's bytes per second compare with a plain sequential fwrite of
// the same bytes into a temporary file, measured in the same run.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include "bench_support.h"
#include "qxcm/qxcm.h"
#include "velaapi/vela_sim.h"

namespace {

using Clock = std::chrono::steady_clock;
using qxbench::kFrameBytes;
using qxbench::MemcpyRate;

constexpr uint32_t kPropExposureTime = 0x001F0110;
constexpr uint32_t kPropReadoutTime = 0x00403010;

double Seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

// Per process: other builds may run these benchmarks at the same time.
std::string TempFile(const char *name)
{
    const std::string unique = "qxbench_" + std::to_string(getpid()) + "_" + name;
    return (std::filesystem::temp_directory_path() / unique).string();
}

// Bytes per second of fwrite of `bytes` in frame-sized pieces into a new file, fclose included
// (the recorder's buffered mode does not wait for the disk either). The file is deleted.
double FwriteOnce(size_t bytes)
{
    const std::string path = TempFile("fwrite.bin");
    std::vector<uint8_t> frame(kFrameBytes, 0x5A);
    auto begin = Clock::now();
    std::FILE *f = std::fopen(path.c_str(), "wb");
    if (f == nullptr)
        return 0;
    bool ok = true;
    for (size_t done = 0; done < bytes && ok; done += frame.size())
        ok = std::fwrite(frame.data(), 1, std::min(frame.size(), bytes - done), f) != 0;
    ok = std::fclose(f) == 0 && ok;
    const double seconds = Seconds(Clock::now() - begin);
    std::remove(path.c_str());
    return ok && seconds > 0 ? static_cast<double>(bytes) / seconds : 0;
}

// The machine's sequential write bandwidth for `bytes`: the faster of a run before and one
// after the recording. On a virtual machine writing into page-cache pages the guest has not used
// lately costs several times more than into pages just freed; the recording itself runs after
// the first of these runs freed its pages.
struct SequentialFwrite {
    explicit SequentialFwrite(size_t n) : bytes(n), before(FwriteOnce(n)) {}
    double Rate() const { return std::max(before, FwriteOnce(bytes)); }
    size_t bytes;
    double before;
};

void Memcpy16BitFrame(benchmark::State &state)
{
    qxbench::MemcpyOneFrame(state);
}
BENCHMARK(Memcpy16BitFrame)->UseRealTime();

// Camera 0 free-running into a ring of 32 frames with a buffered recorder connected; the host
// waits for and copies every frame it is told of. Argument: exposure in microseconds, 0 for the
// camera's default. Counters: fps produced against the nominal rate, frames recorded (read back
// from the file), frames the host skipped, recorded bytes per second against fwrite.
void RecordingKeepsUp(benchmark::State &state)
{
    const std::string path = TempFile("recording.vlseq");
    qxbench::OpenCamera0(false);
    uint32_t w = 0, h = 0, t = 0;
    int32_t err = 0;
    if (state.range(0) != 0)
        QXCM_SETPARAMETER_40(0, 7, static_cast<double>(state.range(0)) * 1e-6, 0, &err);
    double exposure = 0, readout = 0;
    VelaSim_GetProperty(0, kPropExposureTime, &exposure);
    VelaSim_GetProperty(0, kPropReadoutTime, &readout);
    if (!QXCM_PREPARECAPTURE_40(0, 1, 32, &w, &h, &t, &err) ||
        !QXCM_STARTRECORDER_41(0, path.c_str(), 1 << 20, 1, &err)) {
        state.SkipWithError("could not prepare the capture or the recorder");
        QXCM_DEINITIALIZE_40(1);
        return;
    }
    const size_t frameBytes = size_t{w} * h * 2;
    const SequentialFwrite fwrite(frameBytes * static_cast<size_t>(state.max_iterations));
    qxbench::HostLoop loop;
    auto begin = Clock::now();
    QXCM_STARTCAPTURE_40(0, &err);
    for (auto _ : state) {
        if (!loop.Step()) {
            state.SkipWithError("wait failed");
            break;
        }
    }
    const double captureSeconds = Seconds(Clock::now() - begin);
    QXCM_STOPCAPTURE_40(0, &err);
    int32_t newest = 0, accepted = 0;
    QXCM_GETRECORDERSTATUS_40(0, &newest, &accepted, &err);
    // Reading the newest frame back waits until every frame before it is in the file.
    QXCM_GETRECORDERFRAME_40(0, static_cast<uint32_t>(newest), 0, &err);
    const double recordSeconds = Seconds(Clock::now() - begin);
    auto closing = Clock::now();
    QXCM_STOPRECORDER_40(0, &err);
    const double closeSeconds = Seconds(Clock::now() - closing);
    uint32_t slot = 0;
    int32_t recorded = -1;
    if (QXCM_OPENVLSEQFILE(&slot, path.c_str(), &recorded, &err))
        QXCM_CLOSEVLSEQFILE(slot, &err);
    QXCM_DEINITIALIZE_40(1);
    std::remove(path.c_str());
    if (recorded != accepted)
        state.SetLabel("the file holds " + std::to_string(recorded) + " frames, the status said " +
                       std::to_string(accepted));

    const double recordedBytes = static_cast<double>(recorded) * static_cast<double>(frameBytes);
    const double recordRate = recordSeconds > 0 ? recordedBytes / recordSeconds : 0;
    const double fwriteRate = fwrite.Rate();
    const double nominal = 1.0 / (exposure + readout);
    // What the slower of camera and disk allows.
    const double limit = std::min(nominal * static_cast<double>(frameBytes), fwriteRate);
    state.counters["fps"] = captureSeconds > 0 ? loop.last / captureSeconds : 0;
    state.counters["nominal_fps"] = nominal;
    state.counters["fps_vs_nominal"] =
        captureSeconds > 0 ? loop.last / captureSeconds / nominal : 0;
    state.counters["recorded"] = recorded;
    state.counters["skipped"] = static_cast<double>(loop.skipped);
    state.counters["rec_MBps"] = recordRate / 1e6;
    state.counters["fwrite_MBps"] = fwriteRate / 1e6;
    state.counters["rec_vs_fwrite"] = fwriteRate > 0 ? recordRate / fwriteRate : 0;
    state.counters["rec_vs_limit"] = limit > 0 ? recordRate / limit : 0;
    state.counters["close_s"] = closeSeconds;
    state.counters["fwrite_vs_memcpy"] = fwriteRate / MemcpyRate();
    state.SetBytesProcessed(static_cast<int64_t>(recordedBytes));
}

// Frames delivered on demand as fast as the recorder takes them (no camera pace): the rate the
// recording sustains when the disk, not the camera, is the limit.
void RecorderDrainsAtDiskPace(benchmark::State &state)
{
    const std::string path = TempFile("drain.vlseq");
    qxbench::OpenCamera0(true);
    uint32_t w = 0, h = 0, t = 0;
    int32_t err = 0;
    if (!QXCM_PREPARECAPTURE_40(0, 1, 8, &w, &h, &t, &err) ||
        !QXCM_STARTRECORDER_41(0, path.c_str(), 1 << 20, 1, &err) ||
        !QXCM_STARTCAPTURE_40(0, &err) || VelaSim_DeliverFrames(0, 1) != 1) {
        state.SkipWithError("could not start the capture or the recorder");
        QXCM_DEINITIALIZE_40(1);
        return;
    }
    const size_t frameBytes = size_t{w} * h * 2;
    const SequentialFwrite fwrite(frameBytes * static_cast<size_t>(state.max_iterations));
    auto begin = Clock::now();
    for (auto _ : state) {
        if (VelaSim_DeliverFrames(0, 1) != 1) {
            state.SkipWithError("delivery failed");
            break;
        }
    }
    QXCM_STOPCAPTURE_40(0, &err);
    int32_t newest = 0, accepted = 0;
    QXCM_GETRECORDERSTATUS_40(0, &newest, &accepted, &err);
    QXCM_GETRECORDERFRAME_40(0, static_cast<uint32_t>(newest), 0, &err);
    const double seconds = Seconds(Clock::now() - begin);
    QXCM_STOPRECORDER_40(0, &err);
    QXCM_DEINITIALIZE_40(1);
    std::remove(path.c_str());
    const double bytes = static_cast<double>(state.iterations()) * static_cast<double>(frameBytes);
    const double rate = seconds > 0 ? bytes / seconds : 0;
    const double fwriteRate = fwrite.Rate();
    state.counters["fps"] = seconds > 0 ? static_cast<double>(state.iterations()) / seconds : 0;
    state.counters["rec_MBps"] = rate / 1e6;
    state.counters["fwrite_MBps"] = fwriteRate / 1e6;
    state.counters["rec_vs_fwrite"] = fwriteRate > 0 ? rate / fwriteRate : 0;
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
}

// CTest runs every benchmark once with a tiny minimum time; these take a handful of frames then
// instead of about 3 s of capture each, so a test run does not write gigabytes.
bool SmokeMode(int argc, char **argv)
{
    static const char kFlag[] = "--benchmark_min_time=";
    for (int k = 1; k < argc; ++k)
        if (std::strncmp(argv[k], kFlag, sizeof kFlag - 1) == 0)
            return std::strtod(argv[k] + sizeof kFlag - 1, nullptr) < 0.1;
    return false;
}

void Register(bool smoke)
{
    // 200 frames at 15 ms and 400 at 7 ms; 300 frames as fast as they are taken.
    benchmark::RegisterBenchmark("RecordingKeepsUp", RecordingKeepsUp)
        ->Arg(0)
        ->Iterations(smoke ? 10 : 200)
        ->UseRealTime()
        ->Unit(benchmark::kSecond);
    benchmark::RegisterBenchmark("RecordingKeepsUp", RecordingKeepsUp)
        ->Arg(2000)
        ->Iterations(smoke ? 10 : 400)
        ->UseRealTime()
        ->Unit(benchmark::kSecond);
    benchmark::RegisterBenchmark("RecorderDrainsAtDiskPace", RecorderDrainsAtDiskPace)
        ->Iterations(smoke ? 10 : 300)
        ->UseRealTime()
        ->Unit(benchmark::kSecond);
}

} // namespace

int main(int argc, char **argv)
{
    Register(SmokeMode(argc, argv));
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
