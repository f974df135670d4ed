// Entry points of the older family: initialisation, opening cameras and properties by name.
// None tests the API level and none writes to the call log.
#include "exports/frame.h"
#include "legacy/legacy_initialize.h"
#include "legacy/legacy_properties.h"
#include "legacy/legacy_records.h"
#include "settings/camera_open.h"

using namespace qxcm;

extern "C" {

QXCM_API int32_t QXCM_INITIALIZE(uint32_t *count, int32_t *error)
{
    QX_CALL_LOCK();
    return LegacyInitialize(count, error);
}

QXCM_API int32_t QXCM_INITIALIZE_A(uint32_t *count, int32_t, int32_t *error)
{
    QX_CALL_LOCK();
    return LegacyInitializeAgain(count, nullptr, nullptr, false, error);
}

QXCM_API int32_t QXCM_INITIALIZE_B(uint32_t *count, char *libraryVersion, char *deviceVersion,
                                   int32_t, int32_t *error)
{
    QX_CALL_LOCK();
    return LegacyInitializeAgain(count, libraryVersion, deviceVersion, false, error);
}

QXCM_API int32_t QXCM_INITIALIZE_C(uint32_t *count, char *libraryVersion, char *deviceVersion,
                                   int32_t, int32_t, int32_t *error)
{
    QX_CALL_LOCK();
    return LegacyInitializeAgain(count, libraryVersion, deviceVersion, true, error);
}

QXCM_API int32_t QXCM_DEINITIALIZE_A(int32_t force)
{
    QX_CALL_LOCK();
    LegacyDeinitialize(force);
    return 1;
}

QXCM_API int32_t QXCM_DEINITIALIZE(void)
{
    QX_CALL_LOCK();
    LegacyDeinitializeAll();
    return 1;
}

QXCM_API int32_t QXCM_OPENCAMERA(uint32_t i)
{
    QX_CALL_LOCK();
    return OpenLegacySlot(i) ? 1 : 0;
}

QXCM_API int32_t QXCM_OPENCAMERA_A(uint32_t i, int32_t reopen, int32_t *error)
{
    QX_CALL_LOCK();
    if (i >= State().cameraCount)
        QX_FAIL_CODE(QXERR_OPEN_FAILED, error);
    if (reopen && IsCameraOpen(i))
        CloseCamera(i);
    if (!OpenLegacySlot(i))
        QX_FAIL_CODE(QXERR_OPEN_FAILED, error);
    return 1;
}

QXCM_API int32_t QXCM_CLOSECAMERA(uint32_t i, int32_t *error)
{
    QX_CALL_LOCK();
    if (!IsCameraOpen(i))
        QX_FAIL_CODE(QXERR_INVALIDHANDLE, error);
    CloseCamera(i);
    return 1;
}

QXCM_API int32_t QXCM_GETCAMERAINFO(uint32_t i, uint32_t id, char *text, int32_t *error)
{
    QX_CALL_LOCK();
    QX_REQUIRE_CAMERA(i, error);
    QX_REQUIRE_OUT(({text}), error);
    if (!GetCameraInfo(i, id, text))
        QX_FAIL(State().contexts[i], error);
    return 1;
}

QXCM_API int32_t QXCM_GETNEXTPROPERTY(uint32_t i, char *name, int32_t *number, int32_t *error)
{
    QX_REQUIRE_OPEN(c, i, error);
    QX_REQUIRE_OUT(({name, number}), error);
    if (!NextLegacyProperty(c, number, name))
        QX_FAIL(c, error);
    return 1;
}

QXCM_API int32_t QXCM_SETPROPERTYVALUE(uint32_t i, uint32_t id, float value, int32_t *error)
{
    QX_REQUIRE_OPEN(c, i, error);
    if (!WriteLegacyProperty(c, id, value))
        QX_FAIL(c, error);
    return 1;
}

QXCM_API int32_t QXCM_GETPROPERTYVALUE(uint32_t i, uint32_t id, float *value, int32_t *error)
{
    QX_REQUIRE_OPEN(c, i, error);
    QX_REQUIRE_OUT(({value}), error);
    if (!ReadLegacyProperty(c, id, value))
        QX_FAIL(c, error);
    return 1;
}

QXCM_API int32_t QXCM_GETPROPERTYINFO(uint32_t i, int32_t number, uint32_t *isList,
                                      double *maxValue, double *minValue, double *step,
                                      double *defaultValue, uint32_t *writable, int32_t *error)
{
    QX_REQUIRE_OPEN(c, i, error);
    QX_REQUIRE_RECORD(r, c, number, error);
    QX_REQUIRE_OUT(({isList, maxValue, minValue, step, defaultValue, writable}), error);
    if (!ReadLegacyPropertyInfo(c, r, isList, maxValue, minValue, step, defaultValue, writable))
        QX_FAIL(c, error);
    return 1;
}

QXCM_API int32_t QXCM_GETPROPERTYTEXT(uint32_t i, int32_t number, char *text, double value,
                                      double *nextValue, int32_t *error)
{
    QX_REQUIRE_OPEN(c, i, error);
    QX_REQUIRE_RECORD(r, c, number, error);
    QX_REQUIRE_OUT(({text, nextValue}), error);
    if (!CopyLegacyValueText(c.properties[r], value, text, nextValue))
        QX_FAIL(c, error);
    return 1;
}

QXCM_API int32_t QXCM_GETPARAMETER(uint32_t i, int32_t number, double *value, uint32_t view,
                                   int32_t *error)
{
    QX_REQUIRE_OPEN(c, i, error);
    QX_REQUIRE_RECORD(r, c, number, error);
    QX_REQUIRE_CACHED_VIEW(view, error);
    QX_REQUIRE_OUT(({value}), error);
    if (!GetLegacyRecordValue(c, r, view, value))
        QX_FAIL(c, error);
    return 1;
}

QXCM_API int32_t QXCM_GETRANGE(uint32_t i, int32_t number, double *, double *, double *,
                               int32_t *error)
{
    QX_REQUIRE_OPEN(c, i, error);
    // Never answers: ranges come from QXCM_GETPROPERTYINFO. The code tells a number the camera
    // knows from one it does not.
    bool unmapped = number < 0 || (number < kParameterMapSize && c.parameterMap[number] == -1);
    QX_FAIL_CODE(unmapped ? QXERR_NOTSUPPORT : QXERR_INVALIDPARAM, error);
}

} // extern "C"
