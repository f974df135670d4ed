// The older family's initialisers: one core (initialise the device library, size the slots from
// its camera count) reached in the ways each entry point allows.
#include "legacy/legacy_initialize.h"

#include <cstdio>

#include "core/call_log.h"
#include "core/device.h"
#include "core/initialize.h"
#include "core/library_state.h"
#include "core/platform.h"
#include "qxcm/qxcm.h"

namespace qxcm {
namespace {

void Put(uint32_t *p, uint32_t v)
{
    if (p)
        *p = v;
}

void Put(int32_t *p, int32_t v)
{
    if (p)
        *p = v;
}

int32_t InitializeCore(uint32_t *count, int32_t *error)
{
    // Without the device library there is nothing to initialise; nothing may crash either.
    if (!BindDevice()) {
        Put(error, QXERR_NOMODULE);
        return 0;
    }
    VelaInitRecord record{};
    record.size = sizeof record;
    int32_t result = Device().VelaInit(&record);
    if (result < 0) {
        Put(error, result);
        return 0;
    }
    if (record.cameraCount > 0) {
        if (!ResizeCameraSlots(static_cast<uint32_t>(record.cameraCount))) {
            Put(error, QXERR_NOMEMORY);
            return 0;
        }
        Put(count, static_cast<uint32_t>(record.cameraCount));
    } else {
        Device().VelaUninit();
    }
    // The frame calls of both families unpack 12-bit data through these tables.
    FillTwelveBitTables();
    State().apiLevel = kLegacyApiLevel;
    return 1;
}

void CloseEveryCamera()
{
    LibraryState &s = State();
    for (uint32_t i = 0; i < s.cameraCount; ++i) {
        if (!IsCameraOpen(i))
            continue;
        StopAndCloseDevice(s.contexts[i]);
        SetCameraOpen(i, false);
    }
}

} // namespace

int32_t LegacyInitialize(uint32_t *count, int32_t *error)
{
    Put(count, State().cameraCount);
    if (State().cameraCount >= 1) {
        State().apiLevel = kLegacyApiLevel;
        return 1;
    }
    return InitializeCore(count, error);
}

int32_t LegacyInitializeAgain(uint32_t *count, char *libraryVersion, char *deviceVersion,
                              bool closeLog, int32_t *error)
{
    if (closeLog)
        CloseCallLog();
    Put(count, 0);
    if (libraryVersion)
        snprintf(libraryVersion, 64, "%s", kLibraryVersion);
    // The version of the device library this process actually uses, read before anything of
    // it runs; the buffer keeps the host's text when it cannot be read.
    if (deviceVersion && BindDevice()) {
        char text[64];
        if (Os().deviceLibraryVersion(DeviceModule(), text, sizeof text))
            snprintf(deviceVersion, 64, "%s", text);
    }
    if (AnyCameraOpen()) {
        Put(count, State().cameraCount);
        return 1;
    }
    return InitializeCore(count, error);
}

void LegacyDeinitialize(int32_t force)
{
    CloseCallLog();
    if (State().cameraCount == 0)
        return;
    if (force)
        CloseEveryCamera();
    else if (AnyCameraOpen())
        return;
    ResizeCameraSlots(0);
    Device().VelaUninit();
}

void LegacyDeinitializeAll()
{
    // Releasing the slots under open cameras would leave their devices capturing into buffers
    // nobody holds a handle to.
    CloseEveryCamera();
    ResizeCameraSlots(0);
    // A library never initialised has no device binding to call.
    if (DeviceModule())
        Device().VelaUninit();
    CloseCallLog();
}

} // namespace qxcm
