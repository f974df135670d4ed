// Windows: loads the library by its full path, starts a free-running capture and unloads the
// library while the capture runs. The unload stops and releases the capture inside the loader
// lock, so it must not wait for a thread to end; a watchdog ends the process with 3 if it does.
// Exit 0 when the unload returned within seconds.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>

namespace {

DWORD WINAPI Watchdog(void *)
{
    Sleep(20000);
    TerminateProcess(GetCurrentProcess(), 3); // needs no loader lock, unlike ExitProcess
    return 0;
}

template <typename F> F Export(HMODULE m, const char *name)
{
    return reinterpret_cast<F>(reinterpret_cast<void *>(GetProcAddress(m, name)));
}

} // namespace

int main()
{
    wchar_t self[4096];
    DWORD n = GetModuleFileNameW(nullptr, self, 4096);
    std::wstring path(self, n);
    path = path.substr(0, path.find_last_of(L"\\/") + 1) + L"qxcm.dll";
    HMODULE m = LoadLibraryW(path.c_str());
    if (!m)
        return 10;
    using Init = int32_t (*)(uint32_t *, char *, char *, int32_t, int32_t, int32_t *);
    using Open = int32_t (*)(uint32_t, uint32_t, int32_t *);
    using Prepare =
        int32_t (*)(uint32_t, uint32_t, int32_t, uint32_t *, uint32_t *, uint32_t *, int32_t *);
    using Start = int32_t (*)(uint32_t, int32_t *);
    uint32_t count = 0, w = 0, h = 0, t = 0;
    int32_t err = 0;
    if (!Export<Init>(m, "QXCM_INITIALIZE_40")(&count, nullptr, nullptr, 0, 0, &err) ||
        !Export<Open>(m, "QXCM_OPENCAMERA_40")(1, 0, &err) ||
        !Export<Prepare>(m, "QXCM_PREPARECAPTURE_40")(1, 1, 5, &w, &h, &t, &err) ||
        !Export<Start>(m, "QXCM_STARTCAPTURE_40")(1, &err))
        return 11;
    HANDLE watchdog = CreateThread(nullptr, 0, Watchdog, nullptr, 0, nullptr);
    Sleep(200); // frames are being produced, and the watchdog runs
    ULONGLONG begin = GetTickCount64();
    FreeLibrary(m);
    ULONGLONG ms = GetTickCount64() - begin;
    printf("unload took %llu ms\n", ms);
    (void)watchdog;
    return ms < 10000 ? 0 : 4;
}
