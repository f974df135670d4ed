// Journal, fault table and latest-failure bookkeeping behind DeviceCall. Each has its own small
// lock so that a call blocked inside a device (a frame wait) never holds them.
#include "device_call.h"

#include "vela_sim.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>

#include <deque>
#include <map>
#include <mutex>
#include <string.h>
#include <vector>

namespace velasim {
namespace {

struct Fault {
    std::string op; // "*" = any operation
    uint32_t propertyId;
    int32_t nth;
    int32_t code;
    bool sticky;
    int32_t seen = 0;
    bool spent = false;
};

// Frames a camera delivers right after the nth call of an operation has done its work: a device
// that moves on at exactly that point between two calls of the host.
struct FramesAfter {
    std::string op;
    int32_t nth;
    int32_t camera;
    int32_t frames;
    int32_t seen = 0;
};

// The journal kept in memory is for tests, which ask for it (VelaSim_Reset turns it on); a
// host that runs a camera for hours would otherwise grow it without end. Even when asked for,
// only the newest lines stay.
constexpr size_t kJournalLines = size_t{1} << 16;

struct Books {
    std::mutex journalMutex;
    std::deque<std::string> journal;
    bool journalOn = false;
    // VELASIM_JOURNAL names a file that receives every line as it is made, flushed at once,
    // so a test can read what a child process did up to its very end (its exit teardown).
    FILE *journalFile = nullptr;
    bool journalFileOpened = false;

    // Lines are formatted when either the memory journal or the file wants them.
    bool WantsLines()
    {
        if (!journalFileOpened) {
            journalFileOpened = true;
            const char *path = getenv("VELASIM_JOURNAL");
            if (path && *path)
                journalFile = fopen(path, "a");
        }
        return journalOn || journalFile != nullptr;
    }

    std::mutex faultMutex;
    std::vector<Fault> faults;
    std::vector<FramesAfter> framesAfter;

