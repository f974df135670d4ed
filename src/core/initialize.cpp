// Bringing the library up to the current API level and down again, and what the older family's
// initialisers share with it.
#include "core/initialize.h"

#include <cstdio>

#include "core/call_log.h"
#include "core/device.h"
#include "core/library_state.h"
#include "core/platform.h"
#include "qxcm/qxcm.h"

namespace qxcm {

uint16_t twelveBitFirstTable[65536];
uint16_t twelveBitSecondTable[65536];

void FillTwelveBitTables()
{
    for (uint32_t v = 0; v < 65536; ++v) {
        uint32_t lo = v % 256, hi = v / 256;
        twelveBitFirstTable[v] = static_cast<uint16_t>(lo * 16 + hi % 16);
        twelveBitSecondTable[v] = static_cast<uint16_t>(hi * 16 + lo / 16);
    }
}

void WriteVersions(char *libraryVersion, char *deviceVersion)
{
    if (libraryVersion)
        snprintf(libraryVersion, 64, "%s", kLibraryVersion);
    char text[64];
    if (deviceVersion && DeviceModule() &&
        Os().deviceLibraryVersion(DeviceModule(), text, sizeof text))
        snprintf(deviceVersion, 64, "%s", text);
}

int32_t StartDevice(const DeviceStart &how, uint32_t *cameras)
{
    // Without the device library there is nothing to initialise; nothing may crash either.
    if (!BindDevice())
        return QXERR_NOMODULE;
    const int32_t options[2] = {1, 0};
    VelaInitRecord record{};
    record.size = sizeof record;
    if (how.withOptions) {
        record.optionBytes = sizeof options;
        record.options = options;
    }
    int32_t result = Device().VelaInit(&record);
    if (result < 0) {
        ResizeCameraSlots(0); // the slots of a device library that failed to start
        return result;
    }
    *cameras = 0;
    if (record.cameraCount > 0) {
        if (!ResizeCameraSlots(static_cast<uint32_t>(record.cameraCount)))
            return QXERR_NOMEMORY;
        *cameras = static_cast<uint32_t>(record.cameraCount);
    } else if (how.releaseWithoutCameras) {
        Device().VelaUninit();
    }
    // The frame calls of both families unpack 12-bit data through these tables.
    FillTwelveBitTables();
    State().apiLevel = how.apiLevel;
    return 0;
}

bool ReleaseDevice(bool force)
{
    if (force)
        CloseEveryOpenCamera();
    else if (AnyCameraOpen())
        return false;
    ResizeCameraSlots(0);
    // A library never initialised has no device binding to call.
    if (DeviceModule())
        Device().VelaUninit();
    return true;
}

int32_t Initialize40(uint32_t *cameraCount, char *libraryVersion, char *deviceVersion, int32_t log,
                     int32_t *error)
{
    WriteIfGiven(cameraCount, 0u);
    CloseCallLog();
    if (log)
        OpenCallLog();
    QX_LOG("%.3f QXCM_INITIALIZE_40 -> \n");
    bool bound = BindDevice();
    WriteVersions(libraryVersion, deviceVersion);
    if (!bound) {
        WriteIfGiven(error, int32_t{QXERR_NOMODULE});
        QX_LOG("%.3f QXCM_INITIALIZE_40 NG\n");
        return 0;
    }
    // Log lines print the version buffers. The device version keeps whatever the host put there
    // when no version could be read, so it is printed from a terminated copy of at most 63
    // characters; a null buffer prints as an empty text.
    char qxver[64] = "", velaver[64] = "";
    if (libraryVersion)
        snprintf(qxver, sizeof qxver, "%.63s", libraryVersion);
    if (deviceVersion)
        snprintf(velaver, sizeof velaver, "%.63s", deviceVersion);

    LibraryState &s = State();
    WriteIfGiven(cameraCount, s.cameraCount);
    if (AnyCameraOpen()) {
        QX_LOG("%.3f QXCM_INITIALIZE_40 UN QXVER=%s VELAVER=%s\n", qxver, velaver);
        return 1;
    }
    uint32_t cameras = 0;
    if (int32_t code = StartDevice({true, false, 40}, &cameras)) {
        WriteIfGiven(cameraCount, 0u);
        WriteIfGiven(error, code);
        QX_LOG("%.3f QXCM_INITIALIZE_40 NG\n");
        return 0;
    }
    if (cameras > 0)
        WriteIfGiven(cameraCount, cameras);
    QX_LOG("%.3f QXCM_INITIALIZE_40 OK QXVER=%s VELAVER=%s\n", qxver, velaver);
    return 1;
}

int32_t Deinitialize40(int32_t force)
{
    QX_LOG("%.3f QXCM_DEINITIALIZE_40 -> \n");
    if (!ReleaseDevice(force != 0)) {
        QX_LOG("%.3f QXCM_DEINITIALIZE_40 NG\n");
        CloseCallLog();
        return 1;
    }
    QX_LOG("%.3f QXCM_DEINITIALIZE_40 OK\n");
    CloseCallLog();
    return 1;
}

} // namespace qxcm
