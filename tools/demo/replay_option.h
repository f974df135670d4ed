// qxcm-demo --replay FILE: the simulated device plays a recording as camera 0.
#pragma once

// Asks the simulated device to play `path` as camera 0 when it is initialised; false when the
// environment cannot be set.
bool UseReplay(const char *path);
