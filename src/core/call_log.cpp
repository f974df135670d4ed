// The call log: plain text through the runtime's stream, handed to the system line by line.
// The log is a diagnostic mode, and the lines that matter most are the last ones before a host
// crashes, which a buffer kept in the process would take down with it (cost: bench_call_log).
#include "core/call_log.h"

#include <cstdarg>

#include "core/platform.h"

namespace qxcm {

CallLog &Log()
{
    static CallLog log;
    return log;
}

double LogSeconds()
{
    CallLog &log = Log();
    float now = static_cast<float>(Os().elapsedMs());
    float start = static_cast<float>(log.logStartTicks);
    log.logLastSeconds = (now - start) / 1000.0f;
    return static_cast<double>(log.logLastSeconds);
}

void WriteLogLine(const char *format, ...)
{
    CallLog &log = Log();
    if (!log.logFile)
        return;
    va_list args;
    va_start(args, format);
    vfprintf(log.logFile, format, args); // write errors are ignored on purpose
    va_end(args);
    fflush(log.logFile);
}

bool OpenCallLog()
{
    CallLog &log = Log();
    log.logStartTicks = Os().elapsedMs();
    log.logLastSeconds = 0.0f;
    log.logFile = fopen(Os().logPath(), "w");
    log.logEnabled = log.logFile ? 1 : 0;
    return log.logFile != nullptr;
}

void CloseCallLog()
{
    CallLog &log = Log();
    if (log.logFile)
        fclose(log.logFile);
    log.logFile = nullptr;
    log.logEnabled = 0;
}

} // namespace qxcm
