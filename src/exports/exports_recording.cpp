// Entry points of recording, current family and the older plain-named wrappers (these make
// the camera-index test but no API-level test and write no log lines).
#include "capture/recording.h"
#include "exports/frame.h"
#include "velaapi/vela_api.h"

using namespace qxcm;

namespace {

constexpr uint32_t kBufferedFlag = VELA_RECORDER_BUFFERED;

uint32_t FlagsOf(int32_t bufferingMode)
{
    return bufferingMode == 1 ? kBufferedFlag : 0;
}

} // namespace

extern "C" {

QXCM_API int32_t QXCM_STARTRECORDER_40(uint32_t i, const char *path, uint32_t maxFrames,
                                       int32_t *error)
{
    QX_REQUIRE_API40(error);
    QX_LOG("%.3f QXCM_STARTRECORDER_40 -> i=%d path=%s maxframes=%d\n", static_cast<int32_t>(i),
           path ? path : "", static_cast<int32_t>(maxFrames));
    QX_REQUIRE_OPEN(c, i, error);
    if (int32_t code = StartRecorder(c, path, maxFrames, kBufferedFlag))
        QX_FAIL_CODE(code, error, "%.3f QXCM_STARTRECORDER_40 NG ERR=%d \n");
    QX_LOG("%.3f QXCM_STARTRECORDER_40 OK\n");
    return 1;
}

QXCM_API int32_t QXCM_STARTRECORDER_41(uint32_t i, const char *path, int32_t maxFrames,
                                       int32_t bufferingMode, int32_t *error)
{
    QX_REQUIRE_API40(error);
    QX_LOG("%.3f QXCM_STARTRECORDER_41 -> i=%d path=%s maxframes=%d bufferingmode=%d\n",
           static_cast<int32_t>(i), path ? path : "", maxFrames, bufferingMode);
    QX_REQUIRE_OPEN(c, i, error);
    if (int32_t code =
            StartRecorder(c, path, static_cast<uint32_t>(maxFrames), FlagsOf(bufferingMode)))
        QX_FAIL_CODE(code, error, "%.3f QXCM_STARTRECORDER_41 NG ERR=%d \n");
    QX_LOG("%.3f QXCM_STARTRECORDER_41 OK\n");
    return 1;
}

QXCM_API int32_t QXCM_STARTRECORDER_42(uint32_t i, const char *path, int32_t maxFrames,
                                       int32_t bufferingMode, uint64_t *recorder, int32_t *error)
{
    QX_REQUIRE_API40(error);
    // These lines carry the name of the _41 call.
    QX_LOG("%.3f QXCM_STARTRECORDER_41 -> i=%d path=%s maxframes=%d bufferingmode=%d\n",
           static_cast<int32_t>(i), path ? path : "", maxFrames, bufferingMode);
    QX_REQUIRE_OPEN(c, i, error);
    QX_REQUIRE_OUT(({recorder}), error, "%.3f QXCM_STARTRECORDER_41 NG ERR=%d \n");
    if (int32_t code =
            StartRecorder(c, path, static_cast<uint32_t>(maxFrames), FlagsOf(bufferingMode)))
        QX_FAIL_CODE(code, error, "%.3f QXCM_STARTRECORDER_41 NG ERR=%d \n");
    *recorder = c.recorderHandle;
    QX_LOG("%.3f QXCM_STARTRECORDER_41 OK\n");
    return 1;
}

QXCM_API int32_t QXCM_STOPRECORDER_40(uint32_t i, int32_t *error)
{
    QX_REQUIRE_API40(error);
    QX_LOG("%.3f QXCM_STOPRECORDER_40 -> i=%d\n", static_cast<int32_t>(i));
    QX_REQUIRE_OPEN(c, i, error);
    if (!CloseRecorder(c))
        QX_FAIL(c, error, "%.3f QXCM_STOPRECORDER_40 NG ERR=%d \n");
    QX_LOG("%.3f QXCM_STOPRECORDER_40 OK\n");
    return 1;
}

QXCM_API int32_t QXCM_GETRECORDERSTATUS_40(uint32_t i, int32_t *frameIndex, int32_t *frameCount,
                                           int32_t *error)
{
    QX_REQUIRE_API40(error);
    QX_LOG("%.3f QXCM_GETRECORDERSTATUS_40 -> i=%d\n", static_cast<int32_t>(i));
    QX_REQUIRE_OPEN(c, i, error);
    QX_REQUIRE_OUT(({frameIndex, frameCount}), error,
                   "%.3f QXCM_GETRECORDERSTATUS_40 NG ERR=%d \n");
    if (!GetRecorderStatus(c, frameIndex, frameCount))
        QX_FAIL(c, error, "%.3f QXCM_GETRECORDERSTATUS_40 NG ERR=%d \n");
    QX_LOG("%.3f QXCM_GETRECORDERSTATUS_40 OK index=%d count=%d\n", *frameIndex, *frameCount);
    return 1;
}

QXCM_API int32_t QXCM_WRITEMETADATA_40(uint32_t i, uint32_t level, uint32_t index, const void *text,
                                       uint32_t length, int32_t *error)
{
    QX_REQUIRE_API40(error);
    QX_LOG("%.3f QXCM_WRITEMETADATA_40 -> i=%d\n", static_cast<int32_t>(i));
    QX_REQUIRE_OPEN(c, i, error);
    if (!text && length > 0)
        QX_FAIL_CODE(QXERR_INVALIDPARAM, error, "%.3f QXCM_WRITEMETADATA_40 NG ERR=%d \n");
    if (!WriteRecorderText(c, level, index, text, length))
        QX_FAIL(c, error, "%.3f QXCM_WRITEMETADATA_40 NG ERR=%d \n");
    QX_LOG("%.3f QXCM_WRITEMETADATA_40 OK\n");
    return 1;
}

QXCM_API int32_t QXCM_GETRECORDERFRAME_40(uint32_t i, uint32_t frameIndex, uint64_t, int32_t *error)
{
    QX_REQUIRE_API40(error);
    QX_LOG("%.3f QXCM_GETRECORDERFRAME_40 -> i=%d\n", static_cast<int32_t>(i));
    QX_REQUIRE_OPEN(c, i, error);
    const void *address = nullptr;
    double stamp = 0.0;
    if (!LockRecorderFrame(c, static_cast<int32_t>(frameIndex), &address, &stamp))
        QX_FAIL(c, error, "%.3f QXCM_GETRECORDERFRAME_40 NG ERR=%d \n");
    QX_LOG("%.3f QXCM_GETRECORDERFRAME_40 OK\n");
    return 1;
}

QXCM_API int32_t QXCM_STARTRECORDER(uint32_t i, const char *path, uint32_t maxFrames,
                                    int32_t *error)
{
    QX_REQUIRE_OPEN(c, i, error); // the older family: index test only
    if (int32_t code = StartRecorder(c, path, maxFrames, kBufferedFlag))
        QX_FAIL_CODE(code, error);
    return 1;
}

QXCM_API int32_t QXCM_STOPRECORDER(uint32_t i, int32_t *error)
{
    QX_REQUIRE_OPEN(c, i, error); // the older family: index test only
    if (!CloseRecorder(c))
        QX_FAIL(c, error);
    return 1;
}

QXCM_API int32_t QXCM_GETRECORDERSTATUS(uint32_t i, int32_t *frameIndex, int32_t *frameCount,
                                        int32_t *error)
{
    QX_REQUIRE_OPEN(c, i, error); // the older family: index test only
    QX_REQUIRE_OUT(({frameIndex, frameCount}), error);
    if (!GetRecorderStatus(c, frameIndex, frameCount))
        QX_FAIL(c, error);
    return 1;
}

QXCM_API int32_t QXCM_WRITEMETADATA(uint32_t i, uint32_t level, uint32_t index, const void *text,
                                    uint32_t length, int32_t *error)
{
    QX_REQUIRE_OPEN(c, i, error); // the older family: index test only
    if (!text && length > 0)
        QX_FAIL_CODE(QXERR_INVALIDPARAM, error);
    if (!WriteRecorderText(c, level, index, text, length))
        QX_FAIL(c, error);
    return 1;
}

} // extern "C"
