// Windows side of the platform seam: modules loaded from this DLL's own folder first and
// resolved by ordinal, the registry value under the local-machine root, and the file version
// resource of the device library that was actually loaded.
#include "core/platform.h"

#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <string>

namespace qxcm {
namespace {

const ULONGLONG gLoadTicks = GetTickCount64();

std::string ThisModuleFolder()
{
    HMODULE self = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCSTR>(&ThisModuleFolder), &self))
        return {};
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(self, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return {};
    std::string s(path, n);
    size_t slash = s.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : s.substr(0, slash + 1);
}

void *LoadModule(Module module)
{
    const char *file = module == Module::Device ? "VELAAPI.DLL" : "vlseqapi.dll";
    std::string beside = ThisModuleFolder() + file;
    if (HMODULE h = LoadLibraryExA(beside.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH))
        return reinterpret_cast<void *>(h);
    return reinterpret_cast<void *>(LoadLibraryA(file));
}

void *Resolve(void *handle, int ordinal, const char *)
{
    FARPROC p =
        GetProcAddress(static_cast<HMODULE>(handle), MAKEINTRESOURCEA(static_cast<WORD>(ordinal)));
    return reinterpret_cast<void *>(p);
}

int32_t ElapsedMs()
{
    return static_cast<int32_t>(GetTickCount64() - gLoadTicks);
}

void SleepMs(uint32_t ms)
{
    Sleep(ms);
}

bool ReadCalibrationTimeout(int32_t *value)
{
    HKEY key = nullptr;
    if (RegOpenKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orvane\\KTR", &key) != ERROR_SUCCESS)
        return false;
    DWORD number = 0;
    DWORD bytes = sizeof number;
    LONG rc = RegQueryValueExA(key, "calibration.timeout", nullptr, nullptr,
                               reinterpret_cast<BYTE *>(&number), &bytes);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS)
        return false;
    *value = static_cast<int32_t>(number);
    return true;
}

bool DeviceLibraryVersion(void *handle, char *text, size_t capacity)
{
    char path[MAX_PATH];
    DWORD n = handle ? GetModuleFileNameA(static_cast<HMODULE>(handle), path, MAX_PATH) : 0;
    if (n == 0 || n >= MAX_PATH)
        return false;
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(path, &ignored);
    if (size == 0)
        return false;
    std::string block(size, '\0');
    if (!GetFileVersionInfoA(path, 0, size, block.data()))
        return false;
    VS_FIXEDFILEINFO *info = nullptr;
    UINT infoBytes = 0;
    if (!VerQueryValueA(block.data(), "\\", reinterpret_cast<void **>(&info), &infoBytes) || !info)
        return false;
    snprintf(text, capacity, "%d.%d.%d.%d", static_cast<int>(HIWORD(info->dwFileVersionMS)),
             static_cast<int>(LOWORD(info->dwFileVersionMS)),
             static_cast<int>(HIWORD(info->dwFileVersionLS)),
             static_cast<int>(LOWORD(info->dwFileVersionLS)));
    return true;
}

const char *LogPath()
{
    return "c:\\temp\\qxlog.txt";
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
