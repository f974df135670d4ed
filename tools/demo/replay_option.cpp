#include "replay_option.h"

#include <cstdlib>

// The simulated device reads VELASIM_REPLAY when it first loads its cameras, which the
// library's initialisation brings about.
bool UseReplay(const char *path)
{
#ifdef _WIN32
    return _putenv_s("VELASIM_REPLAY", path) == 0;
#else
    return setenv("VELASIM_REPLAY", path, 1) == 0;
#endif
}
