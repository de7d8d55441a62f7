#include "WinMidiExit.h"

#if defined(_WIN32)
 #ifndef NOMINMAX
  #define NOMINMAX
 #endif
 #include <windows.h>
 #include <mmsystem.h>
 #include <tlhelp32.h>
 #include <cwchar>
 #include <vector>

namespace
{
constexpr wchar_t kDriver[] = L"winealsa.drv";
constexpr wchar_t kNotifyThread[] = L"winealsa_midi_notify";
constexpr DWORD kEndWaitMs = 2000;

bool underWine()
{
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// The driver's notify threads of this process, by the name it gives them.
std::vector<HANDLE> notifyThreads()
{
    std::vector<HANDLE> found;
    typedef HRESULT(WINAPI * GetDescription)(HANDLE, PWSTR*);
    const auto getDescription = reinterpret_cast<GetDescription>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetThreadDescription")));
    if (getDescription == nullptr)
        return found;
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return found;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
    {
        if (entry.th32OwnerProcessID != GetCurrentProcessId())
            continue;
        const HANDLE thread = OpenThread(SYNCHRONIZE | THREAD_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ThreadID);
        if (thread == nullptr)
            continue;
        PWSTR name = nullptr;
        const bool named = SUCCEEDED(getDescription(thread, &name)) && name != nullptr
                           && std::wcscmp(name, kNotifyThread) == 0;
        if (name != nullptr)
            LocalFree(name);
        if (named)
            found.push_back(thread);
        else
            CloseHandle(thread);
    }
    CloseHandle(snapshot);
    return found;
}
} // namespace

void WinMidiExit::endDriverThreads()
{
    if (!underWine() || GetModuleHandleW(kDriver) == nullptr)
        return;
    const auto threads = notifyThreads();
    // An instance of our own: WinMM's stays open, so closing this one sends
    // no second DRV_FREE, and the driver's DRV_FREE only tells its notify
    // thread to end.
    const HDRVR driver = OpenDriver(kDriver, nullptr, 0);
    if (driver != nullptr)
    {
        SendDriverMessage(driver, DRV_FREE, 0, 0);
        CloseDriver(driver, 0, 0);
        for (const HANDLE thread : threads)
            WaitForSingleObject(thread, kEndWaitMs);
    }
    for (const HANDLE thread : threads)
        CloseHandle(thread);
}
#else
void WinMidiExit::endDriverThreads() {}
#endif
