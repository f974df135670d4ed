// Stateful call-sequence fuzzer of the library: each seed makes steps that call any export of
// export_list.inc with plausible or hostile arguments, take a plausible path to a running
// capture, deliver frames, arm device faults, or end the capture from a second thread while the
// first waits and copies. A crash, a sanitizer report, a touched guard byte or a hang is a
// finding. Each step draws from its own generator, so any subset of a sequence replays exactly.
//   qxcm_call_fuzz [--first S] [--seeds N] [--steps K]   seeds S .. S+N-1 (default 0, 20, 200)
//   qxcm_call_fuzz --seed S [--steps K] [--only N,N,..] one sequence (only the listed steps)
//   qxcm_call_fuzz --seed S [--steps K] --shrink        the fewest steps that still fail
#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <limits>
#include <numeric>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <type_traits>
#include <vector>

#include "core/platform.h"
#include "qxcm/qxcm.h"
#include "velaapi/vela_api.h"
#include "velaapi/vela_sim.h"

namespace {

using Rng = std::mt19937_64;

constexpr size_t kGuard = 64;
constexpr uint8_t kGuardByte = 0xA5;
constexpr size_t kBigBytes = size_t(16) << 20; // the largest frame of any simulated camera, twice
constexpr size_t kSmallBytes = size_t(64) << 10;
constexpr size_t kZeroed = size_t(128) << 10; // pointer arrays read as null: refused, not followed
constexpr size_t kBigBuffers = 3;             // the first pointers of a call: frame destinations
constexpr int kBuffers = 24;

struct Buffer {
    std::vector<uint8_t> bytes; // guard, payload, guard
    size_t size;
    uint8_t *Payload() { return bytes.data() + kGuard; }
};

std::vector<Buffer> &Buffers()
{
    static std::vector<Buffer> buffers = [] {
        std::vector<Buffer> b(kBuffers);
        for (size_t k = 0; k < b.size(); ++k) {
            b[k].size = k < kBigBuffers ? kBigBytes : kSmallBytes;
            b[k].bytes.assign(b[k].size + 2 * kGuard, kGuardByte);
            memset(b[k].Payload(), 0, b[k].size);
        }
        return b;
    }();
    return buffers;
}

std::string TouchedGuard()
{
    for (size_t k = 0; k < Buffers().size(); ++k) {
        Buffer &b = Buffers()[k];
        for (size_t i = 0; i < kGuard; ++i)
            if (b.bytes[i] != kGuardByte || b.Payload()[b.size + i] != kGuardByte)
                return "buffer " + std::to_string(k) +
                       (b.bytes[i] != kGuardByte ? " front" : " back");
    }
    return "";
}

std::string TempDir()
{
    const char *dir = getenv("TMPDIR");
    return dir && *dir ? dir : "/tmp";
}

// Arguments of one call, by type: plausible most of the time, hostile otherwise. An integer
// right after a pointer is taken as its count or length and stays inside the buffer (or is
// negative): a larger one is the host's mistake, not the library's.
class Args {
  public:
    Args(Rng &rng, bool waits) : rng_(rng), waits_(waits) {}

    template <typename T> T Make()
    {
        const size_t index = made_++;
        if constexpr (std::is_pointer_v<T>)
            return Pointer<T>();
        else if constexpr (std::is_floating_point_v<T>)
            return static_cast<T>(Real());
        else
            return Integer<T>(index);
    }

  private:
    bool Chance(int percent) { return static_cast<int>(rng_() % 100) < percent; }
    template <typename C> auto Pick(const C &choices)
    {
        return choices[rng_() % std::size(choices)];
    }

    template <typename T> T Pointer()
    {
        capacity_ = 0;
        if (Chance(8))
            return nullptr;
        using Pointee = std::remove_cv_t<std::remove_pointer_t<T>>;
        if constexpr (std::is_same_v<Pointee, char> && std::is_const_v<std::remove_pointer_t<T>>) {
            static const std::string paths[] = {
                TempDir() + "/qxfuzz_a.vlseq", TempDir() + "/qxfuzz_b",
                TempDir() + "/qxfuzz_missing_dir/x.vlseq", "", std::string(700, 'p')};
            const std::string &p = paths[rng_() % std::size(paths)];
            capacity_ = p.size();
            return p.c_str();
        } else {
            Buffer &b = Buffers()[static_cast<size_t>(std::min(pointers_, kBuffers - 1))];
            ++pointers_;
            memset(b.Payload(), 0, std::min(b.size, kZeroed));
            capacity_ = b.size;
            return reinterpret_cast<T>(b.Payload());
        }
    }

