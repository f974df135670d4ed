// Entry points of capture preparation, capture control and frame retrieval.
#include "capture/buffers.h"
#include "capture/capture_control.h"
#include "capture/frame_ledger.h"
#include "capture/frames.h"
#include "exports/frame.h"

using namespace qxcm;

extern "C" {

QXCM_API int32_t QXCM_PREPARECAPTURE_40(uint32_t i, uint32_t mode, int32_t frames, uint32_t *width,
                                        uint32_t *height, uint32_t *dataType, int32_t *error)
{
    QX_REQUIRE_API40(error);
    QX_LOG("%.3f QXCM_PREPARECAPTURE_40 -> i=%d mode=%d frames=%d\n", static_cast<int32_t>(i),
           static_cast<int32_t>(mode), frames);
    QX_REQUIRE_OPEN(c, i, error);
    QX_REQUIRE_OUT(({width, height, dataType}), error, "%.3f QXCM_PREPARECAPTURE_40 NG ERR=%d \n");
    if (!PrepareCapture(c, mode, frames, PrepareOptions{false, true}, width, height, dataType))
        QX_FAIL(c, error, "%.3f QXCM_PREPARECAPTURE_40 NG ERR=%d \n");
    QX_LOG("%.3f QXCM_PREPARECAPTURE_40 OK width=%d height=%d datatype=%d\n",
           static_cast<int32_t>(*width), static_cast<int32_t>(*height),
           static_cast<int32_t>(*dataType));
    return 1;
}

QXCM_API int32_t QXCM_PREPARECAPTURE_41(uint32_t i, uint32_t mode, int32_t frames, uint32_t *width,
                                        uint32_t *height, uint32_t *dataType, uint64_t,
                                        int32_t *error)
{
    QX_REQUIRE_API40(error);
    // These lines carry the name of the _40 call.
    QX_LOG("%.3f QXCM_PREPARECAPTURE_40 -> i=%d mode=%d frames=%d\n", static_cast<int32_t>(i),
           static_cast<int32_t>(mode), frames);
    QX_REQUIRE_OPEN(c, i, error);
    QX_REQUIRE_OUT(({width, height, dataType}), error, "%.3f QXCM_PREPARECAPTURE_40 NG ERR=%d \n");
    if (!PrepareCapture(c, mode, frames, PrepareOptions{true, false}, width, height, dataType))
        QX_FAIL(c, error, "%.3f QXCM_PREPARECAPTURE_40 NG ERR=%d \n");
    QX_LOG("%.3f QXCM_PREPARECAPTURE_40 OK width=%d height=%d datatype=%d\n",
           static_cast<int32_t>(*width), static_cast<int32_t>(*height),
           static_cast<int32_t>(*dataType));
    return 1;
}

QXCM_API int32_t QXCM_PREPARE_ATTACH_40(uint32_t i, uint32_t mode, void **buffers,
                                        uint32_t bufferCount, int32_t *totalFrames, int32_t *error)
{
    QX_REQUIRE_API40(error);
    QX_LOG("%.3f QXCM_PREPARE_ATTACH_40 -> i=%d mode=%d\n", static_cast<int32_t>(i),
           static_cast<int32_t>(mode));
    QX_REQUIRE_OPEN(c, i, error);
    if (!buffers || !totalFrames || bufferCount == 0)
        QX_FAIL_CODE(QXERR_INVALIDPARAM, error, "%.3f QXCM_PREPARE_ATTACH_40 NG ERR=%d \n");
    if (!AttachHostBuffers(c, mode, buffers, bufferCount, totalFrames))
        QX_FAIL(c, error, "%.3f QXCM_PREPARE_ATTACH_40 NG ERR=%d \n");
    QX_LOG("%.3f QXCM_PREPARE_ATTACH_40 OK totalframes=%d\n", *totalFrames);
    return 1;
}

QXCM_API int32_t QXCM_UNPREPARECAPTURE_40(uint32_t i, int32_t *error)
{
    QX_REQUIRE_API40(error);
    QX_LOG("%.3f QXCM_UNPREPARECAPTURE_40 -> i=%d\n", static_cast<int32_t>(i));
    QX_REQUIRE_OPEN(c, i, error);
    if (!ReleaseBuffers(c))
        QX_FAIL(c, error, "%.3f QXCM_UNPREPARECAPTURE_40 NG ERR=%d \n");
    QX_LOG("%.3f QXCM_UNPREPARECAPTURE_40 OK\n");
    return 1;
}

QXCM_API int32_t QXCM_GETBUFFERSIZE_40(uint32_t i, uint32_t *height, uint32_t *width,
                                       int32_t *error)
{
    QX_REQUIRE_API40(error);
    QX_REQUIRE_OPEN(c, i, error);
    QX_REQUIRE_OUT(({height, width}), error);
    GetBufferSize(c, height, width);
    return 1;
}

QXCM_API int32_t QXCM_FRAMEBUNDLE_40(uint32_t i, int32_t enable, int32_t sizeMax,
                                     int32_t *bundleSize, int32_t *error)
{
    QX_REQUIRE_API40(error);
    QX_LOG("%.3f QXCM_FRAMEBUNDLE_40 -> i=%d enable=%d sizemax=%d\n", static_cast<int32_t>(i),
           enable, sizeMax);
    QX_REQUIRE_OPEN(c, i, error);
    QX_REQUIRE_OUT(({bundleSize}), error, "%.3f QXCM_FRAMEBUNDLE_40 NG ERR=%d \n");
    if (!SetFrameBundle(c, enable, sizeMax, bundleSize))
        QX_FAIL(c, error, "%.3f QXCM_FRAMEBUNDLE_40 NG ERR=%d \n");
    QX_LOG("%.3f QXCM_FRAMEBUNDLE_40 OK setbundlesize=%d\n", *bundleSize);
    return 1;
}

QXCM_API int32_t QXCM_STARTCAPTURE_40(uint32_t i, int32_t *error)
{
    QX_REQUIRE_API40(error);
    QX_LOG("%.3f QXCM_STARTCAPTURE_40 -> i=%d\n", static_cast<int32_t>(i));
    QX_REQUIRE_OPEN(c, i, error);
    if (!StartCapture(c))
        QX_FAIL(c, error, "%.3f QXCM_STARTCAPTURE_40 NG ERR=%d \n");
    QX_LOG("%.3f QXCM_STARTCAPTURE_40 OK \n");
    return 1;
}

QXCM_API int32_t QXCM_STOPCAPTURE_40(uint32_t i, int32_t *error)
{
    QX_REQUIRE_API40(error);
    QX_LOG("%.3f QXCM_STOPCAPTURE_40 -> i=%d\n", static_cast<int32_t>(i));
    QX_REQUIRE_OPEN(c, i, error);
    if (!StopCapture(c))
        QX_FAIL(c, error, "%.3f QXCM_STOPCAPTURE_40 NG ERR=%d \n");
    QX_LOG("%.3f QXCM_STOPCAPTURE_40 OK \n");
    return 1;
}

QXCM_API int32_t QXCM_WAITNEXTFRAME_40(uint32_t i, uint32_t timeLimit, int32_t *frameIndex,
                                       int32_t *frameCount, int32_t *error)
{
    QX_REQUIRE_API40(error);
    QX_LOG("%.3f QXCM_WAITNEXTFRAME_40 -> i=%d timeout=%d\n", static_cast<int32_t>(i),
           static_cast<int32_t>(timeLimit));
    QX_REQUIRE_OPEN(c, i, error);
    QX_REQUIRE_OUT(({frameIndex, frameCount}), error, "%.3f QXCM_WAITNEXTFRAME_40 NG ERR=%d \n");
    if (int32_t code = WaitForFrame(c, timeLimit, frameIndex, frameCount))
        QX_FAIL_CODE(code, error, "%.3f QXCM_WAITNEXTFRAME_40 NG ERR=%d \n");
    QX_LOG("%.3f QXCM_WAITNEXTFRAME_40 OK frameindex=%d framecount=%d\n", *frameIndex, *frameCount);
    return 1;
}

QXCM_API int32_t QXCM_GETCAPTUREINFO_40(uint32_t i, int32_t *frameIndex, int32_t *frameCount,
                                        int32_t *error)
{
    QX_REQUIRE_API40(error);
    QX_LOG("%.3f QXCM_GETCAPTUREINFO_40 -> i=%d \n", static_cast<int32_t>(i));
    QX_REQUIRE_OPEN(c, i, error);
    QX_REQUIRE_OUT(({frameIndex, frameCount}), error, "%.3f QXCM_GETCAPTUREINFO_40 NG ERR=%d \n");
    if (!GetCaptureInfo(c, frameIndex, frameCount))
        QX_FAIL(c, error, "%.3f QXCM_GETCAPTUREINFO_40 NG ERR=%d \n");
    QX_LOG("%.3f QXCM_GETCAPTUREINFO_40 OK frameindex=%d framecount=%d\n", *frameIndex,
           *frameCount);
    return 1;
}

QXCM_API int32_t QXCM_GETFRAMESPERSECOND_40(uint32_t i, double *, int32_t *error)
{
    QX_REQUIRE_API40(error);
    QX_LOG("%.3f QXCM_GETFRAMESPERSECOND_40 -> i=%d \n", static_cast<int32_t>(i));
    QX_REQUIRE_OPEN(c, i, error);
    // Computes no rate: it reports whatever the previous device call left, success codes too.
    QX_FAIL(c, error, "%.3f QXCM_GETFRAMESPERSECOND_40 NG ERR=%d \n");
}

QXCM_API int32_t QXCM_FIRETRIGGER_40(uint32_t i, int32_t *error)
{
    QX_REQUIRE_API40(error);
    QX_LOG("%.3f QXCM_FIRETRIGGER_40 -> i=%d \n", static_cast<int32_t>(i));
    QX_REQUIRE_OPEN(c, i, error);
    if (!FireTrigger(c))
        QX_FAIL(c, error, "%.3f QXCM_FIRETRIGGER_40 NG ERR=%d \n");
    QX_LOG("%.3f QXCM_FIRETRIGGER_40 OK \n");
    return 1;
}

QXCM_API int32_t QXCM_GETFRAME_40(uint32_t i, uint32_t frameIndex, void *destination,
                                  double *timeStamp, uint32_t option, int32_t *error)
{
    QX_REQUIRE_API40(error);
    QX_LOG("%.3f QXCM_GETFRAME_40 -> i=%d frameindex=%d\n", static_cast<int32_t>(i),
           static_cast<int32_t>(frameIndex));
    QX_REQUIRE_OPEN(c, i, error);
    if (int32_t code = CopyFrame(c, static_cast<int32_t>(frameIndex), std::nullopt, option,
                                 static_cast<uint8_t *>(destination), timeStamp))
        QX_FAIL_CODE(code, error, "%.3f QXCM_GETFRAME_40 NG ERR=%d\n");
    QX_LOG("%.3f QXCM_GETFRAME_40 OK timestamp=%f\n", *timeStamp);
    return 1;
}

QXCM_API int32_t QXCM_GETFRAMENUMBER_40(uint32_t i, int32_t frameIndex, uint32_t *frameNumber,
                                        double *timeStamp, int32_t *error)
{
    QX_REQUIRE_API40(error);
    QX_LOG("%.3f QXCM_GETFRAMENUMBER_40 -> i=%d frameindex=%d\n", static_cast<int32_t>(i),
           frameIndex);
    QX_REQUIRE_OPEN(c, i, error);
    QX_REQUIRE_OUT(({frameNumber, timeStamp}), error, "%.3f QXCM_GETFRAMENUMBER_40 NG ERR=%d\n");
    if (int32_t code = GetFrameNumber(c, frameIndex, frameNumber, timeStamp))
        QX_FAIL_CODE(code, error, "%.3f QXCM_GETFRAMENUMBER_40 NG ERR=%d\n");
    QX_LOG("%.3f QXCM_GETFRAMENUMBER_40 OK framenumber=%u timestamp=%f\n", *frameNumber,
           *timeStamp);
    return 1;
}

QXCM_API int32_t QXCM_GETFRAME_41(uint32_t i, int32_t frameIndex, int32_t bundleIndex,
                                  void *destination, double *timeStamp, uint32_t option,
                                  int32_t *error)
{
    QX_REQUIRE_API40(error);
    QX_LOG("%.3f QXCM_GETFRAME_41 -> i=%d frameindex=%d bundleindex=%d\n", static_cast<int32_t>(i),
           frameIndex, bundleIndex);
    QX_REQUIRE_OPEN(c, i, error);
    if (int32_t code = CopyFrameOfBundle(c, frameIndex, bundleIndex, option,
                                         static_cast<uint8_t *>(destination), timeStamp))
        QX_FAIL_CODE(code, error, "%.3f QXCM_GETFRAME_41 NG ERR=%d\n");
    QX_LOG("%.3f QXCM_GETFRAME_41 OK timestamp=%f\n", *timeStamp);
    return 1;
}

QXCM_API int32_t QXCM_GETFRAME_SPLIT_40(uint32_t i, uint32_t frameIndex, void *destination1,
                                        void *destination2, double *timeStamp, uint32_t option,
                                        int32_t *error)
{
    QX_REQUIRE_API40(error);
    QX_LOG("%.3f QXCM_GETFRAME_SPLIT_40 -> i=%d frameindex=%d\n", static_cast<int32_t>(i),
           static_cast<int32_t>(frameIndex));
    QX_REQUIRE_OPEN(c, i, error);
    if (int32_t code = CopySplitFrame(c, static_cast<int32_t>(frameIndex), option,
                                      static_cast<uint8_t *>(destination1),
                                      static_cast<uint8_t *>(destination2), timeStamp))
        QX_FAIL_CODE(code, error, "%.3f QXCM_GETFRAME_SPLIT_40 NG ERR=%d \n");
    QX_LOG("%.3f QXCM_GETFRAME_SPLIT_40 OK \n"); // the time stamp goes to the host only
    return 1;
}

QXCM_API int32_t QXCM_GETFRAME_PACK12_40(uint32_t i, uint32_t frameIndex, uint16_t *destination,
                                         double *timeStamp, uint32_t option, int32_t *error)
{
    QX_REQUIRE_API40(error);
    QX_LOG("%.3f QXCM_GETFRAME_PACK12_40 -> i=%d frameindex=%d\n", static_cast<int32_t>(i),
           static_cast<int32_t>(frameIndex));
    QX_REQUIRE_OPEN(c, i, error);
    if (int32_t code =
            CopyPackedFrame(c, static_cast<int32_t>(frameIndex), option, destination, timeStamp))
        QX_FAIL_CODE(code, error, "%.3f QXCM_GETFRAME_PACK12_40 NG ERR=%d\n");
    QX_LOG("%.3f QXCM_GETFRAME_PACK12_40 OK timestamp=%f\n", *timeStamp);
    return 1;
}

} // extern "C"
