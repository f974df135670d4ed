// The call log of the current exported family and the common call frame every such export
// follows. Log formats stay string literals at the call site so the compiler checks each one.
#pragma once

#include <cstdint>
#include <cstdio>

namespace qxcm {

struct CallLog {
    uint8_t logEnabled = 0; // 1 while logFile is open; the only thing a logging site tests
    FILE *logFile = nullptr;
    int32_t logStartTicks = 0;
    float logLastSeconds = 0.0f;
};

CallLog &Log();

// Seconds since the log was opened, computed in 32-bit float from millisecond ticks.
double LogSeconds();

// One formatted line; the first conversion receives the elapsed seconds.
[[gnu::format(printf, 1, 2)]] void WriteLogLine(const char *format, ...);

// Opens (and empties) the log file; false when it cannot be created.
bool OpenCallLog();
void CloseCallLog();

} // namespace qxcm

// Writes one log line when the log is on; nothing is formatted when it is off. The format
// starts with "%.3f", which receives the elapsed seconds.
#define QX_LOG(format, ...)                                                                        \
    do {                                                                                           \
        if (::qxcm::Log().logEnabled)                                                              \
            ::qxcm::WriteLogLine(format, ::qxcm::LogSeconds() __VA_OPT__(, ) __VA_ARGS__);         \
    } while (0)
