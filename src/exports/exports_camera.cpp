// Entry points of opening, closing and asking about cameras.
#include "capture/capture_control.h"
#include "exports/frame.h"
#include "settings/camera_open.h"

using namespace qxcm;

extern "C" {

QXCM_API int32_t QXCM_OPENCAMERA_40(uint32_t i, uint32_t force, int32_t *error)
{
    QX_CALL_LOCK();
    QX_LOG("%.3f QXCM_OPENCAMERA_40 -> i=%d force=%d\n", static_cast<int32_t>(i),
           static_cast<int32_t>(force));
    QX_REQUIRE_API_LEVEL(error, QXERR_API_LEVEL_OPEN);
    if (i >= State().cameraCount)
        QX_FAIL_CODE(QXERR_OPEN_FAILED, error, "%.3f QXCM_OPENCAMERA_40 NG ERR=%d \n");
    if (!OpenCamera(i, force != 0))
        QX_FAIL_CODE(QXERR_OPEN_FAILED, error, "%.3f QXCM_OPENCAMERA_40 NG ERR=%d \n");
    if (Log().logEnabled) {
        CameraIdentity id = ReadCameraIdentity(State().contexts[i]);
        QX_LOG("%.3f QXCM_OPENCAMERA_40 OK model=%s serial=%s bus=%s\n", id.model, id.serial,
               id.bus);
    }
    return 1;
}

QXCM_API int32_t QXCM_CLOSECAMERA_40(uint32_t i, int32_t *error)
{
    QX_CALL_LOCK();
    QX_LOG("%.3f QXCM_CLOSECAMERA_40 -> i=%d\n", static_cast<int32_t>(i));
    QX_REQUIRE_API_LEVEL(error, QXERR_API_LEVEL_OPEN);
    if (!IsCameraOpen(i))
        QX_FAIL_CODE(QXERR_INVALIDHANDLE, error, "%.3f QXCM_CLOSECAMERA_40 NG ERR=%d \n");
    CloseCamera(i);
    QX_LOG("%.3f QXCM_CLOSECAMERA_40 OK \n");
    return 1;
}

QXCM_API int32_t QXCM_GETCAMERAINFO_40(uint32_t i, uint32_t id, char *text, int32_t *error)
{
    QX_CALL_LOCK();
    QX_LOG("%.3f QXCM_GETCAMERAINFO_40 -> i=%d id=%d\n", static_cast<int32_t>(i),
           static_cast<int32_t>(id));
    QX_REQUIRE_API40(error);
    QX_REQUIRE_CAMERA(i, error);
    CameraContext &c = State().contexts[i];
    QX_REQUIRE_OUT(({text}), error,
                   "%.3f QXCM_GETCAMERAINFO_40 NG ERR=%d \n"); // the device would write through it
    if (!GetCameraInfo(i, id, text))
        QX_FAIL(c, error, "%.3f QXCM_GETCAMERAINFO_40 NG ERR=%d \n");
    QX_LOG("%.3f QXCM_GETCAMERAINFO_40 OK buf=%s\n", text);
    return 1;
}

QXCM_API int32_t QXCM_GETCAMERASTATUS_40(uint32_t i, int32_t *status, int32_t *error)
{
    QX_REQUIRE_API40(error);
    QX_LOG("%.3f QXCM_GETCAMERASTATUS_40 -> i=%d\n", static_cast<int32_t>(i));
    QX_REQUIRE_OPEN(c, i, error);
    QX_REQUIRE_OUT(({status}), error, "%.3f QXCM_GETCAMERASTATUS_40 NG ERR=%d \n");
    if (!GetCaptureStatus(c, status))
        QX_FAIL(c, error, "%.3f QXCM_GETCAMERASTATUS_40 NG ERR=%d \n");
    QX_LOG("%.3f QXCM_GETCAMERASTATUS_40 OK status=%d\n", *status);
    return 1;
}

} // extern "C"