    std::mutex failureMutex;
    std::map<uint64_t, int32_t> failures; // key 0: failures that name no device
};

// Never destroyed: the host library's process-exit teardown still calls into the device.
Books &TheBooks()
{
    static Books *books = new Books;
    return *books;
}

std::string FormatV(const char *format, va_list args)
{
    char small[256];
    va_list again;
    va_copy(again, args);
    int n = vsnprintf(small, sizeof small, format, args);
    std::string text;
    if (n < 0) {
        va_end(again);
        return text;
    }
    if (static_cast<size_t>(n) < sizeof small) {
        text.assign(small, static_cast<size_t>(n));
    } else {
        text.resize(static_cast<size_t>(n) + 1);
        vsnprintf(text.data(), text.size(), format, again);
        text.resize(static_cast<size_t>(n));
    }
    va_end(again);
    return text;
}

// Decides whether an armed fault takes this call; every fault that matches counts the call,
// even when an earlier fault already fires on it.
bool TakeFault(const char *op, uint32_t propertyId, int32_t &code)
{
    Books &b = TheBooks();
    std::lock_guard lock(b.faultMutex);
    bool fired = false;
    for (Fault &f : b.faults) {
        if (f.spent)
            continue;
        if (f.op != "*" && f.op != op)
            continue;
        if (f.propertyId != 0 && f.propertyId != propertyId)
            continue;
        ++f.seen;
        bool fires = f.sticky ? f.seen >= f.nth : f.seen == f.nth;
        if (!fires)
            continue;
        if (!f.sticky)
            f.spent = true;
        if (!fired) {
            fired = true;
            code = f.code;
        }
    }
    return fired;
}

} // namespace

DeviceCall::DeviceCall(const char *name, Style style, uint64_t device, uint32_t propertyId)
    : name_(name), style_(style), device_(device)
{
    injected_ = TakeFault(name, propertyId, injectedCode_);
    Books &b = TheBooks();
    std::lock_guard lock(b.journalMutex);
    journalOn_ = b.WantsLines();
}

void DeviceCall::Args(const char *format, ...)
{
    if (!journalOn_)
        return;
    va_list args;
    va_start(args, format);
    args_ = FormatV(format, args);
    va_end(args);
}

int32_t DeviceCall::Return(int32_t code)
{
    if (injected_)
        code = injectedCode_;
    if (code < 0)
        NoteFailure(device_, code);
    int32_t result = code;
    if (style_ == Style::Bool)
        result = code < 0 ? 0 : 1;
    if (journalOn_) {
        char tail[48];
        if (style_ == Style::Bool && code < 0)
            snprintf(tail, sizeof tail, "0 err=0x%08X", static_cast<uint32_t>(code));
        else if (code < 0)
            snprintf(tail, sizeof tail, "0x%08X", static_cast<uint32_t>(code));
        else
            snprintf(tail, sizeof tail, "%d", static_cast<int>(result));
        std::string line;
        line.reserve(strlen(name_) + args_.size() + 24);
        line.append(name_).append("(").append(args_).append(") -> ").append(tail);
        JournalAppend(std::move(line));
    }
    DeliverFramesAfter(name_);
    return result;
}

void DeliverFramesAfter(const char *op)
{
    Books &b = TheBooks();
    int32_t camera = -1, frames = 0;
    {
        std::lock_guard lock(b.faultMutex);
        for (auto it = b.framesAfter.begin(); it != b.framesAfter.end(); ++it) {
            if (it->op != op || ++it->seen != it->nth)
                continue;
            camera = it->camera;
            frames = it->frames;
            b.framesAfter.erase(it);
            break;
        }
    }
    if (camera >= 0)
        VelaSim_DeliverFrames(camera, frames);
}

void ArmFramesAfter(const char *op, int32_t nth, int32_t camera, int32_t frames)
{
    Books &b = TheBooks();
    std::lock_guard lock(b.faultMutex);
    b.framesAfter.push_back(FramesAfter{op, nth, camera, frames});
}

void JournalAppend(std::string line)
{
    Books &b = TheBooks();
    std::lock_guard lock(b.journalMutex);
    b.WantsLines();
    if (b.journalFile) {
        fprintf(b.journalFile, "%s\n", line.c_str());
        fflush(b.journalFile);
    }
    if (b.journalOn) {
        if (b.journal.size() == kJournalLines)
            b.journal.pop_front();
        b.journal.push_back(std::move(line));
    }
}

void JournalClear()
{
    Books &b = TheBooks();
    std::lock_guard lock(b.journalMutex);
    b.journal.clear();
}

void JournalEnable(bool on)
{
    Books &b = TheBooks();
    std::lock_guard lock(b.journalMutex);
    b.journalOn = on;
}

int32_t JournalCount()
{
    Books &b = TheBooks();
    std::lock_guard lock(b.journalMutex);
    return static_cast<int32_t>(b.journal.size());
}

bool JournalLine(int32_t index, std::string &line)
{
    Books &b = TheBooks();
    std::lock_guard lock(b.journalMutex);
    if (index < 0 || static_cast<size_t>(index) >= b.journal.size())
        return false;
    line = b.journal[static_cast<size_t>(index)];
    return true;
}

void ArmFault(const char *op, uint32_t propertyId, int32_t nth, int32_t code, bool sticky)
{
    if (op == nullptr || nth < 1)
        return;
    Books &b = TheBooks();
    std::lock_guard lock(b.faultMutex);
    b.faults.push_back(Fault{op, propertyId, nth, code, sticky});
}

void ClearFaults()
{
    Books &b = TheBooks();
    std::lock_guard lock(b.faultMutex);
    b.faults.clear();
    b.framesAfter.clear();
}

void NoteFailure(uint64_t device, int32_t code)
{
    Books &b = TheBooks();
    std::lock_guard lock(b.failureMutex);
    b.failures[device] = code;
    if (device != 0)
        b.failures[0] = code;
}

int32_t LatestFailure(uint64_t device)
{
    Books &b = TheBooks();
    std::lock_guard lock(b.failureMutex);
    auto it = b.failures.find(device);
    return it == b.failures.end() ? 0 : it->second;
}

void ClearFailures()
{
    Books &b = TheBooks();
    std::lock_guard lock(b.failureMutex);
    b.failures.clear();
}

} // namespace velasim