    double Real()
    {
        static const double plausible[] = {0, 0.001, 0.01, 0.1, 0.5, 1, 2, 3, 4, 14, 100};
        constexpr double kNaN = std::numeric_limits<double>::quiet_NaN(), kInf = HUGE_VAL;
        static const double hostile[] = {kNaN,          kInf,         -kInf,    -1,
                                         1e300,         -1e300,       4.9e-324, 2147483648.0,
                                         -2147483649.0, 4294967296.0, 1e19,     3e6};
        capacity_ = 0;
        return Chance(70) ? Pick(plausible) : Pick(hostile);
    }

    template <typename T> T Integer(size_t index)
    {
        const size_t capacity = capacity_;
        capacity_ = 0;
        static const int64_t plausible[] = {0, 0, 1, 1, 2, 3, 4, 5, 8, 10, 16, 64, -1};
        static const int64_t hostile[] = {INT32_MAX,  INT32_MIN,  UINT32_MAX, 0x80000000,
                                          0x7FFFFFFE, 0x00420270, 0x001F0110, 1000000,
                                          -2,         65536,      4096,       0xFFFFFF};
        if (index == 0 && Chance(90)) // a camera index or a file slot
            return static_cast<T>(rng_() % 3);
        if (capacity > 0) { // a count or length of the pointer before it
            if (std::is_signed_v<T> && Chance(15))
                return static_cast<T>(Chance(50) ? -1 : INT32_MIN);
            return static_cast<T>(rng_() % (std::min<size_t>(capacity / 8, 64) + 1));
        }
        if (waits_) // a time limit: never one that waits for ever
            return static_cast<T>(Pick(std::array<int, 5>{0, 1, 2, 5, 40}));
        int64_t v = Chance(75) ? Pick(plausible) : Pick(hostile);
        if (Chance(5))
            v = static_cast<int64_t>(rng_());
        return static_cast<T>(v);
    }

    Rng &rng_;
    bool waits_;
    int pointers_ = 0;
    size_t made_ = 0;
    size_t capacity_ = 0;
};

template <auto F> void Call(Rng &rng, const char *name)
{
    Args args(rng, strstr(name, "WAIT") != nullptr);
    [&]<typename R, typename... A>(R (*f)(A...)) {
        std::apply(f, std::tuple<A...>{args.template Make<A>()...}); // braces: left to right
    }(F);
}

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
    if (rng() % 3 == 0)
        QXCM_STARTRECORDER_41(camera, (TempDir() + "/qxfuzz_a.vlseq").c_str(), 50,
                              static_cast<int32_t>(rng() % 3), &err);
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
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// A step that does not return within this time is a finding: every time limit drawn is short.
void Watchdog()
{
    for (;;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        if (const int64_t start = gCallStartMs; start >= 0 && NowMs() - start > 30000) {
            fprintf(stderr, "HANG: seed %llu step %zu did not return\n", gSeed.load(),
                    gStep.load());
            _Exit(4); // stderr is unbuffered
        }
    }
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
            std::vector<size_t> tryKeep;
            for (size_t i = 0; i < keep.size(); ++i)
                if (i < at || i >= at + chunk)
                    tryKeep.push_back(keep[i]);
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
    qxcm::Os().logPath = [] {
        static const std::string path = TempDir() + "/qxfuzz_log.txt";
        return path.c_str();
    };
    // The corrections' one-second settling waits would take most of a run.
    qxcm::Os().sleepMs = [](uint32_t) {};
    std::thread(Watchdog).detach();
    if (shrink)
        return Shrink(argv[0], first, steps);
    for (Seed seed = first; seed < first + seeds; ++seed)
        if (!RunSequence(seed, steps, only, one && !only.empty())) {
            printf("finding at seed %llu: shrink with --seed %llu --steps %zu --shrink\n", seed,
                   seed, steps);
            return 3;
        }
    printf("%llu sequences of %zu steps over %zu exports: no finding\n", seeds, steps,
           std::size(kRows));
    return 0;
}
