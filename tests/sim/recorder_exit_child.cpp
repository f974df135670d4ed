// A host program that leaves camera 0 recording when it exits, so that the library's teardown at
// exit closes the device and the recorder. Arguments: the file, the frames to wait for, and how
// the capture stands at the exit:
//   running  capturing at the camera's fastest pace, frames still queued for the file
//   drained  stopped, every frame in the file, a file text and a frame text queued behind them
#include <cstdlib>
#include <cstring>

#include "qxcm/qxcm.h"

int main(int argc, char **argv)
{
    if (argc < 4)
        return 1;
    const int32_t wanted = std::atoi(argv[2]);
    const bool drained = std::strcmp(argv[3], "drained") == 0;
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
    if (drained) {
        int32_t recorded = 0;
        if (!QXCM_STOPCAPTURE_40(0, &err) ||
            !QXCM_GETRECORDERSTATUS_40(0, &index, &recorded, &err) ||
            // Locking the last frame waits until the writer has put every frame in the file.
            !QXCM_GETRECORDERFRAME_40(0, static_cast<uint32_t>(recorded - 1), 0, &err) ||
            !QXCM_WRITEMETADATA_40(0, 0, 0, "file", 4, &err) ||
            !QXCM_WRITEMETADATA_40(0, 2, static_cast<uint32_t>(recorded - 1), "last", 4, &err))
            return 4;
    }
    return 0; // no stop of the recorder, no close: the teardown at exit does it all
}
