// Stateful call-sequence fuzzer of the library: each seed makes steps that call any export of
// export_list.inc with plausible or hostile arguments, take a plausible path to a running
// capture, deliver frames, arm device faults, or end the capture from a second thread while the
// first waits and copies. A crash, a sanitizer report, a touched guard byte or a hang is a
// finding. Each step draws from its own generator, so any subset of a sequence replays exactly.
//   qxcm_call_fuzz [--first S] [--seeds N] [--steps K]   seeds S .. S+N-1 (default 0, 20, 200)
//   qxcm_call_fuzz --seed S [--steps K] [--only N,N,..] one sequence (only the listed steps)
//   qxcm_call_fuzz --seed S [--steps K] --shrink        the fewest steps that still fail
#include <atomic>
#include <chrono>
#include <cstdio>
#include <iterator>
#include <numeric>
#include <sstream>
#include <thread>

#include "call_fuzz_args.h"
#include "core/platform.h"
#include "qxcm/qxcm.h"
#include "velaapi/vela_api.h"
#include "velaapi/vela_sim.h"

namespace {

using Seed = unsigned long long; // printed with %llu

struct Row {
    const char *name;
    void (*call)(Rng &, const char *);
};

const Row kRows[] = {
#define QX_EXPORT(ordinal, name, frame, logName, probe) {#name, &Call<&name>},
#define QX_ALIAS(ordinal, name, target) {#name, &Call<&name>},
#include "exports/export_list.inc"
#undef QX_EXPORT
#undef QX_ALIAS
};

const char *const kDeviceOps[] = {
#define VELA_OP(ordinal, name, ret, params, args) #name,
#include "velaapi/vela_ops.inc"
#undef VELA_OP
};

// A plausible way to a running capture, so that sequences reach copies and recordings often.
void HappyPath(Rng &rng)
{
    uint32_t count = 0, w = 0, h = 0, t = 0;
    int32_t err = 0;
    const auto camera = static_cast<uint32_t>(rng() % 3);
    QXCM_INITIALIZE_40(&count, nullptr, nullptr, 0, static_cast<int32_t>(rng() % 2), &err);
    QXCM_OPENCAMERA_40(camera, static_cast<uint32_t>(rng() % 2), &err);
    QXCM_PREPARECAPTURE_40(camera, static_cast<uint32_t>(rng() % 3),
                           static_cast<int32_t>(rng() % 8), &w, &h, &t, &err);
    if (rng() % 3 == 0) {
        std::string path = TempDir() + "/qxfuzz_a.vlseq";
        QXCM_STARTRECORDER_41(camera, path.c_str(), 50, static_cast<int32_t>(rng() % 3), &err);
    }
    QXCM_STARTCAPTURE_40(camera, &err);
    VelaSim_DeliverFrames(static_cast<int32_t>(camera), static_cast<int32_t>(rng() % 12));
}

// Waits and copies on a camera (after a plausible start) while a second thread ends the capture
// in one of the ways a host may while a wait runs, after a random delay. The thread's timing is
// the one thing of a step that does not replay exactly.
void SecondThreadEnds(Rng &rng)
{
    HappyPath(rng);
    const auto camera = static_cast<uint32_t>(rng() % 3);
    const auto ending = rng() % 7;
    const auto delay = std::chrono::microseconds(rng() % 2000);
    using End = void (*)(uint32_t, int32_t *);
    static const End endings[] = {[](uint32_t c, int32_t *e) { QXCM_STOPCAPTURE_40(c, e); },
                                  [](uint32_t c, int32_t *e) {
                                      QXCM_STOPCAPTURE_40(c, e);
                                      QXCM_UNPREPARECAPTURE_40(c, e);
                                  },
                                  [](uint32_t c, int32_t *e) { QXCM_CLOSECAMERA_40(c, e); },
                                  [](uint32_t, int32_t *) { QXCM_DEINITIALIZE_40(1); },
                                  [](uint32_t c, int32_t *e) { QXCM_STOPCAPTURE(c, e); },
                                  [](uint32_t c, int32_t *e) { QXCM_CLOSECAMERA(c, e); },
                                  [](uint32_t, int32_t *) { QXCM_DEINITIALIZE(); }};
    std::thread second([camera, ending, delay] {
        std::this_thread::sleep_for(delay);
        int32_t err = 0;
        endings[ending](camera, &err);
    });
    uint8_t *frame = Buffers()[0].Payload();
    for (int k = 0; k < 40; ++k) {
        int32_t err = 0, index = 0, count = 0;
        double stamp = 0.0;
        VelaSim_DeliverFrames(static_cast<int32_t>(camera), 1);
        if (rng() % 2 == 0) {
            if (QXCM_WAITNEXTFRAME_40(camera, 5, &index, &count, &err))
                QXCM_GETFRAME_40(camera, static_cast<uint32_t>(index), frame, &stamp, 0, &err);
        } else {
            QXCM_GETNEXTFRAME_A(camera, frame, 5, &err);
        }
    }
    second.join();
}

void ArmFault(Rng &rng)
{
    static const int32_t codes[] = {
        VELA_ERR_BUSY,         VELA_ERR_ABORT,     VELA_ERR_NOTREADY,  VELA_ERR_TIMEOUT,
        VELA_ERR_NOMEMORY,     VELA_ERR_NOCAMERA,  VELA_ERR_LOSTFRAME, VELA_ERR_INVALIDPARAM,
        VELA_ERR_INVALIDVALUE, VELA_ERR_OUTOFRANGE};
    const char *op = rng() % 5 == 0 ? "*" : kDeviceOps[rng() % std::size(kDeviceOps)];
    VelaSim_FailCall(op, 0, static_cast<int32_t>(1 + rng() % 4), codes[rng() % std::size(codes)],
                     rng() % 5 == 0 ? 1 : 0);
}

void HostileDeviceValue(Rng &rng)
{
    static const uint32_t ids[] = {0x001F0110, 0x00401110, 0x00421040, 0x00420270, 0x00420240};
    static const double values[] = {3e6, 1e300, -1.0, 0.0, 4294967296.0, 1e-9, 7.0};
    VelaSim_SetProperty(static_cast<int32_t>(rng() % 3), ids[rng() % std::size(ids)],
                        values[rng() % std::size(values)]);
}

// What a step does, from its own generator: the same step does the same in any subset.
std::string RunStep(Seed seed, size_t step)
{
    Rng rng(seed * 0x9E3779B97F4A7C15ull + step);
    const uint64_t kind = rng() % 100;
    if (kind < 70) {
        const Row &row = kRows[rng() % std::size(kRows)];
        row.call(rng, row.name);
        return row.name;
    }
    struct Kind {
        uint64_t below;
        const char *what;
        void (*run)(Rng &);
    };
    static const Kind kinds[] = {
        {78, "happy path", HappyPath},
        {80, "a second thread ends the capture", SecondThreadEnds},
        {88, "deliver frames",
         [](Rng &r) { VelaSim_DeliverFrames(int32_t(r() % 3), int32_t(r() % 10)); }},
        {94, "arm a device fault", ArmFault},
        {97, "clear faults", [](Rng &) { VelaSim_ClearFaults(); }},
        {100, "device value out of range", HostileDeviceValue}};
    const Kind *k = kinds;
    while (kind >= k->below)
        ++k;
    k->run(rng);
    return k->what;
}

std::atomic<int64_t> gCallStartMs{-1};
std::atomic<Seed> gSeed{0};
std::atomic<size_t> gStep{0};

int64_t NowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// A step that does not return within this time is a finding: every time limit drawn is short.
void Watchdog()
{
    for (;;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        int64_t start = gCallStartMs.load();
        if (start >= 0 && NowMs() - start > 30000) {
            fprintf(stderr, "HANG: seed %llu step %zu did not return\n", gSeed.load(),
                    gStep.load());
            fflush(stderr);
            _Exit(4);
        }
    }
}

const char *FuzzLogPath()
{
    static const std::string path = TempDir() + "/qxfuzz_log.txt";
    return path.c_str();
}

void Fresh()
{
    QXCM_DEINITIALIZE_40(1);
    VelaSim_Reset();
    VelaSim_JournalEnable(0);
    // Waits end at once when nothing is pending: a reference store without a limit on a camera
    // that only delivers when asked would otherwise wait for ever.
    VelaSim_SetManualClock(2);
}

// Runs the listed steps of a seed's sequence (all when `only` is empty); false on a finding.
bool RunSequence(Seed seed, size_t steps, const std::vector<size_t> &only, bool verbose)
{
    Fresh();
    gSeed = seed;
    for (size_t step = 0; step < steps; ++step) {
        if (!only.empty() && std::find(only.begin(), only.end(), step) == only.end())
            continue;
        gStep = step;
        gCallStartMs = NowMs();
        std::string what = RunStep(seed, step);
        gCallStartMs = -1;
        if (verbose)
            fprintf(stderr, "  step %zu: %s\n", step, what.c_str());
        if (const std::string which = TouchedGuard(); !which.empty()) {
            fprintf(stderr, "GUARD: seed %llu step %zu (%s) wrote outside %s\n", seed, step,
                    what.c_str(), which.c_str());
            return false;
        }
    }
    Fresh();
    return true;
}

std::vector<size_t> ReadSteps(std::string list)
{
    std::replace(list.begin(), list.end(), ',', ' ');
    std::istringstream in(list);
    return {std::istream_iterator<size_t>(in), std::istream_iterator<size_t>()};
}

std::string StepList(const std::vector<size_t> &steps)
{
    std::string list;
    for (size_t s : steps)
        list += (list.empty() ? "" : ",") + std::to_string(s);
    return list;
}

bool ChildFails(const std::string &self, Seed seed, size_t steps, const std::vector<size_t> &only)
{
    const std::string command = "\"" + self + "\" --seed " + std::to_string(seed) + " --steps " +
                                std::to_string(steps) + " --only " + StepList(only) +
                                " >/dev/null 2>&1";
    return std::system(command.c_str()) != 0;
}

// Removes chunks of steps while the sequence still fails, halving the chunk down to one step.
int Shrink(const std::string &self, Seed seed, size_t steps)
{
    std::vector<size_t> keep(steps);
    std::iota(keep.begin(), keep.end(), size_t{0});
    if (!ChildFails(self, seed, steps, keep)) {
        fprintf(stderr, "seed %llu does not fail\n", seed);
        return 0;
    }
    for (size_t chunk = keep.size() / 2; chunk >= 1; chunk /= 2) {
        for (size_t at = 0; at < keep.size();) {
            std::vector<size_t> tryKeep(keep);
            tryKeep.erase(tryKeep.begin() + static_cast<std::ptrdiff_t>(at),
                          tryKeep.begin() +
                              static_cast<std::ptrdiff_t>(std::min(keep.size(), at + chunk)));
            if (!tryKeep.empty() && ChildFails(self, seed, steps, tryKeep))
                keep = tryKeep;
            else
                at += chunk;
        }
    }
    printf("seed %llu fails with %zu steps: --seed %llu --steps %zu --only %s\n", seed, keep.size(),
           seed, steps, StepList(keep).c_str());
    RunSequence(seed, steps, keep, true);
    return 1;
}

} // namespace

