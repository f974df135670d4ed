// The host's data-type codes and what a pixel of each takes: the one table behind every stride,
// sample size and colour test of the library's copies and of the tools. The codes themselves
// are the public header's, so a host and the library cannot disagree on them.
#pragma once

#include <cstdint>

#include "qxcm/qxcm.h"

namespace qxcm {

constexpr uint32_t kHostMono8 = QXCM_DATATYPE_MONO8;
constexpr uint32_t kHostMono16Legacy = QXCM_DATATYPE_MONO16_LEGACY;
constexpr uint32_t kHostColour24 = QXCM_DATATYPE_RGB24;
constexpr uint32_t kHostColour48 = QXCM_DATATYPE_RGB48;
constexpr uint32_t kHostMono16 = QXCM_DATATYPE_MONO16;

struct HostDataTypeInfo {
    uint32_t code;
    uint32_t samplesPerPixel; // 3 for colour, whose widths the host gets in samples
    uint32_t bytesPerSample;
};

constexpr HostDataTypeInfo kHostDataTypes[] = {{kHostMono8, 1, 1},
                                               {kHostMono16Legacy, 1, 2},
                                               {kHostColour24, 3, 1},
                                               {kHostColour48, 3, 2},
                                               {kHostMono16, 1, 2}};

// The table's entry for `code`; null for a code the host has no type for.
constexpr const HostDataTypeInfo *FindHostDataType(uint32_t code)
{
    for (const HostDataTypeInfo &t : kHostDataTypes)
        if (t.code == code)
            return &t;
    return nullptr;
}

// 0 for a code the table does not hold.
constexpr uint32_t HostBytesPerSample(uint32_t code)
{
    const HostDataTypeInfo *t = FindHostDataType(code);
    return t ? t->bytesPerSample : 0;
}

// 0 for a code the table does not hold.
constexpr uint32_t HostBytesPerPixel(uint32_t code)
{
    const HostDataTypeInfo *t = FindHostDataType(code);
    return t ? t->samplesPerPixel * t->bytesPerSample : 0;
}

constexpr bool HostIsColour(uint32_t code)
{
    const HostDataTypeInfo *t = FindHostDataType(code);
    return t && t->samplesPerPixel == 3;
}

} // namespace qxcm
