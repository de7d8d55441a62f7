// The Windows data-folder code against the real shell (run under Wine, or on
// Windows): which folder each domain gives, what the creation flag makes, and
// the shell's failure. A console program without a test framework; prints
// "N passed, M failed" and returns non-zero on a failure.
#include "CNVBPath.h"
#include "WinShellLayer.h"
#include <cstdio>
#include <cstdlib>

static int passed = 0, failed = 0;

static void check(bool ok, const char* what, const juce::String& detail = {})
{
    if (ok)
        ++passed;
    else
    {
        ++failed;
        std::printf("FAIL: %s %s\n", what, detail.toRawUTF8());
    }
}

static juce::String env(const wchar_t* name)
{
    wchar_t buffer[MAX_PATH] = {};
    const DWORD n = GetEnvironmentVariableW(name, buffer, MAX_PATH);
    return n > 0 && n < MAX_PATH ? juce::String(buffer) : juce::String();
}

static bool isFolder(const juce::String& path)
{
    const DWORD a = GetFileAttributesW(path.toWideCharPointer());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Points the user's application-data folder somewhere else in the registry
// for the life of the object, the way a user's roaming profile can.
struct AppDataRedirect
{
    static constexpr const wchar_t* kKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
    HKEY key = nullptr;
    std::vector<BYTE> old;
    DWORD oldType = 0;
    bool hadOld = false;

    explicit AppDataRedirect(const juce::String& target)
    {
        if (RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr)
            != ERROR_SUCCESS)
        {
            key = nullptr;
            return;
        }
        DWORD size = 0;
        if (RegQueryValueExW(key, L"AppData", nullptr, &oldType, nullptr, &size) == ERROR_SUCCESS)
        {
            old.resize(size);
            hadOld = RegQueryValueExW(key, L"AppData", nullptr, &oldType, old.data(), &size) == ERROR_SUCCESS;
        }
        const wchar_t* text = target.toWideCharPointer();
        RegSetValueExW(key, L"AppData", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(text),
                       (DWORD) ((wcslen(text) + 1) * sizeof(wchar_t)));
    }
    ~AppDataRedirect()
    {
        if (key == nullptr)
            return;
        if (hadOld)
            RegSetValueExW(key, L"AppData", 0, oldType, old.data(), (DWORD) old.size());
        else
            RegDeleteValueW(key, L"AppData");
        RegCloseKey(key);
    }
};

int main()
{
    const juce::String user = env(L"APPDATA"), common = env(L"ProgramData");
    check(user.isNotEmpty() && common.isNotEmpty(), "the system names both application-data folders");

    // The two domains: the user's and all users' folders, as the system names them.
    struct DomainCase { bool userDomain; juce::String expected; const char* what; };
    for (const auto& c : {DomainCase {true, user, "user domain"}, DomainCase {false, common, "all-users domain"}})
    {
        const juce::String got = CNVBPath::GetApplicationDataPath(c.userDomain, false, {}, {});
        check(got.equalsIgnoreCase(c.expected), c.what, got + " vs " + c.expected);
    }

    // Without the creation flag the appended folders are named, not made; with
    // it both levels are made, from the top down.
    const juce::String folder = "KestrumQX-shelltest-" + juce::String((int) GetCurrentProcessId());
    const juce::String top = user + "\\" + folder, sub = top + "\\inner";
    {
        const juce::String got = CNVBPath::GetApplicationDataPath(true, false, folder, "inner");
        check(got == sub, "path without creation", got);
        check(!isFolder(top), "nothing made without the creation flag");
    }
    {
        const juce::String got = CNVBPath::GetApplicationDataPath(true, true, folder, "inner");
        check(got == sub && isFolder(top) && isFolder(sub), "both folders made with the creation flag", got);
        // Asking again finds them there.
        check(CNVBPath::GetApplicationDataPath(true, true, folder, "inner") == sub, "second creation");
        check(CNVBPath::GetApplicationDataPath(true, true, folder, {}) == top, "folder without subfolder");
    }
    RemoveDirectoryW(sub.toWideCharPointer());
    RemoveDirectoryW(top.toWideCharPointer());

    // The shell's failure: the user's folder is configured but missing. Without
    // the creation flag the shell fails and nothing is returned or made; with it
    // the shell makes the folder itself.
    const juce::String missing = common + "\\KestrumQX-missing-" + juce::String((int) GetCurrentProcessId());
    {
        AppDataRedirect redirect(missing);
        check(redirect.key != nullptr, "user shell folders key opened");
        const juce::String got = CNVBPath::GetApplicationDataPath(true, false, "KestrumQX", {});
        check(got.isEmpty(), "shell failure gives an empty path", got);
        check(!isFolder(missing), "shell failure makes nothing");
        const juce::String made = CNVBPath::GetApplicationDataPath(true, true, "KestrumQX", {});
        check(made.equalsIgnoreCase(missing + "\\KestrumQX") && isFolder(made), "the shell makes a missing folder",
              made);
        RemoveDirectoryW((missing + "\\KestrumQX").toWideCharPointer());
        RemoveDirectoryW(missing.toWideCharPointer());
    }
    check(CNVBPath::GetApplicationDataPath(true, false, {}, {}).equalsIgnoreCase(user), "folder restored");

    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
