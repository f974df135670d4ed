// Bringing the library up to the current API level and down again.
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

static void Put(uint32_t *p, uint32_t v)
{
    if (p)
        *p = v;
}

static void Put(int32_t *p, int32_t v)
{
    if (p)
        *p = v;
}

int32_t Initialize40(uint32_t *cameraCount, char *libraryVersion, char *deviceVersion, int32_t log,
                     int32_t *error)
{
    Put(cameraCount, 0);
    CloseCallLog();
    if (log)
        OpenCallLog();
    QX_LOG("%.3f QXCM_INITIALIZE_40 -> \n");
    if (libraryVersion)
        snprintf(libraryVersion, 64, "%s", kLibraryVersion);

    // Without the device library there is nothing to initialise; nothing may crash either.
    if (!BindDevice()) {
        Put(error, QXERR_NOMODULE);
        QX_LOG("%.3f QXCM_INITIALIZE_40 NG\n");
        return 0;
    }
    if (deviceVersion) {
        char text[64];
        if (Os().deviceLibraryVersion(DeviceModule(), text, sizeof text))
            snprintf(deviceVersion, 64, "%s", text);
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
    Put(cameraCount, s.cameraCount);
    if (s.cameraCount != 0 && AnyCameraOpen()) {
        QX_LOG("%.3f QXCM_INITIALIZE_40 UN QXVER=%s VELAVER=%s\n", qxver, velaver);
        return 1;
    }

    const int32_t options[2] = {1, 0};
    VelaInitRecord record{};
    record.size = sizeof record;
    record.optionBytes = sizeof options;
    record.options = options;
    int32_t result = Device().VelaInit(&record);
    if (result < 0) {
        Put(cameraCount, 0);
        ResizeCameraSlots(0);
        Put(error, result);
        QX_LOG("%.3f QXCM_INITIALIZE_40 NG\n");
        return 0;
    }
    if (record.cameraCount > 0) {
        if (!ResizeCameraSlots(static_cast<uint32_t>(record.cameraCount))) {
            Put(cameraCount, 0);
            Put(error, QXERR_NOMEMORY);
            QX_LOG("%.3f QXCM_INITIALIZE_40 NG\n");
            return 0;
        }
        Put(cameraCount, static_cast<uint32_t>(record.cameraCount));
    }
    QX_LOG("%.3f QXCM_INITIALIZE_40 OK QXVER=%s VELAVER=%s\n", qxver, velaver);
    FillTwelveBitTables();
    s.apiLevel = 40;
    return 1;
}

int32_t Deinitialize40(int32_t force)
{
    LibraryState &s = State();
    QX_LOG("%.3f QXCM_DEINITIALIZE_40 -> \n");
    if (s.cameraCount != 0) {
        if (force) {
            for (uint32_t i = 0; i < s.cameraCount; ++i) {
                if (!IsCameraOpen(i))
                    continue;
                StopAndCloseDevice(s.contexts[i]);
                SetCameraOpen(i, false);
            }
        } else if (AnyCameraOpen()) {
            QX_LOG("%.3f QXCM_DEINITIALIZE_40 NG\n");
            CloseCallLog();
            return 1;
        }
    }
    ResizeCameraSlots(0);
    // A library never initialised has no device binding to call.
    if (DeviceModule())
        Device().VelaUninit();
    QX_LOG("%.3f QXCM_DEINITIALIZE_40 OK\n");
    CloseCallLog();
    return 1;
}

} // namespace qxcm
