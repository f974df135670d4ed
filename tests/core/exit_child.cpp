// A host program that leaves cameras open and capturing when it exits, so the library's
// teardown at process exit has work to do. Argument: how many cameras to open (0 to 2).
#include <cstdlib>

#include "qxcm/qxcm.h"

int main(int argc, char **argv)
{
    int open = argc > 1 ? std::atoi(argv[1]) : 2;
    uint32_t count = 0, w = 0, h = 0, t = 0;
    int32_t err = 0;
    if (!QXCM_INITIALIZE_40(&count, nullptr, nullptr, 0, 0, &err))
        return 1;
    for (int k = 0; k < open; ++k)
        if (!QXCM_OPENCAMERA_40(static_cast<uint32_t>(2 * k), 0, &err))
            return 2;
    if (open > 0 &&
        (!QXCM_PREPARECAPTURE_40(0, 1, 5, &w, &h, &t, &err) || !QXCM_STARTCAPTURE_40(0, &err)))
        return 3;
    return 0; // no stop, no close, no de-initialisation: the teardown at exit does it all
}
