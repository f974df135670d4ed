// .vlseq throughput against what this machine does with the same bytes, measured in the same
// run: recording vs plain sequential fwrite, reading a warm frame vs memcpy, and opening a
// 10^4-frame recording by its index and by walking its chunks.
#include "vlseq_reader.h"
#include "vlseq_sink.h"
#include "vlseq_writer.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

using namespace vlseqfmt;
using Clock = std::chrono::steady_clock;

namespace {

constexpr Geometry kBig{2, 1024, 512, 0}; // 1 MiB frames
constexpr Geometry kTiny{2, 16, 8, 0};    // 256 bytes: the per-frame work of the writer

std::string Tmp(const char *name)
{
    return std::string("/tmp/bench_vlseq_") + std::to_string(getpid()) + "_" + name;
}

double Seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

// Writes 64 big frames (or 8192 tiny ones) as a recording, then the same bytes with plain fwrite
// and one OS flush at the end (a recording's close flushes to the disk in both modes); reports both
// rates and their ratio. Tiny frames (second argument 1) show the writer's cost per frame.
void BM_Record(benchmark::State &state)
{
    const bool buffered = state.range(0) != 0;
    const Geometry geometry = state.range(1) != 0 ? kTiny : kBig;
    const uint32_t frames = state.range(1) != 0 ? 8192u : 64u;
    const std::vector<uint8_t> frame(size_t{geometry.width} * geometry.height * 2, 0x5A);
    const std::string path = Tmp("record.vlseq"), plain = Tmp("plain.bin");
    double vlseqTime = 0, plainTime = 0;
    for (auto _ : state) {
        auto t0 = Clock::now();
        Writer w;
        if (w.Open(path.c_str(), geometry, frames, 1024, 1024, buffered) != 1)
            state.SkipWithError("open failed");
        // Every other number missing: each frame carries a gap, as a lossy capture's would.
        for (uint32_t f = 0; f < frames; ++f) {
            const LedgerEntry e{uint64_t{2} * f, f == 0 ? 0u : 1u, 0};
            w.AppendFrame(frame.data(), geometry.width * 2, f, 0, &e);
        }
        w.Close();
        const double v = Seconds(Clock::now() - t0);

        t0 = Clock::now();
        FILE *f = std::fopen(plain.c_str(), "wb");
        for (uint32_t i = 0; i < frames; ++i)
            std::fwrite(frame.data(), 1, frame.size(), f);
        std::fflush(f);
        fdatasync(fileno(f));
        std::fclose(f);
        const double p = Seconds(Clock::now() - t0);
        state.SetIterationTime(v);
        vlseqTime += v;
        plainTime += p;
    }
    const double bytes = double(frame.size()) * frames * double(state.iterations());
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
    state.counters["vlseq_GBps"] = bytes / vlseqTime / 1e9;
    state.counters["fwrite_GBps"] = bytes / plainTime / 1e9;
    state.counters["vs_fwrite"] = plainTime / vlseqTime; // 1.0 = as fast as plain fwrite
    state.counters["us_per_frame"] = vlseqTime * 1e6 / (frames * double(state.iterations()));
    std::remove(path.c_str());
    std::remove(plain.c_str());
}
BENCHMARK(BM_Record)
    ->Args({1, 0})
    ->Args({0, 0})
    ->Args({1, 1})
    ->Args({0, 1})
    ->ArgNames({"buffered", "tiny"})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// Locks frame k of a recording whose pages are in the cache; the ratio is against memcpy of
// the same bytes between warm buffers.
void BM_LockFrameWarm(benchmark::State &state)
{
    const std::string path = Tmp("read.vlseq");
    {
        const std::vector<uint8_t> frame(size_t{kBig.width} * kBig.height * 2, 0x33);
        Writer w;
        w.Open(path.c_str(), kBig, 8, 0, 0, true);
        for (int f = 0; f < 8; ++f)
            w.AppendFrame(frame.data(), kBig.width * 2, 0, 0);
        w.Close();
    }
    Reader r;
    if (r.Open(OpenFileSource(path.c_str())) != 1)
        state.SkipWithError("open failed");
    const auto bytes = static_cast<size_t>(r.Header().frameBytes);
    std::vector<uint8_t> a(bytes, 1), b(bytes, 2);
    const void *p = nullptr;
    double lockTime = 0, copyTime = 0;
    int64_t k = 0;
    for (auto _ : state) {
        auto t0 = Clock::now();
        r.LockFrame(k++ % 8, &p);
        benchmark::DoNotOptimize(p);
        const double lock = Seconds(Clock::now() - t0);
        t0 = Clock::now();
        std::memcpy(b.data(), a.data(), bytes);
        benchmark::ClobberMemory();
        copyTime += Seconds(Clock::now() - t0);
        lockTime += lock;
        state.SetIterationTime(lock);
    }
    state.SetBytesProcessed(static_cast<int64_t>(bytes) * state.iterations());
    state.counters["vs_memcpy"] = lockTime / copyTime; // time of a lock in memcpy units
    std::remove(path.c_str());
}
BENCHMARK(BM_LockFrameWarm)->UseManualTime()->Unit(benchmark::kMicrosecond);

// Opens a 10^4-frame recording: closed (the index gives the table in a few reads) or cut off
// before its close (every chunk header is read). The target for the closed file is < 20 ms.
void BM_Open10k(benchmark::State &state)
{
    const bool closed = state.range(0) != 0;
    const std::string path = Tmp(closed ? "open_closed.vlseq" : "open_cut.vlseq");
    {
        const Geometry g{2, 32, 32, 0};
        const std::vector<uint8_t> frame(2048, 7);
        auto file = std::make_shared<MemoryFile>();
        file->logOps = !closed;
        Writer w;
        Writer::Options o;
        o.dataAlignLog2 = 6;
        w.OpenSink(std::make_unique<MemorySink>(file), g, 10000, 1024, 1024, true, o);
        for (int f = 0; f < 10000; ++f)
            w.AppendFrame(frame.data(), 64, static_cast<uint32_t>(f), 0);
        const auto cut = closed ? std::vector<uint8_t>{} : ReplayOps(file->ops, file->ops.size());
        w.Close();
        const auto &img = closed ? file->image : cut;
        FILE *f = std::fopen(path.c_str(), "wb");
        std::fwrite(img.data(), 1, img.size(), f);
        std::fclose(f);
    }
    for (auto _ : state) {
        Reader r;
        if (r.Open(OpenFileSource(path.c_str())) != 1 || r.FrameCount() != 10000 ||
            r.UsedIndex() != closed)
            state.SkipWithError("unexpected open");
    }
    std::remove(path.c_str());
}
BENCHMARK(BM_Open10k)->Arg(1)->Arg(0)->ArgName("closed")->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
