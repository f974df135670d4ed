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
    *number = f.frameNumber;
    *stamp = f.stamp;
    return 0;
}

} // namespace qxcm