int main(int argc, char **argv)
{
    Seed first = 0, seeds = 20;
    size_t steps = 200;
    bool one = false, shrink = false;
    std::vector<size_t> only;
    for (int k = 1; k < argc; ++k) {
        std::string a = argv[k];
        auto next = [&] { return k + 1 < argc ? std::string(argv[++k]) : std::string("0"); };
        if (a == "--seed")
            seeds = 1, one = true;
        if (a == "--first" || a == "--seed")
            first = std::stoull(next());
        else if (a == "--seeds")
            seeds = std::stoull(next());
        else if (a == "--steps")
            steps = std::stoul(next());
        else if (a == "--only")
            only = ReadSteps(next());
        else if (a == "--shrink")
            shrink = true;
        else {
            fprintf(stderr, "unknown argument %s\n", a.c_str());
            return 2;
        }
    }
    qxcm::Os().logPath = FuzzLogPath;
    // The corrections' one-second settling waits would take most of a run.
    qxcm::Os().sleepMs = [](uint32_t) {};
    std::thread(Watchdog).detach();
    if (shrink)
        return Shrink(argv[0], first, steps);
    for (Seed seed = first; seed < first + seeds; ++seed) {
        if (!RunSequence(seed, steps, only, one && !only.empty())) {
            printf("finding at seed %llu: shrink with --seed %llu --steps %zu --shrink\n", seed,
                   seed, steps);
            return 3;
        }
    }
    printf("%llu sequences of %zu steps over %zu exports: no finding\n", seeds, steps,
           std::size(kRows));
    return 0;
}
