// The frame around every device operation: fault injection decides first whether the call does
// any work, the journal receives one line when it ends, and failures become the device's latest
// error for VelaGetLastError.
#pragma once

#include <stdint.h>

#include <string>

namespace velasim {

// Code: the result is the code itself (negative = failure). Bool: 1 on success, 0 on failure
// with the code left for VelaGetLastError.
enum class Style { Code, Bool };

class DeviceCall {
  public:
    // propertyId is what fault matching compares against; 0 for calls that carry none.
    DeviceCall(const char *name, Style style, uint64_t device, uint32_t propertyId = 0);
    DeviceCall(const DeviceCall &) = delete;
    DeviceCall &operator=(const DeviceCall &) = delete;

    // True when an armed fault took this call over: the caller must skip its work.
    bool Injected() const { return injected_; }

    // The argument text of the journal line; formatted only while the journal is on.
    [[gnu::format(printf, 2, 3)]] void Args(const char *format, ...);

    // Ends the call with a signed code (negative = failure) and returns what the operation
    // returns in its style.
    int32_t Return(int32_t code);

  private:
    const char *name_;
    Style style_;
    uint64_t device_;
    bool injected_ = false;
    int32_t injectedCode_ = 0;
    bool journalOn_ = false;
    std::string args_;
};

// Journal and fault table, shared by every device and by the control surface.
void JournalAppend(std::string line);
void JournalClear();
void JournalEnable(bool on);
int32_t JournalCount();
bool JournalLine(int32_t index, std::string &line);

void ArmFault(const char *op, uint32_t propertyId, int32_t nth, int32_t code, bool sticky);
void ClearFaults();
void ArmFramesAfter(const char *op, int32_t nth, int32_t camera, int32_t frames);
// Delivers the frames armed for this call of `op`, if any; after the call's own work.
void DeliverFramesAfter(const char *op);

// The latest failure of a device handle (0 if it never failed); handle 0 holds the latest
// failure of any call.
void NoteFailure(uint64_t device, int32_t code);
int32_t LatestFailure(uint64_t device);
void ClearFailures();

} // namespace velasim
