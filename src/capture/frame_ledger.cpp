#include "capture/frame_ledger.h"

#include "capture/frames.h"
#include "qxcm/qxcm.h"

namespace qxcm {

int32_t GetFrameNumber(CameraContext &c, int32_t index, uint32_t *number, double *stamp)
{
    if (!number || !stamp)
        return QXERR_INVALIDPARAM;
    LockedFrame f{};
    if (int32_t code = LockCaptureFrame(c, f, index, 0))
        return code;
    // The device counts buffer frames; its images (and a recording's frames) are numbered
    // frame x bundle + member, so the number a host compares with a file is the first image's.
    // Both run modulo 2^32 like the device's counter.
    const uint32_t images = c.imagesPerFrame >= 1 ? c.imagesPerFrame : 1u;
    *number = static_cast<uint32_t>(uint64_t{f.frameNumber} * images);
    *stamp = f.stamp;
    return 0;
}

} // namespace qxcm
