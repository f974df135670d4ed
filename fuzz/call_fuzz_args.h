// The call fuzzer's arguments: guarded host buffers that no call may write outside, and the
// generator that makes each argument of an export's signature, plausible or hostile. Included
// by call_fuzz.cpp alone.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <tuple>
#include <type_traits>
#include <vector>

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

// Names the first buffer whose guard bytes were written, or is empty.
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
        return choices[static_cast<size_t>(rng_() % std::size(choices))];
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
            if constexpr (std::is_signed_v<T>) {
                if (Chance(15))
                    return static_cast<T>(Chance(50) ? -1 : INT32_MIN);
            }
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

} // namespace
