// Bringing the device library up and down for both exported families, and the two 12-bit tables.
#pragma once

#include <cstdint>

namespace qxcm {

constexpr const char *kLibraryVersion = "4.4.24.225";

extern uint16_t twelveBitFirstTable[65536];
extern uint16_t twelveBitSecondTable[65536];

void FillTwelveBitTables();

// Writes a host output the host may have left null.
template <typename T> void WriteIfGiven(T *output, T value)
{
    if (output)
        *output = value;
}

// This library's version and that of the device library in use into the host's 64-character
// buffers, either of which may be null. The device version is read only once the device library
// is bound, and a version that cannot be read leaves the host's text as it was.
void WriteVersions(char *libraryVersion, char *deviceVersion);

// How an initialiser starts the device library; the families differ in each.
struct DeviceStart {
    bool withOptions;           // hand the device the current family's options record
    bool releaseWithoutCameras; // a device that reports no camera is released again at once
    int32_t apiLevel;           // the level the library is at afterwards
};

// Binds and initialises the device library and sizes the slots from its camera count. Answers
// 0 with *cameras the count (0 when there is none; the slots then stay as they were), or the
// code to report: QXERR_NOMODULE without a device library, else the device's or
// QXERR_NOMEMORY, and then no slots are left.
int32_t StartDevice(const DeviceStart &how, uint32_t *cameras);

// Releases the slots and the device library. With a camera open it releases only when
// `force`, which stops and closes every open camera first; otherwise false and nothing changes.
bool ReleaseDevice(bool force);

int32_t Initialize40(uint32_t *cameraCount, char *libraryVersion, char *deviceVersion, int32_t log,
                     int32_t *error);
int32_t Deinitialize40(int32_t force);

} // namespace qxcm
