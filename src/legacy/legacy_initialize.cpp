// The older family's initialisers: the device library started as the current family starts it,
// reached in the ways each entry point allows.
#include "legacy/legacy_initialize.h"

#include "core/call_log.h"
#include "core/device.h"
#include "core/initialize.h"
#include "core/library_state.h"

namespace qxcm {
namespace {

// No options record, and a device without cameras is not kept initialised.
constexpr DeviceStart kLegacyStart{false, true, kLegacyApiLevel};

int32_t Start(uint32_t *count, int32_t *error)
{
    uint32_t cameras = 0;
    if (int32_t code = StartDevice(kLegacyStart, &cameras)) {
        WriteIfGiven(count, 0u);
        WriteIfGiven(error, code);
        return 0;
    }
    WriteIfGiven(count, cameras);
    return 1;
}

} // namespace

int32_t LegacyInitialize(uint32_t *count, int32_t *error)
{
    WriteIfGiven(count, State().cameraCount);
    if (State().cameraCount >= 1) {
        State().apiLevel = kLegacyApiLevel;
        return 1;
    }
    return Start(count, error);
}

int32_t LegacyInitializeAgain(uint32_t *count, char *libraryVersion, char *deviceVersion,
                              bool closeLog, int32_t *error)
{
    if (closeLog)
        CloseCallLog();
    WriteIfGiven(count, 0u);
    // The version of the device library this process actually uses, read before anything of
    // it runs.
    if (deviceVersion)
        BindDevice();
    WriteVersions(libraryVersion, deviceVersion);
    if (AnyCameraOpen()) {
        WriteIfGiven(count, State().cameraCount);
        return 1;
    }
    return Start(count, error);
}

void LegacyDeinitialize(int32_t force)
{
    CloseCallLog();
    if (State().cameraCount != 0)
        ReleaseDevice(force != 0);
}

void LegacyDeinitializeAll()
{
    // Releasing the slots under open cameras would leave their devices capturing into buffers
    // nobody holds a handle to.
    ReleaseDevice(true);
    CloseCallLog();
}

} // namespace qxcm
