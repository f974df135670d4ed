// Initialisation and de-initialisation of the current family, and the two 12-bit tables.
#pragma once

#include <cstdint>

namespace qxcm {

constexpr const char *kLibraryVersion = "4.4.24.225";

extern uint16_t twelveBitFirstTable[65536];
extern uint16_t twelveBitSecondTable[65536];

void FillTwelveBitTables();

int32_t Initialize40(uint32_t *cameraCount, char *libraryVersion, char *deviceVersion, int32_t log,
                     int32_t *error);
int32_t Deinitialize40(int32_t force);

} // namespace qxcm
