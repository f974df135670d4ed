// Entry points of the older family's capture, frame, two-view and feature calls: the
// camera-index test, no API-level test, no log lines, one operation each.
#include "exports/frame.h"
#include "legacy/legacy_capture.h"
#include "legacy/legacy_features.h"
#include "legacy/legacy_frames.h"

using namespace qxcm;

// Binds `c` to the open camera of slot `i`, runs the operation and reports its failure. These
// operations answer a Failure (legacy/legacy_capture.h): a device code the older family passes
// on may be 0, so presence, not the value, marks the failure.
#define QX_LEGACY(i, error, operation)                                                             \
    do {                                                                                           \
        QX_REQUIRE_OPEN(c, i, error);                                                              \
        if (::qxcm::Failure qxFailure = (operation))                                               \
            QX_FAIL_CODE(*qxFailure, error);                                                       \
        return 1;                                                                                  \
    } while (0)

extern "C" {

QXCM_API int32_t QXCM_PREPARECAPTURE(uint32_t i, uint32_t mode, uint32_t frames, uint32_t *width,
                                     uint32_t *height, uint32_t *dataType, int32_t *error)
{
    QX_LEGACY(i, error, PrepareLegacyCapture(c, mode, frames, width, height, dataType));
}

QXCM_API int32_t QXCM_UNPREPARECAPTURE(uint32_t i, int32_t *error)
{
    QX_LEGACY(i, error, ReleaseLegacyBuffers(c));
}

QXCM_API int32_t QXCM_STARTCAPTURE(uint32_t i, uint32_t mode, uint32_t frames, uint32_t *dataType,
                                   int32_t *error)
{
    QX_LEGACY(i, error,
              StartLegacyCaptureReporting(c, mode, frames, dataType, false, nullptr, nullptr));
}

QXCM_API int32_t QXCM_STARTCAPTURE_A(uint32_t i, uint32_t mode, uint32_t frames, uint32_t *dataType,
                                     uint32_t *width, uint32_t *height, int32_t *error)
{
    QX_LEGACY(i, error,
              StartLegacyCaptureReporting(c, mode, frames, dataType, true, width, height));
}

QXCM_API int32_t QXCM_STARTCAPTURE_B(uint32_t i, int32_t *error)
{
    QX_LEGACY(i, error, RestartLegacyCapture(c));
}

QXCM_API int32_t QXCM_STOPCAPTURE(uint32_t i, int32_t *error)
{
    QX_LEGACY(i, error, StopLegacyCapture(c));
}

QXCM_API int32_t QXCM_WAITNEXTFRAME(uint32_t i, uint32_t timeLimit, int32_t *frameIndex,
                                    int32_t *frameCount, int32_t *error)
{
    QX_LEGACY(i, error, WaitLegacyFrame(c, timeLimit, frameIndex, frameCount));
}

QXCM_API int32_t QXCM_WAITFOREVENT(uint32_t i, uint32_t timeLimit, uint32_t *event, int32_t *error)
{
    QX_LEGACY(i, error, WaitLegacyEvent(c, timeLimit, event));
}

QXCM_API int32_t QXCM_GETCAPTUREINFO(uint32_t i, int32_t *frameIndex, int32_t *frameCount,
                                     int32_t *error)
{
    QX_LEGACY(i, error, ReadLegacyCaptureInfo(c, frameIndex, frameCount));
}

QXCM_API int32_t QXCM_FIRETRIGGER(uint32_t i, int32_t *error)
{
    QX_LEGACY(i, error, FireLegacyTrigger(c));
}

QXCM_API int32_t QXCM_GETFRAMESIZE(uint32_t i, uint32_t *width, uint32_t *height, int32_t *error)
{
    QX_LEGACY(i, error, ReadLegacyFrameSize(c, width, height, false, nullptr));
}

QXCM_API int32_t QXCM_GETFRAMESIZE_A(uint32_t i, uint32_t *width, uint32_t *height,
                                     uint32_t *bytesPerPixel, int32_t *error)
{
    QX_LEGACY(i, error, ReadLegacyFrameSize(c, width, height, true, bytesPerPixel));
}

QXCM_API int32_t QXCM_GETFRAME(uint32_t i, uint32_t frameIndex, void *destination, int32_t *error)
{
    QX_LEGACY(i, error, CopyLegacyFrame(c, frameIndex, static_cast<uint8_t *>(destination)));
}

QXCM_API int32_t QXCM_GETFRAME_A(uint32_t i, const void *source, void *destination, int32_t *error)
{
    QX_LEGACY(i, error,
              RepackLegacyFrame(c, static_cast<const uint8_t *>(source),
                                static_cast<uint8_t *>(destination)));
}

QXCM_API int32_t QXCM_GETFRAME_B(uint32_t i, uint32_t frameIndex, void *destination,
                                 double *timeStamp, int32_t *error)
{
    QX_LEGACY(
        i, error,
        CopyLegacyFrameStamped(c, frameIndex, static_cast<uint8_t *>(destination), timeStamp));
}

QXCM_API int32_t QXCM_GETNEXTFRAME(uint32_t i, void *destination, int32_t *error)
{
    QX_LEGACY(i, error, CopyNextLegacyFrame(c, 0, static_cast<uint8_t *>(destination)));
}

QXCM_API int32_t QXCM_GETNEXTFRAME_A(uint32_t i, void *destination, uint32_t timeLimit,
                                     int32_t *error)
{
    QX_LEGACY(i, error, CopyNextLegacyFrame(c, timeLimit, static_cast<uint8_t *>(destination)));
}

QXCM_API int32_t QXCM_GETNEXTFRAME_B(uint32_t i, void *, uint32_t timeLimit, int32_t *error)
{
    QX_LEGACY(i, error, LockNextLegacyFrame(c, timeLimit));
}

QXCM_API int32_t QXCM_GETNEXTFRAME_U8(uint32_t i, uint8_t *destination, uint32_t timeLimit,
                                      int32_t *error)
{
    QX_LEGACY(i, error, CopyNextEightBitFrame(c, timeLimit, destination));
}

QXCM_API int32_t QXCM_GETAREA_PAIRED(uint32_t i, int32_t *hpos1, int32_t *hpos2, int32_t *hposMin,
                                     int32_t *hposMax, int32_t *hposStep, int32_t *vpos1,
                                     int32_t *vpos2, int32_t *vposMin, int32_t *vposMax,
                                     int32_t *vposStep, int32_t *hsize, int32_t *hsizeMin,
                                     int32_t *hsizeMax, int32_t *hsizeStep, int32_t *vsize,
                                     int32_t *vsizeMin, int32_t *vsizeMax, int32_t *vsizeStep,
                                     int32_t *error)
{
    int32_t *const outputs[18] = {hpos1,    hpos2,     hposMin, hposMax,  hposStep, vpos1,
                                  vpos2,    vposMin,   vposMax, vposStep, hsize,    hsizeMin,
                                  hsizeMax, hsizeStep, vsize,   vsizeMin, vsizeMax, vsizeStep};
    QX_LEGACY(i, error, ReadLegacyPairedArea(c, outputs));
}

QXCM_API int32_t QXCM_SETAREA_PAIRED(uint32_t i, int32_t hpos1, int32_t vpos1, int32_t hpos2,
                                     int32_t vpos2, int32_t hsize, int32_t vsize, int32_t *error)
{
    QX_LEGACY(i, error, SetLegacyPairedArea(c, hpos1, vpos1, hpos2, vpos2, hsize, vsize));
}

QXCM_API int32_t QXCM_GETFRAME_PAIRED(uint32_t i, uint32_t frameIndex, void *view1, void *view2,
                                      double *timeStamp, int32_t *error)
{
    QX_LEGACY(i, error,
              CopyPairedFrame(c, frameIndex, static_cast<uint8_t *>(view1),
                              static_cast<uint8_t *>(view2), timeStamp));
}

QXCM_API int32_t QXCM_GETELECTRONFRAME(uint32_t, uint32_t, void *, int32_t *error)
{
    // Never supported: refused without looking at the camera.
    QX_FAIL_CODE(QXERR_NOTSUPPORT, error);
}

QXCM_API int32_t QXCM_GETELECTRONINFO(uint32_t i, int32_t frameIndex, float *factor, float *offset,
                                      int32_t *error)
{
    QX_LEGACY(i, error, ReadElectronInfo(c, frameIndex, factor, offset));
}

QXCM_API int32_t QXCM_SETEMPROTECTION(uint32_t i, int32_t mode, int32_t alarm, int32_t level,
                                      int32_t frames, int32_t *error)
{
    QX_LEGACY(i, error, SetEmProtection(c, mode, alarm, level, frames));
}

QXCM_API int32_t QXCM_GETEMPROTECTSTATUS(uint32_t i, int32_t *status, int32_t *error)
{
    QX_LEGACY(i, error, ReadEmProtectStatus(c, status));
}

} // extern "C"
