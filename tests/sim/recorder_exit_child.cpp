// A host program that leaves camera 0 capturing into a recorder when it exits, at the camera's
// fastest pace so that frames are still queued for the file when the library's teardown at exit
// closes the device. Arguments: the file, the frames to wait for.
#include <cstdlib>

#include "qxcm/qxcm.h"

int main(int argc, char **argv)
{
    if (argc < 3)
        return 1;
    const int32_t wanted = std::atoi(argv[2]);
    uint32_t count = 0, w = 0, h = 0, t = 0;
    int32_t err = 0, index = 0, frames = 0;
    if (!QXCM_INITIALIZE_40(&count, nullptr, nullptr, 0, 0, &err) ||
        !QXCM_OPENCAMERA_40(0, 0, &err) || !QXCM_SETPARAMETER_40(0, 7, 0.00001, 0, &err) ||
        !QXCM_PREPARECAPTURE_40(0, 1, 8, &w, &h, &t, &err) ||
        !QXCM_STARTRECORDER_41(0, argv[1], 100000, 1, &err) || !QXCM_STARTCAPTURE_40(0, &err))
        return 2;
    while (frames < wanted)
        if (!QXCM_WAITNEXTFRAME_40(0, 5000, &index, &frames, &err))
            return 3;
    return 0; // no stop, no close: the teardown at exit does it all
}
