// Initialisation and shutdown of the older family. Its initialisers leave the API level at 30,
// so the current family refuses every call until its own initialiser runs again.
#pragma once

#include <cstdint>

namespace qxcm {

constexpr int32_t kLegacyApiLevel = 30;

// Initialises only while no slots exist; with slots it just reports their count.
int32_t LegacyInitialize(uint32_t *count, int32_t *error);
// Initialises again unless a camera is open (then it reports the count and leaves the API level
// as it is). Either version buffer (64 characters) may be null; `closeLog` ends the call log
// first.
int32_t LegacyInitializeAgain(uint32_t *count, char *libraryVersion, char *deviceVersion,
                              bool closeLog, int32_t *error);
// Releases the slots and the device library; with cameras open only when forced, which stops,
// releases and closes them first.
void LegacyDeinitialize(int32_t force);
// Releases everything, closing every open camera first.
void LegacyDeinitializeAll();

} // namespace qxcm
