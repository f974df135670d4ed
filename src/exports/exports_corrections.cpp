// Entry points of the corrections, current family and the older plain-named wrappers (these
// make the camera-index test but no API-level test and write no log lines).
#include "corrections/corrections.h"
#include "exports/frame.h"

using namespace qxcm;

namespace {

int32_t CalibrationTimeout(const CameraContext &c)
{
    return static_cast<int32_t>(c.calibrationTimeout);
}

} // namespace

extern "C" {

QXCM_API int32_t QXCM_SETRECURSIVEFILTER_40(uint32_t i, int32_t frames, int32_t *error)
{
    QX_REQUIRE_API40(error);
    QX_LOG("%.3f QXCM_SETRECURSIVEFILTER_40 -> i=%d frames=%d\n", static_cast<int32_t>(i), frames);
    QX_REQUIRE_OPEN(c, i, error);
    if (!SetRecursiveFilter(c, frames))
        QX_FAIL(c, error, "%.3f QXCM_SETRECURSIVEFILTER_40 NG ERR=%d \n");
    QX_LOG("%.3f QXCM_SETRECURSIVEFILTER_40 OK \n");
    return 1;
}

QXCM_API int32_t QXCM_SETFRAMEAVERAGING_40(uint32_t i, int32_t frames, int32_t *error)
{
    QX_REQUIRE_API40(error);
    QX_LOG("%.3f QXCM_SETFRAMEAVERAGING_40 -> i=%d frames=%d\n", static_cast<int32_t>(i), frames);
    QX_REQUIRE_OPEN(c, i, error);
    if (!SetFrameAveraging(c, frames))
        QX_FAIL(c, error, "%.3f QXCM_SETFRAMEAVERAGING_40 NG ERR=%d \n");
    QX_LOG("%.3f QXCM_SETFRAMEAVERAGING_40 OK \n");
    return 1;
}

QXCM_API int32_t QXCM_BACKGROUNDSUBTRACT_40(uint32_t i, int32_t enable, int32_t frame,
                                            int32_t *error)
{
    QX_REQUIRE_API40(error);
    // These lines carry another name than the export.
    QX_LOG("%.3f QXCM_SETBACKGROUNDSUBTRACT_40 -> i=%d enable=%d frame=%d\n",
           static_cast<int32_t>(i), enable, frame);
    QX_REQUIRE_OPEN(c, i, error);
    if (!SetBackgroundSubtraction(c, enable, frame))
        QX_FAIL(c, error, "%.3f QXCM_SETBACKGROUNDSUBTRACT_40 NG ERR=%d \n");
    QX_LOG("%.3f QXCM_SETBACKGROUNDSUBTRACT_40 OK \n");
    return 1;
}

QXCM_API int32_t QXCM_STOREBACKGROUNDFRAME_40(uint32_t i, int32_t frame, int32_t *error)
{
    QX_REQUIRE_API40(error);
    QX_LOG("%.3f QXCM_STOREBACKGROUNDFRAME_40 -> i=%d frame=%d\n", static_cast<int32_t>(i), frame);
    QX_REQUIRE_OPEN(c, i, error);
    if (!StoreBackgroundFrame(c, frame, CalibrationTimeout(c)))
        QX_FAIL(c, error, "%.3f QXCM_STOREBACKGROUNDFRAME_40 NG ERR=%d \n");
    QX_LOG("%.3f QXCM_STOREBACKGROUNDFRAME_40 OK \n");
    return 1;
}

QXCM_API int32_t QXCM_STOREBACKGROUNDFRAME_41(uint32_t i, int32_t frame, int32_t timeoutMs,
                                              int32_t *error)
{
    QX_REQUIRE_API40(error);
    QX_LOG("%.3f QXCM_STOREBACKGROUNDFRAME_41 -> i=%d frame=%d timeout=%d\n",
           static_cast<int32_t>(i), frame, timeoutMs);
    QX_REQUIRE_OPEN(c, i, error);
    if (!StoreBackgroundFrame(c, frame, timeoutMs))
        QX_FAIL(c, error, "%.3f QXCM_STOREBACKGROUNDFRAME_41 NG ERR=%d \n");
    QX_LOG("%.3f QXCM_STOREBACKGROUNDFRAME_41 OK \n");
    return 1;
}

QXCM_API int32_t QXCM_SHADINGCORRECT_40(uint32_t i, int32_t enable, int32_t frame, int32_t *error)
{
    QX_REQUIRE_API40(error);
    // These lines carry another name than the export.
    QX_LOG("%.3f QXCM_SETSHADINGFRAME_40 -> i=%d enable=%d frame=%d\n", static_cast<int32_t>(i),
           enable, frame);
    QX_REQUIRE_OPEN(c, i, error);
    if (!SetShadingCorrection(c, enable, frame))
        QX_FAIL(c, error, "%.3f QXCM_SETSHADINGFRAME_40 NG ERR=%d \n");
    QX_LOG("%.3f QXCM_SETSHADINGFRAME_40 OK \n");
    return 1;
}

QXCM_API int32_t QXCM_STORESHADINGFRAME_40(uint32_t i, int32_t frame, int32_t *error)
{
    QX_REQUIRE_API40(error);
    QX_LOG("%.3f QXCM_STORESHADINGFRAME_40 -> i=%d frame=%d\n", static_cast<int32_t>(i), frame);
    QX_REQUIRE_OPEN(c, i, error);
    if (!StoreShadingFrame(c, frame, CalibrationTimeout(c)))
        QX_FAIL(c, error, "%.3f QXCM_STORESHADINGFRAME_40 NG ERR=%d \n");
    QX_LOG("%.3f QXCM_STORESHADINGFRAME_40 OK \n");
    return 1;
}

QXCM_API int32_t QXCM_STORESHADINGFRAME_41(uint32_t i, int32_t frame, int32_t timeoutMs,
                                           int32_t *error)
{
    QX_REQUIRE_API40(error);
    QX_LOG("%.3f QXCM_STORESHADINGFRAME_41 -> i=%d frame=%d timeout=%d\n", static_cast<int32_t>(i),
           frame, timeoutMs);
    QX_REQUIRE_OPEN(c, i, error);
    if (!StoreShadingFrame(c, frame, ShadingStoreTimeout(c, timeoutMs)))
        QX_FAIL(c, error, "%.3f QXCM_STORESHADINGFRAME_41 NG ERR=%d \n");
    QX_LOG("%.3f QXCM_STORESHADINGFRAME_41 OK \n");
    return 1;
}

// The older family: the same operations, an open slot, no API-level test and no log.

QXCM_API int32_t QXCM_SETRECURSIVEFILTER(uint32_t i, int32_t frames, int32_t *error)
{
    QX_REQUIRE_OPEN(c, i, error);
    if (!SetRecursiveFilter(c, frames))
        QX_FAIL(c, error);
    return 1;
}

QXCM_API int32_t QXCM_SETFRAMEAVERAGING(uint32_t i, int32_t frames, int32_t *error)
{
    QX_REQUIRE_OPEN(c, i, error);
    if (!SetFrameAveraging(c, frames))
        QX_FAIL(c, error);
    return 1;
}

QXCM_API int32_t QXCM_SETBACKGROUNDFRAME(uint32_t i, int32_t enable, int32_t frame, int32_t *error)
{
    QX_REQUIRE_OPEN(c, i, error);
    if (!SetBackgroundSubtraction(c, enable, frame))
        QX_FAIL(c, error);
    return 1;
}

QXCM_API int32_t QXCM_STOREBACKGROUNDFRAME(uint32_t i, int32_t frame, int32_t *error)
{
    QX_REQUIRE_OPEN(c, i, error);
    if (!StoreBackgroundFrame(c, frame, CalibrationTimeout(c)))
        QX_FAIL(c, error);
    return 1;
}

QXCM_API int32_t QXCM_SETSHADINGFRAME(uint32_t i, int32_t enable, int32_t frame, int32_t *error)
{
    QX_REQUIRE_OPEN(c, i, error);
    if (!SetShadingCorrection(c, enable, frame))
        QX_FAIL(c, error);
    return 1;
}

QXCM_API int32_t QXCM_STORESHADINGFRAME(uint32_t i, int32_t frame, int32_t *error)
{
    QX_REQUIRE_OPEN(c, i, error);
    if (!StoreShadingFrame(c, frame, CalibrationTimeout(c)))
        QX_FAIL(c, error);
    return 1;
}

} // extern "C"
