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

// A module's full file name in wide characters, however long (paths past 260 characters and
// names outside the ANSI code page included); empty when it cannot be had.
std::wstring ModuleFileName(HMODULE module)
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0)
            return {};
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        if (path.size() >= 32768)
            return {};
        path.resize(path.size() * 2);
    }
}

std::wstring ThisModuleFolder()
{
    HMODULE self = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&ThisModuleFolder), &self))
        return {};
    std::wstring s = ModuleFileName(self);
    size_t slash = s.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : s.substr(0, slash + 1);
}

// Only the stand-ins beside this library, by full path: the loader's search path could find
// another device library of the same name and bind to it.
void *LoadModule(Module module)
{
    const wchar_t *file = module == Module::Device ? L"VELAAPI.DLL" : L"vlseqapi.dll";
    std::wstring folder = ThisModuleFolder();
    if (folder.empty())
        return nullptr;
    std::wstring beside = folder + file;
    return reinterpret_cast<void *>(
        LoadLibraryExW(beside.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
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
    std::wstring path = handle ? ModuleFileName(static_cast<HMODULE>(handle)) : std::wstring();
    if (path.empty())
        return false;
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0)
        return false;
    std::string block(size, '\0');
    if (!GetFileVersionInfoW(path.c_str(), 0, size, block.data()))
        return false;
    VS_FIXEDFILEINFO *info = nullptr;
    UINT infoBytes = 0;
    if (!VerQueryValueW(block.data(), L"\\", reinterpret_cast<void **>(&info), &infoBytes) || !info)
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
