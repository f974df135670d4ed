// Compiled with capture's include path only: the frame copies may not reach the older family.
#include "capture/frames.h"
#include "legacy/legacy_frames.h"
