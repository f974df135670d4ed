// The one rule for pixel operations with SIMD paths: each lists its paths, portable first and
// widest last, and a processor gets the widest it runs, chosen once per process and operation.
#pragma once

#include <cstddef>
#include <vector>

#if defined(__x86_64__) || defined(_M_X64)
#include <immintrin.h>
#define QXCM_X86 1
#endif

namespace qxcm {

// The instruction sets paths are written for.
enum class SimdLevel { Portable, Sse2, Ssse3, Avx2 };

inline bool ProcessorRuns(SimdLevel level)
{
#ifdef QXCM_X86
    __builtin_cpu_init();
    switch (level) {
    case SimdLevel::Sse2:
        return __builtin_cpu_supports("sse2");
    case SimdLevel::Ssse3:
        return __builtin_cpu_supports("ssse3");
    case SimdLevel::Avx2:
        return __builtin_cpu_supports("avx2");
    default:
        return true;
    }
#else
    return level == SimdLevel::Portable;
#endif
}

template <typename Function> struct SimdPath {
    const char *name;
    Function function;
    SimdLevel needs;
};

// The path an operation takes on this processor; the first path must need nothing.
template <typename Function, size_t N>
const SimdPath<Function> &WidestPath(const SimdPath<Function> (&paths)[N])
{
    size_t k = N - 1;
    while (k > 0 && !ProcessorRuns(paths[k].needs))
        --k;
    return paths[k];
}

// WidestPath of a path table, asked once per process.
template <const auto &Paths> const auto &ChosenPath()
{
    static const auto &path = WidestPath(Paths);
    return path;
}

// Every path as a Variant {name, function, whether this processor runs it}, for the tests that
// hold each path to the portable one.
template <typename Variant, typename Function, size_t N>
std::vector<Variant> PathVariants(const SimdPath<Function> (&paths)[N])
{
    std::vector<Variant> variants;
    for (const SimdPath<Function> &p : paths)
        variants.push_back(Variant{p.name, p.function, ProcessorRuns(p.needs)});
    return variants;
}

} // namespace qxcm
