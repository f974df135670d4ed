// Entry points of initialisation and error texts.
#include <cstring>

#include "core/error_text.h"
#include "core/initialize.h"
#include "exports/frame.h"

extern "C" {

QXCM_API int32_t QXCM_INITIALIZE_40(uint32_t *cameraCount, char *libraryVersion,
                                    char *deviceVersion, int32_t, int32_t log, int32_t *error)
{
    QX_CALL_LOCK();
    return qxcm::Initialize40(cameraCount, libraryVersion, deviceVersion, log, error);
}

QXCM_API int32_t QXCM_DEINITIALIZE_40(int32_t force)
{
    QX_CALL_LOCK();
    return qxcm::Deinitialize40(force);
}

QXCM_API int32_t QXCM_REPORTERROR(int32_t code, char *text)
{
    if (!text) // nowhere to copy to
        return 0;
    // The table holds no text longer than the host's 128 characters (error_text.cpp checks it
    // at compile time); only the text and its terminator are written.
    const char *source = qxcm::ErrorText(code);
    memcpy(text, source, strlen(source) + 1);
    return 0;
}

} // extern "C"
