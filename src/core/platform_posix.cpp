// POSIX counterparts of the platform seam: dlopen beside this library, a monotonic clock, the
// configuration file /etc/qxcm/qxcm.conf, and the device library's version from the name of
// the versioned file its link resolves to (libvelaapi.so.A.B.C.D).
#include "core/platform.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <chrono>
#include <string>
#include <thread>

namespace qxcm {
namespace {

const auto gLoadTime = std::chrono::steady_clock::now();

std::string ThisLibraryFolder()
{
    Dl_info info{};
    if (dladdr(reinterpret_cast<void *>(&ThisLibraryFolder), &info) == 0 || !info.dli_fname)
        return {};
    std::string path = info.dli_fname;
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

void *LoadModule(Module module)
{
    const char *file = module == Module::Device ? "libvelaapi.so" : "libvlseqapi.so";
    std::string beside = ThisLibraryFolder() + file;
    if (void *h = dlopen(beside.c_str(), RTLD_NOW | RTLD_LOCAL))
        return h;
    return dlopen(file, RTLD_NOW | RTLD_LOCAL);
}

void *Resolve(void *handle, int, const char *name)
{
    return dlsym(handle, name);
}

int32_t ElapsedMs()
{
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                  std::chrono::steady_clock::now() - gLoadTime)
                  .count();
    return static_cast<int32_t>(ms); // wraps after 24 days, as a 32-bit tick count does
}

void SleepMs(uint32_t ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

bool ReadCalibrationTimeout(int32_t *value)
{
    const char *path = getenv("QXCM_CONFIG");
    FILE *f = fopen(path && *path ? path : "/etc/qxcm/qxcm.conf", "r");
    if (!f)
        return false;
    char line[256];
    bool found = false;
    while (!found && fgets(line, sizeof line, f)) {
        char key[64];
        long number = 0;
        if (sscanf(line, " %63[^= \t] = %ld", key, &number) == 2 &&
            strcmp(key, "calibration.timeout") == 0) {
            *value = static_cast<int32_t>(number);
            found = true;
        }
    }
    fclose(f);
    return found;
}

bool DeviceLibraryVersion(void *handle, char *text, size_t capacity)
{
    void *any = handle ? dlsym(handle, "VelaInit") : nullptr;
    Dl_info info{};
    if (!any || dladdr(any, &info) == 0 || !info.dli_fname)
        return false;
    char resolved[PATH_MAX];
    if (!realpath(info.dli_fname, resolved))
        return false;
    const char *tail = strstr(resolved, ".so.");
    unsigned a, b, c, d;
    if (!tail || sscanf(tail + 4, "%u.%u.%u.%u", &a, &b, &c, &d) != 4)
        return false;
    snprintf(text, capacity, "%d.%d.%d.%d", static_cast<int>(a & 0xFFFF),
             static_cast<int>(b & 0xFFFF), static_cast<int>(c & 0xFFFF),
             static_cast<int>(d & 0xFFFF));
    return true;
}

const char *LogPath()
{
    return "/tmp/qxlog.txt";
}

} // namespace

Platform &Os()
{
    static Platform platform{
        LoadModule,           Resolve, ElapsedMs, SleepMs, ReadCalibrationTimeout,
        DeviceLibraryVersion, LogPath};
    return platform;
}

} // namespace qxcm
